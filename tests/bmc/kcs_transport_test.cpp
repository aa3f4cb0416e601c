// The KCS transport against the simulated BMC's side of the interface:
// what goes over the ports, the read transfer, the error exit, and every
// wait's time-out with what it leaves of SIGALRM and the alarm.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <functional>

#include "bmc/kcs.h"
#include "bmc/message.h"
#include "sim/bmc/kcs_interface.h"
#include "tests/bmc/bmc_sim_fixture.h"
#include "tests/bmc/scripted_kcs_bmc.h"

namespace bmc_test {
namespace {

constexpr std::uint8_t kWriteStart = 0x61;
constexpr std::uint8_t kWriteEnd = 0x62;
constexpr std::uint8_t kAbort = 0x60;
constexpr std::uint8_t kReadByte = 0x68;

// The port writes of a write transfer of this frame.
std::vector<PortAccess> WriteTransfer(const Bytes& frame) {
    std::vector<PortAccess> writes{Out(kStatusPort, kWriteStart)};
    for (std::size_t i = 0; i + 1 < frame.size(); ++i) writes.push_back(Out(kDataPort, frame[i]));
    writes.push_back(Out(kStatusPort, kWriteEnd));
    writes.push_back(Out(kDataPort, frame.back()));
    return writes;
}

void HostAlarmHandler(int) {}

class KcsTest : public BmcSimTest {};

// ------------------------------------------------------------ frames on the wire

struct FrameCase {
    const char* name;
    std::uint8_t netFn;
    std::uint8_t lun;
    std::uint8_t cmd;
    Bytes data;
    Bytes frame;  // what must go over the ports
};

class KcsFrames : public KcsTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(KcsFrames, RequestGoesOutAsNetFnShiftedCommandAndDataWithoutLun) {
    const FrameCase& c = GetParam();
    Boot();
    RecordPorts();
    const auto response = Response();
    EXPECT_EQ(ProcessMessage(Request(c.netFn, c.cmd, c.data, kBmcSlaveAddress, c.lun).get(),
                             response.get(), 5000),
              0);

