// Firmware transfer mode from entry to the restart: the controller answers
// nothing while it restarts, in virtual time, then runs and reports the
// firmware now in its memory; the memory outlives the process.
#include <gtest/gtest.h>

#include <string>

#include "sim/bmc/fw/fw_image_builder.h"
#include "tests/common/files.h"
#include "tests/sim/fw_requests.h"

namespace {

using namespace simtest;
using sim::fw::BlockKind;

// The memory a new image would give the controller.
Bytes NewImage(std::uint8_t address, sim::fw::BlockVersion boot, sim::fw::BlockVersion opCode,
               sim::fw::BlockVersion pia = {1, 0}) {
    sim::fw::ImageSpec recipe = FirmwareAt(address).Config().image;
    recipe.boot = boot;
    recipe.opCode = opCode;
    recipe.pia = pia;
    return sim::fw::BuildBinary(recipe);
}

// Writes [start, start + length) of image in blocks of the controller's
// write buffer, setting segments as a host does.
void WriteRange(std::uint8_t address, const Bytes& image, std::uint32_t start,
                std::uint32_t length) {
    const std::size_t block = FirmwareAt(address).Config().writeBuffer;
    std::optional<std::uint16_t> segment;
    for (std::uint32_t at = start; at < start + length; at += static_cast<std::uint32_t>(block)) {
        if (address != kFrontPanel && segment != at >> 16) {
            segment = static_cast<std::uint16_t>(at >> 16);
            ASSERT_EQ(Segment(address, *segment).completionCode, 0);
        }
        const std::size_t n = std::min<std::size_t>(block, start + length - at);
        ASSERT_EQ(WriteAt(address, static_cast<std::uint16_t>(at),
                          Bytes(image.begin() + at, image.begin() + at + n))
                      .completionCode,
                  0);
    }
}

void WriteArea(std::uint8_t address, const Bytes& image, BlockKind kind) {
    const sim::fw::MemoryArea* area = FirmwareAt(address).Memory().Area(kind);
    ASSERT_NE(area, nullptr);
    // The block and the code after it; the rest of the area is erased in
    // both images.
    WriteRange(address, image, area->start, 0x2000);
}

TEST(FwTransfer, ExitRestartsTheControllerWhichThenReportsTheNewVersions) {
    struct Case {
        std::uint8_t address;
        const char* signature;
        BlockKind written;
        std::uint64_t restartMs;
        std::size_t majorByte;  // where Get Device ID reports the version written
    };
    const Case cases[] = {
        {kBmc, "VARNO", BlockKind::kOpCode, 90000, 2},
        {kFrontPanel, "VARNO", BlockKind::kOpCode, 20000, 2},
        {kFrontPanel, "BOOT", BlockKind::kBoot, 20000, 11},
        {kHsc0, "VARNO", BlockKind::kBoot, 20000, 2},
        {kBmc, "VARNO", BlockKind::kBoot, 90000, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.address) + " " + c.signature);
        sim::ResetMachine();
        const Bytes image = NewImage(c.address, {5, 0x31}, {6, 0x05});
        const std::uint8_t major = c.written == BlockKind::kBoot ? 5 : 6;
        const std::uint8_t minor = c.written == BlockKind::kBoot ? 0x31 : 0x05;
        ASSERT_EQ(Enter(c.address, c.signature).completionCode, 0);
        WriteArea(c.address, image, c.written);
        // Until the restart it runs the firmware it started with.
        EXPECT_NE(DeviceId(c.address).data.at(c.majorByte) & 0x7F, major);

        sim::TheMachine().Log().Clear();
        const sim::ipmi::Response exit = FwCommand(c.address, 0x04);
        ASSERT_EQ(exit.completionCode, 0);
        EXPECT_TRUE(exit.data.empty());
        EXPECT_FALSE(FirmwareAt(c.address).InTransferMode());
        EXPECT_TRUE(DeviceId(c.address).silent);
        Wait(c.restartMs - 1);
        EXPECT_TRUE(DeviceId(c.address).silent);
        EXPECT_TRUE(ReadAt(c.address, 0, 1).silent);
        Wait(1);
        const sim::ipmi::Response id = DeviceId(c.address);
        ASSERT_FALSE(id.silent);
        EXPECT_EQ(id.data.at(2) & 0x80, 0);
        EXPECT_EQ(id.data.at(c.majorByte) & 0x7F, major);
        EXPECT_EQ(id.data.at(c.majorByte + 1), minor);

        const auto exits = FirmwareCommands("exit");
        ASSERT_EQ(exits.size(), 1u);
        EXPECT_EQ(exits[0].Number("restart_ms"), c.restartMs);
        const auto unanswered = FirmwareCommands("unanswered");
        ASSERT_EQ(unanswered.size(), 3u);
        EXPECT_EQ(unanswered[0].Field("note"), "restarting");
        EXPECT_EQ(unanswered[2].atNs - exits[0].atNs, (c.restartMs - 1) * 1'000'000);
    }
}

