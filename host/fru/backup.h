// The backup srvfw saves of a FRU as it was, before it writes anything to
// it: a FRU configuration file that "srvfw fru write" puts back. By default
// it goes into the current directory as
// fru-backup-<controller>-<FRU device ID>-<UTC time>.fru, saved the way
// host/frame/backup_file.h saves every backup.
#ifndef SRVFW_HOST_FRU_BACKUP_H
#define SRVFW_HOST_FRU_BACKUP_H

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "host/frame/backup_file.h"
#include "host/fru/library.h"
#include "host/fru/locator.h"
#include "host/fru/snapshot.h"

namespace srvfw {

// "fru-backup-20-00-20240305T143000Z.fru"
std::string BackupName(const FruLocator& locator, std::chrono::system_clock::time_point time);

// Saves the FRU (as the library holds it now) to the named file, or to a
// free default name in the current directory; returns the file. Throws a
// file error when the named file exists already (as a link too) or the
// backup cannot be written.
std::filesystem::path SaveBackup(FruLibrary& library, FruHandle fru, const FruLocator& locator,
                                 const std::optional<std::filesystem::path>& file);

}  // namespace srvfw

#endif
