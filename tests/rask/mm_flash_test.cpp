// Memory-mapped flash with Intel's command set: the command cycles that
// erase, program and read go out as the part's bus width wants them (bytes
// on the firmware hub, words at even addresses on the 16-bit part), and a
// part that fails, reports an error or never finishes is reported so.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hw/hw.h"
#include "rask/flash_layer.h"
#include "tests/rask/bios_flash_cells.h"
#include "tests/rask/flash_sim_fixture.h"

namespace rask_test {
namespace {

using namespace Rask_Private;

// A block of the main BIOS, inside the secondary flash on both boards.
constexpr std::uint32_t kBlock = 0xFFF10000;
constexpr std::uint32_t kBlockBytes = 0x10000;

class MmFlashTest : public FlashSim {
  protected:
    volatile std::uint8_t* At(std::uint32_t address) {
        volatile std::uint8_t* va = pa2va(&Handle()->SecondaryFlash, address);
        EXPECT_NE(va, nullptr);
        return va;
    }
    std::vector<std::uint8_t> Cells(std::uint32_t address, std::size_t length) {
        return CellsAt(Machine(), address, length);
    }
};

struct ProgramCycle {
    std::uint32_t address;
    std::uint32_t value;
    unsigned width;
};

struct WidthCase {
    const char* board;
    int platform;
    std::vector<ProgramCycle> cycles;  // for 12h 34h 56h from kBlock + 1
};

class MmFlashWidthTest : public MmFlashTest, public ::testing::WithParamInterface<WidthCase> {};

// Erase, program three bytes from an odd address and read them back. The
// 16-bit part gets its leading and trailing bytes as words whose other
// byte is FFh, which leaves that byte erased.
TEST_P(MmFlashWidthTest, ErasesProgramsAndReadsInThePartsWidth) {
    const WidthCase& c = GetParam();
    Boot({{"board", c.board}});
    ASSERT_EQ(Open(c.platform), FUL_SUCCESS);

    ASSERT_EQ(EraseBlock(At(kBlock)), FUL_SUCCESS);
    const auto erases = Only(Log("flash"), "erase");
    ASSERT_EQ(erases.size(), 1u);
    EXPECT_EQ(erases[0].address, kBlock);
    EXPECT_EQ(Cells(kBlock, kBlockBytes), std::vector<std::uint8_t>(kBlockBytes, 0xFF));

    Machine().Log().Clear();
    const unsigned char data[] = {0x12, 0x34, 0x56};
    ASSERT_EQ(FlashDevWrite(data, At(kBlock + 1), 3), FUL_SUCCESS);
    const auto programs = Only(Log("flash"), "program");
    ASSERT_EQ(programs.size(), c.cycles.size());
    for (std::size_t i = 0; i < programs.size(); ++i) {
        EXPECT_EQ(programs[i].address, c.cycles[i].address) << i;
        EXPECT_EQ(programs[i].value, c.cycles[i].value) << i;
        EXPECT_EQ(programs[i].width, c.cycles[i].width) << i;
    }
    EXPECT_EQ(Cells(kBlock, 5), (std::vector<std::uint8_t>{0xFF, 0x12, 0x34, 0x56, 0xFF}));

    unsigned char back[3] = {};
    ASSERT_EQ(FlashDevRead(back, At(kBlock + 1), 3), FUL_SUCCESS);
    EXPECT_EQ(std::vector<std::uint8_t>(back, back + 3), std::vector<std::uint8_t>(data, data + 3));
    EXPECT_EQ(FLASHVerify(data, At(kBlock + 1), 3), FUL_SUCCESS);
    const unsigned char other[] = {0x12, 0x35, 0x56};
    EXPECT_EQ(FLASHVerify(other, At(kBlock + 1), 3), FUL_VERIFY_FAILED);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, MmFlashWidthTest,
    ::testing::Values(
        WidthCase{"fwh", 0, {{kBlock + 1, 0x12, 1}, {kBlock + 2, 0x34, 1}, {kBlock + 3, 0x56, 1}}},
        WidthCase{"word16", 10, {{kBlock, 0x12FF, 2}, {kBlock + 2, 0x5634, 2}}}),
    [](const ::testing::TestParamInfo<WidthCase>& info) { return std::string(info.param.board); });

TEST_F(MmFlashTest, NothingToReadOrWriteTouchesNothing) {
    Boot();
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    unsigned char byte = 0;
    EXPECT_EQ(FlashDevRead(&byte, At(kBlock), 0), FUL_SUCCESS);
    EXPECT_EQ(FlashDevWrite(&byte, At(kBlock), 0), FUL_SUCCESS);
    EXPECT_TRUE(Log("flash").empty());
}

// Reading from an odd address of the 16-bit part takes the high byte of
// the first word and the low byte of the last.
TEST_F(MmFlashTest, WordPartReadsTheBytesAskedFor) {
    Boot({{"board", "word16"}});
    ASSERT_EQ(Open(10), FUL_SUCCESS);
    const std::uint32_t at = PartBase(Machine()) + 0x101;
    const std::vector<std::uint8_t> expected = Cells(at, 5);
    std::vector<std::uint8_t> back(5, 0);
    volatile std::uint8_t* va = pa2va(&Handle()->SecondaryFlash, at);
    ASSERT_NE(va, nullptr);
    ASSERT_EQ(FlashDevRead(back.data(), va, 5), FUL_SUCCESS);
    EXPECT_EQ(back, expected);
}

constexpr std::uint32_t kByte = kBlock + 0x100;

FUL_RETURN ProgramAndWait(volatile std::uint8_t* va) {
    hw::Write8(va, 0x40);
    hw::Write8(va, 0x00);
    return WaitForByteProgRdy(va, kByteProgramTimeoutUs);
}

struct FailureCase {
    const char* name;
    std::vector<Setting> settings;
    std::function<FUL_RETURN(volatile std::uint8_t*)> operation;  // at kByte or kBlock
    std::uint32_t address;
    FUL_RETURN expected;
    std::uint64_t leastVirtualUs;  // the wait gave up only after its time
};

class MmFlashFailureTest : public MmFlashTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(MmFlashFailureTest, ReportsThePartsFailure) {
    const FailureCase& c = GetParam();
    Boot(c.settings);
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    const std::vector<std::uint8_t> before = Cells(c.address & ~(kBlockBytes - 1), kBlockBytes);
    const std::uint64_t start = Machine().Clock().NowNs();
    EXPECT_EQ(c.operation(At(c.address)), c.expected);
    EXPECT_GE(Machine().Clock().NowNs() - start, c.leastVirtualUs * 1000);
    EXPECT_EQ(Cells(c.address & ~(kBlockBytes - 1), kBlockBytes), before);
}

const std::string kByteText = std::to_string(kByte);
const std::string kBlockText = std::to_string(kBlock);

INSTANTIATE_TEST_SUITE_P(Faults, MmFlashFailureTest,
                         ::testing::Values(
                             // Status 90h: ready with the program-failed bit.
                             FailureCase{"program_fails",
                                         {{"flash.fault.program", kByteText}},
                                         ProgramAndWait,
                                         kByte,
                                         FUL_PROGRAM_STATUS,
                                         0},
                             FailureCase{"program_on_locked_block",
                                         {{"flash.locked", kBlockText}},
                                         ProgramAndWait,
                                         kByte,
                                         FUL_PROGRAM_STATUS,
                                         0},
                             FailureCase{"program_never_finishes",
                                         {{"flash.fault.program_hang", kByteText}},
                                         ProgramAndWait,
                                         kByte,
                                         FUL_TIMEOUT,
                                         kByteProgramTimeoutUs},
                             FailureCase{"low_level_write_fails",
                                         {{"flash.fault.program", kByteText}},
                                         [](volatile std::uint8_t* va) {
                                             const unsigned char zero = 0;
                                             return FlashLowLvWrite(va, &zero);
                                         },
                                         kByte,
                                         static_cast<FUL_RETURN>(3),
                                         0},
                             FailureCase{"device_write_fails",
                                         {{"flash.fault.program", kByteText}},
                                         [](volatile std::uint8_t* va) {
                                             const unsigned char zeros[4] = {};
                                             return FlashDevWrite(zeros, va, 4);
                                         },
                                         kByte,
                                         static_cast<FUL_RETURN>(3),
                                         0},
                             // An erase that fails shows ready with bit 5 alone: not a success.
                             FailureCase{"erase_fails",
                                         {{"flash.fault.erase", kBlockText}},
                                         EraseBlock,
                                         kBlock,
                                         FUL_PROGRAM_STATUS,
                                         0},
                             FailureCase{"erase_never_finishes",
                                         {{"flash.fault.erase_hang", kBlockText}},
                                         EraseBlock,
                                         kBlock,
                                         FUL_TIMEOUT,
                                         kBlockEraseTimeoutUs}),
                         NameOfCase<FailureCase>);

// After a failed program the status check clears the error and puts the
// part back to read-array mode, so that the next read sees the cells.
TEST_F(MmFlashTest, FailedProgramClearsTheStatusAndReturnsToReadArray) {
    Boot({{"flash.fault.program", kByteText}});
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    const unsigned char zero = 0;
    ASSERT_NE(FlashLowLvWrite(At(kByte), &zero), FUL_SUCCESS);
    const auto log = Log("flash");
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3].operation, "read-status");
    EXPECT_EQ(log[log.size() - 2].operation, "clear-status");
    EXPECT_EQ(log[log.size() - 1].operation, "read-array");
    EXPECT_EQ(FLASHFullStatusCheck(At(kByte)), 0x80);  // cleared
}

}  // namespace
}  // namespace rask_test
