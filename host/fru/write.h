// Changing a FRU on the server, the one way "fru set" and "fru write" share:
// check the changes against the FRU, save a backup of the FRU as it was,
// make the changes in the library's memory (stopping at the first value it
// refuses, before anything is written), write the FRU back, and read it
// again to make sure the server kept what was written. A dry run stops
// after the changes in memory: it shows them, and writes neither the FRU
// nor a backup.
#ifndef SRVFW_HOST_FRU_WRITE_H
#define SRVFW_HOST_FRU_WRITE_H

#include <filesystem>
#include <optional>
#include <vector>

#include "host/frame/backup_file.h"
#include "host/fru/edit.h"
#include "host/fru/library.h"
#include "host/fru/snapshot.h"

namespace srvfw {

using WriteRequest = WriteOptions;

struct WriteOutcome {
    FruSnapshot after;  // as written (or as it would be, in a dry run)
    std::vector<Difference> differences;
    std::optional<std::filesystem::path> backup;
    bool written = false;
};

// `fru` is a FRU of the system list as `before` shows it.
WriteOutcome WriteChanges(FruLibrary& library, FruHandle fru, const FruSnapshot& before,
                          const std::vector<Change>& changes, const WriteRequest& request);

// Writes a FRU of the file list whole to the device its location names
// (every area, then the header), without reading the device first, and
// reads it back to prove it; returns the FRU as written. This puts a backup
// back after a write that failed half way and left the device unreadable.
FruSnapshot RestoreWhole(FruLibrary& library, FruHandle saved);

}  // namespace srvfw

#endif
