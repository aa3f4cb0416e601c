// Where a FRU is: the device kind and the addresses the FRU library reads
// it at, as the locator options give them:
//   --type AT24CO2|DS1624S|IMBDEVICE|MBMC_FRU (or 0..3)   default IMBDEVICE
//   --controller ADDR  responder of every request        default 20h (BMC)
//   --device-id ID     FRU device ID (Read/Write FRU Data) default 0
//   --bus BUS          bus ID byte of Master Write-Read, FFh none  default FFh
//   --slave ADDR       EEPROM slave address                default 20h
//   --lun LUN          LUN of Master Write-Read            default 0
#ifndef SRVFW_HOST_FRU_LOCATOR_H
#define SRVFW_HOST_FRU_LOCATOR_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/frame/arguments.h"
#include "include/orvel_interface.h"

namespace srvfw {

struct FruLocator {
    FRU_TYPE type = FRU_NVS_IMBDEVICE;
    std::uint8_t controller = 0x20;
    std::uint8_t deviceId = 0;
    std::uint8_t bus = 0xFF;
    std::uint8_t slave = 0x20;
    std::uint8_t lun = 0;

    bool operator==(const FruLocator&) const = default;
};

// The locator the options give; none when no locator option is there (the
// FRU at the default location is meant). Usage errors throw.
std::optional<FruLocator> TakeLocatorOptions(Arguments& arguments);

std::optional<FRU_TYPE> ParseFruType(std::string_view text);
std::string_view FruTypeName(FRU_TYPE type);
// "IMBDEVICE FRU device 00h at controller 20h" or, for a memory behind
// Master Write-Read, "AT24CO2 at slave address A8h on bus 03h of
// controller 20h, LUN 0".
std::string Describe(const FruLocator& locator);

}  // namespace srvfw

#endif
