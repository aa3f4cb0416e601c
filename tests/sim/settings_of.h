// Settings written out as pairs, for tests that build a machine of their own.
#ifndef SRVFW_TESTS_SIM_SETTINGS_OF_H
#define SRVFW_TESTS_SIM_SETTINGS_OF_H

#include <initializer_list>
#include <utility>

#include "sim/settings.h"

namespace simtest {

using SettingPairs = std::initializer_list<std::pair<const char*, const char*>>;

inline sim::Settings SettingsOf(SettingPairs pairs) {
    sim::Settings settings;
    for (const auto& [key, value] : pairs) settings.Set(key, value);
    return settings;
}

}  // namespace simtest

#endif
