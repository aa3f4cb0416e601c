// Block locks: the firmware hub's lock registers 4 MB below its window and
// the 16-bit part's lock commands act on one lock state per block; the BIOS
// leaves the blocks unlocked at POST except those the settings name, a
// locked-down block stays locked, and a program or erase on a write-locked
// block fails with the locked-block status and leaves the cells alone.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/sim/memory_window_board.h"

namespace {

using simtest::kFwhBase;
using simtest::kFwhRegisters;
using simtest::kWord16Base;
using simtest::WindowBoard;

using simtest::kReady;
constexpr std::uint64_t kBlock = 0x10000;

std::uint64_t LockRegister(unsigned block) {
    return kFwhRegisters + block * kBlock + 2;
}

TEST(FwhLockRegisters, EachBlocksRegisterLiesTwoBytesIntoItsBlock4MbBelowAndStartsAsPostLeftIt) {
    WindowBoard board("82802AC", {{"flash.locked", "0xFFF30000,0xFFF4FFFF"},
                                  {"flash.locked_down", "0xFFFF0000"}});
    for (unsigned block = 0; block < 16; ++block) {
        SCOPED_TRACE(block);
        std::uint32_t expected = 0x00;
        if (block == 3 || block == 4) expected = 0x01;
        if (block == 15) expected = 0x03;
        EXPECT_EQ(board.Read(LockRegister(block)), expected);
        // The rest of the register space is not a lock register.
        EXPECT_EQ(board.Read(LockRegister(block) - 2), 0xFFu);
    }
    // The register space ends with the part's blocks.
    EXPECT_EQ(board.Read(LockRegister(16)), 0xFFu);
}

TEST(FwhLockRegisters, WritesSetTheBitsUntilLockDownFreezesThem) {
    struct Step {
        std::uint8_t written;
        std::uint8_t reads;
        const char* reason;  // of the log entry
    };
    const Step steps[] = {
        {0x01, 0x01, ""},
        {0x00, 0x00, ""},
        {0x05, 0x05, ""},
        {0xF8, 0x00, ""},
        {0x03, 0x03, ""},
        {0x00, 0x03, "locked down"},
        {0x07, 0x03, "locked down"},
    };
    WindowBoard board("82802AC");
    const std::uint64_t reg = LockRegister(7);
    for (const Step& step : steps) {
        SCOPED_TRACE(+step.written);
        board.ClearLog();
        board.Write(reg, step.written);
        EXPECT_EQ(board.Read(reg), step.reads);
        const auto log = board.Log();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].operation, "lock-register");
        EXPECT_EQ(log[0].address, reg);
        EXPECT_EQ(log[0].value, step.written);
        EXPECT_EQ(log[0].detail, std::string("offset=0x070000") +
                                     (*step.reason != '\0' ? std::string(": ") + step.reason : ""));
    }
}

TEST(FwhLockRegisters, WritesNeedTheBiosWriteEnableAndAWriteThatMissesTheRegistersIsLogged) {
    WindowBoard board("82802AC", {{"flash.locked", "0xFFF20000"}});
    board.Range().SetWritesEnabled(false);
    board.Write(LockRegister(2), 0x00);
    EXPECT_EQ(board.Read(LockRegister(2)), 0x01u);
    board.Range().SetWritesEnabled(true);
    board.Write(LockRegister(2) - 2, 0x00);
    // A 32-bit write at the block base reaches the register in its third
    // byte.
    board.Write(LockRegister(2) - 2, 0x00000000, 4);
    EXPECT_EQ(board.Read(LockRegister(2)), 0x00u);
    const auto log = board.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].operation, "dropped-write");
    EXPECT_EQ(log[0].detail, "writes disabled");
    EXPECT_EQ(log[1].operation, "dropped-write");
    EXPECT_EQ(log[1].detail, "no register");
    EXPECT_EQ(log[2].operation, "lock-register");
    EXPECT_EQ(log[2].address, LockRegister(2));
}

TEST(FwhLockRegisters, AReadLockedBlockReads00hWhateverItHoldsAndStillTakesPrograms) {
    WindowBoard board("82802AC");
    std::vector<std::uint8_t> image(board.Part().Cells().Size(), 0x5A);
    ASSERT_TRUE(board.Part().Cells().Fill(image));
    board.Write(LockRegister(9), 0x04);
    EXPECT_EQ(board.Read(kFwhBase + 0x90000), 0x00u);
    EXPECT_EQ(board.Read(kFwhBase + 0x9FFFF), 0x00u);
    EXPECT_EQ(board.Read(kFwhBase + 0x8FFFF), 0x5Au);
    EXPECT_EQ(board.Read(kFwhBase + 0xA0000), 0x5Au);
    // The read lock does not stop a write.
    EXPECT_EQ(board.Program(kFwhBase + 0x90000, 0x0F), kReady);
    EXPECT_EQ(board.Cell(kFwhBase + 0x90000), 0x0A);
    board.Write(LockRegister(9), 0x00);
    board.Command(kFwhBase, 0xFF);
    EXPECT_EQ(board.Read(kFwhBase + 0x90000), 0x0Au);
}

