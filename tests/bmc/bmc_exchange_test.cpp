// The helper every library fills its requests and reads its responses
// through: a request that does not fit its record is refused untouched, and
// a response's data end where its length says, never past the record.
#include "bmc/bmc_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "bmc/ipmi_numbers.h"
#include "sim/bmc/fru/fru_commands.h"
#include "tests/bmc/bmc_sim_fixture.h"

namespace bmc_test {
namespace {

constexpr std::uint8_t kOemCommand = 0x71;

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}
constexpr BmcCommand kOem{.netFn = sim::ipmi::kNetFnOem, .lun = 1, .cmd = kOemCommand};

// ------------------------------------------------------------ filling a request

struct FillCase {
    const char* name;
    std::size_t head;
    std::size_t payload;
    bool fits;
};

class FillRequestSizes : public ::testing::TestWithParam<FillCase> {};

TEST_P(FillRequestSizes, FitsTheRecordOrLeavesItUntouched) {
    const FillCase& c = GetParam();
    const auto request = std::make_unique<BMC_MESSAGE>();
    std::fill(std::begin(request->data), std::end(request->data), 0xEE);
    request->dataLength = 7;
    const Bytes head(c.head, 0x11);
    const Bytes payload(c.payload, 0x22);

    ASSERT_EQ(FillRequest(*request, kOem, head, payload), c.fits);
    if (c.fits) {
        EXPECT_EQ(request->slaveAddress, kBmcSlaveAddress);
        EXPECT_EQ(request->netFn, sim::ipmi::kNetFnOem);
        EXPECT_EQ(request->lun, 1);
        EXPECT_EQ(request->cmd, kOemCommand);
        Bytes expected = head;
        expected.insert(expected.end(), payload.begin(), payload.end());
        EXPECT_EQ(DataOf(*request), expected);
    } else {
        EXPECT_EQ(request->dataLength, 7u);
        EXPECT_EQ(request->cmd, 0);
        EXPECT_TRUE(std::all_of(std::begin(request->data), std::end(request->data),
                                [](std::uint8_t byte) { return byte == 0xEE; }));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, FillRequestSizes,
    ::testing::Values(FillCase{"Empty", 0, 0, true}, FillCase{"HeadAndPayload", 4, 8, true},
                      FillCase{"WholeRecord", 5, kBmcMessageDataSize - 5, true},
                      FillCase{"OneBytePastTheRecord", 5, kBmcMessageDataSize - 4, false},
                      FillCase{"HeadAlonePastTheRecord", kBmcMessageDataSize + 1, 0, false}),
    CaseName<FillCase>);

// ------------------------------------------------------------ reading a response

struct LengthCase {
    const char* name;
    std::uint32_t dataLength;
    std::size_t spanned;
};

class ResponseDataLengths : public ::testing::TestWithParam<LengthCase> {};

TEST_P(ResponseDataLengths, EndWhereTheLengthSaysAndNeverPastTheRecord) {
    const auto response = std::make_unique<BMC_MESSAGE>();
    response->dataLength = GetParam().dataLength;
    const std::span<const std::uint8_t> data = ResponseData(*response);
    EXPECT_EQ(data.size(), GetParam().spanned);
    if (!data.empty()) {
        EXPECT_EQ(data.data(), response->data);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ResponseDataLengths,
    ::testing::Values(LengthCase{"None", 0, 0}, LengthCase{"Short", 3, 3},
                      LengthCase{"WholeRecord", kBmcMessageDataSize, kBmcMessageDataSize},
                      LengthCase{"OnePastTheRecord", kBmcMessageDataSize + 1, 0},
                      LengthCase{"FarPastTheRecord", 0xFFFFFFFF, 0}),
    CaseName<LengthCase>);

// ------------------------------------------------------------ through the BMC

class BmcExchangeTest : public BmcSimTest {};

TEST_F(BmcExchangeTest, ResponseShorterThanAskedGivesAShortSpan) {
    Boot();
    // Asked for eight bytes, the command answers with three.
    Bmc().Commands().Register(sim::ipmi::kNetFnOem, kOemCommand, [](const sim::ipmi::Request&) {
        return sim::ipmi::Response{0x00, Bytes{0x01, 0x02, 0x03}};
    });
    const auto request = std::make_unique<BMC_MESSAGE>();
    const auto response = std::make_unique<BMC_MESSAGE>();
    BmcExchange exchange(*request, *response);
    const Bytes count{0x08};
    ASSERT_TRUE(exchange.Fill({.netFn = sim::ipmi::kNetFnOem, .cmd = kOemCommand}, count,
                              Bytes{0xA0, 0xA1}));

    ASSERT_EQ(exchange.Send(5000), 0);
    EXPECT_EQ(exchange.CompletionCode(), ipmi::kCompletionOk);
    const std::span<const std::uint8_t> data = exchange.Data();
    EXPECT_EQ(Bytes(data.begin(), data.end()), (Bytes{0x01, 0x02, 0x03}));
    const auto sent = KcsRequests(sim::ipmi::kNetFnOem, kOemCommand);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].request, (Bytes{0x08, 0xA0, 0xA1}));
}

// ------------------------------------------------------------ the vocabulary

// The client's numbers against the simulated BMC's own table, written apart
// from them: a number mistyped on either side shows here by name.
struct NumberCase {
    const char* name;
    std::uint8_t client;
    std::uint8_t simulated;
};

class IpmiNumbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(IpmiNumbers, MatchTheSimulatedBmc) {
    EXPECT_EQ(GetParam().client, GetParam().simulated);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, IpmiNumbers,
    ::testing::Values(
        NumberCase{"NetFnApp", ipmi::kNetFnApp, sim::ipmi::kNetFnApp},
        NumberCase{"NetFnFirmware", ipmi::kNetFnFirmware, sim::ipmi::kNetFnFirmware},
        NumberCase{"NetFnStorage", ipmi::kNetFnStorage, sim::ipmi::kNetFnStorage},
        NumberCase{"GetDeviceId", ipmi::kGetDeviceId, sim::ipmi::kGetDeviceId},
        NumberCase{"GetMessage", ipmi::kGetMessage, sim::ipmi::kGetMessage},
        NumberCase{"SendMessage", ipmi::kSendMessage, sim::ipmi::kSendMessage},
        NumberCase{"MasterWriteRead", ipmi::kMasterWriteRead, sim::fru::kMasterWriteRead},
        NumberCase{"ReadFruData", ipmi::kReadFruData, sim::fru::kReadFruData},
        NumberCase{"WriteFruData", ipmi::kWriteFruData, sim::fru::kWriteFruData},
        NumberCase{"CompletionOk", ipmi::kCompletionOk, sim::ipmi::kOk},
        NumberCase{"MessageQueueEmpty", ipmi::kMessageQueueEmpty, sim::ipmi::kNoMessage},
        NumberCase{"NakOnWrite", ipmi::kNakOnWrite, sim::ipmi::kNak},
        NumberCase{"NodeBusy", ipmi::kNodeBusy, sim::ipmi::kNodeBusy},
        NumberCase{"Timeout", ipmi::kTimeout, sim::ipmi::kTimeout},
        NumberCase{"RequestLengthInvalid", ipmi::kRequestLengthInvalid, sim::ipmi::kInvalidLength},
        NumberCase{"RequestFieldLengthExceeded", ipmi::kRequestFieldLengthExceeded,
                   sim::ipmi::kLengthExceeded},
        NumberCase{"CannotReturnBytes", ipmi::kCannotReturnBytes, sim::ipmi::kCannotReturnBytes},
        NumberCase{"InvalidDataField", ipmi::kInvalidDataField, sim::ipmi::kInvalidDataField},
        NumberCase{"UnspecifiedError", ipmi::kUnspecifiedError, sim::ipmi::kUnspecified}),
    CaseName<NumberCase>);

}  // namespace
}  // namespace bmc_test
