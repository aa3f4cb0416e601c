// Serial EEPROMs on the controllers' buses as Master Write-Read reaches
// them: the two-address-byte form and the access-memory command (17h) form,
// the EEPROM's address counter, page writes, what the bus answers when
// something is wrong, and the faults. Each case checks the bytes that came
// back, the cells, and the request log.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim/bmc/fru/fru_storage.h"
#include "tests/sim/fru_requests.h"

namespace {

using simtest::Bytes;
using simtest::FruAccesses;
using simtest::MasterWriteRead;
using simtest::Pattern;

constexpr std::uint8_t kWideBus = 0x03;  // private bus 1
constexpr std::uint8_t kWide = 0xA0;
constexpr std::size_t kWideBytes = 512;
constexpr std::uint8_t kSmallBus = 0x05;  // private bus 2
constexpr std::uint8_t kSmall = 0x9E;
constexpr std::size_t kSmallBytes = 256;

// A 512-byte EEPROM with two address bytes and a 256-byte one with the
// access-memory command, both holding Pattern.
void Reset(simtest::SettingPairs extra = {}) {
    sim::Settings settings = simtest::SettingsOf(extra);
    settings.Set("fru.devices", "");
    settings.Set("fru.memories", "wide:bmc:0x03:0xA0:512:addr16,small:bmc:0x05:0x9E:256:cmd17");
    sim::ResetMachine(settings);
    simtest::FruDeviceNamed("wide").Fill(Pattern(kWideBytes));
    simtest::FruDeviceNamed("small").Fill(Pattern(kSmallBytes, 0x40));
}

Bytes Cells(const std::string& name) {
    const auto contents = simtest::FruDeviceNamed(name).Contents();
    return Bytes(contents.begin(), contents.end());
}

Bytes Slice(const Bytes& bytes, std::size_t offset, std::size_t length) {
    return Bytes(bytes.begin() + offset, bytes.begin() + offset + length);
}

Bytes Wrapped(const Bytes& bytes, std::size_t offset, std::size_t length) {
    Bytes out;
    for (std::size_t i = 0; i < length; ++i) out.push_back(bytes[(offset + i) % bytes.size()]);
    return out;
}

TEST(FruPrivateBus, EachFormReadsFromTheAddressItsBytesName) {
    Reset();
    const sim::ipmi::Response wide = MasterWriteRead(kWideBus, kWide, 8, {0x01, 0x10});
    EXPECT_EQ(wide.completionCode, 0x00);
    EXPECT_EQ(wide.data, Slice(Pattern(kWideBytes), 0x110, 8));
    const sim::ipmi::Response small = MasterWriteRead(kSmallBus, kSmall, 5, {0x17, 0x10});
    EXPECT_EQ(small.completionCode, 0x00);
    EXPECT_EQ(small.data, Slice(Pattern(kSmallBytes, 0x40), 0x10, 5));

    const auto accesses = FruAccesses();
    ASSERT_EQ(accesses.size(), 2u);
    EXPECT_EQ(accesses[0].operation, "read");
    EXPECT_EQ(accesses[0].device, "wide");
    EXPECT_EQ(accesses[0].target, "bus 03h slave A0h");
    EXPECT_EQ(accesses[0].offset, 0x110u);
    EXPECT_EQ(accesses[0].length, 8u);
    EXPECT_EQ(accesses[1].device, "small");
    EXPECT_EQ(accesses[1].offset, 0x10u);
    EXPECT_EQ(accesses[1].length, 5u);
}

TEST(FruPrivateBus, EachFormWritesTheBytesAfterItsAddress) {
    Reset();
    ASSERT_EQ(MasterWriteRead(kWideBus, kWide, 0, {0x01, 0xF0, 1, 2, 3, 4}).completionCode, 0x00);
    ASSERT_EQ(MasterWriteRead(kSmallBus, kSmall, 0, {0x17, 0x20, 9, 8, 7}).completionCode, 0x00);
    Bytes wide = Pattern(kWideBytes);
    std::copy_n(Bytes{1, 2, 3, 4}.begin(), 4, wide.begin() + 0x1F0);
    Bytes small = Pattern(kSmallBytes, 0x40);
    std::copy_n(Bytes{9, 8, 7}.begin(), 3, small.begin() + 0x20);
    EXPECT_EQ(Cells("wide"), wide);
    EXPECT_EQ(Cells("small"), small);
    const auto accesses = FruAccesses();
    ASSERT_EQ(accesses.size(), 2u);
    EXPECT_EQ(accesses[0].operation, "write");
    EXPECT_EQ(accesses[0].offset, 0x1F0u);
    EXPECT_EQ(accesses[0].length, 4u);
    EXPECT_EQ(accesses[1].length, 3u);
}

TEST(FruPrivateBus, TheAddressCounterCarriesReadsOnAndWrapsAtTheEnd) {
    Reset();
    const Bytes cells = Pattern(kWideBytes);
    // Setting the address alone, then reads without one (current address
    // reads) that go on where the last ended.
    ASSERT_EQ(MasterWriteRead(kWideBus, kWide, 0, {0x00, 0x40}).completionCode, 0x00);
    EXPECT_EQ(MasterWriteRead(kWideBus, kWide, 4).data, Slice(cells, 0x40, 4));
    EXPECT_EQ(MasterWriteRead(kWideBus, kWide, 4).data, Slice(cells, 0x44, 4));
    // A sequential read rolls over from the last cell to the first.
    EXPECT_EQ(MasterWriteRead(kWideBus, kWide, 8, {0x01, 0xFC}).data, Wrapped(cells, 0x1FC, 8));
    EXPECT_EQ(MasterWriteRead(kWideBus, kWide, 2).data, Slice(cells, 4, 2));
    // Address bits above the part's size are not decoded: 0A10h is 010h.
    EXPECT_EQ(MasterWriteRead(kWideBus, kWide, 4, {0x0A, 0x10}).data, Slice(cells, 0x10, 4));

    std::vector<std::string> operations;
    std::vector<std::uint32_t> offsets;
    for (const auto& access : FruAccesses("wide")) {
        operations.push_back(access.operation);
        offsets.push_back(access.offset);
    }
    EXPECT_EQ(operations,
              (std::vector<std::string>{"address", "read", "read", "read", "read", "read"}));
    EXPECT_EQ(offsets, (std::vector<std::uint32_t>{0x40, 0x40, 0x44, 0x1FC, 4, 0x10}));
}

TEST(FruPrivateBus, APageWriteWrapsInsideItsPage) {
    struct Case {
        const char* name;
        simtest::SettingPairs settings;
        std::uint8_t bus;
        std::uint8_t slave;
        Bytes address;
        std::size_t offset;
        std::vector<std::size_t> cells;  // where the 6 bytes land, in order
    };
    const Case cases[] = {
        {"the access-memory part has 8-byte pages",
         {},
         kSmallBus,
         kSmall,
         {0x17, 0x1C},
         0x1C,
         {0x1C, 0x1D, 0x1E, 0x1F, 0x18, 0x19}},
        {"a two-byte-address part without pages crosses them",
         {},
         kWideBus,
         kWide,
         {0x00, 0x1C},
         0x1C,
         {0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21}},
        {"a two-byte-address part with 16-byte pages",
         {{"fru.wide.page", "16"}},
         kWideBus,
         kWide,
         {0x00, 0x2D},
         0x2D,
         {0x2D, 0x2E, 0x2F, 0x20, 0x21, 0x22}},
    };
    const Bytes data = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(c.settings);
        const std::string name = c.slave == kWide ? "wide" : "small";
        Bytes expected = Cells(name);
        for (std::size_t i = 0; i < data.size(); ++i) expected[c.cells[i]] = data[i];
        Bytes written = c.address;
        written.insert(written.end(), data.begin(), data.end());
        ASSERT_EQ(MasterWriteRead(c.bus, c.slave, 0, written).completionCode, 0x00);
        EXPECT_EQ(Cells(name), expected);
    }
}

