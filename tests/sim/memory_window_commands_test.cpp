// The memory window over the BIOS flash part and Intel's command set behind
// it: reads show the part's cells through the chipset's decode, writes are
// the part's command cycles on the firmware hub and the 16-bit part and
// reach nothing on an SPI part or while the BIOS write enable is clear, and
// program and erase take virtual time in which the part answers busy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sim/memory_window_board.h"

namespace {

using simtest::kFwhBase;
using simtest::kWord16Base;
using simtest::WindowBoard;
using Operations = std::vector<std::string>;

using simtest::kReady;

// ------------------------------------------------------------------ reads

TEST(MemoryWindow, ReadsShowThePartsCellsAtTheTopOfTheAddressSpaceThroughTopSwap) {
    struct Case {
        const char* chip;
        std::uint64_t base;
    };
    for (const Case& c :
         {Case{"82802AC", kFwhBase}, Case{"28F320C3B", kWord16Base}, Case{"MX25L8005", kFwhBase}}) {
        SCOPED_TRACE(c.chip);
        WindowBoard board(c.chip);
        const std::uint64_t size = board.Part().Cells().Size();
        std::vector<std::uint8_t> image(size, 0xFF);
        image[0] = 0x11;
        image[size - 0x20000] = 0x22;  // the block below the top
        image[size - 0x10000] = 0x33;  // the top block
        image[size - 1] = 0x44;
        ASSERT_TRUE(board.Part().Cells().Fill(image));

        EXPECT_EQ(board.Read(c.base), 0x11u);
        EXPECT_EQ(board.Read(simtest::kTop - 0x20000), 0x22u);
        EXPECT_EQ(board.Read(simtest::kTop - 0x10000), 0x33u);
        EXPECT_EQ(board.Read(simtest::kTop - 4, 4), 0x44FFFFFFu);
        // Top swap makes the chipset exchange the top two blocks.
        board.Range().SetTopSwap(true);
        EXPECT_EQ(board.Read(simtest::kTop - 0x20000), 0x33u);
        EXPECT_EQ(board.Read(simtest::kTop - 0x10000), 0x22u);
        EXPECT_EQ(board.Read(c.base), 0x11u);
        // Below the window nothing answers.
        EXPECT_EQ(board.Read(c.base - 1), 0xFFu);
        // Plain reads are not logged.
        EXPECT_TRUE(board.Log().empty());
    }
}

TEST(MemoryWindow, TopSwapOnAPartSmallerThanTheSwappedBlocksReadsNothingOutsideIt) {
    sim::FlashChip chip = simtest::ChipNamed("82802AC");
    chip.sizeBytes = 0x10000;
    chip.erasers = {{0xD0, {{0x10000, 1}}}};
    sim::Machine machine;
    sim::FlashPart& part = machine.AddFlashPart(chip, "bios-flash");
    sim::BiosRange& range = machine.Add<sim::BiosRange>();
    sim::AddMemoryWindow(machine, part);
    range.SetWritesEnabled(true);
    range.SetTopSwap(true);
    // The top block's addresses decode below the part: floating, and a
    // write there reaches no cell.
    EXPECT_EQ(machine.MemoryRead(simtest::kTop - 0x10000, 1), 0xFFu);
    machine.MemoryWrite(simtest::kTop - 0x10000, 1, 0x20);
    const auto log = machine.Log().Of("flash");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].operation, "dropped-write");
    EXPECT_EQ(log[0].detail, "outside the part");
}

// -------------------------------------------------------- writes that reach nothing

