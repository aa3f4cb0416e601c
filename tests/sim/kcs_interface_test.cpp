// The BMC's side of the KCS interface as a host meets it: byte by byte
// through the platform layer's port accesses, with the state bits after
// every step, the error exit and every fault.
#include "sim/bmc/kcs_interface.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/sim/kcs_host.h"
#include "tests/sim/settings_of.h"

namespace {

using simtest::KcsHost;
using Bytes = std::vector<std::uint8_t>;
using sim::kcs::kErrorState;
using sim::kcs::kIdleState;
using sim::kcs::kReadState;
using sim::kcs::kWriteState;

constexpr std::uint8_t kObf = sim::kcs::kObf;
constexpr std::uint8_t kIbf = sim::kcs::kIbf;
constexpr std::uint8_t kCd = sim::kcs::kCommandData;

const Bytes kGetDeviceId = {0x18, 0x01};
// The default BMC's answer: netFn 07h, command, completion code, 15 bytes.
const Bytes kDeviceIdResponse = {0x1C, 0x01, 0x00, 0x20, 0x01, 0x01, 0x20, 0x02, 0xBF,
                                 0x7D, 0x2A, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};

void Reset(simtest::SettingPairs settings = {}) {
    sim::ResetMachine(simtest::SettingsOf(settings));
}

std::vector<sim::LogEntry> KcsLog(const std::string& operation) {
    std::vector<sim::LogEntry> found;
    for (const sim::LogEntry& entry : sim::TheMachine().Log().Of("kcs")) {
        if (entry.operation == operation) found.push_back(entry);
    }
    return found;
}

// The states a host sees for a frame of n bytes and a response of m bytes:
// WRITE after WRITE_START, after each of the first n - 1 bytes and after
// WRITE_END; READ before each response byte; IDLE at the end.
std::vector<std::uint8_t> TransferStates(std::size_t frame, std::size_t response) {
    std::vector<std::uint8_t> states(frame + 1, kWriteState);
    states.insert(states.end(), response, kReadState);
    states.push_back(kIdleState);
    return states;
}

// ------------------------------------------------------------ transfers

TEST(KcsTransfer, EveryPortAccessOfAGetDeviceIdLeavesTheStatusTheStateMachineGives) {
    Reset();
    KcsHost host;
    struct Step {
        enum Op { kCommand, kData, kRead } op;
        std::uint8_t value;   // written, or expected from the data register
        std::uint8_t status;  // expected afterwards
    };
    std::vector<Step> steps = {
        {Step::kCommand, 0x61, kWriteState | kCd | kObf},  // the BMC leaves a dummy byte
        {Step::kRead, 0x00, kWriteState | kCd},
        {Step::kData, 0x18, kWriteState | kObf},
        {Step::kRead, 0x00, kWriteState},
        {Step::kCommand, 0x62, kWriteState | kCd | kObf},
        {Step::kRead, 0x00, kWriteState | kCd},
        {Step::kData, 0x01, kReadState | kObf},
    };
    for (std::size_t i = 0; i < kDeviceIdResponse.size(); ++i) {
        if (i > 0) steps.push_back({Step::kData, 0x68, kReadState | kObf});
        steps.push_back({Step::kRead, kDeviceIdResponse[i], kReadState});
    }
    steps.push_back({Step::kData, 0x68, kIdleState | kObf});
    steps.push_back({Step::kRead, 0x00, kIdleState});

    EXPECT_EQ(host.Status(), kIdleState);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        switch (steps[i].op) {
            case Step::kCommand:
                host.WriteCommand(steps[i].value);
                break;
            case Step::kData:
                host.WriteData(steps[i].value);
                break;
            case Step::kRead:
                EXPECT_EQ(host.ReadData(), steps[i].value);
                break;
        }
        EXPECT_EQ(host.Status(), steps[i].status);
    }

    const auto requests = KcsLog("request");
    ASSERT_EQ(requests.size(), 1u);
    const auto exchange = sim::ipmi::LoggedExchange(requests[0]);
    ASSERT_TRUE(exchange);
    EXPECT_EQ(exchange->netFn, 0x06);
    EXPECT_EQ(exchange->cmd, 0x01);
    EXPECT_TRUE(exchange->request.empty());
    EXPECT_EQ(exchange->completionCode, 0x00);
    EXPECT_EQ(exchange->response, Bytes(kDeviceIdResponse.begin() + 3, kDeviceIdResponse.end()));
    EXPECT_TRUE(KcsLog("error").empty());
}

