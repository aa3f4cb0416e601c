// The FRU inventory commands as a controller answers them: Get FRU
// Inventory Area Info, Read and Write FRU Data through the BMC's command
// table and bridged to a satellite, every completion code, the transfer
// limits, and the faults (busy, failing cells, writes not kept). Each case
// checks the answer, the cells, and what the request log recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "sim/bmc/fru/fru_image_builder.h"
#include "sim/bmc/fru/fru_storage.h"
#include "tests/sim/fru_requests.h"

namespace {

using simtest::AskBmc;
using simtest::Bytes;
using simtest::Contents;
using simtest::FruAccesses;
using simtest::Pattern;
using simtest::ReadFru;
using simtest::WriteFru;

constexpr std::size_t kDeviceBytes = 64;

// One logical FRU device of 64 bytes at ID 2 on the BMC, holding Pattern,
// plus whatever the case sets for it.
sim::fru::FruDevice& SmallDevice(simtest::SettingPairs extra = {}) {
    sim::fru::FruDevice& device = simtest::OnlyLogicalDevice("dev:bmc:2:64", extra);
    device.Fill(Pattern(kDeviceBytes));
    return device;
}

Bytes CountAndBytes(const Bytes& bytes) {
    Bytes data = {static_cast<std::uint8_t>(bytes.size())};
    data.insert(data.end(), bytes.begin(), bytes.end());
    return data;
}

Bytes Slice(const Bytes& bytes, std::size_t offset, std::size_t length) {
    return Bytes(bytes.begin() + offset, bytes.begin() + offset + length);
}

// ------------------------------------------------------------ answers

TEST(FruInventoryAreaInfo, ReportsTheSizeOfEachDeviceAndByteAccess) {
    simtest::ResetFru({{"fru.devices", "big:bmc:0:65535,odd:bmc:7:300"}});
    EXPECT_EQ(AskBmc(0x0A, 0x10, {0x00}).data, (Bytes{0xFF, 0xFF, 0x00}));
    EXPECT_EQ(AskBmc(0x0A, 0x10, {0x07}).data, (Bytes{0x2C, 0x01, 0x00}));
    const auto accesses = FruAccesses();
    ASSERT_EQ(accesses.size(), 2u);
    EXPECT_EQ(accesses[1].operation, "info");
    EXPECT_EQ(accesses[1].device, "odd");
    EXPECT_EQ(accesses[1].target, "id 07h");
    EXPECT_EQ(accesses[1].completionCode, 0x00);
}

TEST(FruReadData, ReturnsTheCountAndTheBytesAndStopsAtTheEnd) {
    SmallDevice();
    const Bytes cells = Pattern(kDeviceBytes);
    const sim::ipmi::Response first = ReadFru(2, 0x10, 8);
    EXPECT_EQ(first.completionCode, 0x00);
    EXPECT_EQ(first.data, CountAndBytes(Slice(cells, 0x10, 8)));
    // Across the end the controller returns what there is, and says so in
    // the count.
    const sim::ipmi::Response last = ReadFru(2, 60, 8);
    EXPECT_EQ(last.completionCode, 0x00);
    EXPECT_EQ(last.data, CountAndBytes(Slice(cells, 60, 4)));

    const auto accesses = FruAccesses("dev");
    ASSERT_EQ(accesses.size(), 2u);
    EXPECT_EQ(accesses[0].controller, "bmc");
    EXPECT_EQ(accesses[0].offset, 0x10u);
    EXPECT_EQ(accesses[0].length, 8u);
    EXPECT_EQ(accesses[0].note, "");
    EXPECT_EQ(accesses[1].note, "4 of 8 bytes");
}

TEST(FruWriteData, WritesExactlyTheBytesGivenAndAnswersTheirCount) {
    sim::fru::FruDevice& device = SmallDevice();
    Bytes expected = Pattern(kDeviceBytes);
    const Bytes data = {0xDE, 0xAD, 0xBE, 0xEF, 0x01};
    const sim::ipmi::Response response = WriteFru(2, 0x21, data);
    EXPECT_EQ(response.completionCode, 0x00);
    EXPECT_EQ(response.data, Bytes{0x05});
    std::copy(data.begin(), data.end(), expected.begin() + 0x21);
    EXPECT_EQ(Contents(device), expected);
    EXPECT_EQ(ReadFru(2, 0x20, 8).data, CountAndBytes(Slice(expected, 0x20, 8)));

    const auto accesses = FruAccesses("dev");
    ASSERT_EQ(accesses.size(), 2u);
    EXPECT_EQ(accesses[0].operation, "write");
    EXPECT_EQ(accesses[0].offset, 0x21u);
    EXPECT_EQ(accesses[0].length, 5u);
}

TEST(FruRefusals, EachRefusalAnswersItsCodeLogsWhyAndLeavesTheCellsAlone) {
    struct Case {
        const char* name;
        simtest::SettingPairs settings;
        std::uint8_t cmd;
        Bytes data;
        std::uint8_t lun;
        std::uint8_t code;
        const char* note;
    };
    const Case cases[] = {
        {"read of 3 bytes", {}, 0x11, {2, 0, 0}, 0, 0xC7, "request of 3 bytes"},
        {"read of 5 bytes", {}, 0x11, {2, 0, 0, 8, 0}, 0, 0xC7, "request of 5 bytes"},
        {"area info without an ID", {}, 0x10, {}, 0, 0xC7, "request of 0 bytes"},
        {"write without an offset", {}, 0x12, {2, 0}, 0, 0xC7, "request of 2 bytes"},
        {"the reserved ID", {}, 0x11, {0xFF, 0, 0, 8}, 0, 0xCC, "FRU device ID FFh is reserved"},
        {"read of an ID nobody has", {}, 0x11, {3, 0, 0, 8}, 0, 0xCB, "no such FRU device"},
        {"write to an ID nobody has", {}, 0x12, {3, 0, 0, 1}, 0, 0xCB, "no such FRU device"},
        {"area info of an ID nobody has", {}, 0x10, {3}, 0, 0xCB, "no such FRU device"},
        {"read at the end", {}, 0x11, {2, 64, 0, 1}, 0, 0xC9, "offset past the end"},
        {"write at the end", {}, 0x12, {2, 64, 0, 1}, 0, 0xC9, "offset past the end"},
        {"write running past the end", {}, 0x12, {2, 62, 0, 1, 2, 3}, 0, 0xC9, "data past the end"},
        {"read over the default limit of 32",
         {},
         0x11,
         {2, 0, 0, 33},
         0,
         0xCA,
         "read limit 32 bytes"},
        {"read over a limit answered C8h",
         {{"fru.dev.max_read", "8"}, {"fru.dev.read_limit_cc", "0xC8"}},
         0x11,
         {2, 0, 0, 9},
         0,
         0xC8,
         "read limit 8 bytes"},
        {"write over the limit",
         {{"fru.dev.max_write", "4"}},
         0x12,
         {2, 0, 0, 1, 2, 3, 4, 5},
         0,
         0xC7,
         "write limit 4 bytes"},
        {"write over a limit answered C8h",
         {{"fru.dev.max_write", "4"}, {"fru.dev.write_limit_cc", "0xC8"}},
         0x12,
         {2, 0, 0, 1, 2, 3, 4, 5},
         0,
         0xC8,
         "write limit 4 bytes"},
        {"write touching a protected range",
         {{"fru.dev.write_protect", "0x10:8"}},
         0x12,
         {2, 0x0E, 0, 1, 2, 3},
         0,
         0x80,
         "write-protected"},
        {"write to a wholly protected device",
         {{"fru.dev.write_protect", "all"}},
         0x12,
         {2, 0x30, 0, 1},
         0,
         0x80,
         "write-protected"},
        {"read of a failing cell",
         {{"fru.dev.fault.read_fail", "0x13"}},
         0x11,
         {2, 0x10, 0, 8},
         0,
         0xFF,
         "failing cell at 0013h"},
        {"write of a failing cell",
         {{"fru.dev.fault.write_fail", "0x17:0xCE"}},
         0x12,
         {2, 0x10, 0, 1, 2, 3, 4, 5, 6, 7, 8},
         0,
         0xCE,
         "failing cell at 0017h"},
        {"read on LUN 1", {}, 0x11, {2, 0, 0, 8}, 1, 0xC2, "LUN 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const sim::fru::FruDevice& device = SmallDevice(c.settings);
        const sim::ipmi::Response response = sim::TheMachine().Find<sim::Bmc>()->Process(
            {0x0A, c.lun, c.cmd, c.data, sim::ipmi::Origin::kSystemInterface, 0});
        EXPECT_EQ(response.completionCode, c.code);
        EXPECT_TRUE(response.data.empty());
        EXPECT_EQ(Contents(device), Pattern(kDeviceBytes));
        const auto accesses = FruAccesses();
        ASSERT_EQ(accesses.size(), 1u);
        EXPECT_EQ(accesses[0].completionCode, c.code);
        EXPECT_EQ(accesses[0].note, c.note);
    }
}

// A controller that takes at most 4 bytes refuses the 8 a client asks for
// first and serves the 4 it asks for next; the log shows both.
TEST(FruLimits, AnOverLongReadIsRefusedAndTheShorterOneAfterItServed) {
    SmallDevice({{"fru.dev.max_read", "4"}});
    EXPECT_EQ(ReadFru(2, 8, 8).completionCode, 0xCA);
    const sim::ipmi::Response response = ReadFru(2, 8, 4);
    EXPECT_EQ(response.completionCode, 0x00);
    EXPECT_EQ(response.data, CountAndBytes(Slice(Pattern(kDeviceBytes), 8, 4)));
    const auto accesses = FruAccesses("dev");
    ASSERT_EQ(accesses.size(), 2u);
    EXPECT_EQ(accesses[0].length, 8u);
    EXPECT_EQ(accesses[0].completionCode, 0xCA);
    EXPECT_EQ(accesses[1].length, 4u);
    EXPECT_EQ(accesses[1].completionCode, 0x00);
}

TEST(FruLimits, AControllerThatAnswersShortReturnsItsLimitAndSaysHowMany) {
    SmallDevice({{"fru.dev.max_read", "4"}, {"fru.dev.read_limit_cc", "short"}});
    const sim::ipmi::Response response = ReadFru(2, 8, 8);
    EXPECT_EQ(response.completionCode, 0x00);
    EXPECT_EQ(response.data, CountAndBytes(Slice(Pattern(kDeviceBytes), 8, 4)));
    ASSERT_EQ(FruAccesses("dev").size(), 1u);
    EXPECT_EQ(FruAccesses("dev")[0].note, "4 of 8 bytes");
}

TEST(FruLimits, TheLogShowsAReadGoingOutInChunks) {
    SmallDevice();
    for (const auto& [offset, count] : {std::pair{0, 8}, {8, 8}, {16, 4}}) {
        ASSERT_EQ(ReadFru(2, static_cast<std::uint16_t>(offset), static_cast<std::uint8_t>(count))
                      .completionCode,
                  0x00);
    }
    std::vector<std::uint32_t> offsets;
    std::vector<std::uint32_t> lengths;
    for (const auto& access : FruAccesses("dev")) {
        offsets.push_back(access.offset);
        lengths.push_back(access.length);
    }
    EXPECT_EQ(offsets, (std::vector<std::uint32_t>{0, 8, 16}));
    EXPECT_EQ(lengths, (std::vector<std::uint32_t>{8, 8, 4}));
}

// ------------------------------------------------------------ faults

TEST(FruFaults, ABusyDeviceAnswersItsCodeTheGivenTimesThenServes) {
    struct Case {
        const char* name;
        simtest::SettingPairs settings;
        bool write;
        std::uint8_t code;
    };
    const Case cases[] = {
        {"reads busy three times", {{"fru.dev.fault.read_busy", "3"}}, false, 0xC0},
        {"reads busy three times with FRU device busy (IPMI v2.0)",
         {{"fru.dev.fault.read_busy", "3:0x81"}},
         false,
         0x81},
        {"writes busy twice with FRU device busy",
         {{"fru.dev.fault.write_busy", "2:0x81"}, {"fru.dev.fault.read_busy", "5"}},
         true,
         0x81},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::fru::FruDevice& device = SmallDevice(c.settings);
        const Bytes data = {0xA1, 0xA2, 0xA3, 0xA4};
        auto ask = [&] { return c.write ? WriteFru(2, 0x08, data) : ReadFru(2, 0x08, 4); };
        const int busy = c.write ? 2 : 3;
        for (int i = 0; i < busy; ++i) {
            EXPECT_EQ(ask().completionCode, c.code);
            EXPECT_EQ(Contents(device), Pattern(kDeviceBytes));
        }
        const sim::ipmi::Response served = ask();
        EXPECT_EQ(served.completionCode, 0x00);
        Bytes expected = Pattern(kDeviceBytes);
        if (c.write) std::copy(data.begin(), data.end(), expected.begin() + 8);
        EXPECT_EQ(Contents(device), expected);
        const auto accesses = FruAccesses("dev");
        ASSERT_EQ(accesses.size(), static_cast<std::size_t>(busy + 1));
        for (int i = 0; i < busy; ++i) {
            EXPECT_EQ(accesses[i].note, "busy");
            EXPECT_EQ(accesses[i].completionCode, c.code);
        }
        EXPECT_EQ(accesses.back().completionCode, 0x00);
    }
}

TEST(FruFaults, AWriteTouchingALostRangeAnswersSuccessAndKeepsTheOldBytes) {
    sim::fru::FruDevice& device = SmallDevice({{"fru.dev.fault.lost_write", "0x20:4"}});
    const Bytes data = {1, 2, 3, 4};
    const sim::ipmi::Response lost = WriteFru(2, 0x1E, data);
    EXPECT_EQ(lost.completionCode, 0x00);
    EXPECT_EQ(lost.data, Bytes{0x04});
    EXPECT_EQ(Contents(device), Pattern(kDeviceBytes));

    ASSERT_EQ(WriteFru(2, 0x24, data).completionCode, 0x00);  // just after the range
    Bytes expected = Pattern(kDeviceBytes);
    std::copy(data.begin(), data.end(), expected.begin() + 0x24);
    EXPECT_EQ(Contents(device), expected);

    const auto accesses = FruAccesses("dev");
    ASSERT_EQ(accesses.size(), 2u);
    EXPECT_EQ(accesses[0].note, "write not kept");
    EXPECT_EQ(accesses[1].note, "");
}

TEST(FruFaults, AFailingCellFailsOnlyTheTransfersThatCoverIt) {
    SmallDevice({{"fru.dev.fault.read_fail", "0x10"}});
    EXPECT_EQ(ReadFru(2, 0x08, 8).completionCode, 0x00);  // 08h..0Fh
    EXPECT_EQ(ReadFru(2, 0x10, 1).completionCode, 0xFF);
    EXPECT_EQ(ReadFru(2, 0x11, 8).completionCode, 0x00);
    EXPECT_EQ(WriteFru(2, 0x10, {0}).completionCode, 0x00);  // writing it is fine
}

// ------------------------------------------------------------ controllers

TEST(FruBridging, ASatellitesDeviceAnswersThroughSendAndGetMessage) {
    simtest::ResetFru();
    sim::fru::FruDevice& panel = simtest::FruDeviceNamed("front_panel");
    const Bytes before(panel.Contents().begin(), panel.Contents().end());

    const sim::ipmi::Response info = simtest::AskSatellite(0, 0x22, 0x0A, 0x10, {0x00});
    EXPECT_EQ(info.completionCode, 0x00);
    EXPECT_EQ(info.data, (Bytes{0x00, 0x01, 0x00}));  // 256 bytes

    const sim::ipmi::Response read =
        simtest::AskSatellite(0, 0x22, 0x0A, 0x11, simtest::ReadFruRequest(0, 0, 8));
    EXPECT_EQ(read.completionCode, 0x00);
    EXPECT_EQ(read.data, CountAndBytes(Slice(before, 0, 8)));

    const Bytes tag = {'T', 'A', 'G', '1'};
    const sim::ipmi::Response write =
        simtest::AskSatellite(0, 0x22, 0x0A, 0x12, simtest::WriteFruRequest(0, 0xF0, tag));
    EXPECT_EQ(write.completionCode, 0x00);
    EXPECT_EQ(write.data, Bytes{0x04});
    EXPECT_EQ(Slice(Bytes(panel.Contents().begin(), panel.Contents().end()), 0xF0, 4), tag);

    // A satellite takes 16 bytes at most: its answers travel in IPMB frames.
    EXPECT_EQ(simtest::AskSatellite(0, 0x22, 0x0A, 0x11, simtest::ReadFruRequest(0, 0, 17))
                  .completionCode,
              0xCA);

    const auto accesses = FruAccesses("front_panel");
    ASSERT_EQ(accesses.size(), 4u);
    for (const auto& access : accesses) EXPECT_EQ(access.controller, "front_panel");
    EXPECT_EQ(accesses[2].operation, "write");
    EXPECT_EQ(accesses[2].offset, 0xF0u);
}

TEST(FruBridging, AControllerWithoutFruDevicesDoesNotKnowTheCommands) {
    simtest::ResetFru();
    EXPECT_EQ(
        simtest::AskSatellite(0, 0xC0, 0x0A, 0x11, simtest::ReadFruRequest(0, 0, 8)).completionCode,
        0xC1);
    EXPECT_TRUE(FruAccesses().empty());
}

TEST(FruControllers, TheBmcAnswersTheFruCommandsEvenWithoutDevices) {
    simtest::ResetFru({{"fru.devices", ""}, {"fru.memories", ""}});
    EXPECT_EQ(ReadFru(0, 0, 8).completionCode, 0xCB);
    EXPECT_EQ(AskBmc(0x0A, 0x10, {0}).completionCode, 0xCB);
    EXPECT_EQ(simtest::MasterWriteRead(0x03, 0xA0, 8, {0, 0}).completionCode, 0xCC);
    ASSERT_EQ(FruAccesses().size(), 3u);
    EXPECT_EQ(FruAccesses()[0].device, "-");
}

TEST(FruControllers, EachDeviceStartsWithItsInitialContents) {
    struct Case {
        const char* name;
        const char* initial;
        std::uint32_t size;
        Bytes expected;
    };
    Bytes sample = sim::fru::SampleFru("dev", 1024).Build();
    sample.resize(1024, 0xFF);
    const Case cases[] = {
        {"the factory's FRU", "sample", 1024, sample},
        {"a part too small for it", "sample", 64, Bytes(64, 0xFF)},
        {"erased", "erased", 1024, Bytes(1024, 0xFF)},
        {"zero", "zero", 32, Bytes(32, 0x00)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        simtest::ResetFru({{"fru.devices", ("dev:bmc:0:" + std::to_string(c.size)).c_str()},
                           {"fru.dev.initial", c.initial}});
        EXPECT_EQ(Contents(simtest::FruDeviceNamed("dev")), c.expected);
    }
}

TEST(FruControllers, ADefaultDeviceGoesWithItsController) {
    sim::FruStorage& storage = simtest::ResetFru({{"ipmb.satellites", "psu:7:0xB0"}});
    std::vector<std::string> names;
    for (const auto& device : storage.Devices()) names.push_back(device->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"baseboard", "backplane", "riser"}));
    // Named in the settings, a missing controller is a mistake.
    EXPECT_THROW(simtest::ResetFru({{"ipmb.satellites", "psu:7:0xB0"},
                                    {"fru.devices", "panel:front_panel:0:256"}}),
                 std::invalid_argument);
}

TEST(FruControllers, SettingsThatDescribeNoBuildableDeviceAreRefused) {
    const simtest::SettingPairs cases[] = {
        {{"fru.devices", "a:nobody:0:256"}},
        {{"fru.devices", "a:bmc:0xFF:256"}},
        {{"fru.devices", "a:bmc:0:65536"}},
        {{"fru.devices", "a:bmc:0:0"}},
        {{"fru.devices", "a:bmc:0"}},
        {{"fru.devices", "a:bmc:0:256,a:bmc:1:256"}},
        {{"fru.devices", "a:bmc:1:256,b:bmc:1:128"}},
        {{"fru.memories", "m:bmc:0x03:0xA1:256"}},
        {{"fru.memories", "m:bmc:0x05:0xA0:257:cmd17"}},
        {{"fru.memories", "m:bmc:0x03:0xA0:256:at24"}},
        {{"fru.memories", "m:bmc:0x03:0xA0:256,n:bmc:0xF3:0xA0:256"}},
        {{"fru.baseboard.read_limit_cc", "0"}},
        {{"fru.baseboard.max_read", "0"}},
        {{"fru.baseboard.page", "8"}},
        {{"fru.riser.read_limit_cc", "short"}},
        {{"fru.baseboard.initial", "random"}},
        {{"fru.baseboard.fault.read_fail", "0x10:0"}},
        {{"fru.baseboard.fault.lost_write", "1:2:3"}},
    };
    for (const simtest::SettingPairs& settings : cases) {
        SCOPED_TRACE(settings.begin()->first + std::string("=") + settings.begin()->second);
        EXPECT_THROW(simtest::ResetFru(settings), std::invalid_argument);
    }
}

}  // namespace