    const std::vector<PortAccess> writes = PortWrites();
    const std::vector<PortAccess> expected = WriteTransfer(c.frame);
    ASSERT_GE(writes.size(), expected.size());
    EXPECT_EQ(std::vector<PortAccess>(writes.begin(), writes.begin() + expected.size()), expected);
    const auto requests = Exchanges("kcs");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].netFn, c.netFn);
    EXPECT_EQ(requests[0].lun, 0);
    EXPECT_EQ(requests[0].cmd, c.cmd);
    EXPECT_EQ(requests[0].request, c.data);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, KcsFrames,
    ::testing::Values(FrameCase{"GetDeviceIdIsATwoByteFrame", 0x06, 0, 0x01, {}, {0x18, 0x01}},
                      FrameCase{"LunIsNotSent", 0x06, 3, 0x01, {}, {0x18, 0x01}},
                      FrameCase{"DataFollowTheCommand",
                                0x0A,
                                2,
                                0x40,
                                {0x01, 0x02, 0x03},
                                {0x28, 0x40, 0x01, 0x02, 0x03}}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ the read transfer

TEST_F(KcsTest, ReadTransferTakesEachByteWithReadAndEndsOnTheIdleDummyByte) {
    Boot();
    RecordPorts();
    const auto response = Response();
    ASSERT_EQ(ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000), 0);

    const Bytes deviceId = Bmc().Identity().DeviceIdData();
    EXPECT_EQ(response->completionCode, 0x00);
    EXPECT_EQ(DataOf(*response), deviceId);
    EXPECT_EQ(response->netFn, 0x06);
    EXPECT_EQ(response->cmd, 0x01);

    // After the request's last byte: each frame byte read from the data
    // register and acknowledged with READ, then the dummy byte of idle.
    Bytes frame{0x1C, 0x01, 0x00};
    frame.insert(frame.end(), deviceId.begin(), deviceId.end());
    std::vector<PortAccess> expected;
    for (const std::uint8_t byte : frame) {
        expected.push_back(In(kDataPort, byte));
        expected.push_back(Out(kDataPort, kReadByte));
    }
    expected.push_back(In(kDataPort, 0x00));
    std::vector<PortAccess> readPhase;
    const std::vector<PortAccess> accesses = PortAccesses();
    const auto lastRequestByte = std::find(accesses.begin(), accesses.end(), Out(kDataPort, 0x01));
    ASSERT_NE(lastRequestByte, accesses.end());
    for (auto it = lastRequestByte + 1; it != accesses.end(); ++it) {
        if (it->port == kDataPort) readPhase.push_back(*it);
    }
    EXPECT_EQ(readPhase, expected);
}

TEST_F(KcsTest, ResponseLongerThanTheCapacityIsReportedAndNothingIsWrittenPastIt) {
    Boot();
    Bytes frame{0x18, 0x01};
    ASSERT_EQ(KCSSendMessage(frame.data(), 2), KCS_OK);
    std::array<std::uint8_t, 8> buffer{};
    buffer.fill(0xEE);
    unsigned count = 0;
    EXPECT_EQ(KCSReadBMCData(buffer.data(), 5, &count), KCS_OVERFLOW);
    EXPECT_EQ(count, 5u);
    const Bytes deviceId = Bmc().Identity().DeviceIdData();
    EXPECT_EQ(Bytes(buffer.begin(), buffer.end()),
              (Bytes{0x1C, 0x01, 0x00, deviceId[0], deviceId[1], 0xEE, 0xEE, 0xEE}));
}

struct ShortFrameCase {
    const char* name;
    Bytes frame;
    int status;
    std::uint32_t dataLength;
};

class KcsShortFrames : public KcsTest, public ::testing::WithParamInterface<ShortFrameCase> {};

// A BMC whose answer lacks the completion code gives no response, never a
// negative length.
TEST_P(KcsShortFrames, FrameWithoutCompletionCodeIsNoResponse) {
    Boot();
    ScriptedKcsBmc bmc(Machine(), {GetParam().frame});
    const auto response = Response();
    EXPECT_EQ(ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000), GetParam().status);
    EXPECT_EQ(response->dataLength, GetParam().dataLength);
    EXPECT_EQ(bmc.Requests(), std::vector<Bytes>{Bytes({0x18, 0x01})});
}

