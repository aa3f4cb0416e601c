// The sim backend makes the real signal calls and records each of them.
#include <gtest/gtest.h>

#include <csignal>

#include "hw/hw.h"
#include "sim/core/machine.h"

namespace {

std::vector<std::pair<std::string, std::uint64_t>> SignalCalls() {
    std::vector<std::pair<std::string, std::uint64_t>> calls;
    for (const auto& entry : sim::TheMachine().Log().Of("host")) {
        calls.emplace_back(entry.operation + (entry.detail.empty() ? "" : " " + entry.detail),
                           entry.value);
    }
    return calls;
}

TEST(SimSignals, HoldsReleasesAndTheBrokenPipeSettingAreLogged) {
    sim::ResetMachine();
    hw::IgnoreBrokenPipe();
    {
        hw::StopSignalHold first;
        std::raise(SIGHUP);
        EXPECT_EQ(first.Release(), SIGHUP);
    }
    {
        hw::StopSignalHold second;
        EXPECT_EQ(second.Release(), 0);
    }
    { hw::StopSignalHold dropped; }
    const std::vector<std::pair<std::string, std::uint64_t>> expected = {
        {"ignore-sigpipe", 0}, {"signal-hold", 0},    {"signal-release SIGHUP", SIGHUP},
        {"signal-hold", 0},    {"signal-release", 0}, {"signal-hold", 0},
        {"signal-restore", 0},
    };
    EXPECT_EQ(SignalCalls(), expected);
}

}  // namespace
