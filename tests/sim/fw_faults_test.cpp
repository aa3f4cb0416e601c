// The faults the controllers' firmware takes on demand: a controller that
// stops answering mid-transfer, refused writes, a checksum that does not
// match, a controller that never leaves transfer mode, a refused entry; and
// the settings it refuses to be built from.
#include <gtest/gtest.h>

#include <string>

#include "tests/sim/fw_requests.h"

namespace {

using namespace simtest;

TEST(FwFaults, AControllerStopsAnsweringAfterItsFirmwareCommands) {
    for (const std::uint8_t address : {kBmc, kHsc0}) {
        SCOPED_TRACE(address);
        const std::string key =
            address == kBmc ? "fw.bmc.fault.stop_after" : "fw.hsc0.fault.stop_after";
        sim::ResetMachine(SettingsOf({{key.c_str(), "3"}}));
        ASSERT_EQ(Enter(address).completionCode, 0);
        ASSERT_EQ(Segment(address, 0).completionCode, 0);
        ASSERT_EQ(WriteAt(address, 0x4000, Pattern(16)).completionCode, 0);
        const Bytes before = MemoryBytes(address, 0x4010, 16);
        EXPECT_TRUE(WriteAt(address, 0x4010, Pattern(16, 0x55)).silent);
        EXPECT_EQ(MemoryBytes(address, 0x4010, 16), before);
        // Hung: Get Device ID goes unanswered too, and nothing more is logged.
        EXPECT_TRUE(DeviceId(address).silent);
        const auto logged = FirmwareCommands();
        ASSERT_EQ(logged.size(), 4u);
        EXPECT_FALSE(logged.back().completionCode.has_value());
        EXPECT_EQ(logged.back().Field("note"), "stopped");
    }
}

TEST(FwFaults, RefusedWritesAnswerTheirCodeAndStoreNothingUntilTheCountRunsOut) {
    sim::ResetMachine(SettingsOf({{"fw.bmc.fault.refuse_write", "2:0xCE"}}));
    ASSERT_EQ(Enter(kBmc).completionCode, 0);
    const Bytes before = MemoryBytes(kBmc, 0x100, 16);
    EXPECT_EQ(WriteAt(kBmc, 0x100, Pattern(16)).completionCode, 0xCE);
    EXPECT_EQ(WriteAt(kBmc, 0x100, Pattern(16)).completionCode, 0xCE);
    EXPECT_EQ(MemoryBytes(kBmc, 0x100, 16), before);
    EXPECT_EQ(WriteAt(kBmc, 0x100, Pattern(16)).completionCode, 0x00);
    EXPECT_EQ(MemoryBytes(kBmc, 0x100, 16), Pattern(16));
    const auto writes = FirmwareCommands("write");
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].Field("note"), "injected");
    EXPECT_EQ(writes[2].Field("note"), "");
}

TEST(FwFaults, ABadChecksumIsOneOffTheRightOne) {
    sim::ResetMachine(SettingsOf({{"fw.front_panel.fault.bad_checksum", "1"}}));
    ASSERT_EQ(Enter(kFrontPanel).completionCode, 0);
    const sim::ipmi::Response bad = CheckSum(kFrontPanel, 0x1000, 0x1FFF);
    const sim::ipmi::Response good = CheckSum(kFrontPanel, 0x1000, 0x1FFF);
    ASSERT_EQ(bad.completionCode, 0);
    ASSERT_EQ(good.completionCode, 0);
    const auto value = [](const sim::ipmi::Response& r) {
        return static_cast<std::uint16_t>(r.data.at(2) | r.data.at(3) << 8);
    };
    EXPECT_EQ(static_cast<std::uint16_t>(value(good) + 1), value(bad));
    EXPECT_EQ(FirmwareCommands("checksum").at(0).Field("note"), "injected");
}

TEST(FwFaults, AControllerStuckInTransferModeAnswersExitButStaysThere) {
    sim::ResetMachine(SettingsOf({{"fw.bmc.fault.stuck_in_mode", "1"}}));
    ASSERT_EQ(Enter(kBmc).completionCode, 0);
    EXPECT_EQ(FwCommand(kBmc, 0x04).completionCode, 0);
    const sim::ipmi::Response id = DeviceId(kBmc);
    ASSERT_FALSE(id.silent);
    EXPECT_NE(id.data.at(2) & 0x80, 0);
    EXPECT_TRUE(FirmwareAt(kBmc).InTransferMode());
    EXPECT_EQ(FirmwareCommands("exit").at(0).Number("restart_ms"), 0u);
}

TEST(FwFaults, ARefusedEntryLeavesTheControllerRunning) {
    sim::ResetMachine(SettingsOf({{"fw.hsc0.fault.enter_refused", "1"}}));
    EXPECT_EQ(Enter(kHsc0).completionCode, 0xC0);
    EXPECT_EQ(DeviceId(kHsc0).data.at(2) & 0x80, 0);
    EXPECT_EQ(WriteAt(kHsc0, 0x4000, {1, 2}).completionCode, kNotInMode);
    EXPECT_EQ(Enter(kHsc0).completionCode, 0x00);
    EXPECT_EQ(FirmwareCommands("enter").at(0).Field("note"), "injected");
}

TEST(FwFaults, SettingsThatCannotBeUnderstoodStopTheMachine) {
    const std::pair<const char*, const char*> bad[] = {
        {"fw.bmc.size", "0x1000"},
        {"fw.front_panel.size", "0x20000"},
        {"fw.bmc.opcode_version", "1"},
        {"fw.bmc.opcode_version", "200.00"},
        {"fw.bmc.block_format", "4"},
        {"fw.hsc0.pia_type", "1"},
        {"fw.bmc.buffer_units", "0x10"},
        {"fw.bmc.write_buffer", "0"},
        {"fw.bmc.protect", "0x20:0x10"},
        {"fw.bmc.identification", "AN-IDENTIFICATION-TOO-LONG"},
        {"fw.hsc0.restart_ms", "300000"},
        {"fw.bmc.fault.refuse_write", "sometimes"},
        {"fw.bmc.fault.refuse_write", "1:0x00"},
        {"fw.bmc.not_in_mode_cc", "0"},
    };
    ExpectEachSettingRefused(bad);
}

}  // namespace