TEST(KcsTransfer, TheHostFlowCarriesRequestsOfEverySizeTheInputBufferHolds) {
    struct Case {
        const char* name;
        Bytes frame;
        Bytes response;
    };
    const Case cases[] = {
        {"two bytes, netFn and command", kGetDeviceId, kDeviceIdResponse},
        {"LUN 3 comes back in the response",
         {0x1B, 0x01},
         [] {
             Bytes response = kDeviceIdResponse;
             response[0] = 0x1F;
             return response;
         }()},
        {"data the command does not take", {0x18, 0x01, 0xAA, 0xBB}, {0x1C, 0x01, 0xC7}},
        {"a command nobody serves", {0x28, 0x7F, 1, 2, 3, 4, 5, 6}, {0x2C, 0x7F, 0xC1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset({{"kcs.max_request", "8"}});
        KcsHost host;
        Bytes response;
        ASSERT_EQ(host.Exchange(c.frame, &response), KcsHost::Result::kOk);
        EXPECT_EQ(response, c.response);
        EXPECT_EQ(host.States(), TransferStates(c.frame.size(), c.response.size()));
        ASSERT_EQ(KcsLog("request").size(), 1u);
        const auto exchange = sim::ipmi::LoggedExchange(KcsLog("request")[0]);
        ASSERT_TRUE(exchange);
        EXPECT_EQ(exchange->lun, c.frame[0] & 3);
        EXPECT_EQ(exchange->request, Bytes(c.frame.begin() + 2, c.frame.end()));
        EXPECT_EQ(exchange->completionCode, c.response[2]);
    }
}

TEST(KcsTransfer, StateChangesAreLoggedWhenAsked) {
    Reset({{"kcs.log_states", "1"}});
    KcsHost host;
    Bytes response;
    ASSERT_EQ(host.Exchange(kGetDeviceId, &response), KcsHost::Result::kOk);
    std::vector<std::string> changes;
    for (const sim::LogEntry& entry : KcsLog("state")) changes.push_back(entry.detail);
    EXPECT_EQ(changes,
              (std::vector<std::string>{"IDLE -> WRITE", "WRITE -> READ", "READ -> IDLE"}));
}

TEST(KcsTransfer, WriteStartWhileReadingDropsTheOldResponse) {
    Reset();
    KcsHost host;
    ASSERT_EQ(host.Write(kGetDeviceId), KcsHost::Result::kOk);
    ASSERT_TRUE(host.WaitObfSet());
    EXPECT_EQ(host.ReadData(), 0x1C);
    // A host that gives up on a response starts the next request at once.
    Bytes response;
    ASSERT_EQ(host.Exchange(Bytes{0x18, 0x31}, &response), KcsHost::Result::kOk);
    EXPECT_EQ(response, (Bytes{0x1C, 0x31, 0x00, 0x00}));  // Get Message Flags: none
    EXPECT_EQ(KcsLog("request").size(), 2u);
    EXPECT_TRUE(KcsLog("error").empty());
}

TEST(KcsTransfer, SmsAtnIsSetWhileTheReceiveMessageQueueHoldsAMessage) {
    Reset();
    KcsHost host;
    EXPECT_EQ(host.Status() & sim::kcs::kSmsAtn, 0);
    // Send Message to the front panel (22h) on channel 0: Get Device ID.
    const Bytes send = {0x18, 0x34, 0x00, 0x22, 0x18, 0xC6, 0x20, 0x06, 0x01, 0xD9};
    Bytes response;
    ASSERT_EQ(host.Exchange(send, &response), KcsHost::Result::kOk);
    EXPECT_EQ(response, (Bytes{0x1C, 0x34, 0x00}));
    EXPECT_NE(host.Status() & sim::kcs::kSmsAtn, 0);

    ASSERT_EQ(host.Exchange(Bytes{0x18, 0x33}, &response), KcsHost::Result::kOk);
    ASSERT_GE(response.size(), 4u);
    EXPECT_EQ(response[2], 0x00);
    EXPECT_EQ(host.Status() & sim::kcs::kSmsAtn, 0);
}

// ------------------------------------------------------------ the error exit

TEST(KcsErrorExit, ProtocolViolationsEnterErrorAndTheErrorExitReportsWhy) {
    struct Case {
        const char* name;
        simtest::SettingPairs settings;
        std::function<void(KcsHost&)> violate;
        std::uint8_t code;
        const char* reason;
    };
    const Case cases[] = {
        {"a control code the interface does not know",
         {},
         [](KcsHost& host) { host.WriteCommand(0x65); },
         0x02,
         "illegal control code 65h"},
        {"WRITE_END before any data byte",
         {},
         [](KcsHost& host) {
             host.WriteCommand(0x61);
             host.ClearObf();
             host.WriteCommand(0x62);
         },
         0x02,
         "WRITE_END before any data byte"},
        {"a data byte outside a transfer",
         {},
         [](KcsHost& host) { host.WriteData(0x18); },
         0xFF,
         "data byte 18h outside a transfer"},
        {"a data byte other than READ while reading",
         {},
         [](KcsHost& host) {
             host.Write(kGetDeviceId);
             host.WaitObfSet();
             host.ReadData();
             host.WriteData(0x55);
         },
         0x02,
         "data byte 55h while reading"},
        {"a request longer than the input buffer",
         {{"kcs.max_request", "3"}},
         [](KcsHost& host) {
             host.Write(Bytes{0x18, 0x01, 0x00, 0x00});
         },
         0x06,
         "request longer than 3 bytes"},
        {"a byte other than 00h after GET_STATUS/ABORT",
         {},
         [](KcsHost& host) {
             host.WriteCommand(0x60);
             host.ClearObf();
             host.WriteData(0x01);
         },
         0xFF,
         "data byte 01h after GET_STATUS/ABORT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(c.settings);
        KcsHost host;
        c.violate(host);
        const auto status = host.WaitIbfClear();
        ASSERT_TRUE(status);
        EXPECT_EQ(*status & sim::kcs::kStateMask, kErrorState);
        const auto errors = KcsLog("error");
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].address, c.code);
        EXPECT_NE(errors[0].detail.find(c.reason), std::string::npos) << errors[0].detail;

        EXPECT_EQ(host.ErrorExit(), c.code);
        // The interface is usable again, and reports no error any more.
        Bytes response;
        EXPECT_EQ(host.Exchange(kGetDeviceId, &response), KcsHost::Result::kOk);
        EXPECT_EQ(response, kDeviceIdResponse);
        EXPECT_EQ(host.ErrorExit(), 0x00);
    }
}

TEST(KcsErrorExit, AbortReportsWhetherItCutATransferShort) {
    using Changes = std::vector<std::string>;
    struct Case {
        const char* name;
        std::function<void(KcsHost&)> before;
        std::uint8_t code;
        const char* state;
        std::size_t requests;  // that reached the BMC before the abort
        Changes changes;       // of the error exit: WRITE, READ (status byte), IDLE
    };
    const Case cases[] = {
        {"nothing in progress",
         [](KcsHost&) {},
         0x00,
         "IDLE",
         0,
         {"IDLE -> WRITE", "WRITE -> READ", "READ -> IDLE"}},
        {"in the middle of a write",
         [](KcsHost& host) {
             host.WriteCommand(0x61);
             host.WaitIbfClear();
             host.ClearObf();
             host.WriteData(0x18);
         },
         0x01,
         "WRITE",
         0,
         {"WRITE -> READ", "READ -> IDLE"}},
        {"in the middle of a read",
         [](KcsHost& host) {
             host.Write(kGetDeviceId);
             host.WaitObfSet();
             host.ReadData();
         },
         0x01,
         "READ",
         1,
         {"READ -> WRITE", "WRITE -> READ", "READ -> IDLE"}},
        {"after a complete exchange",
         [](KcsHost& host) {
             Bytes response;
             host.Exchange(kGetDeviceId, &response);
         },
         0x00,
         "IDLE",
         1,
         {"IDLE -> WRITE", "WRITE -> READ", "READ -> IDLE"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset({{"kcs.log_states", "1"}});
        KcsHost host;
        c.before(host);
        EXPECT_EQ(KcsLog("request").size(), c.requests);
        sim::TheMachine().Log().Clear();

        EXPECT_EQ(host.ErrorExit(), c.code);
        const auto aborts = KcsLog("abort");
        ASSERT_EQ(aborts.size(), 1u);
        EXPECT_EQ(aborts[0].address, c.code);
        EXPECT_EQ(aborts[0].detail, c.state);
        Changes changes;
        for (const sim::LogEntry& entry : KcsLog("state")) changes.push_back(entry.detail);
        EXPECT_EQ(changes, c.changes);
        EXPECT_TRUE(KcsLog("request").empty());
    }
}

// ------------------------------------------------------------ a slow BMC

TEST(KcsSlowBmc, IbfStaysSetForTheConfiguredPollsBeforeTheBmcTakesTheByte) {
    Reset({{"kcs.ibf_polls", "3"}});
    KcsHost host;
    host.WriteCommand(0x61);
    for (int poll = 0; poll < 3; ++poll) EXPECT_EQ(host.Status(), kIdleState | kCd | kIbf);
    EXPECT_EQ(host.Status(), kWriteState | kCd | kObf);

    host.ReadData();
    Bytes response;
    ASSERT_EQ(host.Exchange(kGetDeviceId, &response), KcsHost::Result::kOk);
    EXPECT_EQ(response, kDeviceIdResponse);
    EXPECT_TRUE(KcsLog("overrun").empty());
}

TEST(KcsSlowBmc, AByteWrittenBeforeTheBmcTookTheLastOneReplacesIt) {
    Reset({{"kcs.ibf_polls", "2"}});
    KcsHost host;
    host.WriteCommand(0x61);
    host.WriteData(0x18);  // without waiting for IBF to clear
    const auto overruns = KcsLog("overrun");
    ASSERT_EQ(overruns.size(), 1u);
    EXPECT_EQ(overruns[0].value, 0x18u);
    // The BMC never saw WRITE_START: a data byte outside a transfer.
    const auto status = host.WaitIbfClear();
    ASSERT_TRUE(status);
    EXPECT_EQ(*status & sim::kcs::kStateMask, kErrorState);
    EXPECT_EQ(host.ErrorExit(), 0xFF);
}

// ------------------------------------------------------------ faults

TEST(KcsFaults, WithoutAnInterfaceBothPortsFloatHigh) {
    Reset({{"kcs.present", "0"}});
    KcsHost host;
    host.WriteCommand(0x61);
    EXPECT_EQ(host.Status(), 0xFF);
    EXPECT_EQ(host.ReadData(), 0xFF);
    Bytes response;
    EXPECT_EQ(host.Exchange(kGetDeviceId, &response), KcsHost::Result::kIbfNeverClear);
    EXPECT_TRUE(sim::TheMachine().Log().Of("kcs").empty());
}

TEST(KcsFaults, AHungBmcNeverClearsIbf) {
    Reset({{"kcs.fault.ibf_stuck", "1"}});
    KcsHost host;
    EXPECT_EQ(host.Status(), kIdleState | kIbf);
    Bytes response;
    EXPECT_EQ(host.Exchange(kGetDeviceId, &response), KcsHost::Result::kIbfNeverClear);
    EXPECT_EQ(host.Status() & kIbf, kIbf);
    EXPECT_TRUE(KcsLog("request").empty());
}

TEST(KcsFaults, ABmcThatStopsMidTransferLeavesTheNextByteInTheInputBuffer) {
    struct Case {
        const char* name;
        const char* stopAfter;
        KcsHost::Result write;
        KcsHost::Result read;
        Bytes response;
        std::size_t requests;
    };
    // Get Device ID takes WRITE_START, 18h, WRITE_END, 01h, then one READ
    // per response byte after the first.
    const Case cases[] = {
        {"before WRITE_END", "2", KcsHost::Result::kIbfNeverClear, KcsHost::Result::kOk, {}, 0},
        {"after the second response byte",
         "5",
         KcsHost::Result::kOk,
         KcsHost::Result::kIbfNeverClear,
         {0x1C, 0x01},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset({{"kcs.fault.stop_after", c.stopAfter}});
        KcsHost host;
        const KcsHost::Result written = host.Write(kGetDeviceId);
        EXPECT_EQ(written, c.write);
        Bytes response;
        if (written == KcsHost::Result::kOk) {
            EXPECT_EQ(host.Read(&response), c.read);
        }
        EXPECT_EQ(response, c.response);
        EXPECT_EQ(host.Status() & kIbf, kIbf);
        EXPECT_EQ(KcsLog("request").size(), c.requests);
        const auto stopped = KcsLog("stopped");
        ASSERT_EQ(stopped.size(), 1u);
        EXPECT_EQ(stopped[0].value, std::stoull(c.stopAfter));
    }
}

TEST(KcsFaults, AnErrorDuringTheReadEndsTheTransferWithItsStatusCode) {
    struct Case {
        const char* name;
        simtest::SettingPairs settings;
        Bytes received;
        std::uint8_t code;
        bool nextSucceeds;
    };
    const Case cases[] = {
        {"after three bytes, every time",
         {{"kcs.fault.read_error_after", "3"}},
         {0x1C, 0x01, 0x00},
         0xFF,
         false},
        {"right after the request, once, with its own code",
         {{"kcs.fault.read_error_after", "0"},
          {"kcs.fault.read_error_times", "1"},
          {"kcs.fault.error_code", "0x12"}},
         {},
         0x12,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(c.settings);
        KcsHost host;
        Bytes response;
        EXPECT_EQ(host.Exchange(kGetDeviceId, &response), KcsHost::Result::kWrongState);
        EXPECT_EQ(response, c.received);
        EXPECT_EQ(host.States().back(), kErrorState);
        EXPECT_EQ(host.ErrorExit(), c.code);
        const auto errors = KcsLog("error");
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].address, c.code);
        EXPECT_EQ(errors[0].detail, "read error after " + std::to_string(c.received.size()) +
                                        " response bytes (injected)");

        EXPECT_EQ(host.Exchange(kGetDeviceId, &response) == KcsHost::Result::kOk, c.nextSucceeds);
        EXPECT_EQ(KcsLog("request").size(), 2u);  // the BMC carried both requests out
    }
}

}  // namespace