TEST(FruPrivateBus, AReadAfterDataInOneRequestProgramsNothing) {
    Reset();
    const sim::ipmi::Response response = MasterWriteRead(kWideBus, kWide, 4, {0x00, 0x10, 1, 2});
    EXPECT_EQ(response.completionCode, 0x00);
    // The counter moved past the two data bytes before the repeated start.
    EXPECT_EQ(response.data, Slice(Pattern(kWideBytes), 0x12, 4));
    EXPECT_EQ(Cells("wide"), Pattern(kWideBytes));
    ASSERT_EQ(FruAccesses("wide").size(), 1u);
    EXPECT_EQ(FruAccesses("wide")[0].note, "write aborted by the repeated start");
}

TEST(FruPrivateBus, TheBusSelectsByBusIdOnPrivateBusesAndByChannelOnPublicOnes) {
    simtest::ResetFru({{"fru.memories", "priv:bmc:0x03:0xA0:64,pub:bmc:0x60:0xA0:64"}});
    simtest::FruDeviceNamed("priv").Fill(Pattern(64, 1));
    simtest::FruDeviceNamed("pub").Fill(Pattern(64, 2));
    // A private bus ignores the channel bits.
    EXPECT_EQ(MasterWriteRead(0xF3, 0xA0, 2, {0, 0}).data, Slice(Pattern(64, 1), 0, 2));
    EXPECT_EQ(MasterWriteRead(0x60, 0xA0, 2, {0, 0}).data, Slice(Pattern(64, 2), 0, 2));
    EXPECT_EQ(MasterWriteRead(0x70, 0xA0, 2, {0, 0}).completionCode, 0xCC);
    EXPECT_EQ(FruAccesses("priv").size(), 1u);
    EXPECT_EQ(FruAccesses("pub").size(), 1u);
}

