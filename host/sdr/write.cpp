#include "host/sdr/write.h"

#include "host/frame/backup_file.h"
#include "host/frame/stop_signals_while_writing.h"
#include "host/sdr/load.h"

namespace srvfw {

namespace {

constexpr const char* kRepository = "the SDR repository";

std::string Count(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

// The records a written file set should have left in the repository, or
// the changes that tell where the repository differs.
std::vector<SdrRecord> RepositoryRecords(SdrLibrary& library) {
    if (!LoadFromSystem(library)) return {};
    return ReadRecords(library, DataSet::kSystem, {});
}

// "Full Sensor Record #2 missing, ...": where what was read differs from
// what should be there.
std::string Describe(const std::vector<RecordChange>& differences) {
    std::string text;
    for (const RecordChange& difference : differences) {
        const SdrRecord& record = difference.written ? *difference.written : *difference.repository;
        const char* how = difference.kind == ChangeKind::kAdded     ? " missing"
                          : difference.kind == ChangeKind::kRemoved ? " extra"
                                                                    : " different";
        text += (text.empty() ? "" : ", ") + record.typeName + " #" +
                std::to_string(difference.position) + how;
    }
    return text;
}

// Writes the file set's committed records and reads them back; throws when
// either fails.
void CommitAndCompare(SdrLibrary& library, const std::vector<SdrRecord>& written,
                      std::string_view what) {
    library.Call(what, &_EFI_SDR_INTERFACE::CommitConfigurationToSystem);
    std::vector<RecordChange> differences;
    try {
        differences = CompareRecords(written, RepositoryRecords(library));
    } catch (const Failure& failure) {
        throw Failure(failure.Code(), "after " + std::string(what) + ", " + failure.what(),
                      failure.Status());
    }
    if (!differences.empty()) {
        throw Failure(ExitCode::kLibraryCall,
                      "the SDR repository read back after " + std::string(what) +
                          " differs from what was written (" + Describe(differences) + ")");
    }
}

// A message as a sentence of a longer one.
std::string Sentence(std::string text) {
    if (!text.empty() && text.back() != '.') text += '.';
    return text;
}

// Whether the repository holds `before` now; false too when it cannot be
// read.
bool HoldsStill(SdrLibrary& library, const std::vector<SdrRecord>& before) {
    try {
        return CompareRecords(before, RepositoryRecords(library)).empty();
    } catch (const Failure&) {
        return false;
    }
}

// After `failure`, brings the repository back to `before` from the backup,
// and throws what came of it.
[[noreturn]] void Recover(SdrLibrary& library, const Failure& failure,
                          const std::vector<std::string>& tags,
                          const std::optional<std::filesystem::path>& backup,
                          const std::vector<SdrRecord>& before) {
    const auto ending = [&failure](ExitCode code, const std::string& sentences) {
        return Failure(code, failure.With(sentences).what(), failure.Status());
    };
    // A failed write may have changed nothing (the BMC takes an area image
    // only whole): then nothing is written again.
    if (HoldsStill(library, before)) {
        throw ending(ExitCode::kFailedRestored,
                     "The SDR repository was left as it was: it reads back the same as before" +
                         (backup ? " (its backup is " + backup->string() + ")." : "."));
    }
    if (!backup) {
        throw ending(ExitCode::kFailedNotRestored,
                     "The SDR repository held no records before, and srvfw made no backup of "
                     "it; it may now hold some of the file's records.");
    }
    try {
        // The backup's records carry no tags; the user's tags are cleared
        // all the same, so that nothing but the backup decides.
        ClearTags(library, tags);
        LoadFromFile(library, *backup);
        CommitAndCompare(library, before, "writing the backup back");
    } catch (const Failure& restoreFailure) {
        throw ending(ExitCode::kFailedNotRestored,
                     "Writing the backup back failed too: " + Sentence(restoreFailure.what()) +
                         " The SDR repository is NOT as it was. The repository as it was is "
                         "saved in " +
                         backup->string() + "; \"srvfw sdr write " + backup->string() +
                         "\" writes it.");
    }
    throw ending(ExitCode::kFailedRestored, "The SDR repository as it was (" +
                                                Count(before.size()) +
                                                ") was written back from the backup " +
                                                backup->string() + " and read back the same.");
}

// Reads the backup as the file set and makes sure it holds the repository's
// records: it is the way back.
void CheckBackup(SdrLibrary& library, const std::filesystem::path& backup,
                 const std::vector<SdrRecord>& before) {
    LoadFromFile(library, backup);
    const std::vector<RecordChange> lost =
        CompareRecords(ReadRecords(library, DataSet::kFile, {}), before);
    if (!lost.empty()) {
        throw Failure(ExitCode::kFile, "the backup " + backup.string() +
                                           " does not hold the SDR repository as it was read (" +
                                           Describe(lost) +
                                           "); nothing was written to the SDR repository");
    }
}

}  // namespace

std::string SdrBackupName(std::chrono::system_clock::time_point time) {
    return "sdr-backup-" + UtcStamp(time) + ".sdr";
}

SdrWriteOutcome WriteSdrFile(SdrLibrary& library, const SdrWriteRequest& request,
                             const std::function<void(const std::filesystem::path&)>& backupSaved) {
    SdrWriteOutcome outcome;
    LoadFromFile(library, request.file);
    SetTags(library, request.tags);
    outcome.fileRecords = ReadRecords(library, DataSet::kFile, {.committed = true});
    const std::vector<SdrRecord> written = Committed(outcome.fileRecords);
    if (written.empty()) {
        // A commit clears the repository first: one that adds nothing
        // leaves it empty.
        throw Failure(ExitCode::kDoesNotFit,
                      "no record of " + request.file.string() + " would be written (" +
                          Count(outcome.fileRecords.size()) +
                          ", none without tags or with a tag given); writing it would leave the "
                          "SDR repository empty, so nothing was written");
    }
    const std::vector<SdrRecord> before = RepositoryRecords(library);
    outcome.changes = CompareRecords(written, before);
    if (request.options.dryRun) return outcome;

    // An empty repository has nothing to lose, and the library saves no
    // file of it.
    if (!before.empty()) {
        outcome.backup = SaveBackupFile(
            request.options.backup, SdrBackupName(std::chrono::system_clock::now()),
            {kRepository, "SDR file"},
            [&library](const std::filesystem::path& staged) { SaveToFile(library, staged); });
        CheckBackup(library, *outcome.backup, before);
        backupSaved(*outcome.backup);
        // The file set is the user's file again for the commit; the tags
        // stay.
        LoadFromFile(library, request.file);
    }
    StopSignalsHeldWhileWriting held(kRepository);
    try {
        CommitAndCompare(library, written, "writing the SDR repository");
    } catch (const Failure& failure) {
        Recover(library, failure, request.tags, outcome.backup, before);
    }
    outcome.written = true;
    held.Finished();
    return outcome;
}

}  // namespace srvfw
