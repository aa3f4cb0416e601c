// simctl chipset-show end to end: the board a state was made with, and what
// a program in another process left in the chipset's registers.
#include <gtest/gtest.h>

#include <string>

#include "sim/core/machine.h"
#include "tests/common/files.h"
#include "tests/common/run_command.h"
#include "tests/sim/spi_host.h"

namespace {

using test_support::CommandOutcome;

class ChipsetSimctl : public ::testing::Test {
  protected:
    CommandOutcome Run(const std::string& args) {
        return test_support::RunCommand(std::string(SIMCTL_PATH) + " " + State() + " " + args);
    }
    std::string State() const { return mDir.Path() / "state"; }

    test_support::TempDir mDir{"chipsetsimctl"};
};

TEST_F(ChipsetSimctl, ShowsWhatAnotherProcessLeftInTheRegisters) {
    ASSERT_EQ(Run("init board=ich9-spi").code, 0);
    const CommandOutcome before = Run("chipset-show");
    ASSERT_EQ(before.code, 0);
    EXPECT_NE(before.output.find("board ich9-spi, BIOS part AT25DF321"), std::string::npos)
        << before.output;
    EXPECT_NE(before.output.find("write enable off, lock off), GCS straps 1, top swap off"),
              std::string::npos)
        << before.output;
    EXPECT_NE(before.output.find("SPI at RCBA + 3800h: PREOP 06h 50h"), std::string::npos)
        << before.output;

    {
        sim::Machine machine(sim::SettingsOf(State()));
        sim::BuildMachine(machine);
        machine.LoadState(State());
        machine.Pci().Write({0, 31, 0}, 0xDC, 1, 0x01);
        machine.MemoryWrite(0xFED1C000 + 0x3414, 1, 0x01);
        simtest::SpiHost host(machine, sim::SpiLayout::kIch9);
        host.SetMenu({0x02, 0x03, 0xD8, 0x05, 0x04, 0x50, 0x01, 0x9F}, 0x1A33);
        ASSERT_TRUE(machine.SaveState(State()));
    }
    const CommandOutcome after = Run("chipset-show");
    EXPECT_NE(after.output.find("BIOS control 01h (write enable on, lock off)"), std::string::npos)
        << after.output;
    EXPECT_NE(after.output.find("top swap on"), std::string::npos) << after.output;
    EXPECT_NE(after.output.find("OPTYPE 1a33h, OPMENU 0203d8050450019f, unlocked"),
              std::string::npos)
        << after.output;
    EXPECT_NE(after.output.find("SPI part status 10h"), std::string::npos) << after.output;

    EXPECT_EQ(Run("chipset-show extra").code, 2);
}

}  // namespace
