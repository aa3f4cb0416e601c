// Bridging through the BMC: Send Message puts a request frame on an IPMB,
// the satellite's response frame waits in the receive message queue for Get
// Message. Frames are written and checked by hand, checksums included.
#include "sim/bmc/ipmb.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

#include "tests/sim/ipmi_frames.h"
#include "tests/sim/settings_of.h"

namespace {

using simtest::AskBmc;
using simtest::Bytes;
using simtest::IpmbRequest;
using simtest::SumsToZero;

sim::Bmc& Reset(simtest::SettingPairs settings = {}) {
    return *sim::ResetMachine(simtest::SettingsOf(settings)).Find<sim::Bmc>();
}

std::uint8_t Send(const IpmbRequest& request, std::uint8_t channel) {
    const sim::ipmi::Response response = AskBmc(0x06, 0x34, request.SendMessageData(channel));
    EXPECT_TRUE(response.data.empty());
    return response.completionCode;
}

sim::ipmi::Response GetMessage() {
    return AskBmc(0x06, 0x33);
}

// What Get Message hands out for a response, checked field by field: the
// channel, then the response frame without the BMC's own address.
struct Reply {
    std::uint8_t channel;
    std::uint8_t netFnLun;
    std::uint8_t responder;
    std::uint8_t sequence;
    std::uint8_t cmd;
    std::uint8_t completionCode;
    Bytes data;
};

Reply ReadReply(const sim::ipmi::Response& got) {
    EXPECT_EQ(got.completionCode, 0x00);
    if (got.data.size() < 8) {
        ADD_FAILURE() << "Get Message data of " << got.data.size() << " bytes";
        return {};
    }
    // The header checksum covers the BMC's address, which Get Message leaves
    // out; the data checksum covers the rest.
    Bytes header = {0x20, got.data[1], got.data[2]};
    EXPECT_TRUE(SumsToZero(header)) << "header checksum";
    EXPECT_TRUE(SumsToZero(std::span(got.data).subspan(3))) << "data checksum";
    return {got.data[0],
            got.data[1],
            got.data[3],
            static_cast<std::uint8_t>(got.data[4] >> 2),
            got.data[5],
            got.data[6],
            Bytes(got.data.begin() + 7, got.data.end() - 1)};
}

std::vector<sim::LogEntry> IpmbLog(const std::string& operation) {
    std::vector<sim::LogEntry> found;
    for (const sim::LogEntry& entry : sim::TheMachine().Log().Of("ipmb")) {
        if (entry.operation == operation) found.push_back(entry);
    }
    return found;
}

// ------------------------------------------------------------ bridging

TEST(IpmbBridging, EachSatelliteAnswersGetDeviceIdThroughSendAndGetMessage) {
    struct Case {
        const char* name;
        std::uint8_t channel;
        std::uint8_t address;
        Bytes identity;
    };
    const Case cases[] = {
        {"front panel",
         0,
         0x22,
         {0x03, 0x00, 0x01, 0x04, 0x51, 0x29, 0x7D, 0x2A, 0x00, 0x01, 0x02, 0x01, 0, 0, 0}},
        {"first hot-swap controller",
         0,
         0xC0,
         {0x04, 0x00, 0x02, 0x10, 0x51, 0x21, 0x7D, 0x2A, 0x00, 0x01, 0x03, 0, 0, 0, 0}},
        {"second hot-swap controller",
         0,
         0xC2,
         {0x04, 0x00, 0x02, 0x10, 0x51, 0x21, 0x7D, 0x2A, 0x00, 0x01, 0x03, 0, 0, 0, 0}},
        {"management engine",
         6,
         0x2C,
         {0x50, 0x01, 0x03, 0x01, 0x02, 0x21, 0x7D, 0x2A, 0x00, 0x02, 0x0B, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Bmc& bmc = Reset();
        IpmbRequest request;
        request.target = c.address;
        request.sequence = 0x2A;
        EXPECT_EQ(Send(request, c.channel), 0x00);
        EXPECT_TRUE(bmc.Attention());

        const Reply reply = ReadReply(GetMessage());
        EXPECT_EQ(reply.channel, c.channel);
        EXPECT_EQ(reply.netFnLun, 0x07 << 2 | 2);  // response netFn to LUN 10b
        EXPECT_EQ(reply.responder, c.address);
        EXPECT_EQ(reply.sequence, 0x2A);
        EXPECT_EQ(reply.cmd, 0x01);
        EXPECT_EQ(reply.completionCode, 0x00);
        EXPECT_EQ(reply.data, c.identity);
        EXPECT_FALSE(bmc.Attention());
        EXPECT_EQ(GetMessage().completionCode, 0x80);

        const auto sends = IpmbLog("send");
        ASSERT_EQ(sends.size(), 1u);
        EXPECT_EQ(sends[0].address, c.address);
        EXPECT_EQ(sends[0].value, c.channel);
        const auto exchange = sim::ipmi::LoggedExchange(sends[0]);
        ASSERT_TRUE(exchange);
        EXPECT_EQ(exchange->response, c.identity);
        EXPECT_NE(sends[0].detail.find(" seq=2A"), std::string::npos);
        ASSERT_EQ(IpmbLog("queue").size(), 1u);
        EXPECT_EQ(IpmbLog("queue")[0].value, 0x2Au);
    }
}

TEST(IpmbBridging, ASatellitesIdentityComesFromItsSettings) {
    Reset({{"ipmb.me.firmware", "4.07"},
           {"ipmb.me.transfer_mode", "1"},
           {"ipmb.me.product_id", "0x0B03"}});
    IpmbRequest request;
    request.target = 0x2C;
    ASSERT_EQ(Send(request, 6), 0x00);
    const Reply reply = ReadReply(GetMessage());
    ASSERT_EQ(reply.data.size(), 15u);
    EXPECT_EQ(reply.data[2], 0x84);  // in transfer mode, major 4
    EXPECT_EQ(reply.data[3], 0x07);
    EXPECT_EQ(reply.data[9], 0x03);
    EXPECT_EQ(reply.data[10], 0x0B);
}

TEST(IpmbBridging, AResponseWaitsTheConfiguredPollsBeforeItEntersTheQueue) {
    sim::Bmc& bmc = Reset({{"ipmb.hsc0.reply_polls", "2"}});
    IpmbRequest request;
    request.target = 0xC0;
    ASSERT_EQ(Send(request, 0), 0x00);
    for (int poll = 0; poll < 2; ++poll) {
        EXPECT_FALSE(bmc.Attention());
        EXPECT_EQ(AskBmc(0x06, 0x31).data, Bytes{0x00});  // Get Message Flags
        EXPECT_EQ(GetMessage().completionCode, 0x80);
    }
    EXPECT_EQ(ReadReply(GetMessage()).responder, 0xC0);
    EXPECT_EQ(GetMessage().completionCode, 0x80);
}

TEST(IpmbBridging, ClearMessageFlagsEmptiesTheQueue) {
    sim::Bmc& bmc = Reset();
    IpmbRequest request;
    request.target = 0x22;
    ASSERT_EQ(Send(request, 0), 0x00);
    EXPECT_EQ(AskBmc(0x06, 0x31).data, Bytes{0x01});
    EXPECT_EQ(AskBmc(0x06, 0x30, {0x02}).completionCode, 0x00);  // another flag
    EXPECT_TRUE(bmc.Attention());
    EXPECT_EQ(AskBmc(0x06, 0x30, {0x01}).completionCode, 0x00);
    EXPECT_FALSE(bmc.Attention());
    EXPECT_EQ(GetMessage().completionCode, 0x80);
}

TEST(IpmbBridging, ResponsesNotAddressedToSystemSoftwareMissTheQueue) {
    struct Case {
        const char* name;
        std::uint8_t requester;
        std::uint8_t requesterLun;
        const char* where;
    };
    const Case cases[] = {
        {"the BMC's own LUN 0", 0x20, 0, "(answer to 20h LUN 0, not the receive message queue)"},
        {"another requester", 0x81, 2, "(answer to 81h LUN 2, not the receive message queue)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Bmc& bmc = Reset();
        IpmbRequest request;
        request.target = 0x22;
        request.requester = c.requester;
        request.requesterLun = c.requesterLun;
        EXPECT_EQ(Send(request, 0), 0x00);
        EXPECT_FALSE(bmc.Attention());
        EXPECT_EQ(GetMessage().completionCode, 0x80);
        ASSERT_EQ(IpmbLog("send").size(), 1u);
        EXPECT_NE(IpmbLog("send")[0].detail.find(c.where), std::string::npos)
            << IpmbLog("send")[0].detail;
        EXPECT_TRUE(IpmbLog("queue").empty());
    }
}

TEST(IpmbBridging, SatellitesServeCommandsRegisteredWithThem) {
    sim::Bmc& bmc = Reset();
    sim::ipmb::Satellite* me = bmc.Ipmb().Find("me");
    ASSERT_NE(me, nullptr);
    me->Commands().Register(0x2E, 0xDF, [](const sim::ipmi::Request& request) {
        EXPECT_EQ(request.origin, sim::ipmi::Origin::kIpmb);
        EXPECT_EQ(request.requester, 0x20);
        return sim::ipmi::Response{0x00, {static_cast<std::uint8_t>(request.data.size())}};
    });
    IpmbRequest request;
    request.target = 0x2C;
    request.netFn = 0x2E;
    request.cmd = 0xDF;
    request.data = {9, 8, 7};
    ASSERT_EQ(Send(request, 6), 0x00);
    const Reply reply = ReadReply(GetMessage());
    EXPECT_EQ(reply.netFnLun, 0x2F << 2 | 2);
    EXPECT_EQ(reply.data, Bytes{3});
    // What no satellite serves answers invalid command from the satellite.
    request.cmd = 0xE0;
    ASSERT_EQ(Send(request, 6), 0x00);
    EXPECT_EQ(ReadReply(GetMessage()).completionCode, 0xC1);
}

// ------------------------------------------------------------ refusals and faults

TEST(IpmbFaults, SendMessageRefusesWhatItCannotPutOnABus) {
    IpmbRequest good;
    good.target = 0x22;
    Bytes badHeader = good.SendMessageData(0);
    badHeader[3] ^= 0x01;
    Bytes badData = good.SendMessageData(0);
    badData.back() ^= 0x01;
    IpmbRequest nobody = good;
    nobody.target = 0x24;
    IpmbRequest meOnTheWrongBus = good;
    meOnTheWrongBus.target = 0x2C;
    struct Case {
        const char* name;
        Bytes data;
        std::uint8_t code;
        const char* operation;
        const char* reason;
    };
    const Case cases[] = {
        {"no channel byte", {}, 0xC7, "refused", "no channel byte"},
        {"a channel without an IPMB", good.SendMessageData(3), 0xCC, "refused",
         "channel 3 has no IPMB"},
        {"raw send, which the BMC does not offer", good.SendMessageData(0x80), 0xCC, "refused",
         "tracking mode 2"},
        {"a frame shorter than a request", Bytes{0x00, 0x22, 0x18, 0xC6, 0x20, 0x14, 0x01}, 0xC7,
         "refused", "frame of 6 bytes"},
        {"a wrong header checksum", badHeader, 0xCC, "refused", "header checksum"},
        {"a wrong data checksum", badData, 0xCC, "refused", "data checksum"},
        {"nobody at that address", nobody.SendMessageData(0), 0x83, "send", "-> NAK"},
        {"the engine is not on channel 0", meOnTheWrongBus.SendMessageData(0), 0x83, "send",
         "-> NAK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Bmc& bmc = Reset();
        const sim::ipmi::Response response = AskBmc(0x06, 0x34, c.data);
        EXPECT_EQ(response.completionCode, c.code);
        EXPECT_TRUE(response.data.empty());
        EXPECT_FALSE(bmc.Attention());
        EXPECT_EQ(GetMessage().completionCode, 0x80);
        const auto logged = sim::TheMachine().Log().Of("ipmb");
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].operation, c.operation);
        EXPECT_NE(logged[0].detail.find(c.reason), std::string::npos) << logged[0].detail;
    }
}

TEST(IpmbFaults, ASatelliteThatNaksIsReachedOnceTheNaksAreSpent) {
    Reset({{"ipmb.front_panel.fault.nak", "2"}});
    IpmbRequest request;
    request.target = 0x22;
    EXPECT_EQ(Send(request, 0), 0x83);
    EXPECT_EQ(Send(request, 0), 0x83);
    EXPECT_EQ(GetMessage().completionCode, 0x80);
    EXPECT_EQ(Send(request, 0), 0x00);
    EXPECT_EQ(ReadReply(GetMessage()).responder, 0x22);
    const auto sends = IpmbLog("send");
    ASSERT_EQ(sends.size(), 3u);
    EXPECT_NE(sends[0].detail.find("-> NAK"), std::string::npos);
    EXPECT_NE(sends[1].detail.find("-> NAK"), std::string::npos);
    EXPECT_TRUE(sim::ipmi::LoggedExchange(sends[2]));
}

TEST(IpmbFaults, ASilentSatelliteTakesTheRequestButNeverAnswers) {
    Reset({{"ipmb.hsc1.fault.silent", "always"}});
    IpmbRequest request;
    request.target = 0xC2;
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(Send(request, 0), 0x00);
        for (int poll = 0; poll < 10; ++poll) EXPECT_EQ(GetMessage().completionCode, 0x80);
    }
    const auto sends = IpmbLog("send");
    ASSERT_EQ(sends.size(), 3u);
    EXPECT_NE(sends[0].detail.find("-> no answer"), std::string::npos);
    EXPECT_TRUE(IpmbLog("queue").empty());
}

TEST(IpmbFaults, ResponsesWithAForeignSequenceNumberComeAheadOfTheRightOne) {
    struct Case {
        const char* name;
        const char* setting;
        std::vector<std::uint8_t> sequences;
    };
    const Case cases[] = {
        {"two ahead of each", "2", {37, 37, 5}},
        {"only foreign ones", "always", {37}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset({{"ipmb.me.fault.foreign_seq", c.setting}});
        IpmbRequest request;
        request.target = 0x2C;
        request.sequence = 5;
        ASSERT_EQ(Send(request, 6), 0x00);
        std::vector<std::uint8_t> sequences;
        for (sim::ipmi::Response got = GetMessage(); got.completionCode != 0x80;
             got = GetMessage()) {
            const Reply reply = ReadReply(got);
            sequences.push_back(reply.sequence);
            EXPECT_EQ(reply.data.size(), 15u);
        }
        EXPECT_EQ(sequences, c.sequences);
        const auto queued = IpmbLog("queue");
        ASSERT_EQ(queued.size(), c.sequences.size());
        EXPECT_EQ(queued[0].detail, "foreign sequence number");
    }
}

TEST(IpmbFaults, GetMessageFailuresLeaveTheQueueAlone) {
    struct Case {
        const char* setting;
        std::uint8_t code;
    };
    for (const Case& c : {Case{"2", 0x83}, Case{"2:0xC0", 0xC0}}) {
        SCOPED_TRACE(c.setting);
        Reset({{"bmc.fault.get_message", c.setting}});
        IpmbRequest request;
        request.target = 0xC0;
        ASSERT_EQ(Send(request, 0), 0x00);
        EXPECT_EQ(GetMessage().completionCode, c.code);
        EXPECT_EQ(GetMessage().completionCode, c.code);
        EXPECT_EQ(ReadReply(GetMessage()).responder, 0xC0);
    }
}

TEST(IpmbFaults, SatelliteAnswersCanBeInjectedToo) {
    Reset({{"ipmb.me.fault.answer", "6:1:0xC3:1"}});
    IpmbRequest request;
    request.target = 0x2C;
    ASSERT_EQ(Send(request, 6), 0x00);
    const Reply first = ReadReply(GetMessage());
    EXPECT_EQ(first.completionCode, 0xC3);
    EXPECT_TRUE(first.data.empty());
    ASSERT_EQ(Send(request, 6), 0x00);
    EXPECT_EQ(ReadReply(GetMessage()).completionCode, 0x00);
}

TEST(IpmbFaults, AFullQueueDropsWhatArrives) {
    Reset({{"bmc.receive_queue", "2"}});
    IpmbRequest request;
    request.target = 0x22;
    for (std::uint8_t sequence = 1; sequence <= 3; ++sequence) {
        request.sequence = sequence;
        EXPECT_EQ(Send(request, 0), 0x00);
    }
    EXPECT_EQ(ReadReply(GetMessage()).sequence, 1);
    EXPECT_EQ(ReadReply(GetMessage()).sequence, 2);
    EXPECT_EQ(GetMessage().completionCode, 0x80);
    const auto queued = IpmbLog("queue");
    ASSERT_EQ(queued.size(), 3u);
    EXPECT_EQ(queued[2].detail, "dropped: queue full");
}

TEST(IpmbFaults, ARequestWithAResponsesNetworkFunctionGetsNoAnswer) {
    Reset();
    IpmbRequest request;
    request.target = 0x22;
    request.netFn = 0x07;
    EXPECT_EQ(Send(request, 0), 0x00);
    EXPECT_EQ(GetMessage().completionCode, 0x80);
    ASSERT_EQ(IpmbLog("send").size(), 1u);
    EXPECT_NE(IpmbLog("send")[0].detail.find("-> no answer"), std::string::npos);
}

// ------------------------------------------------------------ the satellites' settings

TEST(IpmbSatellites, TheListOfSatellitesIsConfigurable) {
    sim::Bmc& bmc = Reset({{"ipmb.satellites", "psu:7:0xB0"}});
    ASSERT_EQ(bmc.Ipmb().Satellites().size(), 1u);
    IpmbRequest request;
    request.target = 0xB0;
    EXPECT_EQ(Send(request, 7), 0x00);
    EXPECT_EQ(ReadReply(GetMessage()).channel, 7);
    request.target = 0x22;
    EXPECT_EQ(Send(request, 0), 0xCC);  // channel 0 has no IPMB now

    EXPECT_TRUE(Reset({{"ipmb.satellites", ""}}).Ipmb().Satellites().empty());

    std::ostringstream description;
    Reset({{"ipmb.hsc0.fault.nak", "always"}, {"ipmb.me.reply_polls", "3"}}).Describe(description);
    EXPECT_NE(description.str().find("hsc0: channel 0, address C0h"), std::string::npos);
    EXPECT_NE(description.str().find("fault: NAK, always"), std::string::npos);
    EXPECT_NE(description.str().find("me: channel 6, address 2Ch, answers after 3 polls"),
              std::string::npos)
        << description.str();
}

TEST(IpmbSatellites, SatelliteListsThatCannotBeBuiltAreRefused) {
    const char* bad[] = {
        "fp:0",               // no address
        "fp:0:0x23",          // odd: not a slave address
        "fp:0:0x20",          // the BMC's own
        "fp:16:0x22",         // no such channel
        "a:0:0x22,b:0:0x22",  // two at one address
        "a:0:0x22,a:1:0x22",  // one name twice
    };
    for (const char* value : bad) {
        SCOPED_TRACE(value);
        EXPECT_THROW(Reset({{"ipmb.satellites", value}}), std::invalid_argument);
    }
    EXPECT_THROW(Reset({{"ipmb.me.fault.foreign_seq", "many"}}), std::invalid_argument);
    EXPECT_THROW(Reset({{"ipmb.me.fault.nak", "-1"}}), std::invalid_argument);
}

}  // namespace
