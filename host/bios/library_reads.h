// What srvfw's BIOS commands read through the library without changing
// anything: the BIOS's flash tables, the notification state and how the
// library reaches the flash.
#ifndef SRVFW_HOST_BIOS_LIBRARY_READS_H
#define SRVFW_HOST_BIOS_LIBRARY_READS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/bios/flash_tables.h"
#include "host/bios/library.h"

namespace srvfw {

struct BiosNotifyTable {
    std::uint16_t length = 0;    // the notify field's bytes
    std::uint64_t dataAddr = 0;  // where the field is, inside the flags block
};

struct BiosTables {
    std::vector<BiosSegment> segments;
    std::optional<BiosAreaTable> areas;     // none: the BIOS keeps no FAT
    std::optional<BiosNotifyTable> notify;  // none: this platform has no FNT
};

// The segments and areas; the notification table only when `withNotify`.
BiosTables ReadBiosTables(BiosLibrary& library, bool withNotify);

// The FAT, which a command that names an area needs: its absence is a
// failure.
BiosAreaTable RequireAreaTable(BiosLibrary& library);

// The area named by its number or name; a usage failure naming the areas
// there are when none is.
const BiosArea& RequireArea(const BiosAreaTable& fat, const std::string& numberOrName);

RASK_NOTIFY_STATE ReadNotifyState(BiosLibrary& library);
RASK_FLASH_DEVICE_INFO ReadFlashDeviceInfo(BiosLibrary& library);

}  // namespace srvfw

#endif
