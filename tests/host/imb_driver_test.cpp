// srvfw's IMB driver interface over the simulated kernel's IPMI device,
// with the message layer on top as the libraries use it: which way srvfw
// chooses, what went through the kernel's device (never the ports the
// kernel owns), bridging carried out by the kernel, and the kernel's
// faults.
#include "host/imb/imb_driver.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "bmc/interface_report.h"
#include "bmc/message.h"
#include "bmc/message_state.h"
#include "tests/bmc/bmc_sim_fixture.h"

namespace {

using bmc_test::Request;
using bmc_test::Response;

constexpr const char* kDriverStack = "ipmi_si,ipmi_devintf";

class ImbDriver : public bmc_test::BmcSimTest {
  protected:
    int Choose(int choice) {
        why.fill('\0');
        return srvfw_imb_choose(choice, why.data(), why.size());
    }
    std::string Why() const { return why.data(); }
    // The layer started as a library starts it, with the driver chosen.
    void StartOnTheDriver(std::map<std::string, std::string> settings = {}) {
        settings.emplace("kernel.modules", kDriverStack);
        Boot(settings);
        ASSERT_EQ(Choose(SRVFW_IMB_AUTO), 1) << Why();
        ASSERT_EQ(BmcLibInitialize(), 0);
        ASSERT_EQ(g_Mbmcsupport, SYSTEM_INTERFACE_IMB);
        Machine().Log().Clear();
    }
    std::size_t PortsTouched() {
        return Entries("port", "in").size() + Entries("port", "out").size() +
               Entries("kcs", "ports used under the kernel driver").size();
    }
    void TearDown() override {
        BmcLibDeinitialize();
        BmcSimTest::TearDown();
    }

    std::array<char, 512> why{};
};

struct ChoiceCase {
    const char* name;
    std::map<std::string, std::string> settings;
    int choice;
    int result;        // srvfw_imb_choose
    const char* says;  // part of the reason, for -1
};

class ImbDriverChoice : public ImbDriver, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(ImbDriverChoice, SettlesTheWayToTheBmc) {
    const ChoiceCase& c = GetParam();
    Boot(c.settings);
    EXPECT_EQ(Choose(c.choice), c.result) << Why();
    if (c.result < 0) {
        EXPECT_NE(Why().find(c.says), std::string::npos) << Why();
    } else {
        EXPECT_EQ(Why(), "");
    }
    EXPECT_EQ(open_imb(), c.result == 1 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Kernels, ImbDriverChoice,
    ::testing::Values(
        ChoiceCase{
            "DriverWhereTheDeviceOpens", {{"kernel.modules", kDriverStack}}, SRVFW_IMB_AUTO, 1, ""},
        ChoiceCase{"DeviceUnderItsDevfsName",
                   {{"kernel.modules", kDriverStack}, {"kernel.ipmi.node", "/dev/ipmi/0"}},
                   SRVFW_IMB_AUTO,
                   1,
                   ""},
        ChoiceCase{"PortsWithoutAKernelDriver", {}, SRVFW_IMB_AUTO, 0, ""},
        // ipmi_si owns the interface: the ports are refused, and the user
        // learns what to load.
        ChoiceCase{"RefusedUnderIpmiSiWithoutItsDevice",
                   {{"kernel.modules", "ipmi_si"}},
                   SRVFW_IMB_AUTO,
                   -1,
                   "load ipmi_devintf (modprobe ipmi_devintf), or use "
                   "--interface kcs"},
        ChoiceCase{"RefusedWhereNobodyMadeTheNode",
                   {{"kernel.modules", kDriverStack}, {"kernel.ipmi.node", "none"}},
                   SRVFW_IMB_AUTO,
                   -1,
                   "owns the KCS interface"},
        ChoiceCase{"ADeviceWeMayNotOpenIsNoReasonForThePorts",
                   {{"kernel.modules", kDriverStack}, {"host.fault.open", "/dev/ipmi0:13"}},
                   SRVFW_IMB_AUTO,
                   -1,
                   "/dev/ipmi0: Permission denied"},
        ChoiceCase{
            "DriverAskedForAndThere", {{"kernel.modules", kDriverStack}}, SRVFW_IMB_DRIVER, 1, ""},
        ChoiceCase{"DriverAskedForButAbsent",
                   {},
                   SRVFW_IMB_DRIVER,
                   -1,
                   "load the kernel's IPMI driver (modprobe ipmi_si ipmi_devintf)"},
        ChoiceCase{"PortsAskedForUnderTheDriver",
                   {{"kernel.modules", kDriverStack}},
                   SRVFW_IMB_PORTS,
                   0,
                   ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImbDriver, RequestsGoThroughTheKernelsDeviceAndNeverTheirPorts) {
    StartOnTheDriver();
    const auto request = Request(0x06, 0x01);
    const auto response = Response();
    ASSERT_EQ(ProcessMessage(request.get(), response.get(), 5000), 0);
    EXPECT_EQ(response->completionCode, 0);
    EXPECT_GE(response->dataLength, 11u);
    const auto sent = Entries("ipmidev", "send");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].detail, "si lun=0 netfn=06 cmd=01 data=[]");
    EXPECT_EQ(PortsTouched(), 0u);
    EXPECT_STREQ(srvfw_imb_last_failure(), "");
}

// The kernel keeps Send and Get Message to itself: a bridged request is
// handed to it as an IPMB request, and the controller's answer comes back
// through the layer's Get Message as the BMC's queue would hold it.
TEST_F(ImbDriver, BridgedRequestsAreCarriedByTheKernel) {
    StartOnTheDriver();
    const auto request = Request(0x06, 0x01, {}, 0x22);
    const auto response = Response();
    ASSERT_EQ(ProcessMessage(request.get(), response.get(), 5000), 0);
    EXPECT_EQ(response->completionCode, 0);
    EXPECT_EQ(response->slaveAddress, 0x22);
    EXPECT_EQ(response->netFn, 0x07);
    EXPECT_EQ(response->cmd, 0x01);
    EXPECT_GE(response->dataLength, 11u);
    const auto sent = Entries("ipmidev", "send");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].detail.starts_with("ipmb ch=0 sa=22 lun=0 netfn=06 cmd=01 data=[]"))
        << sent[0].detail;
    EXPECT_TRUE(Entries("ipmidev", "refused").empty());
    EXPECT_EQ(PortsTouched(), 0u);
}

