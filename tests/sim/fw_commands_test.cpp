// The simulated controllers' firmware commands as a controller's firmware
// answers them: transfer mode and its signatures, segments, writes, reads
// and range checksums, with their refusals, and what the request log shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/bmc/fw/fw_blocks.h"
#include "sim/bmc/libipmi_endpoint.h"
#include "tests/sim/fw_requests.h"

namespace {

using namespace simtest;
using sim::fw::BlockKind;

struct ControllerCase {
    std::uint8_t address;
    std::uint32_t size;
    bool segments;
};
constexpr ControllerCase kControllers[] = {
    {kBmc, 0x200000, true},
    {kFrontPanel, 0x10000, false},
    {kHsc0, 0x20000, true},
    {kVitesseHsc, 0x20000, true},
};

TEST(FwCommands, OutsideTransferModeEveryFirmwareCommandIsRefusedAndNothingIsWritten) {
    struct Case {
        const char* name;
        std::uint8_t cmd;
        Bytes data;
    };
    const Case cases[] = {
        {"write", 0x01, {0x00, 0x01, 0xAA, 0xBB}},
        {"read", 0x02, {0x00, 0x00, 0x10}},
        {"checksum", 0x03, {0x00, 0x00, 0xFF, 0x00}},
        {"exit", 0x04, {}},
        {"segment", 0x05, {0x01, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ResetMachine();
        const Bytes before = MemoryBytes(kBmc, 0x100, 2);
        EXPECT_EQ(FwCommand(kBmc, c.cmd, c.data).completionCode, kNotInMode);
        EXPECT_EQ(MemoryBytes(kBmc, 0x100, 2), before);
        const auto logged = FirmwareCommands(c.name);
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].controller, kBmc);
        EXPECT_EQ(logged[0].completionCode, kNotInMode);
        EXPECT_EQ(logged[0].Field("note"), "not-in-transfer-mode");
    }
    // The answer is the setting's.
    sim::ResetMachine(SettingsOf({{"fw.hsc0.not_in_mode_cc", "0xD1"}}));
    EXPECT_EQ(ReadAt(kHsc0, 0, 4).completionCode, 0xD1);
}

TEST(FwCommands, EnterTakesItsSignaturesAndSetsTheDeviceIdBit) {
    struct Case {
        std::uint8_t address;
        std::string signature;
        std::uint8_t expected;
    };
    const Case cases[] = {
        {kBmc, "VARNO", 0x00},        {kFrontPanel, "VARNO", 0x00},
        {kHsc0, "VARNO", 0x00},       {kVitesseHsc, "VARNO", 0x00},
        {kFrontPanel, "BOOT", 0x00},  {kBmc, "BOOT", 0xCC},
        {kHsc0, "BOOT", 0xCC},        {kBmc, "VARN", 0xCC},
        {kBmc, "varno", 0xCC},        {kBmc, std::string("VARNO\0", 6), 0xCC},
        {kFrontPanel, "BOOTX", 0xCC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.address) + " " + c.signature);
        std::string shown = c.signature;  // the log shows unprintable bytes as dots
        std::replace(shown.begin(), shown.end(), '\0', '.');
        sim::ResetMachine();
        EXPECT_EQ(DeviceId(c.address).data.at(2) & 0x80, 0);
        EXPECT_EQ(Enter(c.address, c.signature).completionCode, c.expected);
        EXPECT_EQ((DeviceId(c.address).data.at(2) & 0x80) != 0, c.expected == 0x00);
        EXPECT_EQ(FirmwareAt(c.address).InTransferMode(), c.expected == 0x00);
        const auto logged = FirmwareCommands("enter");
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].Field("signature"), shown);
    }
}

