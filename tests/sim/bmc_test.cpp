// The BMC's command table: Get Device ID from the configured identity, the
// answers to what nobody serves, the registration API later parts build on,
// the form checks it makes before a handler runs, and injected answers.
#include "sim/bmc/bmc.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/sim/ipmi_frames.h"
#include "tests/sim/kcs_host.h"
#include "tests/sim/settings_of.h"

namespace {

using simtest::AskBmc;
using simtest::Bytes;

sim::Bmc& Reset(simtest::SettingPairs settings = {}) {
    return *sim::ResetMachine(simtest::SettingsOf(settings)).Find<sim::Bmc>();
}

TEST(BmcDeviceId, GetDeviceIdReportsTheConfiguredIdentity) {
    struct Case {
        const char* name;
        simtest::SettingPairs settings;
        Bytes data;
    };
    const Case cases[] = {
        {"default",
         {},
         {0x20, 0x01, 0x01, 0x20, 0x02, 0xBF, 0x7D, 0x2A, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
          0x00}},
        {"an IPMI 1.5 BMC of another make",
         {{"bmc.device_id", "0x21"},
          {"bmc.device_revision", "0x83"},
          {"bmc.firmware", "2.05"},
          {"bmc.ipmi_version", "0x51"},
          {"bmc.additional_support", "0x9F"},
          {"bmc.manufacturer", "0x012345"},
          {"bmc.product_id", "0x4311"},
          {"bmc.aux_firmware", "0A0B0C0D"}},
         {0x21, 0x83, 0x02, 0x05, 0x51, 0x9F, 0x45, 0x23, 0x01, 0x11, 0x43, 0x0A, 0x0B, 0x0C,
          0x0D}},
        {"in firmware transfer mode: bit 7 of the major revision byte",
         {{"bmc.transfer_mode", "1"}, {"bmc.firmware", "127.99"}},
         {0x20, 0x01, 0xFF, 0x99, 0x02, 0xBF, 0x7D, 0x2A, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
          0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(c.settings);
        const sim::ipmi::Response response = AskBmc(0x06, 0x01);
        EXPECT_EQ(response.completionCode, 0x00);
        EXPECT_EQ(response.data, c.data);
    }
}

TEST(BmcDeviceId, TransferModeChangedAtRunTimeShowsInTheNextAnswer) {
    sim::Bmc& bmc = Reset();
    bmc.Identity().transferMode = true;
    EXPECT_EQ(AskBmc(0x06, 0x01).data.at(2), 0x81);
    bmc.Identity().transferMode = false;
    EXPECT_EQ(AskBmc(0x06, 0x01).data.at(2), 0x01);
}

TEST(BmcDeviceId, IdentitySettingsThatCannotBeReportedAreRefused) {
    const std::pair<const char*, const char*> bad[] = {
        {"bmc.firmware", "1.2"},        {"bmc.firmware", "128.00"},
        {"bmc.firmware", "one.20"},     {"bmc.manufacturer", "0x100000"},
        {"bmc.product_id", "0x10000"},  {"bmc.aux_firmware", "010203"},
        {"bmc.ipmi_version", "0x100"},  {"bmc.transfer_mode", "2"},
        {"bmc.receive_queue", "0"},     {"bmc.fault.answer", "6:1"},
        {"bmc.fault.get_message", "x"}, {"bmc.fault.get_message", "1:0"},
    };
    simtest::ExpectEachSettingRefused(bad);
}

// ------------------------------------------------------------ the command table

TEST(BmcCommandTable, WhatNobodyServesAnswersInvalidCommand) {
    Reset();
    struct Case {
        const char* name;
        std::uint8_t netFn;
        std::uint8_t cmd;
        Bytes data;
        std::uint8_t code;
    };
    const Case cases[] = {
        {"an application command the BMC lacks", 0x06, 0x02, {}, 0xC1},
        {"a network function the BMC lacks", 0x3E, 0x01, {}, 0xC1},
        {"a response's network function", 0x07, 0x01, {}, 0xC1},
        {"Get Device ID with data", 0x06, 0x01, {0x00}, 0xC7},
        {"Get Message with data", 0x06, 0x33, {0x00}, 0xC7},
        {"Get Message Flags with data", 0x06, 0x31, {0x00}, 0xC7},
        {"Clear Message Flags without its byte", 0x06, 0x30, {}, 0xC7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const sim::ipmi::Response response = AskBmc(c.netFn, c.cmd, c.data);
        EXPECT_EQ(response.completionCode, c.code);
        EXPECT_TRUE(response.data.empty());
    }
}

TEST(BmcCommandTable, ARegisteredHandlerGetsTheRequestBytesAndAnswersOverEveryInterface) {
    sim::Bmc& bmc = Reset();
    std::vector<sim::ipmi::Request> seen;
    Bytes seenData;
    bmc.Commands().Register(0x2E, 0x10, [&](const sim::ipmi::Request& request) {
        seen.push_back(request);
        seenData.assign(request.data.begin(), request.data.end());
        return sim::ipmi::Response{0x00, Bytes(request.data.rbegin(), request.data.rend())};
    });

    simtest::KcsHost host;
    Bytes response;
    ASSERT_EQ(host.Exchange(Bytes{0x2E << 2 | 1, 0x10, 1, 2, 3}, &response),
              simtest::KcsHost::Result::kOk);
    EXPECT_EQ(response, (Bytes{0x2F << 2 | 1, 0x10, 0x00, 3, 2, 1}));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].netFn, 0x2E);
    EXPECT_EQ(seen[0].lun, 1);
    EXPECT_EQ(seen[0].origin, sim::ipmi::Origin::kSystemInterface);
    EXPECT_EQ(seenData, (Bytes{1, 2, 3}));

    // The table refuses what would make two answers to one command.
    EXPECT_THROW(bmc.Commands().Register(0x2E, 0x10, {}), std::logic_error);
    EXPECT_THROW(bmc.Commands().Register(0x06, 0x01, {}), std::logic_error);
    EXPECT_THROW(bmc.Commands().Register(0x2F, 0x10, {}), std::logic_error);
    EXPECT_TRUE(bmc.Commands().Has(0x2E, 0x10));

    std::ostringstream description;
    bmc.Describe(description);
    EXPECT_NE(description.str().find("2E/10"), std::string::npos) << description.str();
}

// The table checks a command's LUN and length once, before its handler:
// a request of the wrong form is answered C2h or C7h on the wire and the
// handler never runs (it would have logged), while the refusal hook hears
// of it.
TEST(BmcCommandTable, TheTableRefusesAWrongLunOrLengthBeforeTheHandlerRuns) {
    sim::Bmc& bmc = Reset();
    sim::RequestLog& log = sim::TheMachine().Log();
    std::vector<std::uint8_t> refusals;
    const auto handler = [&log](const sim::ipmi::Request& request) {
        log.Add({"oem", "handled", request.cmd, request.data.size(), 0, ""});
        return sim::ipmi::Response::Code(0x00);
    };
    const auto hook = [&refusals](const sim::ipmi::Request&, std::uint8_t code) {
        refusals.push_back(code);
    };
    bmc.Commands().Register(0x2E, 0x20, {sim::ipmi::RequestLength::Exactly(2), sim::ipmi::kLunZero},
                            handler, hook);
    bmc.Commands().Register(0x2E, 0x21, {sim::ipmi::RequestLength::AtLeast(1)}, handler);

    struct Case {
        const char* name;
        std::uint8_t cmd;
        std::uint8_t lun;
        Bytes data;
        std::uint8_t code;
    };
    const Case cases[] = {
        {"exactly its length on LUN 0", 0x20, 0, {1, 2}, 0x00},
        {"a byte short", 0x20, 0, {1}, 0xC7},
        {"a byte over", 0x20, 0, {1, 2, 3}, 0xC7},
        {"another LUN", 0x20, 1, {1, 2}, 0xC2},
        {"another LUN and the wrong length: the LUN first", 0x20, 3, {}, 0xC2},
        {"no byte where one at least is taken", 0x21, 2, {}, 0xC7},
        {"more than the least, on any LUN", 0x21, 3, {1, 2, 3, 4}, 0x00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        refusals.clear();
        simtest::KcsHost host;
        Bytes frame = {static_cast<std::uint8_t>(0x2E << 2 | c.lun), c.cmd};
        frame.insert(frame.end(), c.data.begin(), c.data.end());
        Bytes response;
        ASSERT_EQ(host.Exchange(frame, &response), simtest::KcsHost::Result::kOk);
        EXPECT_EQ(response, (Bytes{static_cast<std::uint8_t>(0x2F << 2 | c.lun), c.cmd, c.code}));

        const auto exchanges = log.Of("kcs");
        ASSERT_EQ(exchanges.size(), 1u);
        const auto exchange = sim::ipmi::LoggedExchange(exchanges[0]);
        ASSERT_TRUE(exchange.has_value());
        EXPECT_EQ(exchange->completionCode, c.code);
        EXPECT_EQ(exchange->request, c.data);
        EXPECT_EQ(log.Of("oem").size(), c.code == 0x00 ? 1u : 0u);
        const bool hooked = c.cmd == 0x20 && c.code != 0x00;
        EXPECT_EQ(refusals,
                  hooked ? std::vector<std::uint8_t>{c.code} : std::vector<std::uint8_t>{});
    }
}

TEST(BmcCommandTable, InjectedAnswersReplaceTheHandlersForTheirCount) {
    Reset({{"bmc.fault.answer", "6:1:0xC0:2,0x2E:0x10:0xD5"}});
    EXPECT_EQ(AskBmc(0x06, 0x01).completionCode, 0xC0);
    EXPECT_TRUE(AskBmc(0x06, 0x01).data.empty());
    const sim::ipmi::Response third = AskBmc(0x06, 0x01);
    EXPECT_EQ(third.completionCode, 0x00);
    EXPECT_EQ(third.data.size(), 15u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(AskBmc(0x2E, 0x10).completionCode, 0xD5);

    std::ostringstream description;
    sim::TheMachine().Find<sim::Bmc>()->Describe(description);
    EXPECT_NE(description.str().find("fault: 06/01 answers C0h, never"), std::string::npos)
        << description.str();
    EXPECT_NE(description.str().find("fault: 2E/10 answers D5h, always"), std::string::npos);
}

}  // namespace
