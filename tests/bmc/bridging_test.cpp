// Bridged requests to the simulated IPMB satellites (front panel 22h,
// hot-swap controllers C0h/C2h on channel 0, management engine 2Ch on
// channel 6) through Send Message and Get Message over the KCS ports.
#include <gtest/gtest.h>

#include "bmc/message.h"
#include "bmc/message_state.h"
#include "sim/bmc/ipmb.h"
#include "tests/bmc/bmc_sim_fixture.h"
#include "tests/bmc/scripted_kcs_bmc.h"

namespace bmc_test {
namespace {

// What crossed the KCS ports, in the simulated BMC's numbers.
using sim::ipmi::kGetMessage;
using sim::ipmi::kNetFnApp;
using sim::ipmi::kSendMessage;

class BridgingTest : public BmcSimTest {
  protected:
    std::vector<sim::ipmi::Exchange> SendMessages() { return KcsRequests(kNetFnApp, kSendMessage); }
    std::size_t GetMessageCount() { return KcsRequests(kNetFnApp, kGetMessage).size(); }
    // The sequence numbers the Send Message requests carried, in order.
    std::vector<int> SentSequences() {
        std::vector<int> sequences;
        for (const auto& send : SendMessages()) sequences.push_back(send.request.at(5) >> 2);
        return sequences;
    }
    const sim::ipmb::Satellite& Satellite(const std::string& name) {
        return *Bmc().Ipmb().Find(name);
    }
    int Bridge(std::uint8_t netFn, std::uint8_t cmd, std::uint8_t channel, std::uint8_t target,
               BMC_MESSAGE& response) {
        return ProcessSendMessage(Request(netFn, cmd, {}, target).get(), &response, channel, target,
                                  5000);
    }
};

// ------------------------------------------------------------ the exchange

TEST_F(BridgingTest, RequestForAnotherAddressGoesInsideSendMessageOnChannelZero) {
    Boot();
    const auto response = Response();
    ASSERT_EQ(ProcessMessage(Request(0x06, 0x01, {}, 0xC0).get(), response.get(), 5000), 0);

    const auto sends = SendMessages();
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(sends[0].request, (Bytes{0x00, 0xC0, 0x18, 0x28, 0x20, 0x06, 0x01, 0xD9}));
    EXPECT_EQ(GetMessageCount(), 1u);
    EXPECT_EQ(response->slaveAddress, 0xC0);
    EXPECT_EQ(response->netFn, 0x07);
    EXPECT_EQ(response->lun, 0);
    EXPECT_EQ(response->cmd, 0x01);
    EXPECT_EQ(response->completionCode, 0x00);
    EXPECT_EQ(DataOf(*response), Satellite("hsc0").Identity().DeviceIdData());
}

TEST_F(BridgingTest, RequestDataAndLunTravelInTheInnerFrame) {
    Boot();
    const auto response = Response();
    ASSERT_EQ(ProcessSendMessage(Request(0x0A, 0x10, {0x01, 0x02}, 0x2C, 1).get(), response.get(),
                                 6, 0x2C, 5000),
              0);

    const auto sends = SendMessages();
    ASSERT_EQ(sends.size(), 1u);
    EXPECT_EQ(sends[0].request,
              (Bytes{0x06, 0x2C, 0x29, 0xAB, 0x20, 0x06, 0x10, 0x01, 0x02, 0xC7}));
    const auto onBus = Entries("ipmb", "send");
    ASSERT_EQ(onBus.size(), 1u);
    EXPECT_EQ(onBus[0].address, 0x2Cu);
    EXPECT_EQ(onBus[0].value, 6u);
    // The management engine has no such command: its answer, not ours.
    EXPECT_EQ(response->slaveAddress, 0x2C);
    EXPECT_EQ(response->netFn, 0x0B);
    EXPECT_EQ(response->cmd, 0x10);
    EXPECT_EQ(response->completionCode, 0xC1);
    EXPECT_EQ(response->dataLength, 0u);
}

// ------------------------------------------------------------ attempts

struct AttemptCase {
    const char* name;
    std::uint8_t netFn;
    std::size_t attempts;
};

class BridgingAttempts : public BridgingTest, public ::testing::WithParamInterface<AttemptCase> {};

// Each refusal on the bus costs a second and makes later polls longer.
TEST_P(BridgingAttempts, SatelliteThatNeverAcknowledgesUsesUpTheAttempts) {
    Boot({{"ipmb.hsc0.fault.nak", "always"}});
    const auto response = Response();
    const double start = VirtualSeconds();
    EXPECT_EQ(Bridge(GetParam().netFn, 0x01, 0, 0xC0, *response), BMC_BRIDGING_FAILED);
    EXPECT_EQ(SendMessages().size(), GetParam().attempts);
    EXPECT_EQ(GetMessageCount(), 0u);
    EXPECT_GE(VirtualSeconds() - start, double(GetParam().attempts));
    EXPECT_EQ(incTestCount, 1);
}

INSTANTIATE_TEST_SUITE_P(NetFns, BridgingAttempts,
                         ::testing::Values(AttemptCase{"Application", 0x06, 5},
                                           AttemptCase{"Firmware", 0x08, 23}),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ polling

struct PollCase {
    const char* name;
    std::map<std::string, std::string> settings;
    std::uint8_t target;
    int result;
    std::size_t sendMessages;
    std::size_t getMessages;
};

class BridgingPolls : public BridgingTest, public ::testing::WithParamInterface<PollCase> {};

TEST_P(BridgingPolls, GetMessagePollsAsTheQueueAnswers) {
    const PollCase& c = GetParam();
    Boot(c.settings);
    const auto response = Response();
    EXPECT_EQ(Bridge(0x06, 0x01, 0, c.target, *response), c.result);
    EXPECT_EQ(SendMessages().size(), c.sendMessages);
    EXPECT_EQ(GetMessageCount(), c.getMessages);
}

INSTANTIATE_TEST_SUITE_P(
    Queues, BridgingPolls,
    ::testing::Values(
        // An empty queue uses up the allowance: 100 polls an attempt.
        PollCase{"SilentSatellite", {{"ipmb.hsc0.fault.silent", "always"}}, 0xC0, -504, 5, 500},
        // The front panel gets 1000.
        PollCase{
            "SilentFrontPanel", {{"ipmb.front_panel.fault.silent", "always"}}, 0x22, -504, 5, 5000},
        // So does everyone once a Send Message was refused on the bus.
        PollCase{"SilentAfterNak",
                 {{"ipmb.hsc0.fault.nak", "1"}, {"ipmb.hsc0.fault.silent", "always"}},
                 0xC0,
                 -504,
                 5,
                 4000},
        // Answers to other requests are skipped without using up the allowance.
        PollCase{"ForeignAnswersAhead", {{"ipmb.hsc0.fault.foreign_seq", "3"}}, 0xC0, 0, 1, 4},
        PollCase{"OnlyForeignAnswers",
                 {{"ipmb.hsc0.fault.foreign_seq", "always"}},
                 0xC0,
                 -504,
                 5,
                 5 * 101},
        // A BMC that stays busy is polled 126 more times, then the attempt fails.
        PollCase{"GetMessageAlwaysBusy",
                 {{"bmc.fault.get_message", "always:0x83"}},
                 0xC0,
                 -504,
                 5,
                 5 * 127},
        // The answer is there on a later poll.
        PollCase{"SlowSatellite", {{"ipmb.hsc1.reply_polls", "7"}}, 0xC2, 0, 1, 8},
        // A reply without Get Message's framing fails the attempt; the
        // second attempt finds the first attempt's answer.
        PollCase{"ReplyWithoutFraming", {{"bmc.fault.answer", "0x06:0x33:0x00:1"}}, 0xC0, 0, 2, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BridgingTest, RefusalOnTheBusLengthensEveryLaterPoll) {
    Boot({{"ipmb.hsc1.fault.nak", "1"}, {"ipmb.hsc0.fault.silent", "always"}});
    const auto response = Response();
    EXPECT_EQ(Bridge(0x06, 0x01, 0, 0xC2, *response), 0);
    EXPECT_EQ(SendMessages().size(), 2u);
    EXPECT_EQ(Bridge(0x06, 0x01, 0, 0xC0, *response), BMC_BRIDGING_FAILED);
    EXPECT_EQ(GetMessageCount(), 1u + 5 * 1000);
}

// ------------------------------------------------------------ sequence numbers

TEST_F(BridgingTest, SequenceNumbersRunFromOneTo63AndWrap) {
    Boot();
    const auto response = Response();
    for (int i = 0; i < 64; ++i) ASSERT_EQ(Bridge(0x06, 0x01, 0, 0xC0, *response), 0);
    std::vector<int> expected;
    for (int i = 0; i < 64; ++i) expected.push_back(i % 63 + 1);
    EXPECT_EQ(SentSequences(), expected);
}

// Leaving firmware transfer resets the front panel, which never answers:
// the exchange ends after the first Get Message and keeps its number.
TEST_F(BridgingTest, SequenceAdvancesAfterSuccessAndFailureButNotOnLeavingFirmwareTransfer) {
    Boot({{"ipmb.hsc1.fault.silent", "always"}});
    const auto response = Response();
    EXPECT_EQ(Bridge(0x06, 0x01, 0, 0xC0, *response), 0);
    EXPECT_EQ(Bridge(0x06, 0x01, 0, 0xC2, *response), BMC_BRIDGING_FAILED);
    const std::size_t getMessagesBefore = GetMessageCount();
    EXPECT_EQ(Bridge(0x08, 0x04, 0, 0x22, *response), 0);
    EXPECT_EQ(GetMessageCount(), getMessagesBefore + 1);
    EXPECT_EQ(Bridge(0x06, 0x01, 0, 0xC0, *response), 0);
    EXPECT_EQ(SentSequences(), (std::vector<int>{1, 2, 2, 2, 2, 2, 3, 3}));
}

// A Get Message that gets no response ends the attempt, and says so in the
// debug log.
TEST_F(BridgingTest, GetMessageWithoutResponseEndsTheAttempt) {
    Boot();
    const Bytes sendMessageAccepted{0x1C, kSendMessage, 0x00};
    ScriptedKcsBmc bmc(Machine(), {sendMessageAccepted, {}, sendMessageAccepted, {}});
    const auto response = Response();
    EXPECT_EQ(Bridge(0x06, 0x01, 0, 0xC0, *response), BMC_BRIDGING_FAILED);
    // Two attempts as scripted, then three that find no BMC to take Send Message.
    EXPECT_EQ(bmc.Requests().size(), 2u + 2u + 3u);
    EXPECT_EQ(ReadFile("DBGLOG.txt"),
              "Breaking after Getmsg Status is 1\n\r\n"
              "Breaking after Getmsg Status is 1\n\r\n");
}

TEST_F(BridgingTest, RequestTooLongForSendMessageIsRefusedBeforeAnythingGoesOut) {
    Boot();
    RecordPorts();
    auto request = Request(0x06, 0x01, {}, 0xC0);
    request->dataLength = kBmcMessageDataSize - 7;
    const auto response = Response();
    EXPECT_EQ(ProcessSendMessage(request.get(), response.get(), 0, 0xC0, 5000),
              BMC_BRIDGING_FAILED);
    EXPECT_TRUE(PortAccesses().empty());
    EXPECT_EQ(sendSeq, 1);
}

}  // namespace
}  // namespace bmc_test
