#include "host/fru/locator.h"

#include <cstdio>

#include "host/frame/failure.h"
#include "host/frame/text.h"

namespace srvfw {

namespace {

struct TypeName {
    FRU_TYPE type;
    std::string_view name;
};
// The names the FRU configuration file gives the kinds.
constexpr TypeName kTypeNames[] = {{FRU_NVS_AT24CO2, "AT24CO2"},
                                   {FRU_NVS_DS1624S, "DS1624S"},
                                   {FRU_NVS_IMBDEVICE, "IMBDEVICE"},
                                   {FRU_NVS_MBMC, "MBMC_FRU"}};

bool TakeByte(Arguments& arguments, std::string_view option, std::uint8_t& value) {
    const auto text = arguments.TakeValue(option);
    if (!text) return false;
    const auto number = ParseNumber(*text, 0xFF);
    if (!number) {
        throw Failure(
            ExitCode::kUsage,
            std::string(option) + " takes a byte (0 to 255, 0x.. or ..h), not \"" + *text + "\"");
    }
    value = static_cast<std::uint8_t>(*number);
    return true;
}

std::string HexByte(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02Xh", value);
    return text;
}

}  // namespace

std::optional<FRU_TYPE> ParseFruType(std::string_view text) {
    for (const TypeName& name : kTypeNames) {
        if (name.name == text) return name.type;
    }
    if (const auto number = ParseNumber(text, FRU_NVS_MBMC)) return static_cast<FRU_TYPE>(*number);
    return std::nullopt;
}

std::string_view FruTypeName(FRU_TYPE type) {
    for (const TypeName& name : kTypeNames) {
        if (name.type == type) return name.name;
    }
    return "NONE";
}

std::optional<FruLocator> TakeLocatorOptions(Arguments& arguments) {
    FruLocator locator;
    bool given = false;
    if (const auto type = arguments.TakeValue("--type")) {
        const auto parsed = ParseFruType(*type);
        if (!parsed) {
            throw Failure(ExitCode::kUsage,
                          "--type takes AT24CO2, DS1624S, IMBDEVICE or "
                          "MBMC_FRU (or 0 to 3), not \"" +
                              *type + "\"");
        }
        locator.type = *parsed;
        given = true;
    }
    given |= TakeByte(arguments, "--controller", locator.controller);
    given |= TakeByte(arguments, "--device-id", locator.deviceId);
    given |= TakeByte(arguments, "--bus", locator.bus);
    given |= TakeByte(arguments, "--slave", locator.slave);
    given |= TakeByte(arguments, "--lun", locator.lun);
    if (!given) return std::nullopt;
    return locator;
}

std::string Describe(const FruLocator& locator) {
    const std::string type(FruTypeName(locator.type));
    if (locator.type == FRU_NVS_IMBDEVICE) {
        std::string text = type + " FRU device " + HexByte(locator.deviceId) + " at controller " +
                           HexByte(locator.controller);
        if (locator.bus != 0xFF) {
            text +=
                " (bus " + HexByte(locator.bus) + ", slave address " + HexByte(locator.slave) + ")";
        }
        return text;
    }
    return type + " at slave address " + HexByte(locator.slave) + " on bus " +
           HexByte(locator.bus) + " of controller " + HexByte(locator.controller) + ", LUN " +
           std::to_string(locator.lun) + ", FRU device " + HexByte(locator.deviceId);
}

}  // namespace srvfw
