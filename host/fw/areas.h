// The firmware areas as srvfw names them, with the numbers the library
// takes for each: the area an update selects, and the area whose version
// it reports.
#ifndef SRVFW_HOST_FW_AREAS_H
#define SRVFW_HOST_FW_AREAS_H

#include <span>
#include <string>
#include <string_view>

#include "include/duvane_interface.h"

namespace srvfw {

struct FwAreaName {
    std::string_view name;   // "boot", as --area takes it
    std::string_view title;  // "boot area", in sentences
    BmcFwArea updateArea;
    EFWUPDATE_DEVICE_AREA versionArea;
    // An image carries a block of its own for the area; the RMM area has
    // none (it is written through the EFS range).
    bool inImage;
};

// boot, opcode, pia, rmm, efs: the library's order of areas.
std::span<const FwAreaName> FwAreaNames();

// The area of that name; a usage error naming the names otherwise.
const FwAreaName& FwAreaNamed(std::string_view name);

// The controllers srvfw asks for their versions by default, and their names.
std::span<const unsigned char> FwDevices();
std::string FwDeviceName(unsigned char address);
// "20h"
std::string FwDeviceAddress(unsigned char address);
// --device: one of FwDevices(); a usage error otherwise.
unsigned char ParseFwDevice(std::string_view text);

}  // namespace srvfw

#endif
