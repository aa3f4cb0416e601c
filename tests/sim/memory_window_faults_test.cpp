// The part's faults on demand: a program or erase that fails (its status
// error bit, the cells unchanged), one that never finishes (bit 7 stays 0
// however long the wait), a status bit stuck at 1, low programming voltage,
// and cells that read back wrong; and what of the part survives from one
// process to the next through the state directory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/bios/bios_flash.h"
#include "tests/common/files.h"
#include "tests/sim/memory_window_board.h"

namespace {

using simtest::kFwhBase;
using simtest::kFwhRegisters;
using simtest::kWord16Base;
using simtest::WindowBoard;

using simtest::kReady;

TEST(WindowFaults, FailingAndHangingOperationsReportThemselvesAndLeaveTheCells) {
    enum class Op { kProgram, kErase };
    struct Case {
        const char* chip;
        const char* key;
        std::string value;
        Op op;
        std::uint64_t address;
        std::uint8_t status;  // after the wait
        const char* reason;   // in the log entry
    };
    const std::uint64_t fwh = kFwhBase + 0x40000;
    const std::uint64_t word = kWord16Base + 0x100000;
    const Case cases[] = {
        {"82802AC", "flash.fault.program", "0xFFF40007", Op::kProgram, fwh + 7, 0x90,
         "program fails"},
        {"82802AC", "flash.fault.erase", "0xFFF4FFFF", Op::kErase, fwh, 0xA0, "erase fails"},
        {"82802AC", "flash.fault.program_hang", "0xFFF40007", Op::kProgram, fwh + 7, 0x00,
         "never finishes"},
        {"82802AC", "flash.fault.erase_hang", "0xFFF41000", Op::kErase, fwh, 0x00,
         "never finishes"},
        {"82802AC", "flash.fault.vpp_low", "1", Op::kProgram, fwh + 7, 0x98,
         "programming voltage low"},
        {"82802AC", "flash.fault.vpp_low", "1", Op::kErase, fwh, 0xA8, "programming voltage low"},
        // The word holding the address fails, whichever of its bytes it is.
        {"28F320C3B", "flash.fault.program", "0xFFD00009", Op::kProgram, word + 8, 0x90,
         "program fails"},
        {"28F320C3B", "flash.fault.erase", "0xFFD0FFFE", Op::kErase, word, 0xA0, "erase fails"},
        {"28F320C3B", "flash.fault.erase_hang", "0xFFD00000", Op::kErase, word + 0x40, 0x00,
         "never finishes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.chip << " " << c.key << "=" << c.value);
        WindowBoard board(c.chip, {{c.key, c.value}});
        std::vector<std::uint8_t> image(board.Part().Cells().Size(), 0x5A);
        ASSERT_TRUE(board.Part().Cells().Fill(image));
        const std::uint8_t status =
            c.op == Op::kProgram ? board.Program(c.address, 0x0000) : board.Erase(c.address);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(board.Cell(c.address), 0x5A);
        EXPECT_EQ(board.Cell(c.address + 1), 0x5A);
        const auto log = board.Log();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].operation, c.op == Op::kProgram ? "program" : "erase");
        EXPECT_NE(log[0].detail.find(c.reason), std::string::npos) << log[0].detail;
        if (c.status != 0x00) continue;
        // A part that never finishes answers busy for good and takes no
        // other command.
        board.Machine().Clock().Advance(60'000'000'000);
        board.Command(c.address, 0xFF);
        EXPECT_EQ(board.Read(c.address), 0x00u);
        EXPECT_EQ(board.Log().back().operation, "ignored");
    }
}

TEST(WindowFaults, AFaultElsewhereLeavesAnOperationAlone) {
    WindowBoard board("82802AC",
                      {{"flash.fault.program", "0xFFF40008"}, {"flash.fault.erase", "0xFFF50000"}});
    EXPECT_EQ(board.Program(kFwhBase + 0x40007, 0x00), kReady);
    EXPECT_EQ(board.Erase(kFwhBase + 0x4FFFF), kReady);
}

TEST(WindowFaults, AStuckStatusBitReadsOneWhateverThePartDid) {
    WindowBoard board("28F320C3B", {{"flash.fault.status_stuck", "0x08"}});
    EXPECT_EQ(board.Program(kWord16Base + 0x20000, 0x1234), 0x88);
    // The program itself went through.
    board.Command(kWord16Base, 0xFF);
    EXPECT_EQ(board.Read(kWord16Base + 0x20000, 2), 0x1234u);
    board.Command(kWord16Base, 0x50);
    board.Command(kWord16Base, 0x70);
    EXPECT_EQ(board.Read(kWord16Base, 2), 0x0088u);
    // Stuck at 1 even while busy: bit 7 stuck makes a busy part look ready.
    WindowBoard ready("82802AC", {{"flash.fault.status_stuck", "0x80"}});
    ready.Command(kFwhBase, 0x20);
    ready.Command(kFwhBase, 0xD0);
    EXPECT_EQ(ready.Read(kFwhBase), kReady);
}

TEST(WindowFaults, StuckCellsOfTheSharedPartReadBackWrongAfterAProgramThatReportsSuccess) {
    // The BIOS flash service sticks the cells its setting names; the part
    // is the same one the window programs.
    sim::Settings settings;
    settings.Set("bios.fault.stuck_bits", "0xF1234:0x01");
    sim::Machine machine(settings);
    const sim::FlashChip chip = simtest::ChipNamed("82802AC");
    sim::FlashPart& part = machine.AddFlashPart(chip, sim::kBiosFlashPart);
    machine.Add<sim::BiosFlashService>(sim::BiosFlashConfig::FromSettings(settings), part);
    sim::BiosRange& range = machine.Add<sim::BiosRange>();
    sim::AddMemoryWindow(machine, part);
    range.SetWritesEnabled(true);
    const std::uint64_t cell = simtest::kTop - 0x100000 + 0xF1234;
    machine.MemoryWrite(cell & ~0xFFFFull, 1, 0x20);
    machine.MemoryWrite(cell & ~0xFFFFull, 1, 0xD0);
    machine.Clock().Advance(1'000'000'000);
    machine.MemoryWrite(cell, 1, 0x40);
    machine.MemoryWrite(cell, 1, 0x00);
    machine.Clock().Advance(1'000'000);
    EXPECT_EQ(machine.MemoryRead(cell, 1), kReady);
    machine.MemoryWrite(cell, 1, 0xFF);
    EXPECT_EQ(machine.MemoryRead(cell, 1), 0x01u);
}

// ------------------------------------------------------------ kept state

TEST(WindowState, LocksModeAndAHungPartSurviveIntoTheNextProcess) {
    test_support::TempDir dir("memory-window");
    {
        WindowBoard board("82802AC", {{"flash.fault.erase_hang", "0xFFF80000"}});
        board.Write(kFwhRegisters + 0x20002, 0x01);
        board.Write(kFwhRegisters + 0x30002, 0x03);
        board.Command(kFwhBase, 0x90);
        ASSERT_TRUE(board.Machine().SaveState(dir.Path()));
    }
    {
        // POST's settings give other locks; the running machine's win.
        WindowBoard board(
            "82802AC", {{"flash.fault.erase_hang", "0xFFF80000"}, {"flash.locked", "0xFFF50000"}});
        board.Machine().LoadState(dir.Path());
        EXPECT_EQ(board.Read(kFwhRegisters + 0x20002), 0x01u);
        EXPECT_EQ(board.Read(kFwhRegisters + 0x30002), 0x03u);
        EXPECT_EQ(board.Read(kFwhRegisters + 0x50002), 0x00u);
        EXPECT_EQ(board.Read(kFwhBase + 1), 0xACu);  // still in identifier mode
        // Lock-down holds in the next process too.
        board.Write(kFwhRegisters + 0x30002, 0x00);
        EXPECT_EQ(board.Read(kFwhRegisters + 0x30002), 0x03u);
        // Now an erase that never ends.
        EXPECT_EQ(board.Erase(kFwhBase + 0x80000), 0x00);
        ASSERT_TRUE(board.Machine().SaveState(dir.Path()));
    }
    {
        // The erase's own settings no longer matter: the part is hung.
        WindowBoard board("82802AC");
        board.Machine().LoadState(dir.Path());
        EXPECT_EQ(board.Read(kFwhBase), 0x00u);
        board.Command(kFwhBase, 0xFF);
        EXPECT_EQ(board.Read(kFwhBase), 0x00u);
    }
}

TEST(WindowState, AnOperationRunningAtTheEndOfAProcessHasFinishedInTheNext) {
    test_support::TempDir dir("memory-window");
    {
        WindowBoard board("28F320C3B");
        board.Command(kWord16Base + 0x10000, 0x20);
        board.Command(kWord16Base + 0x10000, 0xD0);
        ASSERT_EQ(board.Read(kWord16Base), 0x00u);
        ASSERT_TRUE(board.Machine().SaveState(dir.Path()));
    }
    WindowBoard board("28F320C3B");
    board.Machine().LoadState(dir.Path());
    EXPECT_EQ(board.Read(kWord16Base, 2), 0x0080u);
}

TEST(WindowState, AKeptFileOfAnotherPartIsIgnored) {
    test_support::TempDir dir("memory-window");
    {
        WindowBoard board("28F320C3B");  // 71 blocks
        board.Command(kWord16Base, 0x60);
        board.Command(kWord16Base, 0x01);
        ASSERT_TRUE(board.Machine().SaveState(dir.Path()));
    }
    WindowBoard board("82802AC");  // 16 blocks
    board.Machine().LoadState(dir.Path());
    EXPECT_EQ(board.Read(kFwhRegisters + 2), 0x00u);
}

}  // namespace
