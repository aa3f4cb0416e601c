// The simulated libipmi.so as the session transport meets it: opened with
// dlopen, its three functions found by name, requests carried to the BMC's
// command table without a byte on the KCS ports.
#include "sim/libipmi/libipmi.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/bmc/ipmi.h"
#include "sim/core/machine.h"
#include "tests/sim/settings_of.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kDeviceId = {0x00, 0x20, 0x01, 0x01, 0x20, 0x02, 0xBF, 0x7D,
                         0x2A, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};

class Libipmi : public ::testing::Test {
  protected:
    void SetUp() override { Load(); }
    void TearDown() override {
        if (mLibrary != nullptr) dlclose(mLibrary);
    }

    void Load(simtest::SettingPairs settings = {}) {
        sim::ResetMachine(simtest::SettingsOf(settings));
        sim::TheMachine().Log().RecordPorts(true);
        if (mLibrary == nullptr) mLibrary = dlopen(LIBIPMI_PATH, RTLD_NOW);
        ASSERT_NE(mLibrary, nullptr) << dlerror();
        mCreate =
            reinterpret_cast<decltype(mCreate)>(dlsym(mLibrary, "LIBIPMI_Create_IPMI20_Session"));
        mSend =
            reinterpret_cast<decltype(mSend)>(dlsym(mLibrary, "LIBIPMI_Send_RAW_IPMI2_0_Command"));
        mClose = reinterpret_cast<decltype(mClose)>(dlsym(mLibrary, "LIBIPMI_CloseSession"));
        ASSERT_TRUE(mCreate != nullptr && mSend != nullptr && mClose != nullptr);
    }

    // The session the IPMI libraries open: loopback, port 623, administrator.
    std::uint16_t Open(const char* address = "127.0.0.1", std::uint16_t port = 623) {
        std::uint8_t privilege = 4;
        return mCreate(&mSession, address, port, nullptr, nullptr, 0, 0, 0, &privilege, 6, 0x54,
                       0x20, 0, 0, 2000);
    }

    std::uint16_t Send(std::uint8_t netFn, std::uint8_t cmd, const Bytes& data, Bytes* response) {
        std::vector<std::uint8_t> buffer(LIBIPMI_MAX_RESPONSE, 0xEE);
        int length = -1;
        const std::uint16_t result =
            mSend(&mSession, 0, static_cast<std::uint8_t>(netFn << 2), cmd, data.data(),
                  static_cast<int>(data.size()), buffer.data(), &length, 5000);
        response->clear();
        if (result == LIBIPMI_OK) response->assign(buffer.begin(), buffer.begin() + length);
        return result;
    }

    std::vector<sim::LogEntry> Logged(const char* component) {
        return sim::TheMachine().Log().Of(component);
    }

    void* mLibrary = nullptr;
    decltype(&LIBIPMI_Create_IPMI20_Session) mCreate = nullptr;
    decltype(&LIBIPMI_Send_RAW_IPMI2_0_Command) mSend = nullptr;
    decltype(&LIBIPMI_CloseSession) mClose = nullptr;
    LIBIPMI_SESSION mSession{};
};

TEST_F(Libipmi, ASessionCarriesRequestsToTheBmcWithoutTouchingTheKcsPorts) {
    ASSERT_EQ(Open(), LIBIPMI_OK);
    Bytes response;
    ASSERT_EQ(Send(0x06, 0x01, {}, &response), LIBIPMI_OK);
    EXPECT_EQ(response, kDeviceId);
    ASSERT_EQ(Send(0x06, 0x01, {0x00}, &response), LIBIPMI_OK);
    EXPECT_EQ(response, Bytes{0xC7});
    EXPECT_EQ(mClose(&mSession), LIBIPMI_OK);

    const auto log = Logged("libipmi");
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].operation, "open");
    EXPECT_EQ(log[0].address, 623u);
    EXPECT_EQ(log[0].value, 0u);
    EXPECT_EQ(log[0].detail, "127.0.0.1:623 privilege 4 -> session 1");
    EXPECT_EQ(log[1].operation, "send");
    const auto exchange = sim::ipmi::LoggedExchange(log[1]);
    ASSERT_TRUE(exchange);
    EXPECT_EQ(exchange->netFn, 0x06);
    EXPECT_EQ(exchange->response, Bytes(kDeviceId.begin() + 1, kDeviceId.end()));
    EXPECT_EQ(log[3].operation, "close");
    EXPECT_EQ(log[3].value, 0u);

    EXPECT_TRUE(Logged("port").empty());
    EXPECT_TRUE(Logged("kcs").empty());
}

TEST_F(Libipmi, ARequestAfterCloseOrFromAnUnopenedRecordFindsNoSession) {
    Bytes response;
    EXPECT_EQ(Send(0x06, 0x01, {}, &response), LIBIPMI_E_NO_SESSION);
    ASSERT_EQ(Open(), LIBIPMI_OK);
    EXPECT_EQ(mClose(&mSession), LIBIPMI_OK);
    EXPECT_EQ(Send(0x06, 0x01, {}, &response), LIBIPMI_E_NO_SESSION);
    EXPECT_EQ(mClose(&mSession), LIBIPMI_E_NO_SESSION);
    const auto log = Logged("libipmi");
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log[0].detail.find("-> failed (4): session 0 is not open"), std::string::npos)
        << log[0].detail;
}

