// The window on the whole machine: each board carries its part below 4 GB,
// the LPC bridge's BIOS write enable opens it to command cycles, the BIOS's
// own tables read through it, an SPI board's window never takes a write,
// and a setting that sticks cells of the part shows through the window.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/bios/bios_flash.h"
#include "sim/chipset/memory_window.h"
#include "sim/core/machine.h"
#include "tests/sim/memory_window_board.h"

namespace {

using simtest::kReady;
using simtest::kTop;

constexpr sim::PciAddress kLpcBridge{0, 31, 0};
constexpr int kBiosControl = 0xDC;
constexpr std::uint8_t kWriteEnable = 0x01;

sim::Machine& Boot(const std::string& board,
                   std::initializer_list<std::pair<std::string, std::string>> more = {}) {
    sim::Settings settings = simtest::SettingsOf(more);
    settings.Set("board", board);
    return sim::ResetMachine(settings);
}

// The first erased word of the part: a cell a program can still change.
std::uint64_t ErasedOffset(const sim::FlashPart& part) {
    const auto cells = part.Cells().Bytes();
    for (std::size_t offset = 0; offset + 1 < cells.size(); offset += 2) {
        if (cells[offset] == 0xFF && cells[offset + 1] == 0xFF) return offset;
    }
    ADD_FAILURE() << "no erased cell";
    return 0;
}

std::uint8_t ProgramThroughWindow(sim::Machine& machine, std::uint64_t address, std::uint8_t data,
                                  unsigned width) {
    machine.MemoryWrite(address, width, 0x40);
    machine.MemoryWrite(address, width, data);
    machine.Clock().Advance(1'000'000);
    const auto status = static_cast<std::uint8_t>(machine.MemoryRead(address, 1));
    machine.MemoryWrite(address, width, 0xFF);
    return status;
}

TEST(MemoryWindowOnBoards, EachBoardCarriesItsPartAtTheTopAndTheBiosTablesReadThroughIt) {
    struct Case {
        const char* board;
        const char* chip;
        std::uint64_t size;
    };
    const Case cases[] = {
        {"fwh", "82802AC", 0x100000},          {"word16", "28F320C3B", 0x400000},
        {"ich7-spi", "SST25VF016B", 0x200000}, {"ich9-spi", "AT25DF321", 0x400000},
        {"pch-spi", "25F640S33", 0x800000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board);
        sim::Machine& machine = Boot(c.board);
        const sim::MemoryWindow* window = machine.Find<sim::MemoryWindow>();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->Base(), kTop - c.size);
        const sim::FlashPart& part = *machine.FindFlashPart(sim::kBiosFlashPart);
        EXPECT_EQ(part.Chip().name, c.chip);
        // Every byte the window shows is the part's (in array mode).
        bool same = true;
        for (std::uint64_t offset = 0; offset < c.size && same; offset += 0x1000 - 3)
            same =
                machine.MemoryRead(window->Base() + offset, 1) == part.Cells().Bytes(offset, 1)[0];
        EXPECT_TRUE(same);
        // The BIOS's boot firmware volume is somewhere in the top 640 KB,
        // 64 KB aligned, and reads through the window.
        bool found = false;
        for (std::uint64_t base = kTop - 0xA0000; base < kTop && !found; base += 0x10000) {
            found = machine.MemoryRead(base + 40, 4) == 0x4856465F;  // "_FVH"
        }
        EXPECT_TRUE(found);
    }
}

TEST(MemoryWindowOnBoards, TheLpcBridgesWriteEnableOpensTheWindowToCommands) {
    struct Case {
        const char* board;
        unsigned width;
    };
    for (const Case& c : {Case{"fwh", 1}, Case{"word16", 2}}) {
        SCOPED_TRACE(c.board);
        sim::Machine& machine = Boot(c.board);
        const sim::FlashPart& part = *machine.FindFlashPart(sim::kBiosFlashPart);
        const std::uint64_t offset = ErasedOffset(part);
        const std::uint64_t address = kTop - part.Cells().Size() + offset;
        // As the BIOS left it: writes disabled.
        ProgramThroughWindow(machine, address, 0x00, c.width);
        EXPECT_EQ(part.Cells().Bytes(offset, 1)[0], 0xFF);
        machine.Pci().Write(kLpcBridge, kBiosControl, 1, kWriteEnable);
        EXPECT_EQ(ProgramThroughWindow(machine, address, 0x00, c.width), kReady);
        EXPECT_EQ(part.Cells().Bytes(offset, 1)[0], 0x00);
        const auto log = machine.Log().Of("flash");
        ASSERT_EQ(log.size(), 5u);  // three dropped cycles, then 40h with its data, and FFh
        EXPECT_EQ(log[0].operation, "dropped-write");
        EXPECT_EQ(log[0].detail, "writes disabled");
        EXPECT_EQ(log[3].operation, "program");
        EXPECT_EQ(log[4].operation, "read-array");
    }
}

TEST(MemoryWindowOnBoards, AnSpiBoardsWindowDropsWritesEvenWithTheWriteEnableSet) {
    sim::Machine& machine = Boot("ich9-spi");
    machine.Pci().Write(kLpcBridge, kBiosControl, 1, kWriteEnable);
    const sim::FlashArray& cells = machine.FindFlashPart(sim::kBiosFlashPart)->Cells();
    const std::uint64_t offset = ErasedOffset(*machine.FindFlashPart(sim::kBiosFlashPart));
    const std::uint64_t address = kTop - cells.Size() + offset;
    ProgramThroughWindow(machine, address, 0x00, 1);
    EXPECT_EQ(cells.Bytes(offset, 1)[0], 0xFF);
    const auto log = machine.Log().Of("flash");
    ASSERT_EQ(log.size(), 3u);
    for (const sim::LogEntry& entry : log) EXPECT_EQ(entry.detail, "SPI part");
}

TEST(MemoryWindowOnBoards, CellsStuckBySettingReadBackWrongThroughTheWindow) {
    // The setting names the BIOS flash service's address of an erased cell.
    sim::Machine& first = Boot("fwh");
    const std::uint64_t offset = ErasedOffset(*first.FindFlashPart(sim::kBiosFlashPart));
    const std::uint64_t serviceAddress =
        first.Find<sim::BiosFlashService>()->Layout().BaseOffset() + offset;
    sim::Machine& machine =
        Boot("fwh", {{"bios.fault.stuck_bits", std::to_string(serviceAddress) + ":0x81"}});
    machine.Pci().Write(kLpcBridge, kBiosControl, 1, kWriteEnable);
    const std::uint64_t address = kTop - 0x100000 + offset;
    EXPECT_EQ(ProgramThroughWindow(machine, address, 0x00, 1), kReady);
    EXPECT_EQ(machine.MemoryRead(address, 1), 0x81u);
}

}  // namespace
