// simctl's firmware commands end to end: images built for the state's
// controllers, and fw-show reporting what one process wrote into a
// controller's memory in the next.
#include <gtest/gtest.h>

#include <string>

#include "sim/bmc/fw/fw_blocks.h"
#include "tests/common/files.h"
#include "tests/common/run_command.h"
#include "tests/sim/fw_requests.h"
#include "tests/sim/program_process.h"

namespace {

using test_support::CommandOutcome;
using test_support::ReadBytes;

class FwSimctl : public ::testing::Test {
  protected:
    CommandOutcome Run(const std::string& args) {
        return test_support::RunCommand(std::string(SIMCTL_PATH) + " " + State() + " " + args);
    }
    std::string State() const { return mDir / "state"; }
    std::string File(const std::string& name) const { return mDir / name; }

    test_support::TempDir mDir{"fwsimctl"};
};

TEST_F(FwSimctl, ImagesAreBuiltForTheStatesControllers) {
    ASSERT_EQ(Run("init bmc.product_id=0x0B0C").code, 0);
    const CommandOutcome built =
        Run("fw-image " + File("bmc.bin") + " --device 0x20 --version 2.05 --format bin");
    ASSERT_EQ(built.code, 0) << built.output;
    EXPECT_TRUE(built.Shows("operational code 2.05")) << built.output;
    const auto image = ReadBytes(File("bmc.bin"));
    ASSERT_EQ(image.size(), 0x200000u);
    const auto pia = sim::fw::FindBlock(image, sim::fw::BlockKind::kPia);
    ASSERT_TRUE(pia);
    EXPECT_EQ(sim::fw::ReadU16(pia->bytes, sim::fw::offset::kPiaProductId), 0x0B0C);
    const auto opCode = sim::fw::FindBlock(image, sim::fw::BlockKind::kOpCode);
    ASSERT_TRUE(opCode);
    EXPECT_EQ(sim::fw::VersionOf(*opCode, sim::fw::BlockKind::kOpCode),
              (sim::fw::BlockVersion{2, 5}));

    // The Vitesse part's image names it.
    ASSERT_EQ(Run("fw-image " + File("vsc.bin") + " --device 0xC2 --format bin").code, 0);
    const auto vsc = ReadBytes(File("vsc.bin"));
    const auto boot = sim::fw::FindBlock(vsc, sim::fw::BlockKind::kBoot);
    ASSERT_TRUE(boot);
    EXPECT_EQ(
        std::string(reinterpret_cast<const char*>(&boot->bytes[sim::fw::offset::kDeviceName])),
        "VSC");
}

TEST_F(FwSimctl, HexImagesAndBrokenOnes) {
    ASSERT_EQ(Run("init").code, 0);
    ASSERT_EQ(Run("fw-image " + File("fp.hex") + " --device 0x22").code, 0);
    const auto hex = ReadBytes(File("fp.hex"));
    const std::string text(hex.begin(), hex.end());
    EXPECT_EQ(text.rfind(":00000001FF\n"), text.size() - 12);

    const CommandOutcome broken =
        Run("fw-image " + File("broken.hex") + " --device 0x22 --broken no-end-record");
    ASSERT_EQ(broken.code, 0) << broken.output;
    EXPECT_TRUE(broken.Shows("broken: no-end-record"));
    const auto brokenBytes = ReadBytes(File("broken.hex"));
    EXPECT_EQ(std::string(brokenBytes.begin(), brokenBytes.end()).find(":00000001FF"),
              std::string::npos);

    struct Refused {
        const char* args;
        const char* message;
    };
    const Refused refused[] = {
        {" --device 0x30", "no controller with firmware at 30h"},
        {"", "--device ADDR is needed"},
        {" --device 0x20 --broken cracked", "--broken:"},
        {" --device 0x20 --format srec", "--format: hex or bin"},
        {" --device 0x20 --version 2", "--version: MAJOR.MINOR"},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.args);
        const CommandOutcome outcome = Run("fw-image " + File("x.hex") + r.args);
        EXPECT_NE(outcome.code, 0);
        EXPECT_TRUE(outcome.Shows(r.message)) << outcome.output;
    }
}

TEST_F(FwSimctl, ShowReportsWhatAnotherProcessWroteAndTheTransferMode) {
    ASSERT_EQ(Run("init").code, 0);
    const CommandOutcome before = Run("fw-show 0x22");
    ASSERT_EQ(before.code, 0) << before.output;
    EXPECT_TRUE(before.Shows("front_panel at 22h: 65536 bytes of firmware memory, running"))
        << before.output;
    EXPECT_TRUE(before.Shows("opcode  001000-00FFFF  version 1.04")) << before.output;

    // A program updates the front panel's operational code and restarts it.
    EXPECT_TRUE(simtest::ProgramSucceeds(State(), [] {
        using namespace simtest;
        sim::fw::ImageSpec recipe = FirmwareAt(kFrontPanel).Config().image;
        recipe.opCode = {3, 0x10};
        const Bytes image = sim::fw::BuildBinary(recipe);
        if (Enter(kFrontPanel).completionCode != 0) return false;
        for (std::uint32_t at = 0x1000; at < 0x1100; at += 32) {
            if (WriteAt(kFrontPanel, static_cast<std::uint16_t>(at),
                        Bytes(image.begin() + at, image.begin() + at + 32))
                    .completionCode != 0) {
                return false;
            }
        }
        return FwCommand(kFrontPanel, 0x04).completionCode == 0;
    }));
    const CommandOutcome after = Run("fw-show 0x22");
    EXPECT_TRUE(after.Shows("opcode  001000-00FFFF  version 3.10")) << after.output;
    const CommandOutcome all = Run("fw-show");
    EXPECT_TRUE(all.Shows("bmc at 20h: 2097152 bytes")) << all.output;
    EXPECT_TRUE(all.Shows("hsc1 at C2h: 131072 bytes of firmware memory (Vitesse part)"));
    EXPECT_NE(Run("fw-show 0x40").code, 0);
}

}  // namespace
