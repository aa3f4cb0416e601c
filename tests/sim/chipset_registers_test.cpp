// The chipset's registers as the BIOS left them on each board and as a
// program changes them: the LPC bridge's RCBA and BIOS control, general
// control's straps and top swap behind RCBA, and all of it kept from one
// process to the next.
#include <gtest/gtest.h>

#include <memory>

#include "sim/bios/bios_flash.h"
#include "sim/chipset/bios_range.h"
#include "sim/chipset/board.h"
#include "tests/common/files.h"
#include "tests/sim/settings_of.h"
#include "tests/sim/spi_host.h"

namespace {

constexpr sim::PciAddress kLpc{0, 31, 0};
constexpr std::uint64_t kRcba = 0xFED1C000;
constexpr std::uint64_t kGcs = kRcba + 0x3410;
constexpr std::uint64_t kBuc = kRcba + 0x3414;
constexpr std::uint32_t kKiB = 1024;

std::uint32_t Config(sim::Machine& machine, int reg, unsigned width) {
    return machine.Pci().Read(kLpc, reg, width);
}
void SetConfig(sim::Machine& machine, int reg, unsigned width, std::uint32_t value) {
    machine.Pci().Write(kLpc, reg, width, value);
}
sim::BiosRange& Range(sim::Machine& machine) {
    return *machine.Find<sim::BiosRange>();
}

// An LPC board with a part every branch lists.
const simtest::SettingPairs kLpcBoard = {{"board", "fwh"}, {"bios.chip", "SST49LF008A"}};

TEST(ChipsetBoards, EachBoardCarriesItsPartStrapsAndBridge) {
    struct Case {
        const char* board;
        const char* chip;
        std::uint32_t romKb;
        std::uint32_t straps;  // GCS bits 11:10
        std::uint16_t bridge;
        bool olderBridge;
    };
    const Case cases[] = {
        {"fwh", "82802AC", 1024, 3, 0x27B8, true},
        {"word16", "28F320C3B", 4096, 3, 0x27B8, true},
        {"ich7-spi", "SST25VF016B", 2048, 1, 0x27B8, false},
        {"ich7-spi-intel", "25F160S33", 2048, 1, 0x27B8, false},
        {"ich9-spi", "AT25DF321", 4096, 1, 0x2918, false},
        {"pch-spi", "25F640S33", 8192, 1, 0x2918, false},
        {"pch-spi-unknown", "W25Q64.V", 8192, 1, 0x2918, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board);
        sim::Machine& machine = sim::ResetMachine(simtest::SettingsOf({{"board", c.board}}));
        const sim::FlashPart& part = *machine.FindFlashPart(sim::kBiosFlashPart);
        EXPECT_EQ(part.Chip().name, c.chip);
        EXPECT_EQ(part.Cells().Size(), c.romKb * kKiB);
        EXPECT_EQ((machine.MemoryRead(kGcs, 4) >> 10) & 3, c.straps);
        EXPECT_EQ(Config(machine, 0x02, 2), c.bridge);
        EXPECT_EQ(Config(machine, 0xF0, 4), kRcba | 1);
        EXPECT_EQ(Config(machine, 0xE3, 1), c.olderBridge ? 0xFFu : 0u);
    }
}

TEST(ChipsetBoards, EachPieceCanBeOverridden) {
    sim::Machine& machine =
        sim::ResetMachine(simtest::SettingsOf({{"board", "ich7-spi"},
                                               {"bios.chip", "AT25DF321"},
                                               {"chipset.straps", "pci"},
                                               {"chipset.spi_layout", "ich9"},
                                               {"chipset.rcba", "0xFED18000"}}));
    EXPECT_EQ(machine.FindFlashPart(sim::kBiosFlashPart)->Chip().name, "AT25DF321");
    EXPECT_EQ(machine.FindFlashPart(sim::kBiosFlashPart)->Cells().Size(), 4096 * kKiB);
    EXPECT_EQ(Config(machine, 0xF0, 4), 0xFED18001u);
    EXPECT_EQ((machine.MemoryRead(0xFED18000 + 0x3410, 4) >> 10) & 3, 2u);
    EXPECT_EQ(machine.MemoryRead(kGcs, 4), 0xFFFFFFFFu);  // nothing at the old base
    simtest::SpiHost host(machine, sim::SpiLayout::kIch9, 0xFED18000);
    EXPECT_EQ(host.Read(host.Layout().preop, 2), 0x5006u);

    // A ROM size given alone picks the first listed part of that size, as
    // before there were boards; given with a part it must match it.
    sim::Machine& sized = sim::ResetMachine(simtest::SettingsOf({{"bios.rom_kb", "2048"}}));
    EXPECT_EQ(sized.FindFlashPart(sim::kBiosFlashPart)->Chip().name, "SST25VF016B");
    EXPECT_NO_THROW(
        sim::ResetMachine(simtest::SettingsOf({{"board", "ich9-spi"}, {"bios.rom_kb", "4096"}})));
}

TEST(ChipsetBoards, SettingsThatDescribeNoBoardAreRefusedByName) {
    const std::pair<const char*, const char*> bad[] = {
        {"board", "ich8-spi"},
        {"bios.chip", "AT25DF999"},
        {"chipset.straps", "usb"},
        {"chipset.spi_layout", "ich10"},
        {"chipset.rcba", "0xFED1C800"},
        {"chipset.rcba", "0x1FED1C000"},
        // The SPI part's settings are checked on a board without one too.
        {"spi.status", "0x100"},
        {"spi.erase_us", "-1"},
        {"spi.fault.erase", "0x10:2"},
        {"spi.fault.hang", "later"},
        {"spi.fault.jedec_id", "0x1000000"},
        {"spi.fault.cycle_hang", "sometimes"},
        {"spi.fault.stuck_busy", "2"},
    };
    simtest::ExpectEachSettingRefused(bad);
    try {
        sim::ResetMachine(simtest::SettingsOf({{"board", "ich9-spi"}, {"bios.rom_kb", "1024"}}));
        ADD_FAILURE() << "built a machine";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "bios.rom_kb: 1024 KB, but the AT25DF321 holds 4096 KB");
    }
}

