// The BMC's vendor features: the RMM's presence and version as the
// advanced feature command answers them, and the front panel lock, kept in
// the state directory; every request in the "fw" log.
#include "sim/bmc/fw/vendor_features.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/common/files.h"
#include "tests/sim/ipmi_frames.h"
#include "tests/sim/settings_of.h"

namespace {

using simtest::AskBmc;
using simtest::Bytes;

sim::BmcVendorFeatures& Reset(simtest::SettingPairs settings = {}) {
    return *sim::ResetMachine(simtest::SettingsOf(settings)).Find<sim::BmcVendorFeatures>();
}

std::vector<sim::vendor::LoggedRequest> Logged(const std::string& operation) {
    return sim::vendor::LoggedRequests(sim::TheMachine().Log(), "fw", operation);
}

TEST(VendorFeatures, AnswerTheRmmsPresenceAndVersion) {
    struct Case {
        const char* what;
        simtest::SettingPairs settings;
        Bytes request;
        std::uint8_t code;
        Bytes data;
        std::uint64_t loggedValue;
    } cases[] = {
        {"presence", {}, {0, 1, 0, 0}, 0x00, {0x01, 0x01}, 0x01},
        {"version", {}, {0, 3, 0, 0}, 0x00, {0x03, 0x01, 0x05}, 0x01},
        {"version of the setting",
         {{"bmc.rmm.version", "A.3F"}},
         {0, 3, 0, 0},
         0x00,
         {0x03, 0x0A, 0x3F},
         0x0A},
        {"no RMM: presence", {{"bmc.rmm.present", "0"}}, {0, 1, 0, 0}, 0x00, {0x01, 0x00}, 0x00},
        {"no RMM: version", {{"bmc.rmm.present", "0"}}, {0, 3, 0, 0}, 0xCB, {}, 0},
        {"another query", {}, {0, 2, 0, 0}, 0xCC, {}, 0},
        {"another group", {}, {1, 1, 0, 0}, 0xCC, {}, 0},
        {"trailing bytes", {}, {0, 1, 0, 1}, 0xCC, {}, 0},
        {"three bytes", {}, {0, 1, 0}, 0xC7, {}, 0},
        {"no data fault", {{"bmc.fault.features_no_data", "1"}}, {0, 1, 0, 0}, 0x00, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Reset(c.settings);
        const sim::ipmi::Response response = AskBmc(0x30, 0x71, c.request);
        EXPECT_EQ(response.completionCode, c.code);
        EXPECT_EQ(response.data, c.data);
        const auto logged = Logged("features");
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].completionCode, c.code);
        EXPECT_EQ(logged[0].value, c.loggedValue);
        if (c.request.size() == 4) {
            EXPECT_EQ(logged[0].address, c.request[1]);
        }
    }
}

TEST(VendorFeatures, TheNoDataFaultStrikesOnlyTheTimesItCounts) {
    Reset({{"bmc.fault.features_no_data", "2"}});
    EXPECT_TRUE(AskBmc(0x30, 0x71, {0, 1, 0, 0}).data.empty());
    EXPECT_TRUE(AskBmc(0x30, 0x71, {0, 3, 0, 0}).data.empty());
    EXPECT_EQ(AskBmc(0x30, 0x71, {0, 3, 0, 0}).data, (Bytes{0x03, 0x01, 0x05}));
    EXPECT_EQ(Logged("features")[1].note, "fault: no data");
}

TEST(VendorFeatures, TheFrontPanelLockFollowsF0hAnd00h) {
    sim::BmcVendorFeatures& features = Reset();
    struct Step {
        Bytes request;
        std::uint8_t code;
        bool locked;
    } steps[] = {
        {{0xF0}, 0x00, true},  {{0xF0}, 0x00, true},  {{0x01}, 0xCC, true},
        {{0x00}, 0x00, false}, {{0xFF}, 0xCC, false}, {{0xF0, 0x00}, 0xC7, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(static_cast<int>(step.request[0]));
        const sim::ipmi::Response response = AskBmc(0x30, 0x1E, step.request);
        EXPECT_EQ(response.completionCode, step.code);
        EXPECT_TRUE(response.data.empty());
        EXPECT_EQ(features.FrontPanelLocked(), step.locked);
        const auto logged = Logged("panel_lock").back();
        EXPECT_EQ(logged.completionCode, step.code);
        if (step.code != 0xC7) {
            EXPECT_EQ(logged.address, step.request[0]);
            EXPECT_EQ(logged.value, step.locked ? 1u : 0u);
        }
    }
    EXPECT_EQ(Logged("panel_lock").size(), std::size(steps));
}

TEST(VendorFeatures, TheFrontPanelLockIsKeptInTheStateDirectory) {
    test_support::TempDir dir("vendorlock");
    const struct Case {
        const char* initial;
        std::uint8_t action;
        bool locked;
    } cases[] = {{"0", 0xF0, true}, {"1", 0x00, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.initial);
        const sim::Settings settings = simtest::SettingsOf({{"bmc.front_panel.locked", c.initial}});
        std::filesystem::remove(dir / "front-panel-lock");
        {
            sim::Machine machine(settings);
            sim::BuildMachine(machine);
            machine.LoadState(dir.Path());
            const Bytes data = {c.action};
            ASSERT_EQ(machine.Find<sim::Bmc>()->Process({0x30, 0, 0x1E, data}).completionCode, 0);
            ASSERT_TRUE(machine.SaveState(dir.Path()));
        }
        sim::Machine next(settings);
        sim::BuildMachine(next);
        EXPECT_EQ(next.Find<sim::BmcVendorFeatures>()->FrontPanelLocked(), !c.locked);
        next.LoadState(dir.Path());
        EXPECT_EQ(next.Find<sim::BmcVendorFeatures>()->FrontPanelLocked(), c.locked);
        std::ostringstream described;
        next.Describe(described);
        EXPECT_NE(described.str().find(c.locked ? "front panel: locked" : "front panel: unlocked"),
                  std::string::npos);
    }
}

TEST(VendorFeatures, SettingsThatCannotBeUnderstoodStopTheMachine) {
    const std::pair<const char*, const char*> bad[] = {
        {"bmc.rmm.version", "1"},      {"bmc.rmm.version", "1.5"},
        {"bmc.rmm.version", "100.01"}, {"bmc.rmm.version", "G.01"},
        {"bmc.front_panel.file", ""},  {"bmc.fault.features_no_data", "sometimes"},
    };
    simtest::ExpectEachSettingRefused(bad);
}

}  // namespace