TEST(FwCommands, WritesLandAtSegmentAndOffsetAndReadBack) {
    for (const ControllerCase& c : kControllers) {
        SCOPED_TRACE(c.address);
        sim::ResetMachine();
        ASSERT_EQ(Enter(c.address, c.address == kFrontPanel ? "BOOT" : "VARNO").completionCode, 0);
        const std::uint16_t segment = c.segments ? 1 : 0;
        if (c.segments) {
            ASSERT_EQ(Segment(c.address, segment).completionCode, 0);
        }
        const Bytes bytes = Pattern(32, static_cast<std::uint8_t>(c.address));
        const std::uint32_t address = (std::uint32_t{segment} << 16) | 0x8123;
        ASSERT_EQ(WriteAt(c.address, 0x8123, bytes).completionCode, 0);
        EXPECT_EQ(MemoryBytes(c.address, address, 32), bytes);

        const sim::ipmi::Response read = ReadAt(c.address, 0x8123, 32);
        ASSERT_EQ(read.completionCode, 0);
        EXPECT_EQ(read.data, Joined(U16(0x8123), bytes));

        const auto writes = FirmwareCommands("write");
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].controller, c.address);
        EXPECT_EQ(writes[0].Number("segment"), segment);
        EXPECT_EQ(writes[0].Number("offset"), 0x8123u);
        EXPECT_EQ(writes[0].Number("address"), address);
        EXPECT_EQ(writes[0].Number("length"), 32u);
        EXPECT_EQ(FirmwareCommands("read").at(0).Number("length"), 32u);
    }
}

TEST(FwCommands, TheFrontPanelHasNoSegments) {
    sim::ResetMachine();
    ASSERT_EQ(Enter(kFrontPanel).completionCode, 0);
    EXPECT_EQ(Segment(kFrontPanel, 0).completionCode, 0xC1);
    EXPECT_TRUE(FirmwareCommands("segment").empty());
}

TEST(FwCommands, RefusedWritesStoreNothing) {
    struct Case {
        const char* name;
        std::uint8_t address;
        const char* signature;
        std::uint16_t segment;
        std::uint16_t offset;
        std::size_t length;
        std::uint8_t expected;
        const char* note;
        SettingPairs settings;
    };
    const Case cases[] = {
        {"past the memory", kBmc, "VARNO", 0x1F, 0xFFF0, 0x20, 0xC9, "beyond-memory", {}},
        {"longer than the buffer", kHsc0, "VARNO", 0, 0x100, 33, 0xC8, "longer-than-buffer", {}},
        {"BMC buffer", kBmc, "VARNO", 1, 0, 0x4001, 0xC8, "longer-than-buffer", {}},
        {"front-panel boot area outside BOOT",
         kFrontPanel,
         "VARNO",
         0,
         0xFF8,
         16,
         0x80,
         "protected",
         {}},
        {"protected range",
         kBmc,
         "VARNO",
         0,
         0x20,
         16,
         0x80,
         "protected",
         {{"fw.bmc.protect", "0x0:0x27"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ResetMachine(SettingsOf(c.settings));
        ASSERT_EQ(Enter(c.address, c.signature).completionCode, 0);
        if (c.address != kFrontPanel) {
            ASSERT_EQ(Segment(c.address, c.segment).completionCode, 0);
        }
        const std::uint32_t at = (std::uint32_t{c.segment} << 16) | c.offset;
        const std::size_t kept =
            std::min<std::size_t>(c.length, FirmwareAt(c.address).Memory().Size() - at);
        const Bytes before = MemoryBytes(c.address, at, kept);
        EXPECT_EQ(WriteAt(c.address, c.offset, Pattern(c.length)).completionCode, c.expected);
        EXPECT_EQ(MemoryBytes(c.address, at, kept), before);
        const auto writes = FirmwareCommands("write");
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].Field("note"), c.note);
        EXPECT_EQ(writes[0].Number("length"), c.length);
    }
}

TEST(FwCommands, TheBootLoaderTakesTheFrontPanelsBootArea) {
    sim::ResetMachine();
    ASSERT_EQ(Enter(kFrontPanel, "BOOT").completionCode, 0);
    ASSERT_EQ(WriteAt(kFrontPanel, 0xFF8, Pattern(16)).completionCode, 0);
    EXPECT_EQ(MemoryBytes(kFrontPanel, 0xFF8, 16), Pattern(16));
}

TEST(FwCommands, AWriteOfAFourKilobyteBlockTravelsTheSessionPathWhole) {
    sim::ResetMachine();
    auto* endpoint = sim::TheMachine().Find<sim::LibipmiEndpoint>();
    std::uint8_t privilege = 4;
    std::uint32_t session = 0;
    ASSERT_EQ(endpoint->Open("127.0.0.1", 623, &privilege, &session), 0);
    auto send = [&](std::uint8_t cmd, const Bytes& data) {
        sim::ipmi::Response response;
        EXPECT_EQ(endpoint->Send(session, {0x08, 0, cmd, data, sim::ipmi::Origin::kLanSession, 0},
                                 &response),
                  0);
        return response;
    };
    ASSERT_EQ(send(0x00, Text("VARNO")).completionCode, 0);
    ASSERT_EQ(send(0x05, U16(2)).completionCode, 0);
    const Bytes block = Pattern(0x4000);
    ASSERT_EQ(send(0x01, Joined(U16(0x4000), block)).completionCode, 0);
    EXPECT_EQ(MemoryBytes(kBmc, 0x24000, 0x4000), block);
    const auto writes = FirmwareCommands("write");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].Number("length"), 0x4000u);
    EXPECT_EQ(writes[0].Number("address"), 0x24000u);
}