TEST(MemoryWindow, WritesThatReachNoPartAreDroppedAndLogged) {
    struct Case {
        const char* chip;
        bool writesEnabled;
        std::uint64_t address;
        unsigned width;
        const char* reason;
    };
    const Case cases[] = {
        {"MX25L8005", true, kFwhBase + 0x100, 1, "SPI part"},
        {"SST49LF008A", true, kFwhBase + 0x100, 1, "no command set"},
        {"82802AC", false, kFwhBase + 0x100, 1, "writes disabled"},
        {"28F320C3B", false, kWord16Base + 0x100, 2, "writes disabled"},
        {"28F320C3B", true, kWord16Base + 0x100, 1, "not a word cycle"},
        {"28F320C3B", true, kWord16Base + 0x101, 2, "not a word cycle"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.chip << " " << c.reason);
        WindowBoard board(c.chip);
        board.Range().SetWritesEnabled(c.writesEnabled);
        const std::uint8_t before = board.Cell(c.address);
        // A program of 00h would clear the cell if it reached the part.
        board.Write(c.address, 0x40, c.width);
        board.Write(c.address, 0x00, c.width);
        EXPECT_EQ(board.Cell(c.address), before);
        const auto log = board.Log();
        ASSERT_EQ(log.size(), 2u);
        for (const sim::LogEntry& entry : log) {
            EXPECT_EQ(entry.operation, "dropped-write");
            EXPECT_EQ(entry.address, c.address);
            EXPECT_EQ(entry.width, c.width);
            EXPECT_EQ(entry.detail, c.reason);
        }
        EXPECT_EQ(log[0].value, 0x40u);
    }
}

// ------------------------------------------------------------- the 8-bit part

