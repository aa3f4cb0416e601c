// The message layer over the simulated BMC: routing between the KCS ports
// and the libipmi session, the BMC's type and version, the checksum, and
// the requests it refuses before anything goes out.
#include "bmc/message.h"

#include <gtest/gtest.h>

#include "bmc/message_state.h"
#include "tests/bmc/bmc_sim_fixture.h"
#include "tests/bmc/scripted_kcs_bmc.h"

namespace bmc_test {
namespace {

// A command the test adds to the simulated BMC, under its OEM network
// function.
constexpr std::uint8_t kOemNetFn = sim::ipmi::kNetFnOem;
constexpr std::uint8_t kEchoCommand = 0x70;

class MessageTest : public BmcSimTest {
  protected:
    // An OEM command that answers with the bytes it was given.
    void AddEchoCommand() {
        Bmc().Commands().Register(kOemNetFn, kEchoCommand, [](const sim::ipmi::Request& request) {
            return sim::ipmi::Response{0x00, Bytes(request.data.begin(), request.data.end())};
        });
    }

    int Echo(std::size_t length, BMC_MESSAGE& response) {
        return ProcessMessage(Request(kOemNetFn, kEchoCommand, Bytes(length, 0x5A)).get(),
                              &response, 5000);
    }

    std::size_t SessionRequests() { return Exchanges("libipmi").size(); }
    std::size_t KcsRequestCount() { return Exchanges("kcs").size(); }
};

// ------------------------------------------------------------ CalculateChecksum

struct ChecksumCase {
    Bytes bytes;
    int checksum;
};

class Checksum : public ::testing::TestWithParam<ChecksumCase> {};

TEST_P(Checksum, BytesAndChecksumSumToZero) {
    Bytes bytes = GetParam().bytes;
    EXPECT_EQ(CalculateChecksum(bytes.data(), static_cast<int>(bytes.size())), GetParam().checksum);
}

INSTANTIATE_TEST_SUITE_P(Bytes, Checksum,
                         ::testing::Values(ChecksumCase{{0x20, 0x18}, 0xC8}, ChecksumCase{{}, 0},
                                           ChecksumCase{{0x00}, 0}, ChecksumCase{{0x01}, 0xFF},
                                           ChecksumCase{{0xFF, 0xFF, 0x02}, 0x00},
                                           ChecksumCase{{0x20, 0x06, 0x01}, 0xD9}));

// ------------------------------------------------------------ interface selection

TEST_F(MessageTest, SystemInterfaceAloneSendsEverythingOverKcs) {
    Boot();
    AddEchoCommand();
    EXPECT_EQ(SelectIPMIInterface(IPMI_INTERFACE_KCS), 1);
    const auto response = Response();
    EXPECT_EQ(Echo(200, *response), 0);
    EXPECT_EQ(DataOf(*response), Bytes(200, 0x5A));
    EXPECT_EQ(KcsRequestCount(), 1u);
    EXPECT_TRUE(Entries("libipmi", "open").empty());
}

TEST_F(MessageTest, SessionForAllRequestsCarriesEvenTheSmallOnes) {
    Boot();
    AddEchoCommand();
    ASSERT_EQ(SelectIPMIInterface(IPMI_INTERFACE_USB), 1);
    EXPECT_EQ(eInterface, IPMI_INTERFACE_USB);
    const auto response = Response();
    EXPECT_EQ(Echo(4, *response), 0);
    EXPECT_EQ(DataOf(*response), Bytes(4, 0x5A));
    EXPECT_EQ(ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000), 0);
    EXPECT_EQ(DataOf(*response), Bmc().Identity().DeviceIdData());

