#include "sim/chipset/memory_window_settings.h"

#include <stdexcept>
#include <string>

#include "sim/core/setting_lists.h"

namespace sim {

namespace {

constexpr std::uint64_t kNsPerUs = 1'000;
constexpr std::uint64_t kNsPerMs = 1'000'000;
// Long enough for any test that wants a slow part, short enough that the
// virtual clock cannot overflow.
constexpr std::uint64_t kMaxProgramUs = 1'000'000;
constexpr std::uint64_t kMaxEraseMs = 600'000;

std::vector<std::uint64_t> Offsets(const Settings& settings, const std::string& key,
                                   std::uint64_t base, std::uint64_t bytes) {
    std::vector<std::uint64_t> offsets;
    for (const SettingItem& item : SettingItems(settings, key)) {
        if (item.size() != 1) throw std::invalid_argument(key + ": an item is one address");
        const std::uint64_t address = SettingNumber(key, item[0]);
        if (address < base || address - base >= bytes) {
            throw std::invalid_argument(key + ": " + item[0] + " is not inside the flash window");
        }
        offsets.push_back(address - base);
    }
    return offsets;
}

}  // namespace

MemoryWindowConfig MemoryWindowConfig::FromSettings(const Settings& settings, std::uint64_t base,
                                                    std::uint64_t bytes) {
    MemoryWindowConfig config;
    config.timings.programNs = SettingNumber(settings, "flash.program_us",
                                             config.timings.programNs / kNsPerUs, kMaxProgramUs) *
                               kNsPerUs;
    config.timings.eraseNs =
        SettingNumber(settings, "flash.erase_ms", config.timings.eraseNs / kNsPerMs, kMaxEraseMs) *
        kNsPerMs;
    config.locked = Offsets(settings, "flash.locked", base, bytes);
    config.lockedDown = Offsets(settings, "flash.locked_down", base, bytes);
    IntelFaults& faults = config.faults;
    faults.eraseFails = Offsets(settings, "flash.fault.erase", base, bytes);
    faults.programFails = Offsets(settings, "flash.fault.program", base, bytes);
    faults.eraseHangs = Offsets(settings, "flash.fault.erase_hang", base, bytes);
    faults.programHangs = Offsets(settings, "flash.fault.program_hang", base, bytes);
    faults.statusStuck =
        static_cast<std::uint8_t>(SettingNumber(settings, "flash.fault.status_stuck", 0, 0xFF));
    faults.vppLow = SettingNumber(settings, "flash.fault.vpp_low", 0, 1) != 0;
    return config;
}

}  // namespace sim