TEST(FruPrivateBus, EachRefusalAnswersItsCodeLogsWhyAndLeavesTheCellsAlone) {
    struct Case {
        const char* name;
        simtest::SettingPairs settings;
        Bytes request;
        std::uint8_t code;
        const char* note;
    };
    const Case cases[] = {
        {"no read count", {}, {kWideBus, kWide}, 0xC7, "request of 2 bytes"},
        {"a bus the BMC does not have", {}, {0x07, kWide, 1, 0, 0}, 0xCC, "no such bus"},
        {"nobody at the address",
         {},
         {kWideBus, 0xA2, 1, 0, 0},
         0x83,
         "no device acknowledges the address"},
        {"a command the part does not offer",
         {},
         {kSmallBus, kSmall, 2, 0xAA},
         0x83,
         "command AAh not acknowledged"},
        {"a read over the limit", {}, {kWideBus, kWide, 33, 0, 0}, 0xCA, "read limit 32 bytes"},
        {"a write over the limit, address bytes counted",
         {{"fru.wide.max_write", "10"}},
         {kWideBus, kWide, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
         0xC7,
         "write limit 10 bytes"},
        {"a write-protected part",
         {{"fru.wide.write_protect", "all"}},
         {kWideBus, kWide, 0, 0, 0x10, 1},
         0x83,
         "write-protected"},
        {"a failing cell read",
         {{"fru.small.fault.read_fail", "0x12"}},
         {kSmallBus, kSmall, 4, 0x17, 0x10},
         0x82,
         "failing cell at 0012h"},
        {"a failing cell written",
         {{"fru.small.fault.write_fail", "0x12:0x84"}},
         {kSmallBus, kSmall, 0, 0x17, 0x11, 1, 2},
         0x84,
         "failing cell at 0012h"},
        {"a busy bus",
         {{"fru.wide.fault.read_busy", "1"}},
         {kWideBus, kWide, 1, 0, 0},
         0xC0,
         "busy"},
        {"lost arbitration",
         {{"fru.wide.fault.write_busy", "1:0x81"}},
         {kWideBus, kWide, 0, 0, 0, 1},
         0x81,
         "busy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(c.settings);
        const sim::ipmi::Response response = simtest::AskBmc(0x06, 0x52, c.request);
        EXPECT_EQ(response.completionCode, c.code);
        EXPECT_TRUE(response.data.empty());
        EXPECT_EQ(Cells("wide"), Pattern(kWideBytes));
        EXPECT_EQ(Cells("small"), Pattern(kSmallBytes, 0x40));
        const auto accesses = FruAccesses();
        ASSERT_EQ(accesses.size(), 1u);
        EXPECT_EQ(accesses[0].completionCode, c.code);
        EXPECT_EQ(accesses[0].note, c.note);
    }
}

TEST(FruPrivateBus, OtherLunsAreRefused) {
    Reset();
    const Bytes request = {kWideBus, kWide, 1, 0, 0};
    const sim::ipmi::Response response = sim::TheMachine().Find<sim::Bmc>()->Process(
        {0x06, 2, 0x52, request, sim::ipmi::Origin::kSystemInterface, 0});
    EXPECT_EQ(response.completionCode, 0xC2);
}

TEST(FruPrivateBus, ALostWriteIsAcknowledgedButNotKept) {
    Reset({{"fru.small.fault.lost_write", "0x2F"}});
    EXPECT_EQ(MasterWriteRead(kSmallBus, kSmall, 0, {0x17, 0x2E, 1, 2, 3}).completionCode, 0x00);
    EXPECT_EQ(Cells("small"), Pattern(kSmallBytes, 0x40));
    ASSERT_EQ(FruAccesses("small").size(), 1u);
    EXPECT_EQ(FruAccesses("small")[0].note, "write not kept");
}

TEST(FruPrivateBus, ASatellitesEepromAnswersBridgedMasterWriteRead) {
    sim::Settings settings;
    settings.Set("fru.memories", "panel_seeprom:front_panel:0x01:0xAE:128");
    sim::ResetMachine(settings);
    simtest::FruDeviceNamed("panel_seeprom").Fill(Pattern(128, 9));
    const sim::ipmi::Response response =
        simtest::AskSatellite(0, 0x22, 0x06, 0x52, {0x01, 0xAE, 6, 0x00, 0x20});
    EXPECT_EQ(response.completionCode, 0x00);
    EXPECT_EQ(response.data, Slice(Pattern(128, 9), 0x20, 6));
    ASSERT_EQ(FruAccesses("panel_seeprom").size(), 1u);
    EXPECT_EQ(FruAccesses("panel_seeprom")[0].controller, "front_panel");
    // A satellite without EEPROMs does not offer the command.
    EXPECT_EQ(
        simtest::AskSatellite(0, 0xC2, 0x06, 0x52, {0x01, 0xAE, 6, 0x00, 0x20}).completionCode,
        0xC1);
}

}  // namespace