TEST_F(ImbDriver, AControllerThatNeverAnswersEndsTheBridgedRequest) {
    StartOnTheDriver({{"ipmb.front_panel.fault.silent", "always"}});
    const auto request = Request(0x06, 0x01, {}, 0x22);
    const auto response = Response();
    const double before = VirtualSeconds();
    EXPECT_EQ(ProcessMessage(request.get(), response.get(), 5000), BMC_BRIDGING_FAILED);
    // Five attempts, each ended by the kernel's time-out of its two sends.
    EXPECT_LT(VirtualSeconds() - before, 5 * 4.0);
    const std::wstring problem = SystemInterfaceProblem();
    EXPECT_NE(problem.find(L"the controller at 22h (channel 0) gave no answer"), std::wstring::npos)
        << std::string(problem.begin(), problem.end());
    EXPECT_EQ(PortsTouched(), 0u);
}

// What the kernel delivers when the BMC takes nothing is its own error
// response; that is no answer, and the layer says which wait ran out.
TEST_F(ImbDriver, ABmcThatTakesNothingIsNoAnswer) {
    StartOnTheDriver({{"kernel.ipmi.fault.no_answer", "1"}});
    const auto request = Request(0x06, 0x01);
    const auto response = Response();
    EXPECT_NE(ProcessMessage(request.get(), response.get(), 20000), 0);
    EXPECT_EQ(std::string(srvfw_imb_last_failure()),
              "the kernel gave up on the BMC (completion code FFh)");
    EXPECT_NE(SystemInterfaceProblem().find(L"no response through the IPMI driver to netFn 06h "
                                            L"command 01h"),
              std::wstring::npos);
    // The next request is answered again.
    EXPECT_EQ(ProcessMessage(request.get(), response.get(), 5000), 0);
    EXPECT_TRUE(SystemInterfaceProblem().empty());
}

// The driver's wait is bounded by the caller's time-out, even when the
// kernel's own gives up later.
TEST_F(ImbDriver, TheWaitIsBoundedByTheTimeOut) {
    StartOnTheDriver({{"kernel.ipmi.fault.no_answer", "1"}, {"kernel.ipmi.hung_ms", "60000"}});
    const auto request = Request(0x06, 0x01);
    const auto response = Response();
    const double before = VirtualSeconds();
    EXPECT_NE(ProcessMessage(request.get(), response.get(), 5000), 0);
    EXPECT_NEAR(VirtualSeconds() - before, 5.0, 0.5);
    EXPECT_EQ(std::string(srvfw_imb_last_failure()), "no answer within 5000 ms");
}

TEST_F(ImbDriver, ABusyAnswerReachesTheCallerAsItsCompletionCode) {
    StartOnTheDriver({{"kernel.ipmi.fault.busy", "1"}});
    const auto request = Request(0x0A, 0x10, {0x00});
    const auto response = Response();
    ASSERT_EQ(ProcessMessage(request.get(), response.get(), 5000), 0);
    EXPECT_EQ(response->completionCode, 0xC0);
    ASSERT_EQ(ProcessMessage(request.get(), response.get(), 5000), 0);
    EXPECT_EQ(response->completionCode, 0x00);
}

TEST_F(ImbDriver, ATruncatedAnswerArrivesAsShortAsTheKernelGaveIt) {
    StartOnTheDriver({{"kernel.ipmi.fault.truncate", "2:1"}});
    const auto request = Request(0x06, 0x01);
    const auto response = Response();
    ASSERT_EQ(ProcessMessage(request.get(), response.get(), 5000), 0);
    EXPECT_EQ(response->dataLength, 2u);
}

// A Send Message whose IPMB frame does not add up is refused as a BMC
// refuses it, and the kernel is not asked.
TEST_F(ImbDriver, ABrokenSendMessageFrameIsRefused) {
    StartOnTheDriver();
    std::uint8_t frame[] = {0x00, 0x22, 0x18, 0x00, 0x20, 0x06, 0x01, 0x00};  // checksums wrong
    _IMBPREQUESTDATA send{0x34, 0x20, 0, 0x06, 0, frame, sizeof frame};
    std::array<std::uint8_t, 64> data{};
    int length = data.size();
    std::uint8_t code = 0;
    ASSERT_EQ(SendTimedImbpRequest(&send, 5000, data.data(), &length, &code), 0);
    EXPECT_EQ(code, 0xCC);
    EXPECT_TRUE(Entries("ipmidev", "send").empty());
    // Nothing is queued for the Get Message that follows.
    _IMBPREQUESTDATA get{0x33, 0x20, 0, 0x06, 0, nullptr, 0};
    length = data.size();
    ASSERT_EQ(SendTimedImbpRequest(&get, 5000, data.data(), &length, &code), 0);
    EXPECT_EQ(code, 0x80);
    EXPECT_EQ(length, 0);
}

}  // namespace
