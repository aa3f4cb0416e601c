// The IMB driver interface supplied by the host (tests/bmc/imb_host_driver.*):
// when it opens, every request goes to it and nothing to the KCS ports or
// the SMBIOS table; a non-zero completion code reaches the callers in one
// form whichever form the driver uses.
#include "bmc/imb.h"

#include <gtest/gtest.h>

#include "bmc/message.h"
#include "bmc/message_state.h"
#include "tests/bmc/bmc_sim_fixture.h"
#include "tests/bmc/imb_host_driver.h"

namespace bmc_test {
namespace {

class ImbTest : public BmcSimTest {
  protected:
    void SetUp() override {
        BmcSimTest::SetUp();
        HostDriver() = ImbHostDriver{};
    }

    // A machine with the driver opened by the library's initialization.
    void Initialize(const std::map<std::string, std::string>& settings = {}) {
        Boot(settings);
        ASSERT_EQ(BmcLibInitialize(), 0);
        ASSERT_EQ(g_Mbmcsupport, SYSTEM_INTERFACE_IMB);
        RecordPorts();
    }

    std::size_t DriverCalls(std::uint8_t cmd) {
        std::size_t count = 0;
        for (const ImbDriverCall& call : HostDriver().calls) count += call.cmdType == cmd;
        return count;
    }
};

TEST_F(ImbTest, HostsDriverIsUsedWithoutLookingForKcs) {
    Boot();
    RecordPorts();
    EXPECT_EQ(MainInit(), 0);
    EXPECT_EQ(g_Mbmcsupport, SYSTEM_INTERFACE_IMB);
    EXPECT_TRUE(Machine().Log().Of("host").empty());  // no /dev/mem, no iopl
    EXPECT_TRUE(PortAccesses().empty());
}

TEST_F(ImbTest, DriverThatCannotBeUsedLeavesTheKcsPorts) {
    HostDriver().openResult = 0;
    Boot();
    EXPECT_EQ(BmcLibInitialize(), 0);
    EXPECT_EQ(g_Mbmcsupport, SYSTEM_INTERFACE_KCS);
    EXPECT_EQ(BmcLibDeinitialize(), 0);
    EXPECT_EQ(HostDriver().closeCalls, 0);
}

// The driver path needs no I/O privilege, and asks for none: a kernel in
// lockdown refuses it, and the ports belong to the kernel's driver.
TEST_F(ImbTest, RequestsThroughTheDriverRaiseNoIoPrivilege) {
    Initialize();
    Machine().Log().Clear();
    const auto response = Response();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000), 0);
    }
    EXPECT_TRUE(Entries("host", "iopl").empty());
}

TEST_F(ImbTest, RequestReachesTheDriverWithItsFieldsAndNothingTouchesThePorts) {
    Initialize();
    const auto response = Response();
    // A storage command no controller serves, so that the answer is the
    // BMC's own refusal whatever the repositories it simulates.
    EXPECT_EQ(ProcessMessage(Request(0x0A, 0x7F, {0x01, 0x02, 0x03}, kBmcSlaveAddress, 2).get(),
                             response.get(), 500),
              0);
    ASSERT_EQ(HostDriver().calls.size(), 1u);
    const ImbDriverCall& call = HostDriver().calls[0];
    EXPECT_EQ(call.cmdType, 0x7F);
    EXPECT_EQ(call.rsSa, 0x20);
    EXPECT_EQ(call.busType, 0);
    EXPECT_EQ(call.netFn, 0x0A);
    EXPECT_EQ(call.rsLun, 2);
    EXPECT_EQ(call.data, (Bytes{0x01, 0x02, 0x03}));
    EXPECT_EQ(call.capacity, 0xFFFF);
    EXPECT_EQ(call.timeoutMs, 500u);
    EXPECT_TRUE(PortAccesses().empty());
    EXPECT_EQ(response->netFn, 0x0A);
    EXPECT_EQ(response->lun, 2);
    EXPECT_EQ(response->completionCode, 0xC1);  // the BMC has no such command
}

