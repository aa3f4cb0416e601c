#include "host/fru/backup.h"

#include <cstdio>

#include "host/fru/load.h"

namespace srvfw {

std::string BackupName(const FruLocator& locator, std::chrono::system_clock::time_point time) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "fru-backup-%02X-%02X-", locator.controller,
                  locator.deviceId);
    return prefix + UtcStamp(time) + ".fru";
}

std::filesystem::path SaveBackup(FruLibrary& library, FruHandle fru, const FruLocator& locator,
                                 const std::optional<std::filesystem::path>& file) {
    return SaveBackupFile(
        file, BackupName(locator, std::chrono::system_clock::now()), {"the FRU", "FRU file"},
        [&](const std::filesystem::path& staged) { SaveToFile(library, fru, staged); });
}

}  // namespace srvfw
