// The simulated build of tarvo through its real entry point: a program run
// with argv, exit code and console output, against a simulated server kept
// in a state directory that simctl prepares and inspects.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/common/files.h"
#include "tests/common/run_command.h"

namespace {

using test_support::CommandOutcome;
using test_support::RunCommand;

class SimulatedTarvo : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/tarvosimXXXXXX";
        dir = ::mkdtemp(name);
        state = dir / "server";
        ASSERT_EQ(Simctl("init bios.rom_kb=512").code, 0);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    CommandOutcome Simctl(const std::string& args) {
        return RunCommand(std::string(SIMCTL_PATH) + " " + state.string() + " " + args);
    }
    CommandOutcome Tarvo(const std::string& args) {
        return RunCommand("SRVFW_SIM=" + state.string() + " " + TARVO_SIM_PATH + " " + args);
    }
    std::string File(const char* name) { return (dir / name).string(); }
    std::filesystem::path dir;
    std::filesystem::path state;
};

TEST_F(SimulatedTarvo, SaveFlashCompareAndShowAcrossRuns) {
    ASSERT_EQ(Simctl("dump-rom " + File("factory.rom")).code, 0);
    ASSERT_EQ(Simctl("build-rom " + File("new.rom") + " --rom-id=SRVBD011").code, 0);

    const CommandOutcome flash =
        Tarvo("/o" + File("saved.rom") + " /i" + File("new.rom") + " /pbn");
    ASSERT_EQ(flash.code, 0) << flash.output;
    EXPECT_NE(flash.output.find(" Verifying BootBlock ... done"), std::string::npos);
    EXPECT_EQ(test_support::ReadBytes(File("saved.rom")),
              test_support::ReadBytes(File("factory.rom")));

    // The next process finds the flash as the last one left it.
    ASSERT_EQ(Simctl("dump-rom " + File("now.rom")).code, 0);
    EXPECT_EQ(test_support::ReadBytes(File("now.rom")), test_support::ReadBytes(File("new.rom")));
    const CommandOutcome compare = Tarvo("/q /d /i" + File("new.rom"));
    EXPECT_EQ(compare.code, 0);
    EXPECT_EQ(compare.output, "\n Status of comparison......Consistent");
    const CommandOutcome show = Tarvo("/q /t");
    EXPECT_EQ(show.code, 0);
    EXPECT_EQ(show.output, "\n ROM ID = SRVBD011\n");
}

TEST_F(SimulatedTarvo, ExitCodesReachTheShell) {
    ASSERT_EQ(Simctl("build-rom " + File("new.rom") + " --rom-id=SRVBD011").code, 0);
    ASSERT_EQ(Simctl("set bios.fault.erase=0x80000").code, 0);
    const CommandOutcome failed = Tarvo("/q /i" + File("new.rom"));
    EXPECT_EQ(failed.code, 67);
    // The report, then the advice on restoring the flash (recovery_binary_test.cpp).
    EXPECT_EQ(failed.output.find("\nERROR: Unable to erase block: 0x00080000\n\n\n"), 0u);
    EXPECT_EQ(Tarvo("").code, 1);
    EXPECT_EQ(Tarvo("/h").code, 0);
    EXPECT_EQ(Tarvo("/q /d").code, 48);
}

}  // namespace
