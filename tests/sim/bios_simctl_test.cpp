// simctl's BIOS commands end to end: an image built for the simulated BIOS,
// loaded into its flash, is what the next program reads through the BIOS.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "sim/bios/rom_image_builder.h"
#include "tests/common/files.h"
#include "tests/common/run_command.h"
#include "tests/sim/bios_caller.h"

namespace {

class BiosSimctl : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/biossimctlXXXXXX";
        dir = ::mkdtemp(name);
        state = (dir / "state").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    test_support::CommandOutcome Run(const std::string& args) {
        return test_support::RunCommand(std::string(SIMCTL_PATH) + " " + state + " " + args);
    }
    std::string File(const char* name) { return (dir / name).string(); }

    std::filesystem::path dir;
    std::string state;
};

TEST_F(BiosSimctl, ABuiltImageLoadedIntoTheFlashIsWhatTheBiosReadsNext) {
    ASSERT_EQ(Run("init bios.rom_kb=512").code, 0);
    const test_support::CommandOutcome built = Run("build-rom " + File("new.rom"));
    ASSERT_EQ(built.code, 0) << built.output;
    EXPECT_NE(built.output.find("ROM ID \"SRVBD011\""), std::string::npos) << built.output;
    const auto image = test_support::ReadBytes(File("new.rom"));
    ASSERT_EQ(image.size(), 512u * 1024);
    const auto layout = sim::BiosFlashLayout::Uniform(512 * 1024, 64 * 1024);
    const auto boot = layout.BootRegion();
    EXPECT_EQ(sim::WordSum(std::span(image).subspan(boot->offset, boot->length)), 0u);

    const test_support::CommandOutcome loaded = Run("load-rom " + File("new.rom"));
    ASSERT_EQ(loaded.code, 0) << loaded.output;
    EXPECT_NE(Run("show").output.find("ROM ID \"SRVBD011\""), std::string::npos);

    // Another program, through the BIOS, reads the image's top kilobyte.
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("SRVFW_SIM", state.c_str(), 1);
        simtest::BiosCaller caller;
        const bool same = caller.Open() == 0 && caller.Read(0xFFC00) == 0 &&
                          std::equal(image.end() - 1024, image.end(), caller.Buffer().begin());
        std::exit(same ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    ASSERT_EQ(Run("dump-rom " + File("dump.rom")).code, 0);
    EXPECT_EQ(test_support::ReadBytes(File("dump.rom")), image);

    // The next image counts the version on.
    ASSERT_EQ(Run("build-rom " + File("newer.rom")).code, 0);
    const auto newer = test_support::ReadBytes(File("newer.rom"));
    EXPECT_EQ(std::string(newer.end() - 32, newer.end() - 24), "SRVBD012");
    EXPECT_NE(newer, image);
}

TEST_F(BiosSimctl, LoadRomRefusesAnImageOfAnotherSize) {
    ASSERT_EQ(Run("init bios.rom_kb=512").code, 0);
    ASSERT_EQ(Run("dump-rom " + File("before.rom")).code, 0);
    for (const std::size_t size :
         {std::size_t{1024 * 1024}, std::size_t{512 * 1024 + 1}, std::size_t{0}}) {
        std::ofstream(File("odd.rom"), std::ios::binary) << std::string(size, '\x5A');
        const test_support::CommandOutcome loaded = Run("load-rom " + File("odd.rom"));
        EXPECT_EQ(loaded.code, 1);
        EXPECT_NE(loaded.output.find("is " + std::to_string(size) +
                                     " bytes, but the simulated BIOS flash is 524288 bytes"),
                  std::string::npos)
            << loaded.output;
    }
    ASSERT_EQ(Run("dump-rom " + File("after.rom")).code, 0);
    EXPECT_EQ(test_support::ReadBytes(File("after.rom")),
              test_support::ReadBytes(File("before.rom")));
}

TEST_F(BiosSimctl, BuildRomPlacesWhatItIsAskedFor) {
    ASSERT_EQ(Run("init").code, 0);
    const test_support::CommandOutcome built =
        Run("build-rom " + File("x.rom") +
            " --rom-id=ABCDE777 --bbm --nc=0x20000:0x10000 --nc=0x60000:0x800"
            " --signature=0x30002:0x05 --boot-sum=1 --seed=7");
    ASSERT_EQ(built.code, 0) << built.output;
    const auto image = test_support::ReadBytes(File("x.rom"));
    const std::string text(image.begin(), image.end());
    EXPECT_EQ(text.substr(image.size() - 32, 8), "ABCDE777");
    EXPECT_EQ(text.find("NALNCBLK"), 0x20000u);
    EXPECT_EQ(text.rfind("NALNCBLK"), 0x60000u);
    EXPECT_EQ(text.find("NALBIOSC"), 0x30002u);
    EXPECT_EQ(image[0x30002 - 3], 0x05);
    EXPECT_EQ(text.find("$BBM"), 0xF0020u);
    EXPECT_EQ(sim::WordSum(std::span(image).subspan(0xF0000, 0x10000)), 1u);

    struct Case {
        std::string args;
        int status;
        std::string message;
    } cases[] = {
        {"build-rom", 2, "build-rom needs FILE"},
        {"build-rom " + File("y.rom") + " --frob", 2, "does not know \"--frob\""},
        {"build-rom " + File("y.rom") + " --seed=x", 1, "--seed: \"x\" is not a number"},
        {"build-rom " + File("y.rom") + " --nc=0xFFFF8:1", 1, "lies outside the image"},
        {"build-rom " + File("y.rom") + " --rom-id=123456789", 1, "at most 8 characters"},
        {"load-rom", 2, "load-rom needs FILE"},
        {"load-rom " + File("missing.rom"), 1, "cannot read"},
    };
    for (const Case& c : cases) {
        const test_support::CommandOutcome run = Run(c.args);
        EXPECT_EQ(run.code, c.status) << c.args;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.args << ": " << run.output;
    }
    EXPECT_FALSE(std::filesystem::exists(File("y.rom")));
}

TEST_F(BiosSimctl, ShowDescribesTheBiosTheModuleAndTheirFaults) {
    ASSERT_EQ(Run("init bios.fault.erase=0xE0000 bios.fault.stuck_bits=0xF0001:0x80 "
                  "bios.open_status=1 quorzel.fault.alloc=12 quorzel.loaded=1")
                  .code,
              0);
    const test_support::CommandOutcome show = Run("show");
    ASSERT_EQ(show.code, 0);
    for (const char* line :
         {"ROM 1024 KB, base offset 00000h, ROM ID \"SRVBD010\", flash interface closed",
          "anchor \"$ASF\" at F7F30h, request block at F7F40h, SMI port B2h",
          "000E0000h  10000 nvram", "000F0000h  10000 boot", "fault: erase at 000E0000h (8h)",
          "fault: stuck bits at 000F0001h (80h)", "fault: FLASH_OPEN answers 1",
          "module quorzel_mod loaded, driver \"quorzel\" major 254",
          "fault: QUORZ_ALLOC fails with errno 12"}) {
        EXPECT_NE(show.output.find(line), std::string::npos) << line << "\n" << show.output;
    }
}

TEST_F(BiosSimctl, SettingsTheServerCannotBeBuiltFromAreRefusedAndNotKept) {
    ASSERT_EQ(Run("init").code, 0);
    const test_support::CommandOutcome set = Run("set bios.rom_kb=70000");
    EXPECT_EQ(set.code, 1);
    EXPECT_NE(set.output.find("bios.rom_kb: 70000 is larger than 65535"), std::string::npos)
        << set.output;
    EXPECT_FALSE(sim::SettingsOf(state).Has("bios.rom_kb"));

    const test_support::CommandOutcome noState = test_support::RunCommand(
        std::string(SIMCTL_PATH) + " " + File("nothing") + " dump-rom " + File("x.rom"));
    EXPECT_EQ(noState.code, 1);
    EXPECT_NE(noState.output.find("holds no simulated server"), std::string::npos);
}

}  // namespace
