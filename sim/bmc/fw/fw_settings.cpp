#include "sim/bmc/fw/fw_settings.h"

#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim::fw {

namespace {

constexpr std::uint64_t kBmcRestartMs = 90000;
constexpr std::uint64_t kSatelliteRestartMs = 20000;
constexpr std::uint64_t kBmcWriteBuffer = 0x4000;
constexpr std::uint8_t kBmcBufferUnits = 0x3C;
constexpr std::uint64_t kSmallestBmc = 0x40000;  // boot, PIA, EFS and some code
constexpr std::uint64_t kSmallestFrontPanel = 0x2000;
constexpr std::uint64_t kSmallestHotSwap = 0x10000;
constexpr std::uint64_t kLargestMemory = 0x10000000;

std::string Text(const Settings& settings, const std::string& key, const std::string& fallback,
                 std::size_t maxLength) {
    std::string text = settings.Get(key, fallback);
    if (text.size() > maxLength) {
        throw std::invalid_argument(key + ": at most " + std::to_string(maxLength) + " characters");
    }
    return text;
}

BlockVersion Version(const Settings& settings, const std::string& key, BlockVersion fallback) {
    return settings.Has(key) ? ParseVersion(key, settings.Get(key, "")) : fallback;
}

std::uint32_t MemorySize(const Settings& settings, const std::string& key,
                         const ImageSpec& recipe) {
    const std::uint64_t smallest = recipe.kind == ControllerKind::kBmc ? kSmallestBmc
                                   : recipe.kind == ControllerKind::kFrontPanel
                                       ? kSmallestFrontPanel
                                       : kSmallestHotSwap;
    const std::uint64_t largest =
        recipe.kind == ControllerKind::kFrontPanel ? 0x10000 : kLargestMemory;
    const std::uint64_t size = SettingNumber(settings, key, recipe.size, largest);
    if (size < smallest) {
        throw std::invalid_argument(key + ": at least " + std::to_string(smallest) + " bytes");
    }
    return static_cast<std::uint32_t>(size);
}

void ReadImage(const Settings& settings, const std::string& prefix, ImageSpec& recipe) {
    recipe.size = MemorySize(settings, prefix + "size", recipe);
    recipe.boot = Version(settings, prefix + "boot_version", recipe.boot);
    recipe.opCode = Version(settings, prefix + "opcode_version", recipe.opCode);
    recipe.pia = Version(settings, prefix + "pia_version", recipe.pia);
    recipe.efs = Version(settings, prefix + "efs_version", recipe.efs);
    recipe.identification =
        Text(settings, prefix + "identification", recipe.identification, kIdentificationBytes - 1);
    recipe.blockFormat =
        static_cast<std::uint8_t>(SettingNumber(settings, prefix + "block_format", 6, 0xFF));
    recipe.piaType =
        static_cast<std::uint8_t>(SettingNumber(settings, prefix + "pia_type", 2, 0xFF));
    if (recipe.blockFormat != 5 && recipe.blockFormat != 6) {
        throw std::invalid_argument(prefix + "block_format: 5 or 6");
    }
    if (recipe.piaType != 2 && recipe.piaType != 3) {
        throw std::invalid_argument(prefix + "pia_type: 2 or 3");
    }
}

std::vector<ProtectedRange> Ranges(const Settings& settings, const std::string& key,
                                   std::uint32_t size) {
    std::vector<ProtectedRange> ranges;
    for (const SettingItem& item : SettingItems(settings, key)) {
        if (item.size() != 2) throw std::invalid_argument(key + ": FIRST:LAST,...");
        const auto first = static_cast<std::uint32_t>(SettingNumber(key, item[0], size - 1));
        const auto last = static_cast<std::uint32_t>(SettingNumber(key, item[1], size - 1));
        if (last < first) throw std::invalid_argument(key + ": LAST below FIRST");
        ranges.push_back({first, last});
    }
    return ranges;
}

}  // namespace