    EXPECT_EQ(SessionRequests(), 2u);
    EXPECT_EQ(KcsRequestCount(), 0u);
    const auto opens = Entries("libipmi", "open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].address, 623u);
    EXPECT_NE(opens[0].detail.find("127.0.0.1:623"), std::string::npos);
}

struct BulkCase {
    const char* name;
    std::size_t length;
    const char* sendFault;
    std::size_t sessionRequests;  // requests that reached the BMC through the session
    std::size_t kcsRequests;
};

class SessionBulk : public MessageTest, public ::testing::WithParamInterface<BulkCase> {};

TEST_P(SessionBulk, OnlyRequestsOver128BytesTryTheSessionAndFallBackToKcs) {
    const BulkCase& c = GetParam();
    Boot({{"libipmi.fault.send", c.sendFault}});
    AddEchoCommand();
    ASSERT_EQ(SelectIPMIInterface(IPMI_INTERFACE_USB_BULK), 1);
    const auto response = Response();
    EXPECT_EQ(Echo(c.length, *response), 0);
    EXPECT_EQ(DataOf(*response), Bytes(c.length, 0x5A));
    EXPECT_EQ(SessionRequests(), c.sessionRequests);
    EXPECT_EQ(KcsRequestCount(), c.kcsRequests);
}

INSTANTIATE_TEST_SUITE_P(Lengths, SessionBulk,
                         ::testing::Values(BulkCase{"SmallOnKcs", 128, "", 0, 1},
                                           BulkCase{"LargeThroughSession", 129, "", 1, 0},
                                           BulkCase{"LargeFallsBackWhenSessionFails", 129, "always",
                                                    0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MessageTest, SessionFormCannotChangeWithoutClosingTheSessionFirst) {
    Boot();
    ASSERT_EQ(SelectIPMIInterface(IPMI_INTERFACE_USB), 1);
    EXPECT_EQ(SelectIPMIInterface(IPMI_INTERFACE_USB_BULK), 0);
    EXPECT_EQ(eInterface, IPMI_INTERFACE_USB);
    EXPECT_EQ(Entries("libipmi", "open").size(), 1u);

    EXPECT_EQ(SelectIPMIInterface(IPMI_INTERFACE_KCS), 1);
    EXPECT_EQ(Entries("libipmi", "close").size(), 1u);
    EXPECT_EQ(g_UseUSB, 0);
    EXPECT_EQ(SelectIPMIInterface(IPMI_INTERFACE_USB_BULK), 1);
    EXPECT_EQ(eInterface, IPMI_INTERFACE_USB_BULK);
}

TEST_F(MessageTest, RefusedSessionLeavesTheSelectionAsItWas) {
    Boot({{"libipmi.fault.session", "always"}});
    EXPECT_EQ(SelectIPMIInterface(IPMI_INTERFACE_USB), 0);
    EXPECT_EQ(eInterface, IPMI_INTERFACE_KCS);
    EXPECT_EQ(g_UseUSB, 0);
    const auto response = Response();
    EXPECT_EQ(ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000), 0);
    EXPECT_EQ(KcsRequestCount(), 1u);
}

TEST_F(MessageTest, UnknownInterfaceTypeIsRefused) {
    Boot();
    EXPECT_EQ(SelectIPMIInterface(static_cast<_IPMI_INTERFACE_TYPE>(3)), 0);
    EXPECT_EQ(eInterface, IPMI_INTERFACE_KCS);
    EXPECT_TRUE(Entries("libipmi", "open").empty());
}

// ------------------------------------------------------------ BMC type and version

struct TypeCase {
    const char* name;
    const char* productId;
    const char* ipmiVersion;
    int type;
    int version;
};

class BmcTypeVersion : public MessageTest, public ::testing::WithParamInterface<TypeCase> {};

TEST_P(BmcTypeVersion, ComesFromGetDeviceIdAndIsAskedOnce) {
    const TypeCase& c = GetParam();
    Boot({{"bmc.product_id", c.productId}, {"bmc.ipmi_version", c.ipmiVersion}});
    int type = -1;
    int version = -1;
    EXPECT_EQ(GetBmcTypeVersion(&type, &version), 0);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(version, c.version);
    EXPECT_EQ(KcsRequests(0x06, 0x01).size(), 2u);

    // Kept for the life of the process, even when the BMC changes.
    Bmc().Identity().productId = 0x0001;
    Bmc().Identity().ipmiVersion = 0x51;
    type = version = -1;
    EXPECT_EQ(GetBmcTypeVersion(&type, &version), 0);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(version, c.version);
    EXPECT_EQ(KcsRequests(0x06, 0x01).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Identities, BmcTypeVersion,
    ::testing::Values(TypeCase{"Product4311", "0x4311", "0x02", BMC_TYPE_PRODUCT_43XX, 2},
                      TypeCase{"Product4312", "0x4312", "0x51", BMC_TYPE_PRODUCT_43XX, 1},
                      TypeCase{"Product4315", "0x4315", "0x02", BMC_TYPE_PRODUCT_43XX, 2},
                      TypeCase{"Product4313", "0x4313", "0x02", BMC_TYPE_STANDARD, 2},
                      TypeCase{"OtherVersionLeavesItUnknown", "0x0100", "0x20", BMC_TYPE_STANDARD,
                               0}),
    [](const auto& info) { return std::string(info.param.name); });

struct TypeFailureCase {
    const char* name;
    std::map<std::string, std::string> settings;
    int typeStatus;  // GetBmcType's result
};

class BmcTypeFailures : public MessageTest,
                        public ::testing::WithParamInterface<TypeFailureCase> {};

// An error completion code carries no device ID: the type stays unknown
// rather than passing for a standard BMC.
TEST_P(BmcTypeFailures, NoDeviceIdLeavesTheTypeUnknown) {
    Boot(GetParam().settings);
    int type = -1;
    EXPECT_EQ(GetBmcType(&type), GetParam().typeStatus);
    EXPECT_EQ(type, BMC_TYPE_NONE);

    int version = -1;
    type = -1;
    EXPECT_EQ(GetBmcTypeVersion(&type, &version), BMC_TYPE_UNKNOWN);
    EXPECT_EQ(type, -1);
    EXPECT_EQ(version, -1);
    EXPECT_EQ(g_bmcType, BMC_TYPE_NONE);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, BmcTypeFailures,
    ::testing::Values(TypeFailureCase{"NothingAtThePorts", {{"kcs.present", "0"}}, 1},
                      TypeFailureCase{
                          "ErrorCompletionCode", {{"bmc.fault.answer", "0x06:0x01:0xC1"}}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct SecondAnswerCase {
    const char* name;
    Bytes frame;  // the answer to the second Get Device ID
    int result;
};

class SecondDeviceId : public MessageTest,
                       public ::testing::WithParamInterface<SecondAnswerCase> {};

// The version comes from a second Get Device ID; when that one fails the
// type is forgotten too, so the next call asks again.
TEST_P(SecondDeviceId, FailingForgetsTheTypeAndTheNextCallAsksAgain) {
    Boot();
    Bytes deviceId{0x1C, 0x01, 0x00, 0x20, 0x01, 0x01, 0x20, 0x02, 0xBF,
                   0x7D, 0x2A, 0x00, 0x11, 0x43, 0x00, 0x00, 0x00, 0x00};
    ScriptedKcsBmc bmc(Machine(), {deviceId, GetParam().frame, deviceId, deviceId});
    int type = -1;
    int version = -1;
    EXPECT_EQ(GetBmcTypeVersion(&type, &version), GetParam().result);
    EXPECT_EQ(type, -1);
    EXPECT_EQ(g_bmcType, BMC_TYPE_NONE);

    EXPECT_EQ(GetBmcTypeVersion(&type, &version), 0);
    EXPECT_EQ(type, BMC_TYPE_PRODUCT_43XX);
    EXPECT_EQ(version, 2);
    EXPECT_EQ(bmc.Requests().size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SecondDeviceId,
    ::testing::Values(SecondAnswerCase{"Busy", {0x1C, 0x01, 0xC0}, BMC_TYPE_UNKNOWN},
                      SecondAnswerCase{"NoResponse", {}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ refusals

TEST_F(MessageTest, RequestLongerThanItsRecordIsRefusedBeforeAnythingGoesOut) {
    Boot();
    RecordPorts();
    auto request = Request(0x06, 0x01);
    request->dataLength = kBmcMessageDataSize + 1;
    const auto response = Response();
    EXPECT_NE(ProcessMessage(request.get(), response.get(), 5000), 0);
    EXPECT_EQ(response->dataLength, 0u);
    EXPECT_TRUE(PortAccesses().empty());
}

TEST_F(MessageTest, WithoutIoPrivilegeNoPortIsTouched) {
    Boot({{"host.fault.iopl", "1"}});
    RecordPorts();
    const auto response = Response();
    EXPECT_NE(ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000), 0);
    EXPECT_TRUE(PortAccesses().empty());
}

TEST_F(MessageTest, UnusableSystemInterfaceFailsEveryRequestWithoutPortAccess) {
    Boot({{"smbios.ipmi.interface", "3"}});  // a BT interface
    testing::internal::CaptureStdout();
    ASSERT_EQ(BmcLibInitialize(), BMC_NOT_AVAILABLE);
    testing::internal::GetCapturedStdout();
    RecordPorts();
    const auto response = Response();
    EXPECT_NE(ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000), 0);
    EXPECT_EQ(response->dataLength, 0u);
    EXPECT_TRUE(PortAccesses().empty());
}

}  // namespace
}  // namespace bmc_test
