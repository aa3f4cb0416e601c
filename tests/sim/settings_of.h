// Settings written out as pairs, for tests that build a machine of their own.
#ifndef SRVFW_TESTS_SIM_SETTINGS_OF_H
#define SRVFW_TESTS_SIM_SETTINGS_OF_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>

#include "sim/core/machine.h"
#include "sim/core/settings.h"

namespace simtest {

using SettingPairs = std::initializer_list<std::pair<const char*, const char*>>;

inline sim::Settings SettingsOf(SettingPairs pairs) {
    sim::Settings settings;
    for (const auto& [key, value] : pairs) settings.Set(key, value);
    return settings;
}

// Each setting alone must stop the machine from being built, with an error
// that names the setting, so a user of simctl knows what to fix.
inline void ExpectEachSettingRefused(std::span<const std::pair<const char*, const char*>> bad) {
    for (const auto& [key, value] : bad) {
        SCOPED_TRACE(std::string(key) + "=" + value);
        try {
            sim::ResetMachine(SettingsOf({{key, value}}));
            ADD_FAILURE() << "built a machine";
        } catch (const std::invalid_argument& error) {
            EXPECT_NE(std::string(error.what()).find(key), std::string::npos) << error.what();
        }
    }
}

}  // namespace simtest

#endif
