#include "host/fru_backup.h"

#include <cstdio>
#include <system_error>

#include "host/failure.h"
#include "host/fru_load.h"

namespace srvfw {

std::string BackupName(const FruLocator& locator, std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(time);
    const auto day = floor<days>(seconds);
    const year_month_day date{day};
    const hh_mm_ss clock{seconds - day};
    char name[64];
    std::snprintf(name, sizeof name, "fru-backup-%02X-%02X-%04d%02u%02uT%02d%02d%02dZ.fru",
                  locator.controller, locator.deviceId, static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return name;
}

std::filesystem::path FreeBackupPath(const std::filesystem::path& dir, const std::string& name) {
    const std::filesystem::path plain(name);
    std::filesystem::path candidate = dir / plain;
    for (unsigned n = 2; std::filesystem::exists(candidate); ++n) {
        candidate =
            dir / (plain.stem().string() + "-" + std::to_string(n) + plain.extension().string());
    }
    return candidate;
}

std::filesystem::path SaveBackup(FruLibrary& library, FruHandle fru, const FruLocator& locator,
                                 const std::optional<std::filesystem::path>& file) {
    std::filesystem::path backup;
    if (file) {
        backup = std::filesystem::absolute(*file);
        if (std::filesystem::exists(backup)) {
            throw Failure(ExitCode::kFile, "the backup file " + backup.string() +
                                               " exists already (name a new one); nothing was "
                                               "written to the FRU");
        }
    } else {
        backup = FreeBackupPath(std::filesystem::current_path(),
                                BackupName(locator, std::chrono::system_clock::now()));
    }
    try {
        SaveToFile(library, fru, backup);
    } catch (const Failure& failure) {
        throw failure.With("That was the backup: nothing was written to the FRU.");
    }
    std::error_code error;
    if (std::filesystem::file_size(backup, error) == 0 || error) {
        throw Failure(ExitCode::kFile, "the backup " + backup.string() +
                                           " was not written; nothing was written to the FRU");
    }
    return backup;
}

}  // namespace srvfw
