// Telling the BIOS of a pending update: the notify field's bit pairs on the
// boards that keep one, its renewal when it is used up, the software SMI of
// the newer SPI boards, and the older SPI board that has neither.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "rask/flash_layer.h"
#include "tests/rask/bios_flash_cells.h"
#include "tests/rask/flash_sim_fixture.h"

namespace rask_test {
namespace {

using namespace Rask_Private;

constexpr std::uint32_t kFlagsBlock = 0xFFFC0000;
constexpr std::uint32_t kNotifyField = kFlagsBlock + 0x10;
constexpr std::uint32_t kNotifyBytes = 16;
constexpr std::uint32_t kBlockBytes = 0x10000;

class NotifyTest : public FlashSim {
  protected:
    std::vector<std::uint8_t> Cells(std::uint32_t address, std::size_t length) {
        return CellsAt(Machine(), address, length);
    }
    RASK_NOTIFY_STATE State() {
        RASK_NOTIFY_STATE state = RASK_NOTIFY_USED_UP;
        EXPECT_EQ(FlashUDGetNotifyState(Handle(), &state), FUL_SUCCESS);
        return state;
    }
};

enum class Step { kSet, kReset };

struct NotifyStep {
    Step step;
    std::uint8_t firstByte;  // the field's byte 0 afterwards
    bool programs;           // whether the step programmed the field
    RASK_NOTIFY_STATE state;
};

struct PartCase {
    const char* name;
    const char* board;
    int platform;
    unsigned width;
};

class NotifySequenceTest : public NotifyTest, public ::testing::WithParamInterface<PartCase> {};

// A fresh field: set clears bit 0, a second set changes nothing, reset
// clears bit 1, a second reset nothing, the next set clears bit 2.
TEST_P(NotifySequenceTest, UsesTheFieldABitPairAtATime) {
    const PartCase& c = GetParam();
    Boot({{"board", c.board}});
    ASSERT_EQ(Open(c.platform), FUL_SUCCESS);
    EXPECT_EQ(State(), RASK_NOTIFY_NONE);
    const NotifyStep steps[] = {
        {Step::kSet, 0xFE, true, RASK_NOTIFY_PENDING},
        {Step::kSet, 0xFE, false, RASK_NOTIFY_PENDING},
        {Step::kReset, 0xFC, true, RASK_NOTIFY_NONE},
        {Step::kReset, 0xFC, false, RASK_NOTIFY_NONE},
        {Step::kSet, 0xF8, true, RASK_NOTIFY_PENDING},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const NotifyStep& s = steps[i];
        Machine().Log().Clear();
        const FUL_RETURN result =
            s.step == Step::kSet ? FlashUDSetNotifyBit(Handle()) : FlashUDResetNotifyBit(Handle());
        EXPECT_EQ(result, FUL_SUCCESS) << "step " << i;
        EXPECT_EQ(Cells(kNotifyField, 2), (std::vector<std::uint8_t>{s.firstByte, 0xFF}))
            << "step " << i;
        const auto programs = Only(Log("flash"), "program");
        ASSERT_EQ(programs.size(), s.programs ? 1u : 0u) << "step " << i;
        if (s.programs) {
            // The 16-bit part takes the word holding the byte, its other
            // byte FFh.
            EXPECT_EQ(programs[0].address, kNotifyField);
            EXPECT_EQ(programs[0].width, c.width);
            EXPECT_EQ(programs[0].value, c.width == 2 ? 0xFF00u | s.firstByte : s.firstByte);
        }
        EXPECT_TRUE(Only(Log("flash"), "erase").empty());
        EXPECT_EQ(State(), s.state) << "step " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Parts, NotifySequenceTest,
                         ::testing::Values(PartCase{"fwh", "fwh", 0, 1},
                                           PartCase{"word16", "word16", 10, 2},
                                           PartCase{"word16_platform_1", "word16", 1, 2}),
                         NameOfCase<PartCase>);

// With byte 0 used up, set clears bit 0 of byte 1, an odd address: the
// 16-bit part gets the word at the even address below, its low byte FFh.
TEST_F(NotifyTest, WordPartProgramsAnOddByteAsTheWordBelow) {
    sim::Machine& machine = Boot({{"board", "word16"}});
    RewritePart(machine, [&machine](std::vector<std::uint8_t>& bytes) {
        bytes[kNotifyField - PartBase(machine)] = 0x00;
    });
    ASSERT_EQ(Open(10), FUL_SUCCESS);
    ASSERT_EQ(FlashUDSetNotifyBit(Handle()), FUL_SUCCESS);
    const auto programs = Only(Log("flash"), "program");
    ASSERT_EQ(programs.size(), 1u);
    EXPECT_EQ(programs[0].address, kNotifyField);
    EXPECT_EQ(programs[0].value, 0xFEFFu);
    EXPECT_EQ(Cells(kNotifyField, 3), (std::vector<std::uint8_t>{0x00, 0xFE, 0xFF}));
}

// A used-up field: the flags block is erased and programmed back with a
// fresh field, everything else in it as it was, then bit 0 is cleared.
TEST_F(NotifyTest, UsedUpFieldIsRenewedKeepingTheRestOfTheBlock) {
    Boot({{"firmware.notify", "used-up"}});
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    EXPECT_EQ(State(), RASK_NOTIFY_USED_UP);
    std::vector<std::uint8_t> expected = Cells(kFlagsBlock, kBlockBytes);
    ASSERT_EQ(std::string(expected.begin(), expected.begin() + 8), "FLAGSBLK");
    Machine().Log().Clear();

    ASSERT_EQ(FlashUDSetNotifyBit(Handle()), FUL_SUCCESS);
    const auto erases = Only(Log("flash"), "erase");
    ASSERT_EQ(erases.size(), 1u);
    EXPECT_EQ(erases[0].address, kFlagsBlock);
    for (std::uint32_t i = 0; i < kNotifyBytes; ++i) expected[0x10 + i] = 0xFF;
    expected[0x10] = 0xFE;
    EXPECT_EQ(Cells(kFlagsBlock, kBlockBytes), expected);
    EXPECT_EQ(State(), RASK_NOTIFY_PENDING);
}

// The block is erased and its first byte will not program back: the FFB is
// lost until the BIOS restores it, which only code 23 says.
TEST_F(NotifyTest, RestoreThatFailsAsksForAReset) {
    Boot({{"firmware.notify", "used-up"}, {"flash.fault.program", std::to_string(kFlagsBlock)}});
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    EXPECT_EQ(FlashUDSetNotifyBit(Handle()), FUL_FFB_NOT_RESTORED);
}

// The erase fails and leaves the cells: the block is programmed back as it
// was, so nothing is lost, and the set fails without asking for a reset.
TEST_F(NotifyTest, EraseThatFailsLeavesTheBlockAsItWas) {
    Boot({{"firmware.notify", "used-up"}, {"flash.fault.erase", std::to_string(kFlagsBlock)}});
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    const std::vector<std::uint8_t> before = Cells(kFlagsBlock, kBlockBytes);
    EXPECT_EQ(FlashUDSetNotifyBit(Handle()), FUL_FAILURE);
    EXPECT_EQ(Cells(kFlagsBlock, kBlockBytes), before);
    EXPECT_EQ(State(), RASK_NOTIFY_USED_UP);
}

TEST_F(NotifyTest, ProgramThatFailsIsReported) {
    Boot({{"flash.fault.program", std::to_string(kNotifyField)}});
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    EXPECT_EQ(FlashUDSetNotifyBit(Handle()), FUL_FAILURE);
    EXPECT_EQ(State(), RASK_NOTIFY_NONE);
}

// Platform 9 has no field and no SMI: set is refused, touching nothing,
// reset does nothing.
TEST_F(NotifyTest, OlderSpiBoardRefusesSetAndIgnoresReset) {
    Boot({{"board", "ich7-spi"}});
    ASSERT_EQ(Open(9), FUL_SUCCESS);
    Machine().Log().RecordPorts(true);
    EXPECT_EQ(FlashUDSetNotifyBit(Handle()), FUL_NOTIFY_UNSUPPORTED);
    EXPECT_EQ(FlashUDResetNotifyBit(Handle()), FUL_SUCCESS);
    EXPECT_TRUE(Log("flash").empty());
    EXPECT_TRUE(Log("spi").empty());
    EXPECT_TRUE(Log("port").empty());
    EXPECT_EQ(State(), RASK_NOTIFY_NO_FIELD);
}

class NotifySmiTest : public NotifyTest, public ::testing::WithParamInterface<PartCase> {};

// The newer SPI boards: A4h to port B2h, at I/O privilege level 3; the
// BIOS records the update itself.
TEST_P(NotifySmiTest, RaisesTheNotifySmi) {
    const PartCase& c = GetParam();
    Boot({{"board", c.board}});
    ASSERT_EQ(Open(c.platform), FUL_SUCCESS);
    Machine().Log().RecordPorts(true);
    ASSERT_EQ(FlashUDSetNotifyBit(Handle()), FUL_SUCCESS);
    const auto iopl = Only(Log("host"), "iopl");
    ASSERT_EQ(iopl.size(), 1u);
    EXPECT_EQ(iopl[0].value, 3u);
    const auto out = Only(Log("port"), "out");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].address, kSoftwareSmiPort);
    EXPECT_EQ(out[0].value, kNotifySmiCommand);
    const auto notify = Only(Log("firmware"), "notify");
    ASSERT_EQ(notify.size(), 1u);
    EXPECT_EQ(notify[0].detail, "pending");
    EXPECT_EQ(FlashUDResetNotifyBit(Handle()), FUL_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Boards, NotifySmiTest,
                         ::testing::Values(PartCase{"ich9_spi", "ich9-spi", 11, 0},
                                           PartCase{"pch_spi", "pch-spi", 15, 0}),
                         NameOfCase<PartCase>);

TEST_F(NotifyTest, SmiWithoutIoPrivilegeIsNotRaised) {
    Boot({{"board", "ich9-spi"}, {"host.fault.iopl", "1"}});
    ASSERT_EQ(Open(11), FUL_SUCCESS);
    Machine().Log().RecordPorts(true);
    EXPECT_EQ(FlashUDSetNotifyBit(Handle()), FUL_NOT_ROOT);
    EXPECT_TRUE(Log("port").empty());
}

TEST_F(NotifyTest, NullHandleIsRefused) {
    RASK_NOTIFY_STATE state = RASK_NOTIFY_NONE;
    EXPECT_EQ(FlashUDSetNotifyBit(nullptr), FUL_INVALID_PARAMETER);
    EXPECT_EQ(FlashUDResetNotifyBit(nullptr), FUL_INVALID_PARAMETER);
    EXPECT_EQ(FlashUDGetNotifyState(nullptr, &state), FUL_INVALID_PARAMETER);
    EXPECT_EQ(set_notify_bit(nullptr), FUL_INVALID_PARAMETER);
    EXPECT_EQ(reset_notify_bit(nullptr), FUL_INVALID_PARAMETER);
}

}  // namespace
}  // namespace rask_test
