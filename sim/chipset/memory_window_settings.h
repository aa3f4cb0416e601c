// The memory window's settings (documented in sim/chipset/memory_window.h),
// read once when the machine is built, with every address turned into the
// part offset it names.
#ifndef SRVFW_SIM_CHIPSET_MEMORY_WINDOW_SETTINGS_H
#define SRVFW_SIM_CHIPSET_MEMORY_WINDOW_SETTINGS_H

#include <cstdint>
#include <vector>

#include "sim/core/settings.h"
#include "sim/flash/intel_command_set.h"

namespace sim {

struct MemoryWindowConfig {
    IntelTimings timings;
    IntelFaults faults;
    std::vector<std::uint64_t> locked;      // part offsets of blocks left locked at POST
    std::vector<std::uint64_t> lockedDown;  // ... and of blocks locked down

    // Throws std::invalid_argument naming a setting that cannot be
    // understood or names an address outside [base, base + bytes).
    static MemoryWindowConfig FromSettings(const Settings& settings, std::uint64_t base,
                                           std::uint64_t bytes);
};

}  // namespace sim

#endif