TEST_F(Libipmi, SessionsAreRefusedWhereNoEndpointAnswersOrWhenTheBmcSaysSo) {
    struct Case {
        const char* name;
        simtest::SettingPairs settings;
        const char* address;
        std::uint16_t port;
        std::uint16_t result;
        const char* detail;
    };
    const Case cases[] = {
        {"another port",
         {},
         "127.0.0.1",
         624,
         LIBIPMI_E_UNREACHABLE,
         "127.0.0.1:624 -> no BMC endpoint there"},
        {"another address",
         {},
         "10.0.0.1",
         623,
         LIBIPMI_E_UNREACHABLE,
         "10.0.0.1:623 -> no BMC endpoint there"},
        {"the BMC refuses",
         {{"libipmi.fault.session", "always"}},
         "127.0.0.1",
         623,
         LIBIPMI_E_SESSION_REFUSED,
         "127.0.0.1:623 -> refused (injected)"},
        {"with a code of its own",
         {{"libipmi.fault.session", "1:0x181"}},
         "127.0.0.1",
         623,
         0x181,
         "127.0.0.1:623 -> refused (injected)"},
        {"an endpoint configured elsewhere",
         {{"libipmi.port", "6230"}},
         "127.0.0.1",
         623,
         LIBIPMI_E_UNREACHABLE,
         "127.0.0.1:623 -> no BMC endpoint there"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Load(c.settings);
        EXPECT_EQ(Open(c.address, c.port), c.result);
        Bytes response;
        EXPECT_EQ(Send(0x06, 0x01, {}, &response), LIBIPMI_E_NO_SESSION);
        const auto log = Logged("libipmi");
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log[0].value, c.result);
        EXPECT_EQ(log[0].detail, c.detail);
    }
    // A refusal that is spent lets the next session open.
    Load({{"libipmi.fault.session", "1"}});
    EXPECT_EQ(Open(), LIBIPMI_E_SESSION_REFUSED);
    EXPECT_EQ(Open(), LIBIPMI_OK);
}

TEST_F(Libipmi, FailingSendsNeverReachTheBmc) {
    Load({{"libipmi.fault.send", "2"}, {"bmc.fault.answer", "6:1:0xC0"}});
    ASSERT_EQ(Open(), LIBIPMI_OK);
    Bytes response;
    EXPECT_EQ(Send(0x06, 0x01, {}, &response), LIBIPMI_E_SEND_FAILED);
    EXPECT_EQ(Send(0x06, 0x01, {}, &response), LIBIPMI_E_SEND_FAILED);
    // The BMC's own answer comes through as a completion code, not a failure.
    EXPECT_EQ(Send(0x06, 0x01, {}, &response), LIBIPMI_OK);
    EXPECT_EQ(response, Bytes{0xC0});
    const auto log = Logged("libipmi");
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[1].detail, "netfn=06 lun=0 cmd=01 data=[] -> failed (5): injected");
    EXPECT_FALSE(sim::ipmi::LoggedExchange(log[1]));
    EXPECT_TRUE(sim::ipmi::LoggedExchange(log[3]));
}

TEST_F(Libipmi, CallsWithoutTheirBuffersAreTurnedDown) {
    ASSERT_EQ(Open(), LIBIPMI_OK);
    std::uint8_t buffer[4];
    int length = 0;
    const std::uint8_t data[1] = {0};
    std::uint8_t privilege = 4;
    EXPECT_EQ(mCreate(nullptr, "127.0.0.1", 623, nullptr, nullptr, 0, 0, 0, &privilege, 6, 0x54,
                      0x20, 0, 0, 2000),
              LIBIPMI_E_INVALID_ARGUMENT);
    EXPECT_EQ(mSend(&mSession, 0, 0x18, 0x01, nullptr, 1, buffer, &length, 5000),
              LIBIPMI_E_INVALID_ARGUMENT);
    EXPECT_EQ(mSend(&mSession, 0, 0x18, 0x01, data, -1, buffer, &length, 5000),
              LIBIPMI_E_INVALID_ARGUMENT);
    EXPECT_EQ(mSend(&mSession, 0, 0x18, 0x01, data, 0, nullptr, &length, 5000),
              LIBIPMI_E_INVALID_ARGUMENT);
    EXPECT_EQ(mSend(&mSession, 1, 0x18, 0x01, data, 0, buffer, &length, 5000),
              LIBIPMI_E_INVALID_ARGUMENT);
    EXPECT_EQ(mClose(nullptr), LIBIPMI_E_INVALID_ARGUMENT);
    // None of them reached the BMC.
    for (const sim::LogEntry& entry : Logged("libipmi")) {
        EXPECT_FALSE(sim::ipmi::LoggedExchange(entry)) << entry.detail;
    }
    EXPECT_EQ(privilege, 4);
}

}  // namespace
