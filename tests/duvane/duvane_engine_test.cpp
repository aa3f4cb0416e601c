// The engine's steps one at a time against the simulated front-panel
// controller: read-back through the last byte of a range, the progress of
// a one-byte area, the writer's blocks and the segment memory.
#include "duvane/duvane_engine.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "duvane/duvane_state.h"
#include "sim/bmc/fw/controller_firmware.h"
#include "sim/bmc/fw/fw_log.h"
#include "sim/core/machine.h"
#include "tests/common/files.h"
#include "tests/duvane/firmware_log.h"

namespace {

using DirectFwUpdate_Private::CDuvane;
using DirectFwUpdate_Private::CfwFile;
using duvane_test::Commands;
using sim::fw::LoggedCommand;
using Bytes = std::vector<std::uint8_t>;

std::vector<unsigned> gPercents;
unsigned RecordPercent(PROGRESS_CALLBACK_TYPE type, const wchar_t*, unsigned percent, unsigned) {
    if (type == PROGRESS_PERCENT) gPercents.push_back(percent);
    return 0;
}

class DuvaneEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetMachine({});
        // The image is what the controller holds, so that a read-back of
        // any range matches and only the test's own changes differ.
        const auto held =
            sim::TheMachine().Find<sim::ControllerFirmware>()->Find(0x22)->Memory().Bytes();
        test_support::WriteBytes(mScratch.Path() / "fp.bin", Bytes(held.begin(), held.end()));
        ASSERT_EQ(mImage.ProcessFile((mScratch.Path() / "fp.bin").wstring().c_str(), nullptr), 0);
        mEngine = std::make_unique<CDuvane>();
        mEngine->UseImage(&mImage);
        DirectFwUpdate_Private::g_fw.progressCallback = RecordPercent;
        gPercents.clear();
        ASSERT_EQ(mEngine->EnterFwTransferMode(DUVANE_DEVICE_FRONT_PANEL, "VARNO"), 0);
        sim::TheMachine().Log().Clear();
    }
    void TearDown() override { DirectFwUpdate_Private::g_fw.progressCallback = nullptr; }

    test_support::TempDir mScratch{"duvane-engine"};
    CfwFile mImage{FW_FILE_BINARY, 0};
    std::unique_ptr<CDuvane> mEngine;
};

struct ReadCase {
    std::uint32_t start;
    std::uint32_t end;
    std::uint64_t lastRead;  // the last address a Read covered
};

TEST_F(DuvaneEngineTest, ReadBackCoversTheRangeThroughItsLastByte) {
    const ReadCase cases[] = {
        {0x1000, 0x100F, 0x100F}, {0x1000, 0x1000, 0x1000}, {0x1000, 0x1100, 0x1100}};
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.end);
        sim::TheMachine().Log().Clear();
        gPercents.clear();
        EXPECT_EQ(mEngine->VerifyRange(DirectFwUpdate_Private::UPDATE_OPCODE,
                                       DUVANE_DEVICE_FRONT_PANEL, c.start, c.end),
                  0);
        const auto reads = Commands("read");
        ASSERT_FALSE(reads.empty());
        EXPECT_EQ(reads.front().Number("address"), c.start);
        EXPECT_EQ(reads.back().Number("address") + reads.back().Number("length") - 1, c.lastRead);
        ASSERT_FALSE(gPercents.empty());
        EXPECT_EQ(gPercents.back(), 100u);
    }
}

TEST_F(DuvaneEngineTest, ADifferenceInTheLastByteFailsTheReadBack) {
    // The controller's byte at the range's end is made to differ: write
    // over it with another value.
    const std::uint32_t last = 0x1010;
    const std::uint8_t other = static_cast<std::uint8_t>(~mImage.GetUpdateBuffer()[last]);
    ASSERT_EQ(mEngine->WriteLowlvl(DUVANE_DEVICE_FRONT_PANEL, 0, last, std::span(&other, 1)), 0);
    EXPECT_EQ(mEngine->VerifyRange(DirectFwUpdate_Private::UPDATE_OPCODE, DUVANE_DEVICE_FRONT_PANEL,
                                   0x1000, last),
              static_cast<int>(0xC00A001A));
    // The failure left transfer mode.
    EXPECT_FALSE(sim::TheMachine().Find<sim::ControllerFirmware>()->Find(0x22)->InTransferMode());
}

TEST_F(DuvaneEngineTest, AOneByteAreaReportsOneHundredPercent) {
    EXPECT_EQ(mEngine->UpdateRange(DirectFwUpdate_Private::UPDATE_OPCODE, DUVANE_DEVICE_FRONT_PANEL,
                                   0x1000, 0x1000),
              0);
    EXPECT_EQ(gPercents, std::vector<unsigned>{100});
    const auto writes = Commands("write");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].Number("length"), 1u);
}

struct WriterCase {
    const char* name;
    std::vector<std::pair<std::uint16_t, std::size_t>> records;   // offset, length
    std::vector<std::pair<std::uint64_t, std::uint64_t>> writes;  // address, length
};

TEST_F(DuvaneEngineTest, TheWriterSendsBlocksOfOneRunOfAddresses) {
    // The BMC path: the writer gathers records into blocks of 32 bytes.
    ASSERT_EQ(mEngine->ExitFwTransferMode(DUVANE_DEVICE_FRONT_PANEL, 0), 0);
    ASSERT_EQ(mEngine->EnterFwTransferMode(DUVANE_DEVICE_BMC, "VARNO"), 0);
    ASSERT_EQ(mEngine->GetBufferSize(DUVANE_DEVICE_HSC0), 0);
    ASSERT_EQ(mEngine->BlockSize(), 32u);
    const WriterCase cases[] = {
        {"contiguous", {{0x100, 16}, {0x110, 16}, {0x120, 16}}, {{0x10100, 32}, {0x10120, 16}}},
        // A gap the file left starts a new block at the next record's
        // address instead of moving its bytes down.
        {"gap", {{0x100, 16}, {0x200, 16}}, {{0x10100, 16}, {0x10200, 16}}},
    };
    const Bytes bytes(16, 0x5A);
    for (const WriterCase& c : cases) {
        SCOPED_TRACE(c.name);
        sim::TheMachine().Log().Clear();
        for (const auto& [offset, length] : c.records) {
            ASSERT_EQ(mEngine->Write(DUVANE_DEVICE_BMC, 1, offset, std::span(bytes).first(length)),
                      0);
        }
        ASSERT_EQ(mEngine->Write(DUVANE_DEVICE_BMC, DirectFwUpdate_Private::kNoSegment, 0, {}), 0);
        std::vector<std::pair<std::uint64_t, std::uint64_t>> writes;
        for (const LoggedCommand& write : Commands("write")) {
            writes.emplace_back(write.Number("address"), write.Number("length"));
        }
        EXPECT_EQ(writes, c.writes);
    }
    // The segment stayed 1 from the first case on: the second sent none.
    EXPECT_TRUE(Commands("segment").empty());
    ASSERT_EQ(mEngine->ExitFwTransferMode(DUVANE_DEVICE_BMC, 0), 0);
}

}  // namespace
