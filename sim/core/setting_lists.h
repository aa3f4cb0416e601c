// Settings whose value is a list: items separated by commas, the fields of
// an item by colons ("0xF0000:0x10000,0xE0000:0x10000"). A value that cannot
// be understood is a fault of the configuration: it throws
// std::invalid_argument naming the setting, so nobody runs a machine other
// than the one they described.
#ifndef SRVFW_SIM_CORE_SETTING_LISTS_H
#define SRVFW_SIM_CORE_SETTING_LISTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/core/settings.h"

namespace sim {

using SettingItem = std::vector<std::string>;  // the fields of one item

// The items of a setting; none when it is missing or empty.
std::vector<SettingItem> SettingItems(const Settings& settings, const std::string& key);

// A decimal or 0x-hexadecimal number no larger than max.
std::uint64_t SettingNumber(const std::string& key, const std::string& text,
                            std::uint64_t max = UINT64_MAX);
// The number a setting holds, the fallback when it is missing or empty.
std::uint64_t SettingNumber(const Settings& settings, const std::string& key,
                            std::uint64_t fallback, std::uint64_t max = UINT64_MAX);

}  // namespace sim

#endif
