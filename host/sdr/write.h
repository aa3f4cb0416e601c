// Writing an SDR file's records to the BMC as one transaction. A commit
// clears the repository before it adds anything, so the repository as it
// was is saved to a backup SDR file first (and the backup read again to
// make sure it holds every record); after the commit the repository is
// read back and compared with what the file says. When the commit or the
// comparison fails and the repository no longer reads as it was, the
// backup is written back and read back in its turn: the failure then says
// whether the repository holds what it held before.
#ifndef SRVFW_HOST_SDR_WRITE_H
#define SRVFW_HOST_SDR_WRITE_H

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/frame/backup_file.h"
#include "host/sdr/compare.h"
#include "host/sdr/library.h"
#include "host/sdr/records.h"

namespace srvfw {

struct SdrWriteRequest {
    std::filesystem::path file;
    std::vector<std::string> tags;
    WriteOptions options;
};

struct SdrWriteOutcome {
    std::vector<SdrRecord> fileRecords;  // each with whether it is written
    std::vector<RecordChange> changes;   // against the repository as it was
    std::optional<std::filesystem::path> backup;
    bool written = false;
};

// "sdr-backup-20240305T143000Z.sdr"
std::string SdrBackupName(std::chrono::system_clock::time_point time);

// `backupSaved` is told where the backup is before anything is written.
SdrWriteOutcome WriteSdrFile(SdrLibrary& library, const SdrWriteRequest& request,
                             const std::function<void(const std::filesystem::path&)>& backupSaved);

}  // namespace srvfw

#endif
