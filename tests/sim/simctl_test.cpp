// simctl through its command line: a state directory made by one run is what
// the next run (and any simulated deliverable) finds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "sim/core/machine.h"
#include "tests/common/run_command.h"

namespace {

test_support::CommandOutcome Simctl(const std::string& args) {
    return test_support::RunCommand(std::string(SIMCTL_PATH) + " " + args);
}

class SimctlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/simctlXXXXXX";
        dir = ::mkdtemp(name);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(SimctlTest, InitThenShowDescribesTheMachine) {
    const test_support::CommandOutcome init = Simctl(dir.string() + " init ram.mb=8");
    ASSERT_EQ(init.code, 0) << init.output;
    EXPECT_TRUE(std::filesystem::exists(dir / "settings"));

    const test_support::CommandOutcome show = Simctl(dir.string() + " show");
    ASSERT_EQ(show.code, 0) << show.output;
    EXPECT_NE(show.output.find("ram.mb = 8"), std::string::npos) << show.output;
    // The default board's LPC bridge.
    EXPECT_NE(show.output.find("00:1F.0 8086:27B8"), std::string::npos) << show.output;
    EXPECT_NE(show.output.find("0000100000-00007FFFFF RAM  extended"), std::string::npos)
        << show.output;
    EXPECT_NE(show.output.find("cmos"), std::string::npos);
}

TEST_F(SimctlTest, SetChangesSettingsAndKeepsState) {
    ASSERT_EQ(Simctl(dir.string() + " init").code, 0);
    {
        sim::Machine machine(sim::SettingsOf(dir));
        sim::BuildMachine(machine);
        machine.LoadState(dir);
        machine.PortOut(0x70, 0x20);
        machine.PortOut(0x71, 0x42);
        ASSERT_TRUE(machine.SaveState(dir));
    }
    ASSERT_EQ(Simctl(dir.string() + " set ram.mb=32").code, 0);
    EXPECT_EQ(sim::SettingsOf(dir).GetNumber("ram.mb", 0), 32u);

    sim::Machine machine(sim::SettingsOf(dir));
    sim::BuildMachine(machine);
    machine.LoadState(dir);
    machine.PortOut(0x70, 0x20);
    EXPECT_EQ(machine.PortIn(0x71), 0x42);
}

TEST_F(SimctlTest, UsageErrors) {
    struct Case {
        std::string args;
        int status;
        std::string message;
    } cases[] = {
        {"", 2, "usage: simctl DIR COMMAND"},
        {dir.string() + " frobnicate", 2, "unknown command \"frobnicate\""},
        {dir.string() + " show", 1, "holds no simulated server"},
        {dir.string() + " set ram.mb=4", 1, "holds no simulated server"},
        {dir.string() + " init novalue", 2, "expected key=value"},
    };
    for (const Case& c : cases) {
        const test_support::CommandOutcome run = Simctl(c.args);
        EXPECT_EQ(run.code, c.status) << c.args;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.args << ": " << run.output;
    }
    const test_support::CommandOutcome help = Simctl("--help");
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.output.find("init [KEY=VALUE...]"), std::string::npos);
}

}  // namespace
