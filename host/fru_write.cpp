#include "host/fru_write.h"

#include "host/fru_backup.h"
#include "host/fru_load.h"

namespace srvfw {

namespace {

std::string Names(const std::vector<Difference>& differences) {
    std::string names;
    for (const Difference& difference : differences) {
        names += (names.empty() ? "" : ", ") + difference.name;
    }
    return names;
}

std::string RestoreHint(const std::filesystem::path& backup) {
    return "The FRU as it was is saved in " + backup.string() + "; \"srvfw fru write " +
           backup.string() + "\" puts it back.";
}

}  // namespace

WriteOutcome WriteChanges(FruLibrary& library, FruHandle fru, const FruSnapshot& before,
                          const std::vector<Change>& changes, const WriteRequest& request) {
    CheckFits(before, changes);
    WriteOutcome outcome;
    if (ChangesNothing(before, changes)) {
        outcome.after = before;
        return outcome;
    }
    if (!request.dryRun) {
        outcome.backup = SaveBackup(library, fru, before.locator, request.backup);
    }
    Apply(library, fru, before, changes);
    outcome.after = ReadFru(library, fru);
    outcome.differences = Differences(before, outcome.after);
    if (request.dryRun || outcome.differences.empty()) return outcome;

    SelectFru(library, fru);
    const std::uint32_t status =
        library.Try("CommitConfigurationToSystem", &EFI_FRU_INTERFACE::CommitConfigurationToSystem);
    if (status != 0) {
        throw library
            .Fail(ExitCode::kLibraryCall, "writing the FRU (" + Describe(before.locator) + ")",
                  status)
            .With("The FRU may be partly written. " + RestoreHint(*outcome.backup));
    }
    outcome.written = true;

    // The write reports no more than the server's answers; reading the FRU
    // again shows whether it kept every byte (a write the part dropped, or
    // areas the write put elsewhere than the header says).
    FruSnapshot readBack;
    try {
        readBack = ReadFru(library, LoadFromSystem(library, before.locator));
    } catch (const Failure& failure) {
        throw Failure(failure.Code(), "after writing, " + std::string(failure.what()),
                      failure.Status())
            .With(RestoreHint(*outcome.backup));
    }
    const std::vector<Difference> lost = Differences(outcome.after, readBack);
    if (!lost.empty()) {
        throw Failure(
            ExitCode::kLibraryCall,
            "the FRU read back after writing differs from what was written in " + Names(lost))
            .With(RestoreHint(*outcome.backup));
    }
    return outcome;
}

}  // namespace srvfw
