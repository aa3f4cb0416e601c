// The flash layer's tests run against a fresh simulated machine per test:
// a board of the settings given (sim/chipset/board.h names the boards),
// opened as librask opens it, with the request log cleared once the open
// is done so that a test sees what its own operation asked of the hardware.
#ifndef SRVFW_TESTS_RASK_FLASH_SIM_FIXTURE_H
#define SRVFW_TESTS_RASK_FLASH_SIM_FIXTURE_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "hw/hw.h"
#include "rask/flash_layer.h"
#include "sim/core/machine.h"

namespace rask_test {

using Setting = std::pair<std::string, std::string>;

// A parameterized case's name (its `name` member), for the test's name.
template <class Case>
std::string NameOfCase(const ::testing::TestParamInfo<Case>& info) {
    return std::string(info.param.name);
}

class FlashSim : public ::testing::Test {
  protected:
    ~FlashSim() override {
        if (mHandle != nullptr) Rask_Private::FlashUDClose(mHandle);
        Rask_Private::ResetFlashLayerState();
    }

    // A fresh machine of these settings; the flash layer's state is reset.
    sim::Machine& Boot(std::initializer_list<Setting> settings = {}) {
        return Boot(std::vector<Setting>(settings));
    }
    // The same, for settings kept in a table of cases.
    sim::Machine& Boot(const std::vector<Setting>& settings) {
        sim::Settings values;
        for (const auto& [key, value] : settings) values.Set(key, value);
        Rask_Private::ResetFlashLayerState();
        return sim::ResetMachine(values);
    }

    sim::Machine& Machine() { return sim::TheMachine(); }

    // The open's result; on success the handle is kept and closed at the
    // end of the test. The log is cleared after the open; what the open
    // itself asked stays readable through OpenLog.
    Rask_Private::FUL_RETURN Open(int platform) {
        const auto result =
            Rask_Private::FlashUDOpen(platform, hw::kPhysicalMemoryDevice, false, &mHandle);
        mOpenLog = Machine().Log().Entries();
        Machine().Log().Clear();
        return result;
    }

    // The entries of one component that the last Open recorded.
    std::vector<sim::LogEntry> OpenLog(const std::string& component) const {
        std::vector<sim::LogEntry> entries;
        for (const sim::LogEntry& entry : mOpenLog) {
            if (entry.component == component) entries.push_back(entry);
        }
        return entries;
    }

    Rask_Private::FlashDesc* Handle() const { return mHandle; }

    // Closes now (a test of the close itself).
    Rask_Private::FUL_RETURN Close() {
        const auto result = Rask_Private::FlashUDClose(mHandle);
        mHandle = nullptr;
        return result;
    }

    std::vector<sim::LogEntry> Log(const std::string& component) const {
        return sim::TheMachine().Log().Of(component);
    }

  private:
    Rask_Private::FlashDesc* mHandle = nullptr;
    std::vector<sim::LogEntry> mOpenLog;
};

}  // namespace rask_test

#endif
