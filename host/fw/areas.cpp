#include "host/fw/areas.h"

#include <cstdio>

#include "host/frame/failure.h"
#include "host/frame/text.h"

namespace srvfw {

namespace {

constexpr FwAreaName kAreas[] = {
    {"boot", "boot area", BMC_FW_AREA_BOOT, EFWUPDATE_DEVICE_AREA_BOOT, true},
    {"opcode", "operational code", BMC_FW_AREA_OPCODE, EFWUPDATE_DEVICE_AREA_OPCODE, true},
    {"pia", "platform information area", BMC_FW_AREA_PIA, EFWUPDATE_DEVICE_AREA_PIA, true},
    {"rmm", "RMM area", BMC_FW_AREA_RMM, EFWUPDATE_DEVICE_AREA_RMM, false},
    {"efs", "EFS area", BMC_FW_AREA_EFS, EFWUPDATE_DEVICE_AREA_EFS, true},
};

constexpr unsigned char kDevices[] = {DUVANE_DEVICE_BMC, DUVANE_DEVICE_FRONT_PANEL,
                                      DUVANE_DEVICE_HSC0, DUVANE_DEVICE_HSC1, DUVANE_DEVICE_ME};

}  // namespace

std::span<const FwAreaName> FwAreaNames() {
    return kAreas;
}

const FwAreaName& FwAreaNamed(std::string_view name) {
    for (const FwAreaName& area : kAreas) {
        if (area.name == name) return area;
    }
    throw Failure(ExitCode::kUsage,
                  "unknown area \"" + ValidUtf8(name) + "\" (boot, opcode, pia, rmm or efs)");
}

std::span<const unsigned char> FwDevices() {
    return kDevices;
}

std::string FwDeviceName(unsigned char address) {
    switch (address) {
        case DUVANE_DEVICE_BMC:
            return "BMC";
        case DUVANE_DEVICE_FRONT_PANEL:
            return "front-panel controller";
        case DUVANE_DEVICE_HSC0:
        case DUVANE_DEVICE_HSC1:
            return "hot-swap controller";
        case DUVANE_DEVICE_ME:
            return "management engine";
        default:
            return "controller";
    }
}

std::string FwDeviceAddress(unsigned char address) {
    char text[8];
    std::snprintf(text, sizeof text, "%02Xh", address);
    return text;
}

unsigned char ParseFwDevice(std::string_view text) {
    const std::optional<std::uint32_t> address = ParseNumber(text, 0xFF);
    if (address) {
        for (const unsigned char device : kDevices) {
            if (device == *address) return device;
        }
    }
    throw Failure(ExitCode::kUsage, "--device " + ValidUtf8(text) +
                                        " is not a controller's address (20h, 22h, C0h, C2h "
                                        "or 2Ch)");
}

}  // namespace srvfw
