// Writing a BIOS area from an image file. Before anything is touched the
// image must be a regular file of exactly the area's size and the library
// must accept the write (CheckBiosAreaForWrite); the area is then read and
// saved as a backup, erased, written and read back a block (range) at a
// time, with the stop signals held from the first erase to the last check.
// A dry run stops after the read and says which blocks would change.
//
// After a failure every block is read back and named for what it holds
// now: the new image ("written"), the old ("unchanged"), nothing
// ("erased") or neither ("mixed"), with the command that writes the backup
// back. When every block still holds the old image the exit code says
// that the flash holds what it held before.
#ifndef SRVFW_HOST_BIOS_WRITE_H
#define SRVFW_HOST_BIOS_WRITE_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/bios/flash_tables.h"
#include "host/bios/library.h"
#include "host/frame/backup_file.h"
#include "host/frame/progress.h"

namespace srvfw {

struct BiosWriteRequest {
    std::string area;  // its number or name
    std::filesystem::path file;
    WriteOptions options;
    bool notify = false;
    int platform = 0;
    // The frame's options that reach the same flash again ("--platform 11"),
    // for the restore command srvfw names after a failure.
    std::string frameOptions;
};

struct BlockReport {
    std::uint32_t address = 0;
    std::uint32_t bytes = 0;
    // A dry run: "changes" or "same"; after a failure: "written",
    // "unchanged", "erased", "mixed" or "unreadable".
    std::string state;
};

struct BiosWriteOutcome {
    BiosArea area;
    bool dryRun = false;
    std::vector<BlockReport> blocks;
    std::optional<std::filesystem::path> backup;
    bool written = false;
    bool notified = false;
};

// "BIOS.bin.backup-Main_Block": the default backup's name beside the image.
std::string DefaultBackupName(const std::filesystem::path& image, const BiosArea& area);

// What a block of the flash holds against the old and the new image.
std::string BlockState(std::span<const std::uint8_t> now, std::span<const std::uint8_t> before,
                       std::span<const std::uint8_t> wanted);

// Throws a Failure for a refused or failed write.
BiosWriteOutcome WriteBiosArea(BiosLibrary& library, const BiosWriteRequest& request,
                               ProgressDisplay& progress);

}  // namespace srvfw

#endif
