#include "host/fru/write.h"

#include "host/frame/stop_signals_while_writing.h"
#include "host/fru/backup.h"
#include "host/fru/load.h"

namespace srvfw {

namespace {

std::string Names(const std::vector<Difference>& differences) {
    std::string names;
    for (const Difference& difference : differences) {
        names += (names.empty() ? "" : ", ") + difference.name;
    }
    return names;
}

// The command puts the backup back whatever the device holds now: it reads
// nothing from the device before it writes.
std::string RestoreHint(const std::filesystem::path& backup) {
    return "The FRU as it was is saved in " + backup.string() + "; \"srvfw fru restore " +
           backup.string() + "\" writes it back whole, whatever the FRU holds now.";
}

// Reads the FRU back from its device and throws when it differs from what
// was written; the readback.
FruSnapshot ReadBackAndCompare(FruLibrary& library, const FruSnapshot& written,
                               const std::optional<std::filesystem::path>& backup) {
    const auto withHint = [&backup](Failure failure) {
        return backup ? failure.With(RestoreHint(*backup)) : failure;
    };
    FruSnapshot readBack;
    try {
        readBack = ReadFru(library, LoadFromSystem(library, written.locator));
    } catch (const Failure& failure) {
        throw withHint(Failure(failure.Code(), "after writing, " + std::string(failure.what()),
                               failure.Status()));
    }
    const std::vector<Difference> lost = Differences(written, readBack);
    if (!lost.empty()) {
        throw withHint(Failure(
            ExitCode::kLibraryCall,
            "the FRU read back after writing differs from what was written in " + Names(lost)));
    }
    return readBack;
}

// Runs one of the library's write entries; a failure says what may be left
// on the device and how to get back.
void Write(FruLibrary& library, std::uint32_t (*EFI_FRU_INTERFACE::*entry)(EFI_FRU_INTERFACE*),
           const FruLocator& locator, const std::string& wayBack) {
    const std::uint32_t status = library.Try("writing the FRU", entry);
    if (status != 0) {
        throw library
            .Fail(ExitCode::kLibraryCall, "writing the FRU (" + Describe(locator) + ")", status)
            .With(wayBack);
    }
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
    // A change refused before anything is written, or changes that come to
    // nothing, leave no backup behind: the FRU was not touched.
    const auto dropBackup = [&outcome] {
        if (!outcome.backup) return;
        std::error_code ignored;
        std::filesystem::remove(*outcome.backup, ignored);
        outcome.backup.reset();
    };
    try {
        Apply(library, fru, before, changes);
    } catch (const Failure&) {
        dropBackup();
        throw;
    }
    outcome.after = ReadFru(library, fru);
    outcome.differences = Differences(before, outcome.after);
    if (outcome.differences.empty()) dropBackup();
    if (request.dryRun || outcome.differences.empty()) return outcome;

    SelectFru(library, fru);
    StopSignalsHeldWhileWriting held("the FRU");
    Write(library, &EFI_FRU_INTERFACE::CommitConfigurationToSystem, before.locator,
          "The FRU may be partly written. " + RestoreHint(*outcome.backup));
    outcome.written = true;
    // The write reports no more than the server's answers; reading the FRU
    // again shows whether it kept every byte (a write the part dropped, or
    // areas the write put elsewhere than the header says).
    ReadBackAndCompare(library, outcome.after, outcome.backup);
    held.Finished();
    return outcome;
}

FruSnapshot RestoreWhole(FruLibrary& library, FruHandle saved) {
    const FruSnapshot written = ReadFru(library, saved);
    StopSignalsHeldWhileWriting held("the FRU");
    Write(library, &EFI_FRU_INTERFACE::WriteWholeFruToSystem, written.locator,
          "The FRU may be partly written; the same command writes it again whole.");
    ReadBackAndCompare(library, written, std::nullopt);
    held.Finished();
    return written;
}

}  // namespace srvfw