INSTANTIATE_TEST_SUITE_P(
    Frames, KcsShortFrames,
    ::testing::Values(ShortFrameCase{"Empty", {}, 1, 0}, ShortFrameCase{"NetFnOnly", {0x1C}, 1, 0},
                      ShortFrameCase{"NoCompletionCode", {0x1C, 0x01}, 1, 0},
                      ShortFrameCase{"CompletionCodeOnly", {0x1C, 0x01, 0xC1}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KcsTest, CallersBufferTooSmallForTheResponseIsNoResponse) {
    Boot();
    std::array<std::uint8_t, 8> buffer{};
    buffer.fill(0xEE);
    int length = 4;
    std::uint8_t completionCode = 0xAA;
    _IMBPREQUESTDATA request{0x01, kBmcSlaveAddress, 0, 0x06, 0, nullptr, 0};
    EXPECT_EQ(SendTimedImbpRequest_t(&request, 5000, buffer.data(), &length, &completionCode), 1);
    EXPECT_EQ(buffer,
              (std::array<std::uint8_t, 8>{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(KcsRequests(0x06, 0x01).size(), 1u);
}

// ------------------------------------------------------------ the error exit

class KcsErrorExit : public KcsTest, public ::testing::WithParamInterface<const char*> {};

// Whether the interface keeps failing or recovers, the read reports the
// error; the error exit leaves the interface idle for the next request.
TEST_P(KcsErrorExit, ErrorStateDuringTheReadRunsTheErrorExitAndFailsTheRead) {
    Boot({{"kcs.fault.read_error_after", "3"}, {"kcs.fault.read_error_times", GetParam()}});
    Bytes frame{0x18, 0x01};
    ASSERT_EQ(KCSSendMessage(frame.data(), 2), KCS_OK);
    RecordPorts();
    std::array<std::uint8_t, 64> buffer{};
    unsigned count = 0;
    EXPECT_EQ(KCSReadBMCData(buffer.data(), buffer.size(), &count), KCS_STATE_ERROR);
    EXPECT_EQ(count, 3u);

    const std::vector<PortAccess> writes = PortWrites();
    const auto abort = std::find(writes.begin(), writes.end(), Out(kStatusPort, kAbort));
    ASSERT_NE(abort, writes.end());
    EXPECT_EQ(std::vector<PortAccess>(abort, writes.end()),
              (std::vector<PortAccess>{Out(kStatusPort, kAbort), Out(kDataPort, 0x00),
                                       Out(kDataPort, kReadByte)}));
    EXPECT_EQ(Entries("kcs", "abort").size(), 1u);
    EXPECT_EQ(Machine().Find<sim::KcsInterface>()->Status() & 0xC3, 0x00);  // idle, no OBF, no IBF
}

INSTANTIATE_TEST_SUITE_P(Faults, KcsErrorExit, ::testing::Values("1", "always"));

TEST_F(KcsTest, NextRequestSucceedsAfterAnErrorExit) {
    Boot({{"kcs.fault.read_error_after", "0"}, {"kcs.fault.read_error_times", "1"}});
    const auto response = Response();
    EXPECT_NE(ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000), 0);
    EXPECT_EQ(response->dataLength, 0u);
    EXPECT_EQ(ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000), 0);
    EXPECT_EQ(DataOf(*response), Bmc().Identity().DeviceIdData());
}

// ------------------------------------------------------------ time-outs

struct WaitCase {
    const char* name;
    std::map<std::string, std::string> settings;
    std::function<int()> call;
    int result;
};

class KcsWaits : public KcsTest, public ::testing::WithParamInterface<WaitCase> {};

// A host handler is in place before the wait, so that the check after it
// shows the wait set SIGALRM back to its default rather than never
// touching it.
TEST_P(KcsWaits, GivesUpAfterFifteenSecondsAndLeavesNoHandlerNorAlarm) {
    Boot(GetParam().settings);
    std::signal(SIGALRM, HostAlarmHandler);
    const double start = VirtualSeconds();
    EXPECT_EQ(GetParam().call(), GetParam().result);
    EXPECT_GE(VirtualSeconds() - start, 15.0);
    EXPECT_LT(VirtualSeconds() - start, 15.1);
    EXPECT_TRUE(SigalrmAtDefaultAndNoAlarm());
}

int SendGetDeviceId() {
    Bytes frame{0x18, 0x01};
    return KCSSendMessage(frame.data(), 2);
}

int SendAndReadGetDeviceId() {
    std::array<std::uint8_t, 64> buffer{};
    unsigned count = 0;
    const int sent = SendGetDeviceId();
    return sent != KCS_OK ? -sent : KCSReadBMCData(buffer.data(), buffer.size(), &count);
}

int ProcessGetDeviceId() {
    const auto response = Response();
    return ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000);
}

INSTANTIATE_TEST_SUITE_P(
    Waits, KcsWaits,
    ::testing::Values(
        WaitCase{"WaitWhileIbfOnAHungBmc",
                 {{"kcs.fault.ibf_stuck", "1"}},
                 [] { return WaitWhileIbf(kKcsWaitLimit); },
                 1},
        WaitCase{"WaitTilObfWithNothingToRead", {}, [] { return WaitTilObf(kKcsWaitLimit); }, 1},
        WaitCase{"SendToAHungBmcIsBusy", {{"kcs.fault.ibf_stuck", "1"}}, SendGetDeviceId, KCS_BUSY},
        // WRITE_START and the first byte are taken, WRITE_END is not.
        WaitCase{"SendToABmcThatStopsMidTransfer",
                 {{"kcs.fault.stop_after", "2"}},
                 SendGetDeviceId,
                 KCS_TIMEOUT},
        // The request and the first READ are taken, the second READ is not.
        WaitCase{"ReadFromABmcThatStopsMidTransfer",
                 {{"kcs.fault.stop_after", "5"}},
                 SendAndReadGetDeviceId,
                 KCS_TIMEOUT},
        WaitCase{
            "ErrorExitOnAHungBmc", {{"kcs.fault.ibf_stuck", "1"}}, KCSBMCErrorHandler, KCS_TIMEOUT},
        WaitCase{"CheckMessageReadyForTheBmc", {}, [] { return CheckMessageReady(0x20, 0); }, 1},
        WaitCase{
            "CheckMessageReadyForASatellite", {}, [] { return CheckMessageReady(0x22, 0); }, 1},
        WaitCase{
            "ProcessMessageWithNothingAtThePorts", {{"kcs.present", "0"}}, ProcessGetDeviceId, 1}),
    [](const auto& info) { return std::string(info.param.name); });

class KcsCompletedWaits : public KcsTest, public ::testing::WithParamInterface<const char*> {};

// With a slow BMC the waits poll and arm their alarm; with a quick one the
// first status read answers them.
TEST_P(KcsCompletedWaits, CompletedRequestLeavesNoHandlerNorAlarm) {
    Boot({{"kcs.ibf_polls", GetParam()}});
    std::signal(SIGALRM, HostAlarmHandler);
    EXPECT_EQ(ProcessGetDeviceId(), 0);
    EXPECT_TRUE(SigalrmAtDefaultAndNoAlarm());
}

INSTANTIATE_TEST_SUITE_P(BmcSpeeds, KcsCompletedWaits, ::testing::Values("0", "3"));

// ------------------------------------------------------------ status helpers

TEST_F(KcsTest, MessageForSystemSoftwareShowsInSmsAtn) {
    Boot();
    EXPECT_EQ(KCSMessageReady(), 0);
    // A satellite's answer in the BMC's receive message queue.
    Bmc().ReceiveQueue().Arrive(0, {0x20, 0x1C, 0xC4, 0xC0, 0x06, 0x01, 0x00, 0x00}, 0, false);
    EXPECT_EQ(KCSMessageReady(), 1);
    const double start = VirtualSeconds();
    EXPECT_EQ(CheckMessageReady(0x22, 0), 0);
    EXPECT_LT(VirtualSeconds() - start, 1.0);
}

// Fixed register contents, for the presence test.
class FixedRegisters : public sim::PortHandler {
  public:
    FixedRegisters(std::uint8_t data, std::uint8_t status) : mData(data), mStatus(status) {}
    std::uint8_t PortIn(std::uint16_t port) override { return port == kDataPort ? mData : mStatus; }
    void PortOut(std::uint16_t, std::uint8_t) override {}

  private:
    std::uint8_t mData;
    std::uint8_t mStatus;
};

struct PresenceCase {
    std::uint8_t data;
    std::uint8_t status;
    int present;
};

class KcsPresence : public KcsTest, public ::testing::WithParamInterface<PresenceCase> {};

TEST_P(KcsPresence, OnlyBothRegistersReadingFFhMeanNothingIsThere) {
    Boot({{"kcs.present", "0"}});
    FixedRegisters registers(GetParam().data, GetParam().status);
    Machine().Ports().Claim(kDataPort, 2, registers);
    EXPECT_EQ(IsKCS(), GetParam().present);
    Machine().Ports().Release(kDataPort, 2);
}

INSTANTIATE_TEST_SUITE_P(Registers, KcsPresence,
                         ::testing::Values(PresenceCase{0xFF, 0xFF, 0}, PresenceCase{0xFF, 0x00, 1},
                                           PresenceCase{0x00, 0xFF, 1},
                                           PresenceCase{0x00, 0x00, 1}));

TEST_F(KcsTest, SimulatedInterfaceIsPresentUnlessDisabled) {
    Boot();
    EXPECT_EQ(IsKCS(), 1);
    Boot({{"kcs.present", "0"}});
    EXPECT_EQ(IsKCS(), 0);
}

}  // namespace
}  // namespace bmc_test
