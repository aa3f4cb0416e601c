// simctl and the BMC end to end: settings made with simctl shape the BMC a
// later process meets at the KCS ports, "show" describes it, and nothing
// the BMC holds outlives the process that talked to it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/common/run_command.h"
#include "tests/sim/kcs_host.h"

namespace {

using test_support::CommandOutcome;

class BmcSimctl : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/bmcsimctlXXXXXX";
        mDir = ::mkdtemp(name);
    }
    void TearDown() override { std::filesystem::remove_all(mDir); }

    CommandOutcome Run(const std::string& args) {
        return test_support::RunCommand(std::string(SIMCTL_PATH) + " " + mDir.string() + " " +
                                        args);
    }

    std::filesystem::path mDir;
};

TEST_F(BmcSimctl, ShowDescribesTheBmcItsInterfacesAndItsFaults) {
    ASSERT_EQ(Run("init bmc.product_id=0x4311 ipmb.me.reply_polls=4 kcs.base=0xCA8").code, 0);
    const CommandOutcome shown = Run("show");
    ASSERT_EQ(shown.code, 0) << shown.output;
    for (const char* text : {
             "  bmc\n    controller at 20h\n",
             "product 4311h",
             "commands: 00/00 00/05 06/01 06/30 06/31 06/33 06/34",
             "me: channel 6, address 2Ch, answers after 4 polls",
             "ports 0CA8h (data) and 0CA9h (status/command), state IDLE",
             "entry point \"_SM_\" 2.7 at F1000h, table at 000E8000h",
             "type  38 at 000E8086h",
             "IPMI device: interface type 1, base CA8h (I/O)",
             "IPMI 2.0 LAN endpoint 127.0.0.1:623",
         }) {
        EXPECT_TRUE(shown.Shows(text)) << text << "\n" << shown.output;
    }

    ASSERT_EQ(Run("set bmc.fault.get_message=always ipmb.hsc0.fault.silent=3 "
                  "kcs.fault.read_error_after=2")
                  .code,
              0);
    const CommandOutcome faulty = Run("show");
    for (const char* text : {
             "fault: Get Message answers 83h, always",
             "fault: no answer, 3 more times",
             "fault: ERROR (status FFh) after 2 response bytes, always",
         }) {
        EXPECT_TRUE(faulty.Shows(text)) << text << "\n" << faulty.output;
    }
}

TEST_F(BmcSimctl, ASettingTheBmcCannotBeBuiltFromIsRefusedAndChangesNothing) {
    ASSERT_EQ(Run("init").code, 0);
    const CommandOutcome refused = Run("set ipmb.satellites=fp:0:0x23");
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.Shows("simctl: ipmb.satellites: 0x23 is not a satellite's slave address"))
        << refused.output;
    EXPECT_TRUE(Run("show").Shows("front_panel: channel 0, address 22h"));
}

TEST_F(BmcSimctl, AnotherProcessMeetsTheConfiguredBmcAtItsKcsPorts) {
    ASSERT_EQ(Run("init bmc.device_id=0x42 kcs.base=0xCA8").code, 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("SRVFW_SIM", mDir.c_str(), 1);
        simtest::KcsHost host(0xCA8);
        std::vector<std::uint8_t> response;
        const bool answered = host.Exchange(std::vector<std::uint8_t>{0x18, 0x01}, &response) ==
                                  simtest::KcsHost::Result::kOk &&
                              response.size() == 18 && response[3] == 0x42;
        std::_Exit(answered ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(BmcSimctl, TheReceiveMessageQueueDoesNotOutliveTheProcess) {
    ASSERT_EQ(Run("init").code, 0);
    const CommandOutcome id = Run("ipmi 6 1");
    ASSERT_EQ(id.code, 0) << id.output;
    EXPECT_EQ(id.output,
              "netfn=06 lun=0 cmd=01 data=[] -> cc=00 data=[20 01 01 20 02 BF 7D 2A 00 00 01 00 "
              "00 00 00]\n");

    // Send Message to the front panel: its answer is queued in this process.
    const CommandOutcome sent = Run("ipmi 6 0x34 0 0x22 0x18 0xC6 0x20 0x06 0x01 0xD9");
    ASSERT_EQ(sent.code, 0) << sent.output;
    EXPECT_TRUE(sent.Shows("-> cc=00 data=[]")) << sent.output;
    const CommandOutcome next = Run("ipmi 6 0x33");
    EXPECT_TRUE(next.Shows("-> cc=80 data=[]")) << next.output;

    const CommandOutcome bad = Run("ipmi 6");
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.Shows("ipmi needs NETFN CMD [BYTE...]"));
}

}  // namespace