TEST(IntelByteCommands, EraseAndProgramTakeVirtualTimeAndLeaveTheCellsAsNorFlashDoes) {
    WindowBoard board("82802AC", {{"flash.program_us", "6"}, {"flash.erase_ms", "100"}});
    const std::uint64_t block = kFwhBase + 0x30000;
    std::vector<std::uint8_t> image(board.Part().Cells().Size(), 0x5A);
    ASSERT_TRUE(board.Part().Cells().Fill(image));

    board.Command(block + 0x1234, 0x20);
    const std::uint64_t erased = board.Machine().Clock().NowNs();
    board.Command(block + 0x1234, 0xD0);
    // The part answers status at once, busy until the erase is done.
    EXPECT_EQ(board.Read(block), 0x00u);
    const std::uint8_t status = board.WaitReady(block, 1'000'000'000);
    EXPECT_EQ(status, kReady);
    const std::uint64_t took = board.Machine().Clock().NowNs() - erased;
    EXPECT_GE(took, 100'000'000u);
    EXPECT_LT(took, 100'010'000u);
    // The whole 64 KB block and nothing else.
    EXPECT_EQ(board.Cell(block), 0xFF);
    EXPECT_EQ(board.Cell(block + 0xFFFF), 0xFF);
    EXPECT_EQ(board.Cell(block - 1), 0x5A);
    EXPECT_EQ(board.Cell(block + 0x10000), 0x5A);

    // Program: 40h (or 10h) and the byte; bits only clear.
    const std::uint64_t started = board.Machine().Clock().NowNs();
    board.Command(block + 5, 0x40);
    board.Command(block + 5, 0xA5);
    EXPECT_EQ(board.Read(block + 5) & kReady, 0u);
    EXPECT_EQ(board.WaitReady(block + 5, 1'000'000), kReady);
    EXPECT_GE(board.Machine().Clock().NowNs() - started, 6'000u);
    EXPECT_EQ(board.Program(block + 5, 0x3C), kReady);  // over A5h: 24h
    board.Command(block + 6, 0x10);
    board.Command(block + 6, 0x00);
    EXPECT_EQ(board.WaitReady(block + 6, 1'000'000), kReady);
    // Status until read array.
    EXPECT_EQ(board.Read(block + 5), kReady);
    board.Command(block, 0xFF);
    EXPECT_EQ(board.Read(block + 4, 4), 0xFF0024FFu);

    // One entry per command, at the processor's address, with the part's
    // offset; status polls and array reads are not among them.
    const auto log = board.Log();
    EXPECT_EQ(board.Operations(),
              (Operations{"erase", "program", "program", "program", "read-array"}));
    EXPECT_EQ(log[0].address, block + 0x1234);
    EXPECT_EQ(log[0].value, 0xD0u);
    EXPECT_EQ(log[0].detail, "offset=0x031234");
    EXPECT_EQ(log[1].address, block + 5);
    EXPECT_EQ(log[1].value, 0xA5u);
    EXPECT_EQ(log[1].width, 1u);
    EXPECT_EQ(log[3].value, 0x00u);
}

TEST(IntelByteCommands, StatusIdentifierAndTheCommandsAPartIgnores) {
    WindowBoard board("82802AC");
    // Read identifier: manufacturer and device on alternate addresses.
    board.Command(kFwhBase, 0x90);
    EXPECT_EQ(board.Read(kFwhBase), 0x89u);
    EXPECT_EQ(board.Read(kFwhBase + 1), 0xACu);
    // A command the firmware hub does not have (it locks by register).
    board.Command(kFwhBase, 0x60);
    board.Command(kFwhBase, 0x70);
    EXPECT_EQ(board.Read(kFwhBase + 0x777), kReady);
    // A setup not followed by its confirm: a bad command sequence.
    board.Command(kFwhBase, 0x20);
    board.Command(kFwhBase, 0xFF);
    EXPECT_EQ(board.Read(kFwhBase), 0xB0u);
    EXPECT_EQ(board.Cell(kFwhBase), 0xFF);
    board.Command(kFwhBase, 0x50);
    EXPECT_EQ(board.Read(kFwhBase), kReady);

    // Busy: only 70h is taken, the rest is ignored.
    board.Command(kFwhBase + 0x10000, 0x20);
    board.Command(kFwhBase + 0x10000, 0xD0);
    board.Command(kFwhBase, 0xFF);
    board.Command(kFwhBase, 0x70);
    EXPECT_EQ(board.Read(kFwhBase), 0x00u);
    EXPECT_EQ(board.WaitReady(kFwhBase, 1'000'000'000), kReady);

    const auto log = board.Log();
    EXPECT_EQ(board.Operations(), (Operations{"read-id", "ignored", "read-status", "bad-sequence",
                                              "clear-status", "erase", "ignored", "read-status"}));
    EXPECT_EQ(log[1].detail, "offset=0x000000: unknown command 0x60");
    EXPECT_EQ(log[3].detail, "offset=0x000000: no confirm: 0xFF");
    EXPECT_EQ(log[6].detail, "offset=0x000000: busy");
}

TEST(IntelByteCommands, WiderWritesAreByteCyclesInAddressOrder) {
    WindowBoard board("82802AC");
    // A 16-bit write of 1240h is two byte cycles, 40h at +100h then 12h at
    // +101h: a program of 12h at the data cycle's address.
    board.Write(kFwhBase + 0x100, 0x1240, 2);
    EXPECT_EQ(board.WaitReady(kFwhBase, 1'000'000), kReady);
    board.Command(kFwhBase, 0xFF);
    EXPECT_EQ(board.Cell(kFwhBase + 0x100), 0xFF);
    EXPECT_EQ(board.Cell(kFwhBase + 0x101), 0x12);
    const auto log = board.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].operation, "program");
    EXPECT_EQ(log[0].address, kFwhBase + 0x101);
    EXPECT_EQ(log[0].width, 1u);
}

TEST(IntelByteCommands, TopSwapSendsCommandsToTheSwappedBlock) {
    WindowBoard board("82802AC");
    board.Range().SetTopSwap(true);
    const std::uint64_t top = simtest::kTop - 0x10000;
    EXPECT_EQ(board.Program(top + 8, 0x00), kReady);
    EXPECT_EQ(board.Cell(top - 0x10000 + 8), 0x00);
    EXPECT_EQ(board.Cell(top + 8), 0xFF);
    // Read back through the same swapped address.
    board.Command(top, 0xFF);
    EXPECT_EQ(board.Read(top + 8), 0x00u);
    EXPECT_EQ(board.Log()[0].detail, "offset=0x0E0008");
    EXPECT_EQ(board.Log()[0].address, top + 8);
}

// ------------------------------------------------------------ the 16-bit part

TEST(IntelWordCommands, CommandsAndDataAreWordsAtEvenAddresses) {
    WindowBoard board("28F320C3B");
    const std::uint64_t at = kWord16Base + 0x200000;
    EXPECT_EQ(board.Program(at, 0x1234), kReady);
    board.Command(at, 0xFF);
    EXPECT_EQ(board.Read(at, 2), 0x1234u);
    EXPECT_EQ(board.Read(at + 1), 0x12u);

    // A 32-bit write is two word cycles, lower word first: 0040h, then the
    // data word 5678h.
    board.Write(at + 0x10, 0x56780040, 4);
    EXPECT_EQ(board.WaitReady(at, 1'000'000), kReady);
    board.Command(at, 0xFF);
    EXPECT_EQ(board.Read(at + 0x12, 2), 0x5678u);
    EXPECT_EQ(board.Read(at + 0x10, 2), 0xFFFFu);

    // Status on the low byte, 00h on the high one; the command in a word's
    // low byte whatever its high byte holds.
    board.Command(at, 0xAB70);
    EXPECT_EQ(board.Read(at, 2), 0x0080u);

    const auto log = board.Log();
    EXPECT_EQ(board.Operations(),
              (Operations{"program", "read-array", "program", "read-array", "read-status"}));
    EXPECT_EQ(log[0].value, 0x1234u);
    EXPECT_EQ(log[0].width, 2u);
    EXPECT_EQ(log[2].address, at + 0x12);
    EXPECT_EQ(log[2].value, 0x5678u);
}

TEST(IntelWordCommands, EraseClearsTheBlockOfTheBootBlockLayout) {
    // Eight 8 KB parameter blocks at the bottom, then 64 KB main blocks.
    struct Case {
        std::uint64_t offset;  // an address inside the block erased
        std::uint64_t start;
        std::uint64_t bytes;
    };
    const Case cases[] = {
        {0x0000, 0x0000, 0x2000},    {0x3FFE, 0x2000, 0x2000},      {0xE000, 0xE000, 0x2000},
        {0x10000, 0x10000, 0x10000}, {0x3FFFFE, 0x3F0000, 0x10000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        WindowBoard board("28F320C3B");
        std::vector<std::uint8_t> image(board.Part().Cells().Size(), 0x00);
        ASSERT_TRUE(board.Part().Cells().Fill(image));
        EXPECT_EQ(board.Erase(kWord16Base + c.offset), kReady);
        EXPECT_EQ(board.Cell(kWord16Base + c.start), 0xFF);
        EXPECT_EQ(board.Cell(kWord16Base + c.start + c.bytes - 1), 0xFF);
        if (c.start > 0) {
            EXPECT_EQ(board.Cell(kWord16Base + c.start - 1), 0x00);
        }
        if (c.start + c.bytes < image.size()) {
            EXPECT_EQ(board.Cell(kWord16Base + c.start + c.bytes), 0x00);
        }
    }
}

TEST(IntelWordCommands, TheIdentifierModeShowsTheIdsAndEachBlocksLockState) {
    WindowBoard board("28F320C3B", {{"flash.locked_down", "0xFFC02000"}});
    board.Command(kWord16Base, 0x90);
    EXPECT_EQ(board.Read(kWord16Base, 2), 0x0089u);
    EXPECT_EQ(board.Read(kWord16Base + 2, 2), 0x88C5u);
    EXPECT_EQ(board.Read(kWord16Base + 4, 2), 0x0000u);           // unlocked at POST
    EXPECT_EQ(board.Read(kWord16Base + 0x2000 + 4, 2), 0x0003u);  // locked down
    EXPECT_EQ(board.Read(kWord16Base + 0x2000 + 6, 2), 0x0000u);
}

}  // namespace
