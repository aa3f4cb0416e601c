// The management engine's firmware outliving the process: an image one
// program stages is what the next program's Get Device ID reports and what
// simctl me-show describes and saves, while transfer mode and a half-staged
// image end with the process that made them.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "tests/common/files.h"
#include "tests/common/run_command.h"
#include "tests/sim/fwme_requests.h"
#include "tests/sim/program_process.h"

namespace {

using simtest::Bytes;
using test_support::CommandOutcome;

class MeSimctl : public ::testing::Test {
  protected:
    CommandOutcome Run(const std::string& args) {
        return test_support::RunCommand(std::string(SIMCTL_PATH) + " " + State() + " " + args);
    }
    std::string State() const { return mDir / "state"; }
    std::string File(const std::string& name) const { return mDir / name; }

    test_support::TempDir mDir{"mesimctl"};
};

TEST_F(MeSimctl, AStagedImageIsTheNextProcessesFirmwareAndMeShowSavesIt) {
    ASSERT_EQ(Run("init").code, 0);
    const CommandOutcome fresh = Run("me-show");
    ASSERT_EQ(fresh.code, 0) << fresh.output;
    EXPECT_TRUE(fresh.Shows("running firmware: 3.01, no image taken")) << fresh.output;
    EXPECT_TRUE(fresh.Shows("mode: normal")) << fresh.output;
    EXPECT_EQ(Run("me-show --image " + File("none.bin")).code, 1);

    const Bytes image = simtest::MeImage(333, 40, 0x05, 0x12);
    EXPECT_TRUE(simtest::ProgramSucceeds(State(), [&] {
        simtest::ResetAndErase();
        return simtest::StageImage(image) == 0x00 && simtest::MeInTransferMode();
    }));
    // A second program leaves an image half written.
    EXPECT_TRUE(simtest::ProgramSucceeds(State(), [&] {
        simtest::ResetAndErase();
        return simtest::OpenArea() == 0x00 && simtest::WriteArea(1, {0x01, 0x02}) == 0x00;
    }));
    EXPECT_TRUE(simtest::ProgramSucceeds(State(), [&] {
        const auto bytes = simtest::MeFirmwareBytes();
        return bytes.first == 0x05 && bytes.second == 0x12 &&
               simtest::Engine().RunningImage() == image &&
               simtest::Engine().Status() == sim::me::StagingStatus::kNothing &&
               simtest::MeRequests().size() == 0;  // a new process, a new log
    }));

    const CommandOutcome shown = Run("me-show --image " + File("running.bin"));
    ASSERT_EQ(shown.code, 0) << shown.output;
    EXPECT_TRUE(shown.Shows("mode: normal")) << shown.output;
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "%04X", simtest::HostChecksum(image));
    EXPECT_TRUE(
        shown.Shows(std::string("running firmware: 5.12, 333 bytes, checksum ") + checksum + "h"))
        << shown.output;
    EXPECT_TRUE(shown.Shows("staging: nothing staged")) << shown.output;
    EXPECT_EQ(test_support::ReadBytes(File("running.bin")), image);
    EXPECT_TRUE(Run("show").Shows("running firmware: 5.12"));
}

TEST_F(MeSimctl, MeShowShowsAStagingInProgressAndRefusesOtherArguments) {
    ASSERT_EQ(Run("init").code, 0);
    EXPECT_EQ(Run("me-show --image").code, 2);
    EXPECT_EQ(Run("me-show extra").code, 2);
    {
        // A machine of this test's own over the directory, as simctl builds it.
        sim::Machine machine(sim::SettingsOf(State()));
        sim::BuildMachine(machine);
        machine.LoadState(State());
        sim::ipmi::Controller* engine = machine.Find<sim::Bmc>()->Ipmb().Find(6, 0x2C);
        const auto ask = [&](std::uint8_t cmd, const Bytes& data) {
            return engine->Handle({0x30, 0, cmd, data, sim::ipmi::Origin::kIpmb, 0x20})
                .completionCode;
        };
        ASSERT_EQ(ask(0xDF, {0x01}), 0x00);
        ASSERT_EQ(ask(0xA0, {}), 0x81);
        std::ostringstream described;
        machine.Find<sim::ManagementEngine>()->Describe(described);
        EXPECT_NE(described.str().find("mode: firmware transfer"), std::string::npos);
        EXPECT_NE(described.str().find("staging: erasing"), std::string::npos);
    }
    const CommandOutcome none = [&] {
        EXPECT_EQ(Run("set ipmb.satellites=front_panel:0:0x22").code, 0);
        return Run("me-show");
    }();
    EXPECT_EQ(none.code, 1);
    EXPECT_TRUE(none.Shows("management engine: none at 2Ch on channel 6")) << none.output;
}

}  // namespace