TEST(FwTransfer, TheBmcReportsEveryAreasVersionAndItsProductId) {
    sim::ResetMachine(SettingsOf({{"bmc.product_id", "0x0A1B"},
                                  {"fw.bmc.boot_version", "1.05"},
                                  {"fw.bmc.opcode_version", "2.17"},
                                  {"fw.bmc.pia_version", "3.02"}}));
    const sim::ipmi::Response id = DeviceId(kBmc);
    ASSERT_EQ(id.completionCode, 0);
    EXPECT_EQ(id.data.at(2), 0x02);
    EXPECT_EQ(id.data.at(3), 0x17);
    EXPECT_EQ(id.data.at(9) | id.data.at(10) << 8, 0x0A1B);
    EXPECT_EQ(Bytes(id.data.begin() + 11, id.data.end()), (Bytes{0x01, 0x05, 0x03, 0x02}));
    // The image names that product in its PIA.
    const auto pia = FirmwareAt(kBmc).Memory().Block(BlockKind::kPia);
    ASSERT_TRUE(pia);
    EXPECT_EQ(sim::fw::ReadU16(pia->bytes, sim::fw::offset::kPiaProductId), 0x0A1B);
}

TEST(FwTransfer, AVitessePartTellsTheHostHowLongToWait) {
    sim::ResetMachine(SettingsOf({{"fw.hsc1.restart_ms", "45500"}}));
    ASSERT_EQ(Enter(kVitesseHsc).completionCode, 0);
    EXPECT_EQ(FwCommand(kVitesseHsc, 0x04).completionCode, 0xC7);  // it takes one byte
    const sim::ipmi::Response exit = FwCommand(kVitesseHsc, 0x04, {0x01});
    ASSERT_EQ(exit.completionCode, 0);
    EXPECT_EQ(exit.data, (Bytes{46}));
    EXPECT_TRUE(DeviceId(kVitesseHsc).silent);
    Wait(45500);
    EXPECT_FALSE(DeviceId(kVitesseHsc).silent);
    EXPECT_EQ(FirmwareCommands("exit").at(1).Number("wait"), 46u);

    // 00h: out of transfer mode at once, no restart.
    ASSERT_EQ(Enter(kVitesseHsc).completionCode, 0);
    const sim::ipmi::Response now = FwCommand(kVitesseHsc, 0x04, {0x00});
    ASSERT_EQ(now.completionCode, 0);
    EXPECT_EQ(now.data, (Bytes{0}));
    const sim::ipmi::Response id = DeviceId(kVitesseHsc);
    ASSERT_FALSE(id.silent);
    EXPECT_EQ(id.data.at(2) & 0x80, 0);
    EXPECT_EQ(FirmwareCommands("exit").back().Number("restart_ms"), 0u);
}

TEST(FwTransfer, TheMemoryOutlivesTheProcessAndTheNextStartRunsIt) {
    test_support::TempDir dir("fwstate");
    sim::ResetMachine();
    const Bytes image = NewImage(kBmc, {1, 0}, {4, 0x44});
    ASSERT_EQ(Enter(kBmc).completionCode, 0);
    WriteArea(kBmc, image, BlockKind::kOpCode);
    ASSERT_EQ(Enter(kHsc0).completionCode, 0);
    ASSERT_EQ(WriteAt(kHsc0, 0x5000, Pattern(16)).completionCode, 0);
    ASSERT_TRUE(sim::TheMachine().SaveState(dir.Path()));

    // A process that never restarted the BMC still meets the new firmware:
    // the next start reads its memory.
    sim::ResetMachine();
    EXPECT_NE(MemoryBytes(kHsc0, 0x5000, 16), Pattern(16));
    sim::TheMachine().LoadState(dir.Path());
    EXPECT_EQ(MemoryBytes(kHsc0, 0x5000, 16), Pattern(16));
    EXPECT_EQ(MemoryBytes(kBmc, 0x10000, 0x2000),
              Bytes(image.begin() + 0x10000, image.begin() + 0x12000));
    EXPECT_FALSE(FirmwareAt(kBmc).InTransferMode());
    const sim::ipmi::Response id = DeviceId(kBmc);
    EXPECT_EQ(id.data.at(2), 0x04);
    EXPECT_EQ(id.data.at(3), 0x44);
}

TEST(FwTransfer, AStateFileOfAnotherSizeIsNotLoaded) {
    test_support::TempDir dir("fwstate");
    sim::ResetMachine();
    ASSERT_TRUE(sim::TheMachine().SaveState(dir.Path()));
    std::filesystem::resize_file(dir.Path() / "fw-hsc0.bin", 0x100);
    sim::ResetMachine();
    const Bytes before = MemoryBytes(kHsc0, 0, 0x100);
    sim::TheMachine().LoadState(dir.Path());
    EXPECT_EQ(FirmwareAt(kHsc0).Memory().Size(), 0x20000u);
    EXPECT_EQ(MemoryBytes(kHsc0, 0, 0x100), before);
    EXPECT_TRUE(FirmwareAt(kHsc0).Memory().Block(BlockKind::kBoot));
}

}  // namespace
