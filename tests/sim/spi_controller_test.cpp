// The chipset's SPI controller as software sequencing meets it: the menu and
// its types, atomic cycles with their prefix, blocked and hung cycles, and
// what went out on the bus as the request log records it.
#include "sim/chipset/spi_controller.h"

#include <gtest/gtest.h>

#include "sim/bios/bios_flash.h"
#include "tests/sim/settings_of.h"
#include "tests/sim/spi_host.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using simtest::SpiHost;

// The menu an updater sets up: its types give 03h, 04h and 50h types that
// do not fit them.
constexpr std::array<std::uint8_t, 8> kUpdaterMenu = {0x02, 0x03, 0xD8, 0x05,
                                                      0x04, 0x50, 0x01, 0x9F};
constexpr std::uint16_t kUpdaterTypes = 0x1A33;
enum Entry : unsigned { kProgram, kRead, kErase, kStatus, kWriteDisable, kEwsr, kWrsr, kJedec };

sim::FlashPart& Part(sim::Machine& machine) {
    return *machine.FindFlashPart(sim::kBiosFlashPart);
}

std::vector<sim::LogEntry> SpiLog(sim::Machine& machine) {
    return machine.Log().Of("spi");
}

struct SpiBoard {
    sim::Machine& machine;
    SpiHost host;
};

SpiBoard Boot(simtest::SettingPairs settings, sim::SpiLayout layout = sim::SpiLayout::kIch7) {
    sim::Machine& machine = sim::ResetMachine(simtest::SettingsOf(settings));
    SpiBoard board{machine, SpiHost(machine, layout)};
    board.host.SetMenu(kUpdaterMenu, kUpdaterTypes);
    machine.Log().Clear();
    return board;
}

TEST(SpiController, EverySpiBoardsPartAnswersItsJedecIdInItsLayout) {
    struct Case {
        const char* board;
        sim::SpiLayout layout;
        Bytes id;
    };
    const Case cases[] = {
        {"ich7-spi", sim::SpiLayout::kIch7, {0xBF, 0x25, 0x41}},
        {"ich7-spi-intel", sim::SpiLayout::kIch7, {0x89, 0x89, 0x11}},
        {"ich9-spi", sim::SpiLayout::kIch9, {0x1F, 0x47, 0x00}},
        {"pch-spi", sim::SpiLayout::kIch9, {0x89, 0x89, 0x13}},
        {"pch-spi-unknown", sim::SpiLayout::kIch9, {0xEF, 0x40, 0x17}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board);
        sim::Machine& machine = sim::ResetMachine(simtest::SettingsOf({{"board", c.board}}));
        SpiHost host(machine, c.layout);
        // The BIOS left its prefixes.
        EXPECT_EQ(host.Read(host.Layout().preop, 2), 0x5006u);
        host.SetMenu(kUpdaterMenu, kUpdaterTypes);
        machine.Log().Clear();
        EXPECT_EQ(host.Cycle(kJedec, 0, {}, 3), c.id);
        EXPECT_EQ(host.Status() & (simtest::kSpiInProgress | simtest::kSpiDone), simtest::kSpiDone);
        const auto log = SpiLog(machine);
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].operation, "read-jedec-id");
        EXPECT_EQ(log[0].value, 3u);
        EXPECT_EQ(log[0].detail, "type=read");
        // Clearing the flags with a 16-bit write (over SSFC's first byte on
        // the later layout) starts no cycle.
        host.Write(host.Layout().status, 2, 0x000C);
        EXPECT_EQ(host.Status() & simtest::kSpiDone, 0);
        EXPECT_EQ(SpiLog(machine).size(), 1u);
    }
}

