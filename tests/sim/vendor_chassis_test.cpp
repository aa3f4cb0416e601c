// Get and Set Chassis Capabilities: the front panel lockout flag and the
// device addresses a Set leaves are what Get answers, in this process and
// the next; what a Set may not change stays.
#include <gtest/gtest.h>

#include "sim/bmc/chassis_capabilities.h"
#include "sim/bmc/fw/vendor_log.h"
#include "tests/common/files.h"
#include "tests/sim/ipmi_frames.h"
#include "tests/sim/settings_of.h"

namespace {

using simtest::AskBmc;
using simtest::Bytes;

sim::ChassisCapabilities& Reset(simtest::SettingPairs settings = {}) {
    return *sim::ResetMachine(simtest::SettingsOf(settings)).Find<sim::ChassisCapabilities>();
}

std::vector<sim::vendor::LoggedRequest> Logged(const std::string& operation) {
    return sim::vendor::LoggedRequests(sim::TheMachine().Log(), "fw", operation);
}

Bytes Get() {
    const sim::ipmi::Response response = AskBmc(0x00, 0x00);
    EXPECT_EQ(response.completionCode, 0x00);
    return response.data;
}

TEST(ChassisCapabilities, GetAnswersTheFlagsAndTheFiveAddresses) {
    Reset();
    EXPECT_EQ(Get(), (Bytes{0x00, 0x20, 0x20, 0x20, 0x20, 0x20}));
    Reset({{"chassis.capabilities", "0x0D"}, {"chassis.addresses", "0x20,0x22,0x20,0xC0,0x00"}});
    EXPECT_EQ(Get(), (Bytes{0x0D, 0x20, 0x22, 0x20, 0xC0, 0x00}));
    EXPECT_EQ(Logged("chassis_get").back().value, 0x0Du);
    EXPECT_EQ(AskBmc(0x00, 0x00, {0x00}).completionCode, 0xC7);
    EXPECT_EQ(Logged("chassis_get").back().completionCode, 0xC7);
}

TEST(ChassisCapabilities, SetChangesTheLockoutAndTheAddressesOnly) {
    struct Case {
        const char* what;
        Bytes request;
        std::uint8_t code;
        Bytes after;
    } cases[] = {
        {"lock out", {0x02, 0x20, 0x20, 0x20, 0x20}, 0x00, {0x0E, 0x20, 0x20, 0x20, 0x20, 0xC0}},
        {"unlock, new addresses and bridge",
         {0x00, 0x22, 0x24, 0x26, 0x28, 0x2A},
         0x00,
         {0x0C, 0x22, 0x24, 0x26, 0x28, 0x2A}},
        {"intrusion sensor",
         {0x01, 0x20, 0x20, 0x20, 0x20},
         0x00,
         {0x0D, 0x20, 0x20, 0x20, 0x20, 0xC0}},
        {"a reserved flag",
         {0x06, 0x20, 0x20, 0x20, 0x20},
         0xCC,
         {0x0C, 0x20, 0x20, 0x20, 0x20, 0xC0}},
        {"an odd address",
         {0x02, 0x20, 0x21, 0x20, 0x20},
         0xCC,
         {0x0C, 0x20, 0x20, 0x20, 0x20, 0xC0}},
        {"an odd bridge",
         {0x02, 0x20, 0x20, 0x20, 0x20, 0xC1},
         0xCC,
         {0x0C, 0x20, 0x20, 0x20, 0x20, 0xC0}},
        {"four bytes", {0x02, 0x20, 0x20, 0x20}, 0xC7, {0x0C, 0x20, 0x20, 0x20, 0x20, 0xC0}},
        {"seven bytes", Bytes(7, 0x00), 0xC7, {0x0C, 0x20, 0x20, 0x20, 0x20, 0xC0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Power interlock and diagnostic interrupt describe this chassis.
        sim::ChassisCapabilities& chassis = Reset(
            {{"chassis.capabilities", "0x0C"}, {"chassis.addresses", "0x20,0x20,0x20,0x20,0xC0"}});
        EXPECT_EQ(AskBmc(0x00, 0x05, c.request).completionCode, c.code);
        EXPECT_TRUE(AskBmc(0x00, 0x05, {}).data.empty());
        EXPECT_EQ(Get(), c.after);
        EXPECT_EQ(chassis.FrontPanelLockout(), (c.after[0] & 0x02) != 0);
        const auto sets = Logged("chassis_set");
        ASSERT_EQ(sets.size(), 2u);
        EXPECT_EQ(sets[0].completionCode, c.code);
        if (c.code != 0xC7) {
            EXPECT_EQ(sets[0].address, c.request[0]);
        }
        if (c.code == 0x00) {
            EXPECT_EQ(sets[0].value, c.after[0]);
        }
    }
}

TEST(ChassisCapabilities, AreKeptInTheStateDirectory) {
    test_support::TempDir dir("chassiscaps");
    {
        sim::Machine machine;
        sim::BuildMachine(machine);
        const Bytes set = {0x02, 0x20, 0x22, 0x20, 0x20};
        ASSERT_EQ(machine.Find<sim::Bmc>()->Process({0x00, 0, 0x05, set}).completionCode, 0);
        ASSERT_TRUE(machine.SaveState(dir.Path()));
    }
    EXPECT_EQ(test_support::ReadBytes(dir / "chassis-capabilities"),
              (Bytes{0x02, 0x20, 0x22, 0x20, 0x20, 0x20}));
    sim::Machine next;
    sim::BuildMachine(next);
    next.LoadState(dir.Path());
    const sim::ipmi::Response response = next.Find<sim::Bmc>()->Process({0x00, 0, 0x00, {}});
    EXPECT_EQ(response.data, (Bytes{0x02, 0x20, 0x22, 0x20, 0x20, 0x20}));
    // A file of another size is not the capabilities: the settings stand.
    test_support::WriteBytes(dir / "chassis-capabilities", {0x02, 0x20});
    sim::Machine third;
    sim::BuildMachine(third);
    third.LoadState(dir.Path());
    EXPECT_FALSE(third.Find<sim::ChassisCapabilities>()->FrontPanelLockout());
}

TEST(ChassisCapabilities, SettingsThatCannotBeUnderstoodStopTheMachine) {
    const std::pair<const char*, const char*> bad[] = {
        {"chassis.capabilities", "0x10"},
        {"chassis.addresses", "0x20,0x20"},
        {"chassis.addresses", "0x20,0x20,0x21,0x20,0x20"},
        {"chassis.file", ""},
    };
    simtest::ExpectEachSettingRefused(bad);
}

}  // namespace
