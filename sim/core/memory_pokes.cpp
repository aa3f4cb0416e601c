#include "sim/core/memory_pokes.h"

#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim {

namespace {

constexpr const char* kPokeKey = "memory.poke";

}  // namespace

void ApplyMemoryPokes(Machine& machine) {
    for (const SettingItem& item : SettingItems(machine.Config(), kPokeKey)) {
        const std::string& hex = item.size() == 2 ? item[1] : "";
        if (hex.empty() || hex.size() % 2 != 0) {
            throw std::invalid_argument(std::string(kPokeKey) +
                                        ": expected ADDR:HEXBYTES, as 0xE00A0:FFFF");
        }
        const std::uint64_t address = SettingNumber(kPokeKey, item[0]);
        for (std::size_t i = 0; i < hex.size(); i += 2) {
            const auto byte = SettingNumber(kPokeKey, "0x" + hex.substr(i, 2), 0xFF);
            machine.Memory().Write(address + i / 2, 1, static_cast<std::uint32_t>(byte));
        }
    }
}

}  // namespace sim