// ------------------------------------------------------------ completion code forms

struct FormCase {
    const char* name;
    bool completionCodeAsResult;
    std::map<std::string, std::string> settings;
    std::uint8_t completionCode;
    std::size_t dataLength;
};

class ImbCompletionForms : public ImbTest, public ::testing::WithParamInterface<FormCase> {};

TEST_P(ImbCompletionForms, ResponseArrivedWhateverItsCompletionCode) {
    HostDriver().completionCodeAsResult = GetParam().completionCodeAsResult;
    Initialize(GetParam().settings);
    const auto response = Response();
    EXPECT_EQ(ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000), 0);
    EXPECT_EQ(response->completionCode, GetParam().completionCode);
    EXPECT_EQ(response->dataLength, GetParam().dataLength);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ImbCompletionForms,
    ::testing::Values(
        FormCase{"ZeroFormSuccess", false, {}, 0x00, 15},
        FormCase{"ZeroFormError", false, {{"bmc.fault.answer", "0x06:0x01:0xC0"}}, 0xC0, 0},
        FormCase{"ResultFormSuccess", true, {}, 0x00, 15},
        FormCase{"ResultFormError", true, {{"bmc.fault.answer", "0x06:0x01:0xC0"}}, 0xC0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct BridgeFormCase {
    const char* name;
    bool completionCodeAsResult;
    std::map<std::string, std::string> settings;
    int result;
    std::size_t getMessages;
};

class ImbBridging : public ImbTest, public ::testing::WithParamInterface<BridgeFormCase> {};

// Get Message's "queue empty" is a non-zero completion code: in either form
// it must keep the polling going rather than end the attempt.
TEST_P(ImbBridging, PollsThroughEmptyQueueAnswersInEitherForm) {
    HostDriver().completionCodeAsResult = GetParam().completionCodeAsResult;
    Initialize(GetParam().settings);
    const auto response = Response();
    EXPECT_EQ(ProcessMessage(Request(0x06, 0x01, {}, 0xC2).get(), response.get(), 5000),
              GetParam().result);
    EXPECT_EQ(DriverCalls(0x33), GetParam().getMessages);
    EXPECT_TRUE(PortAccesses().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ImbBridging,
    ::testing::Values(
        BridgeFormCase{"ZeroFormSlowSatellite", false, {{"ipmb.hsc1.reply_polls", "5"}}, 0, 6},
        BridgeFormCase{"ResultFormSlowSatellite", true, {{"ipmb.hsc1.reply_polls", "5"}}, 0, 6},
        BridgeFormCase{"ZeroFormSilentSatellite",
                       false,
                       {{"ipmb.hsc1.fault.silent", "always"}},
                       BMC_BRIDGING_FAILED,
                       500},
        BridgeFormCase{"ResultFormSilentSatellite",
                       true,
                       {{"ipmb.hsc1.fault.silent", "always"}},
                       BMC_BRIDGING_FAILED,
                       500}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImbTest, ErrorAnswerToGetDeviceIdInResultFormLeavesTheTypeUnknown) {
    HostDriver().completionCodeAsResult = true;
    Initialize({{"bmc.fault.answer", "0x06:0x01:0xC0"}});
    int type = -1;
    int version = -1;
    EXPECT_EQ(GetBmcTypeVersion(&type, &version), BMC_TYPE_UNKNOWN);
    EXPECT_EQ(type, -1);
}

TEST_F(ImbTest, LengthOutsideTheBufferIsNoResponse) {
    for (const int reported : {0x10000, -1}) {
        HostDriver().reportedLength = reported;
        Initialize();
        const auto response = Response();
        EXPECT_NE(ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000), 0) << reported;
        EXPECT_EQ(response->dataLength, 0u) << reported;
    }
}

TEST_F(ImbTest, DeinitializationClosesTheDriver) {
    HostDriver().closeResult = 7;
    Initialize();
    EXPECT_EQ(BmcLibDeinitialize(), 7);
    EXPECT_EQ(HostDriver().closeCalls, 1);
}

}  // namespace
}  // namespace bmc_test