std::array<std::uint8_t, 2> BufferUnits(const Settings& settings, const std::string& key,
                                        std::uint8_t fallback) {
    const std::vector<SettingItem> items = SettingItems(settings, key);
    if (items.empty()) return {fallback, fallback};
    if (items.size() != 1 || items[0].size() != 2) throw std::invalid_argument(key + ": A:B");
    return {static_cast<std::uint8_t>(SettingNumber(key, items[0][0], 0xFF)),
            static_cast<std::uint8_t>(SettingNumber(key, items[0][1], 0xFF))};
}

BlockVersion ParseVersion(const std::string& key, const std::string& text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == text.size()) {
        throw std::invalid_argument(key + ": MAJOR.MINOR, e.g. 1.20");
    }
    const std::uint64_t major = SettingNumber(key, text.substr(0, dot), 0x7F);
    const std::uint64_t minor = SettingNumber(key, "0x" + text.substr(dot + 1), 0xFF);
    return {static_cast<std::uint16_t>(major), static_cast<std::uint16_t>(minor)};
}

FirmwareConfig FirmwareConfigFor(const Settings& settings, const std::string& name,
                                 std::uint8_t address, const ipmi::DeviceIdentity& identity) {
    const std::string prefix = "fw." + name + ".";
    const std::optional<ControllerKind> kind = KindOfAddress(address);
    if (!kind)
        throw std::invalid_argument(prefix + ": no firmware for address " +
                                    std::to_string(address));
    const bool bmc = *kind == ControllerKind::kBmc;
    FirmwareConfig config;
    config.name = name;
    config.vitesse =
        *kind == ControllerKind::kHotSwap && settings.Get("fw.vitesse", "hsc1") == name;
    config.image = DefaultImageSpec(*kind, address, config.vitesse);
    // The first image carries what the controller's identity reports, so a
    // machine described by its identity settings alone reports them still.
    const BlockVersion reported{identity.firmwareMajor, identity.firmwareMinor};
    if (*kind == ControllerKind::kHotSwap) {
        config.image.boot = reported;
    } else {
        config.image.opCode = reported;
        config.image.boot = {identity.auxFirmware[0], identity.auxFirmware[1]};
        config.image.pia = {identity.auxFirmware[2], identity.auxFirmware[3]};
    }
    config.image.productId = identity.productId;
    ReadImage(settings, prefix, config.image);

    config.bufferUnits =
        BufferUnits(settings, prefix + "buffer_units", bmc ? kBmcBufferUnits : 0x08);
    config.writeBuffer =
        SettingNumber(settings, prefix + "write_buffer", bmc ? kBmcWriteBuffer : 32, 0xFFFF);
    if (config.writeBuffer == 0) throw std::invalid_argument(prefix + "write_buffer: at least 1");
    config.restartMs =
        SettingNumber(settings, prefix + "restart_ms", bmc ? kBmcRestartMs : kSatelliteRestartMs,
                      255'000);  // a Vitesse part answers the wait in one byte of seconds
    config.notInModeCode =
        static_cast<std::uint8_t>(SettingNumber(settings, prefix + "not_in_mode_cc", 0xD5, 0xFF));
    if (config.notInModeCode == 0) throw std::invalid_argument(prefix + "not_in_mode_cc: not 0");
    config.protectedRanges = Ranges(settings, prefix + "protect", config.image.size);
    config.file = settings.Get(prefix + "file", "fw-" + name + ".bin");

    const std::string faults = prefix + "fault.";
    if (settings.Has(faults + "stop_after")) {
        config.stopAfter = SettingNumber(settings, faults + "stop_after", 0);
    }
    config.refuseWrite = CodedFault::FromSetting(settings, faults + "refuse_write", 0xFF, 0xFF);
    config.badChecksum = FaultCount::FromSetting(settings, faults + "bad_checksum");
    config.stuckInMode = SettingNumber(settings, faults + "stuck_in_mode", 0, 1) != 0;
    config.enterRefused = CodedFault::FromSetting(settings, faults + "enter_refused", 0xC0, 0xFF);
    return config;
}

}  // namespace sim::fw