// The sum a host computes over the memory, as the controller's kind sums.
std::uint16_t HostSum(const Bytes& bytes, bool words) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        sum += words && i % 2 == 1 ? bytes[i] << 8 : bytes[i];
    }
    return static_cast<std::uint16_t>(sum);
}

TEST(FwCommands, RangeCheckSumBringsTheHostsSumToZero) {
    struct Case {
        std::uint8_t address;
        std::uint16_t segment;
        std::uint16_t first;
        std::uint16_t last;
    };
    const Case cases[] = {
        {kBmc, 0x01, 0x0000, 0xFFFF},  // a whole segment of code and its block
        {kBmc, 0x00, 0x0040, 0x00A0},  // an odd length: the last word has a low byte only
        {kBmc, 0x1E, 0x0000, 0x7FFF},  {kFrontPanel, 0x00, 0x1000, 0x2FFF},
        {kHsc0, 0x00, 0x4000, 0x5000}, {kVitesseHsc, 0x01, 0xC000, 0xFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.address) + " " + std::to_string(c.segment) + ":" +
                     std::to_string(c.first));
        sim::ResetMachine();
        ASSERT_EQ(Enter(c.address).completionCode, 0);
        if (c.address != kFrontPanel) {
            ASSERT_EQ(Segment(c.address, c.segment).completionCode, 0);
        }
        const std::uint32_t start = (std::uint32_t{c.segment} << 16) | c.first;
        const Bytes bytes = MemoryBytes(c.address, start, c.last - c.first + 1u);
        ASSERT_NE(HostSum(bytes, c.address == kBmc), 0);  // the range holds something
        const sim::ipmi::Response answer = CheckSum(c.address, c.first, c.last);
        ASSERT_EQ(answer.completionCode, 0);
        ASSERT_EQ(answer.data.size(), 4u);
        EXPECT_EQ(Bytes(answer.data.begin(), answer.data.begin() + 2), U16(c.first));
        const auto value = static_cast<std::uint16_t>(answer.data[2] | answer.data[3] << 8);
        EXPECT_EQ(static_cast<std::uint16_t>(HostSum(bytes, c.address == kBmc) + value), 0);
        const auto logged = FirmwareCommands("checksum");
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].Number("first"), c.first);
        EXPECT_EQ(logged[0].Number("last"), c.last);
        EXPECT_EQ(logged[0].Number("sum"), value);
    }
}