// What a write-locked block does to a program and an erase, on both parts.
TEST(BlockLocks, ProgramAndEraseOnAWriteLockedBlockFailWithTheLockedStatusAndChangeNothing) {
    struct Case {
        const char* chip;
        std::uint64_t address;   // in a locked block
        std::uint64_t unlocked;  // in the block after it
    };
    const Case cases[] = {
        {"82802AC", kFwhBase + 0x50010, kFwhBase + 0x60010},
        {"28F320C3B", kWord16Base + 0x2010, kWord16Base + 0x4010},  // an 8 KB block
        {"28F320C3B", kWord16Base + 0x210010, kWord16Base + 0x220010},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.chip << std::hex << " " << c.address);
        WindowBoard board(c.chip, {{"flash.locked", std::to_string(c.address)}});
        std::vector<std::uint8_t> image(board.Part().Cells().Size(), 0x5A);
        ASSERT_TRUE(board.Part().Cells().Fill(image));

        EXPECT_EQ(board.Program(c.address, 0x00), 0x92);  // ready, program failed, locked
        board.Command(c.address, 0x50);
        EXPECT_EQ(board.Erase(c.address), 0xA2);  // ready, erase failed, locked
        EXPECT_EQ(board.Cell(c.address), 0x5A);
        EXPECT_EQ(board.Cell(c.address - 0x10), 0x5A);
        board.Command(c.address, 0x50);
        EXPECT_EQ(board.Read(c.address), kReady);
        // The next block is not locked.
        EXPECT_EQ(board.Program(c.unlocked, 0x00), kReady);
        EXPECT_EQ(board.Cell(c.unlocked), 0x00);

        const auto log = board.Log();
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(log[0].operation, "program");
        EXPECT_NE(log[0].detail.find(": locked block"), std::string::npos) << log[0].detail;
        EXPECT_EQ(log[2].operation, "erase");
        EXPECT_NE(log[2].detail.find(": locked block"), std::string::npos) << log[2].detail;
    }
}

TEST(BlockLocks, TheWordPartLocksUnlocksAndLocksDownByCommand) {
    struct Step {
        std::uint16_t second;     // after 60h
        std::uint16_t lockState;  // as the identifier mode reads it
        const char* reason;
    };
    const Step steps[] = {
        {0x01, 0x01, ""},
        {0xD0, 0x00, ""},
        {0x2F, 0x03, ""},  // lock-down also locks
        {0xD0, 0x03, "locked down"},
        {0x01, 0x03, "locked down"},
    };
    WindowBoard board("28F320C3B");
    const std::uint64_t block = kWord16Base + 0x230000;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.second);
        board.ClearLog();
        board.Command(block, 0x60);
        board.Command(block, step.second);
        board.Command(block, 0x90);
        EXPECT_EQ(board.Read(block + 4, 2), step.lockState);
        const auto log = board.Log();
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[0].operation, "lock-command");
        EXPECT_EQ(log[0].value, step.second);
        EXPECT_EQ(log[0].detail, std::string("offset=0x230000") +
                                     (*step.reason != '\0' ? std::string(": ") + step.reason : ""));
    }
    // 60h followed by anything else is a bad sequence and locks nothing.
    WindowBoard other("28F320C3B");
    other.Command(block, 0x60);
    other.Command(block, 0x40);
    EXPECT_EQ(other.Read(block), 0xB0u);
    other.Command(block, 0x90);
    EXPECT_EQ(other.Read(block + 4, 2), 0x00u);
}

TEST(BlockLocks, ASettingThatNamesNoBlockOfTheWindowIsRefused) {
    for (const char* key : {"flash.locked", "flash.locked_down", "flash.fault.erase"}) {
        for (const char* value : {"0xFFE00000", "0x100000000", "0xFFF00000:3", "many"}) {
            SCOPED_TRACE(testing::Message() << key << "=" << value);
            try {
                WindowBoard board("82802AC", {{key, value}});
                ADD_FAILURE() << "accepted";
            } catch (const std::invalid_argument& error) {
                EXPECT_NE(std::string(error.what()).find(key), std::string::npos) << error.what();
            }
        }
    }
}

}  // namespace