TEST(ChipsetLpcBridge, BiosWriteEnableDrivesTheBiosRange) {
    struct Case {
        simtest::SettingPairs settings;
        int reg;
        unsigned width;
    };
    const Case cases[] = {
        {kLpcBoard, 0xDC, 1},
        {kLpcBoard, 0xDC, 2},
        {kLpcBoard, 0x4E, 2},  // the older bridge's own place
        {{{"board", "ich9-spi"}}, 0xDC, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.reg << "/" << c.width);
        sim::Machine& machine = sim::ResetMachine(simtest::SettingsOf(c.settings));
        EXPECT_FALSE(Range(machine).WritesEnabled());
        SetConfig(machine, c.reg, c.width, 0x01);
        EXPECT_TRUE(Range(machine).WritesEnabled());
        EXPECT_EQ(Config(machine, 0xDC, 1), 0x01u);
        EXPECT_EQ(Config(machine, c.reg, 1), 0x01u);
        SetConfig(machine, c.reg, c.width, 0x00);
        EXPECT_FALSE(Range(machine).WritesEnabled());
    }
    // The SPI boards' bridge has no BIOS control at 4Eh.
    sim::Machine& machine = sim::ResetMachine(simtest::SettingsOf({{"board", "ich9-spi"}}));
    SetConfig(machine, 0x4E, 1, 0x01);
    EXPECT_FALSE(Range(machine).WritesEnabled());
    EXPECT_EQ(Config(machine, 0xDC, 1), 0u);
}

TEST(ChipsetLpcBridge, WithTheLockSetTheBiosTakesWriteEnableBack) {
    sim::Machine& machine =
        sim::ResetMachine(simtest::SettingsOf({{"board", "ich7-spi"}, {"chipset.bios_lock", "1"}}));
    EXPECT_EQ(Config(machine, 0xDC, 1), 0x02u);
    machine.Log().Clear();
    SetConfig(machine, 0xDC, 1, 0x03);
    EXPECT_EQ(Config(machine, 0xDC, 1), 0x02u);
    EXPECT_FALSE(Range(machine).WritesEnabled());
    const auto smi = machine.Log().Of("chipset");
    ASSERT_EQ(smi.size(), 1u);
    EXPECT_EQ(smi[0].operation, "smi");
    // The lock holds until reset.
    SetConfig(machine, 0xDC, 1, 0x00);
    EXPECT_EQ(Config(machine, 0xDC, 1), 0x02u);

    // Without it, setting the lock after write enable leaves the enable.
    sim::Machine& open = sim::ResetMachine(simtest::SettingsOf({{"board", "ich7-spi"}}));
    SetConfig(open, 0xDC, 1, 0x01);
    SetConfig(open, 0xDC, 1, 0x03);
    EXPECT_EQ(Config(open, 0xDC, 1), 0x03u);
    EXPECT_TRUE(Range(open).WritesEnabled());
    EXPECT_TRUE(open.Log().Of("chipset").empty());
}