TEST(FwCommands, ReadsAndChecksumsRefuseRangesTheyCannotServe) {
    struct Case {
        const char* name;
        std::uint8_t cmd;
        std::uint16_t segment;
        Bytes data;
        std::uint8_t expected;
    };
    const Case cases[] = {
        {"read of nothing", 0x02, 0, {0x00, 0x00, 0x00}, 0xCC},
        {"read past the end", 0x02, 0x1F, {0xF8, 0xFF, 0x10}, 0xC9},
        {"checksum last below first", 0x03, 0, {0x10, 0x00, 0x0F, 0x00}, 0xCC},
        {"read of a short request", 0x02, 0, {0x00, 0x00}, 0xC7},
        {"checksum of a long request", 0x03, 0, {0, 0, 0, 0, 0}, 0xC7},
        {"write without bytes", 0x01, 0, {0x00, 0x00}, 0xC7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ResetMachine();
        ASSERT_EQ(Enter(kBmc).completionCode, 0);
        ASSERT_EQ(Segment(kBmc, c.segment).completionCode, 0);
        EXPECT_EQ(FwCommand(kBmc, c.cmd, c.data).completionCode, c.expected);
        EXPECT_EQ(FirmwareCommands().back().completionCode, c.expected);
    }
    sim::ResetMachine();
    ASSERT_EQ(Enter(kBmc).completionCode, 0);
    EXPECT_EQ(Segment(kBmc, 0x20).completionCode, 0xCC);  // 2 MiB hold segments 0..1Fh
}

TEST(FwCommands, GetBufferSizeAnswersTheSettingsOnEveryController) {
    struct Case {
        std::uint8_t address;
        Bytes expected;
    };
    const Case cases[] = {
        {kBmc, {0x3C, 0x3C}},
        {kFrontPanel, {0x08, 0x08}},
        {kHsc0, {0x08, 0x08}},
        {kVitesseHsc, {0x08, 0x08}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        sim::ResetMachine();
        const sim::ipmi::Response answer = Ask(c.address, 0x30, 0x66);
        EXPECT_EQ(answer.completionCode, 0);
        EXPECT_EQ(answer.data, c.expected);
        const auto logged = FirmwareCommands("buffer-size");
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].controller, c.address);
    }
    sim::ResetMachine(SettingsOf({{"fw.bmc.buffer_units", "0x10:0x08"}}));
    EXPECT_EQ(AskBmc(0x30, 0x66).data, (Bytes{0x10, 0x08}));
    EXPECT_EQ(AskBmc(0x30, 0x66, {0x00}).completionCode, 0xC7);
    EXPECT_EQ(FirmwareCommands("buffer-size").back().completionCode, 0xC7);
}

TEST(FwCommands, TheManagementEngineAnswersGetBufferSize) {
    sim::ResetMachine();
    auto* me = sim::TheMachine().Find<sim::Bmc>()->Ipmb().Find(6, 0x2C);
    ASSERT_NE(me, nullptr);
    const sim::ipmi::Response answer =
        me->Handle({0x30, 0, 0x66, {}, sim::ipmi::Origin::kIpmb, 0x20});
    EXPECT_EQ(answer.completionCode, 0);
    EXPECT_EQ(answer.data, (Bytes{0x08, 0x08}));
    EXPECT_EQ(FirmwareCommands("buffer-size").at(0).controller, 0x2C);
}

TEST(FwCommands, TheShellLoadsTheStorageModulesOfTheLargeTransferPath) {
    sim::ResetMachine();
    sim::HostOs& host = sim::TheMachine().Host();
    for (const char* module : {"usb_storage", "scsi_mod", "sg", "sr_mod"}) {
        SCOPED_TRACE(module);
        EXPECT_FALSE(host.ModuleLoaded(module));
        EXPECT_EQ(host.RunShell(std::string("modprobe ") + module), 0);
        EXPECT_TRUE(host.ModuleLoaded(module));
        const auto entries = sim::TheMachine().Log().Of("host");
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries.back().operation, "modprobe");
        EXPECT_EQ(entries.back().detail, module);
        EXPECT_EQ(entries.back().value, 0u);
    }
    EXPECT_EQ(host.RunShell("modprobe -r sg"), 0);
    EXPECT_FALSE(host.ModuleLoaded("sg"));
    // The IPMI modules still go to the kernel's own handling.
    EXPECT_EQ(host.RunShell("modprobe ipmi_devintf"), 0);
    EXPECT_TRUE(host.ModuleLoaded("ipmi_devintf"));
}

}  // namespace