TEST(SpiController, WithoutAPartOnTheBusTheLineFloatsHigh) {
    SpiBoard board = Boot({{"board", "fwh"}, {"bios.chip", "SST49LF008A"}});
    EXPECT_EQ(board.host.Cycle(kJedec, 0, {}, 3), (Bytes{0xFF, 0xFF, 0xFF}));
    // An atomic cycle polls a status that reads busy: it never ends.
    board.host.Cycle(kErase, 0, {}, 0, simtest::kSpiAtomic);
    board.machine.Clock().Advance(10'000'000'000);
    EXPECT_EQ(board.host.Status() & (simtest::kSpiInProgress | simtest::kSpiDone),
              simtest::kSpiInProgress);

    // A board without a ROM has no part to answer either.
    SpiBoard empty = Boot({{"bios.rom_kb", "0"}});
    EXPECT_EQ(empty.host.Cycle(kRead, 0, {}, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(SpiController, EachTypeSendsWhatItSaysWhateverTheOpcode) {
    SpiBoard board = Boot({{"board", "ich9-spi"}}, sim::SpiLayout::kIch9);
    SpiHost& host = board.host;
    const Bytes data = {0x11, 0x22, 0x33, 0x44};
    sim::FlashArray& cells = Part(board.machine).Cells();
    cells.Erase(0, 0x1000);
    cells.Program(0, Bytes{0x5A});
    host.Cycle(kProgram, 0x40, data, 0, simtest::kSpiAtomic);
    EXPECT_EQ(Part(board.machine).Cells().Bytes()[0x40], 0x11);
    // Until the part is done the controller is busy with the cycle and
    // takes no other.
    EXPECT_EQ(host.Cycle(kJedec, 0, {}, 1), Bytes{0x11});
    host.Settle();

    // 03h typed "read without address": the part takes the three bytes read
    // first (00h) as its address and sends nothing for them.
    EXPECT_EQ(host.Cycle(kRead, 0x40, {}, 4), (Bytes{0xFF, 0xFF, 0xFF, 0x5A}));
    // Typed "read with address" it reads what was written.
    host.Write(host.Layout().optype, 2, (kUpdaterTypes & ~0x000C) | 0x0008);
    EXPECT_EQ(host.Cycle(kRead, 0x40, {}, 4), data);

    // 04h typed "read with address" still disables writes; the atomic status
    // read shows the latch its prefix set.
    EXPECT_EQ(host.Cycle(kStatus, 0, {}, 1, simtest::kSpiAtomic)[0] & 0x02, 0x02);
    host.Cycle(kWriteDisable, 0, {}, 0);
    EXPECT_EQ(host.Cycle(kStatus, 0, {}, 1)[0] & 0x02, 0);

    const auto log = SpiLog(board.machine);
    ASSERT_EQ(log.size(), 6u);  // the JEDEC ID cycle never ran
    EXPECT_EQ(log[0].operation, "page-program");
    EXPECT_EQ(log[0].address, 0x40u);
    EXPECT_EQ(log[0].value, 4u);
    EXPECT_EQ(log[0].detail, "type=write-addr prefix=06");
    EXPECT_EQ(log[1].detail, "type=read");
    EXPECT_EQ(log[2].detail, "type=read-addr");
    EXPECT_EQ(log[4].operation, "write-disable");
    EXPECT_EQ(log[4].detail, "type=read-addr");
    EXPECT_EQ(log[4].value, 0u);
}

TEST(SpiController, AnAtomicCycleStaysInProgressUntilThePartIsDone) {
    SpiBoard board = Boot({{"board", "ich7-spi-intel"}, {"spi.erase_us", "2000"}});
    SpiHost& host = board.host;
    sim::FlashArray& cells = Part(board.machine).Cells();
    cells.Program(0x30000, Bytes(16, 0x00));
    host.Cycle(kErase, 0x30010, {}, 0, simtest::kSpiAtomic);
    EXPECT_EQ(host.Status() & (simtest::kSpiInProgress | simtest::kSpiDone),
              simtest::kSpiInProgress);
    board.machine.Clock().Advance(2'000'000);
    EXPECT_EQ(host.Status() & (simtest::kSpiInProgress | simtest::kSpiDone), simtest::kSpiDone);
    EXPECT_EQ(cells.Bytes()[0x30000], 0xFF);
    const auto log = SpiLog(board.machine);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].operation, "block-erase");
    EXPECT_EQ(log[0].address, 0x30010u);
    EXPECT_EQ(log[0].detail, "type=write-addr prefix=06");

    // The second prefix, 50h, does not enable a write on an Intel part.
    cells.Program(0x30000, Bytes(16, 0x00));
    host.Cycle(kErase, 0x30000, {}, 0, simtest::kSpiAtomic | simtest::kSpiSecondPrefix);
    host.Settle();
    EXPECT_EQ(cells.Bytes()[0x30000], 0x00);
    EXPECT_EQ(SpiLog(board.machine).back().detail, "type=write-addr prefix=50");
}

TEST(SpiController, SstWordsGoOutAsAnAaiSequenceEndedByWriteDisable) {
    SpiBoard board = Boot({{"board", "ich7-spi"}});
    SpiHost& host = board.host;
    host.Write(host.Layout().opmenu, 1, 0xAD);
    host.Write(host.Layout().optype, 2, kUpdaterTypes | 0x3);
    Part(board.machine).Cells().Erase(0x1000, 0x1000);
    host.Cycle(kProgram, 0x1000, {0x01, 0x02}, 0, simtest::kSpiAtomic);
    host.Settle();
    host.Write(host.Layout().optype, 2, (kUpdaterTypes & ~0x3) | 0x1);
    host.Cycle(kProgram, 0, {0x03, 0x04}, 0);
    host.Settle();
    host.Cycle(kProgram, 0, {0x05, 0x06}, 0);
    host.Settle();
    host.Cycle(kWriteDisable, 0, {}, 0);
    const auto cells = Part(board.machine).Cells().Bytes(0x1000, 7);
    EXPECT_EQ(Bytes(cells.begin(), cells.end()), (Bytes{1, 2, 3, 4, 5, 6, 0xFF}));
    std::vector<std::string> operations;
    for (const sim::LogEntry& entry : SpiLog(board.machine)) operations.push_back(entry.operation);
    EXPECT_EQ(operations, (std::vector<std::string>{"aai-word-program", "aai-word-program",
                                                    "aai-word-program", "write-disable"}));
}

TEST(SpiController, ACycleBelowBbarIsBlocked) {
    SpiBoard board = Boot({{"board", "ich7-spi"}});
    SpiHost& host = board.host;
    Part(board.machine).Cells().Program(0x8000, Bytes{0x12});
    host.Write(host.Layout().bbar, 4, 0x10000);
    EXPECT_EQ(host.Read(host.Layout().bbar, 4), 0x10000u);
    host.Write(host.Layout().optype, 2, (kUpdaterTypes & ~0x000C) | 0x0008);
    host.Write(host.Layout().data, 1, 0x00);
    EXPECT_EQ(host.Cycle(kRead, 0x8000, {}, 1), Bytes{0x00});
    EXPECT_EQ(host.Status() & (simtest::kSpiBlocked | simtest::kSpiDone),
              simtest::kSpiBlocked | simtest::kSpiDone);
    EXPECT_EQ(SpiLog(board.machine).back().detail, "type=read-addr blocked");
    // Writing 1 clears it; a cycle at BBAR itself runs.
    EXPECT_EQ(host.Cycle(kRead, 0x10000, {}, 1),
              Bytes{Part(board.machine).Cells().Bytes()[0x10000]});
    EXPECT_EQ(host.Status() & simtest::kSpiBlocked, 0);
    // No address, no block.
    EXPECT_EQ(host.Cycle(kJedec, 0, {}, 1), Bytes{0xBF});
}

TEST(SpiController, TheLockedConfigurationKeepsTheBiosMenu) {
    sim::Machine& machine = sim::ResetMachine(
        simtest::SettingsOf({{"board", "ich9-spi"}, {"chipset.spi_lockdown", "1"}}));
    SpiHost host(machine, sim::SpiLayout::kIch9);
    const std::uint32_t menu = host.Read(host.Layout().opmenu, 4);
    const std::uint32_t types = host.Read(host.Layout().optype, 2);
    host.SetMenu(kUpdaterMenu, kUpdaterTypes);
    host.Write(host.Layout().preop, 2, 0x0000);
    host.Write(host.Layout().bbar, 4, 0x100000);
    EXPECT_EQ(host.Read(host.Layout().opmenu, 4), menu);
    EXPECT_EQ(host.Read(host.Layout().optype, 2), types);
    EXPECT_EQ(host.Read(host.Layout().preop, 2), 0x5006u);
    EXPECT_EQ(host.Read(host.Layout().bbar, 4), 0u);
    // The lock (HSFS bit 15) holds until reset.
    host.Write(host.Layout().lockByte, 1, 0x00);
    EXPECT_EQ(host.Read(host.Layout().lockByte, 1) & 0x80, 0x80u);
    // Unlocked, the menu takes the updater's.
    sim::Machine& open = sim::ResetMachine(simtest::SettingsOf({{"board", "ich9-spi"}}));
    SpiHost openHost(open, sim::SpiLayout::kIch9);
    openHost.SetMenu(kUpdaterMenu, kUpdaterTypes);
    EXPECT_EQ(openHost.Read(openHost.Layout().optype, 2), kUpdaterTypes);
}

TEST(SpiController, AHungCycleNeverCompletesAndTheControllerStartsNoOther) {
    SpiBoard board = Boot({{"board", "ich7-spi"}, {"spi.fault.cycle_hang", "1"}});
    SpiHost& host = board.host;
    host.Cycle(kJedec, 0, {}, 3);
    board.machine.Clock().Advance(10'000'000'000);
    EXPECT_EQ(host.Status() & (simtest::kSpiInProgress | simtest::kSpiDone),
              simtest::kSpiInProgress);
    host.Cycle(kJedec, 0, {}, 3);
    const auto log = SpiLog(board.machine);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].detail, "type=read hang");
}

TEST(SpiController, AFailedIntelEraseShowsInTheStatusTheCycleReads) {
    SpiBoard board =
        Boot({{"board", "pch-spi"}, {"spi.fault.erase", "0x7F0000"}}, sim::SpiLayout::kIch9);
    SpiHost& host = board.host;
    Part(board.machine).Cells().Program(0x7F0000, Bytes{0x00});
    host.Cycle(kErase, 0x7F0000, {}, 0, simtest::kSpiAtomic);
    host.Settle();
    EXPECT_EQ(host.Cycle(kStatus, 0, {}, 1)[0] & 0x61, 0x20);
    EXPECT_EQ(Part(board.machine).Cells().Bytes()[0x7F0000], 0x00);
}

}  // namespace