TEST(ChipsetLpcBridge, RcbaMovesTheBlockAndItsEnableDecodesIt) {
    sim::Machine& machine = sim::ResetMachine(simtest::SettingsOf({{"board", "ich9-spi"}}));
    const std::uint32_t gcs = machine.MemoryRead(kGcs, 4);
    SetConfig(machine, 0xF0, 4, kRcba);  // enable clear
    EXPECT_EQ(Config(machine, 0xF0, 4), kRcba);
    EXPECT_EQ(machine.MemoryRead(kGcs, 4), 0xFFFFFFFFu);
    // Reserved bits 13:1 do not take.
    SetConfig(machine, 0xF0, 4, 0xFED20000 | 0x3FFF);
    EXPECT_EQ(Config(machine, 0xF0, 4), 0xFED20001u);
    EXPECT_EQ(machine.MemoryRead(0xFED20000 + 0x3410, 4), gcs);

    // A BIOS that left the enable clear.
    sim::Machine& disabled = sim::ResetMachine(
        simtest::SettingsOf({{"board", "ich9-spi"}, {"chipset.rcba_enabled", "0"}}));
    EXPECT_EQ(Config(disabled, 0xF0, 4), kRcba);
    EXPECT_EQ(disabled.MemoryRead(kGcs, 4), 0xFFFFFFFFu);
    SetConfig(disabled, 0xF0, 1, 0x01);
    EXPECT_EQ(disabled.MemoryRead(kGcs, 4), gcs);
}

TEST(ChipsetRootComplex, TopSwapFollowsBucUntilTheInterfaceIsLockedDown) {
    sim::Machine& machine = sim::ResetMachine(simtest::SettingsOf({{"board", "pch-spi"}}));
    EXPECT_EQ(machine.MemoryRead(kBuc, 1), 0u);
    machine.MemoryWrite(kBuc, 1, 0xFF);
    EXPECT_EQ(machine.MemoryRead(kBuc, 1), 0x01u);  // only top swap is there
    EXPECT_TRUE(Range(machine).TopSwap());
    EXPECT_EQ(Range(machine).Decode(0xFFFF0000), 0xFFFE0000u);
    machine.MemoryWrite(kBuc, 1, 0x00);
    EXPECT_FALSE(Range(machine).TopSwap());

    // BILD (GCS bit 0) is write-once and freezes the straps and top swap.
    machine.MemoryWrite(kGcs, 4, (1u << 10) | 1u);
    machine.MemoryWrite(kBuc, 1, 0x01);
    machine.MemoryWrite(kGcs, 4, 3u << 10);
    EXPECT_EQ(machine.MemoryRead(kGcs, 4), (1u << 10) | 1u);
    EXPECT_EQ(machine.MemoryRead(kBuc, 1), 0u);
    EXPECT_FALSE(Range(machine).TopSwap());

    // Before the lock, a program may change the straps.
    sim::Machine& open = sim::ResetMachine(simtest::SettingsOf(kLpcBoard));
    open.MemoryWrite(kGcs + 1, 1, 0x04);
    EXPECT_EQ((open.MemoryRead(kGcs, 4) >> 10) & 3, 1u);
}

TEST(ChipsetState, RegistersAndThePartsStatusOutliveTheProcess) {
    const test_support::TempDir state("chipset");
    const sim::Settings settings = simtest::SettingsOf({{"board", "ich7-spi"}});
    {
        sim::Machine machine(settings);
        sim::BuildMachine(machine);
        SetConfig(machine, 0xDC, 1, 0x01);
        machine.MemoryWrite(kBuc, 1, 0x01);
        simtest::SpiHost host(machine);
        host.SetMenu({0x06, 0x01, 0x05, 0x9F, 0x03, 0x02, 0xD8, 0x04}, 0x7E05);
        host.Write(host.Layout().bbar, 4, 0x1000);
        // Protect the top 64 KB: 50h, then write status 04h.
        host.Write(host.Layout().preop, 2, 0x5006);
        host.Cycle(1, 0, {0x04}, 0, simtest::kSpiAtomic | simtest::kSpiSecondPrefix);
        host.Settle();
        ASSERT_EQ(host.Cycle(2, 0, {}, 1)[0], 0x04);
        ASSERT_TRUE(machine.SaveState(state.Path()));
    }
    sim::Machine machine(settings);
    sim::BuildMachine(machine);
    machine.LoadState(state.Path());
    EXPECT_EQ(Config(machine, 0xDC, 1), 0x01u);
    EXPECT_TRUE(Range(machine).WritesEnabled());
    EXPECT_TRUE(Range(machine).TopSwap());
    simtest::SpiHost host(machine);
    EXPECT_EQ(host.Read(host.Layout().optype, 2), 0x7E05u);
    EXPECT_EQ(host.Read(host.Layout().bbar, 4), 0x1000u);
    EXPECT_EQ(host.Cycle(2, 0, {}, 1)[0], 0x04);

    // Described anew, the board starts as its BIOS leaves it.
    sim::Settings moved = settings;
    moved.Set("chipset.rcba", "0xFED18000");
    sim::Machine other(moved);
    sim::BuildMachine(other);
    other.LoadState(state.Path());
    EXPECT_EQ(Config(other, 0xF0, 4), 0xFED18001u);
    EXPECT_FALSE(Range(other).WritesEnabled());
    EXPECT_FALSE(Range(other).TopSwap());
}

}  // namespace
