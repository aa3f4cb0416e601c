// Reading a FRU's storage through the simulated BMC: the requests each kind
// of device gets, the routes to the controllers behind the BMC, chunking and
// what each completion code does, the checks on what a controller hands
// back, and a whole FRU read from a device.
#include "orvel/fru_device_access.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>

#include "bmc/interface_report.h"
#include "fru_device_fixture.h"
#include "orvel/fru_no_answer.h"
#include "orvel/last_error.h"
#include "orvel/orvel_globals.h"
#include "orvel/orvel_status.h"
#include "sim/bmc/fru/fru_image_builder.h"

namespace fru_device_test {
namespace {

using namespace Orvel_Private;

// A case of a table prints as its name when a check of it fails.
template <typename Case>
requires requires(const Case& c) {
    c.name;
}
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

struct ReadResult {
    std::uint32_t status;
    Bytes bytes;
    std::uint32_t count;
};

// Reads into a buffer filled with EEh, so that bytes the read did not set show.
ReadResult Read(const FruAccess& with, const FRU_LOCATOR& at, std::uint16_t offset,
                std::size_t length) {
    ReadResult result{0, Bytes(length, 0xEE), 0xDEAD};
    result.status =
        ReadOrvelFromBmc(with, at.mType, at.mLun, at.mBus, at.mSlaveAddress, at.mControllerAddress,
                         at.mFruDeviceId, offset, result.bytes, result.count);
    return result;
}

// The counts asked for, in order, by the requests of one command.
std::vector<unsigned> CountsAsked(const std::vector<Bytes>& requests, std::size_t countByte) {
    std::vector<unsigned> counts;
    for (const Bytes& request : requests) counts.push_back(request.at(countByte));
    return counts;
}

constexpr std::size_t kReadFruDataCountByte = 3;      // ID, offset LS, offset MS, count
constexpr std::size_t kMasterWriteReadCountByte = 2;  // bus, slave address, count

class FruDeviceRead : public FruDeviceTest {
  protected:
    // Reads from a front panel behind the BMC that never takes a request
    // off the bus, so that no answer ever comes.
    std::uint32_t ReadFromSilentFrontPanel(std::span<std::uint8_t> bytes) {
        BootStorage(
            {{"fru.devices", "panel:front_panel:0:256"}, {"ipmb.front_panel.fault.nak", "always"}});
        return CFru::ReadDataFromFRU(Access(), Locator(FRU_NVS_IMBDEVICE, 0x00, 0x22), 0, bytes);
    }
};

// ------------------------------------------------------------ routes

struct RouteCase {
    const char* name;
    std::map<std::string, std::string> settings;
    FRU_LOCATOR locator;
    const char* device;
    const char* controller;  // that served the device
    // Channel and target of the Send Message that carried the requests;
    // none when they went to the BMC itself.
    std::optional<std::pair<std::uint8_t, std::uint8_t>> bridged;
};

class ReadRoutes : public FruDeviceRead, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(ReadRoutes, TwentyBytesGoOutAsChunksOf8_8_4) {
    const RouteCase& c = GetParam();
    BootStorage(c.settings);
    std::array<std::uint8_t, 20> bytes{};
    ASSERT_EQ(CFru::ReadDataFromFRU(Access(), c.locator, 0x10, bytes), ORVEL_SUCCESS);

    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()),
              Slice(PatternOf(c.device, Device(c.device).Size()), 0x10, 20));
    EXPECT_EQ(Chunks(c.device),
              (std::vector<Chunk>{{"read", 0x10, 8}, {"read", 0x18, 8}, {"read", 0x20, 4}}));
    for (const auto& access : Accesses(c.device)) EXPECT_EQ(access.controller, c.controller);

    const std::vector<Bytes> sendMessages = Sent(kNetFnApp, kSendMessage);
    if (!c.bridged) {
        EXPECT_TRUE(sendMessages.empty());
        return;
    }
    ASSERT_EQ(sendMessages.size(), 3u);
    for (const Bytes& send : sendMessages) {
        EXPECT_EQ(send[0], c.bridged->first) << "channel";
        EXPECT_EQ(send[1], c.bridged->second) << "target";
    }
}

const RouteCase kReadRoutesCases[] = {
    {"LogicalDeviceOfTheBmc", {}, StoreLocator(), kStore, "bmc", std::nullopt},
    {"At24c02Eeprom", {}, WideLocator(), kWide, "bmc", std::nullopt},
    {"Ds1624sEeprom", {}, SmallLocator(), kSmall, "bmc", std::nullopt},
    // Device ID 0 behind a bus of the BMC: the satellite at the slave
    // address, bridged on the bus's channel.
    {"FrontPanelOnChannel0",
     {{"fru.devices", "panel:front_panel:0:256"}},
     Locator(FRU_NVS_IMBDEVICE, 0x00, 0x22),
     "panel",
     "front_panel",
     std::pair{0x00, 0x22}},
    {"ManagementEngineOnChannel6",
     {{"fru.devices", "engine:me:0:256"}},
     Locator(FRU_NVS_IMBDEVICE, 0x06, 0x2C),
     "engine",
     "me",
     std::pair{0x06, 0x2C}},
    // A controller address other than the BMC's: the message layer
    // bridges it on channel 0.
    {"ControllerAddressC0h",
     {{"fru.devices", "hotswap:hsc0:1:256"}},
     Locator(FRU_NVS_IMBDEVICE, 0xFF, 0x20, 1, 0xC0),
     "hotswap",
     "hsc0",
     std::pair{0x00, 0xC0}},
    // Not device ID 0: the BMC's own device, bus or not.
    {"BusWithDeviceId1StaysOnTheBmc",
     {{"fru.devices", "second:bmc:1:256"}},
     Locator(FRU_NVS_IMBDEVICE, 0x03, 0xA0, 1),
     "second",
     "bmc",
     std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Devices, ReadRoutes, ::testing::ValuesIn(kReadRoutesCases),
                         CaseName<RouteCase>);

// ------------------------------------------------------------ request layouts

struct LayoutCase {
    const char* name;
    int platform;
    FRU_LOCATOR locator;
    std::uint8_t netFn;
    std::uint8_t cmd;
    std::uint16_t offset;
    std::vector<Bytes> requests;
};

class ReadLayouts : public FruDeviceRead, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(ReadLayouts, EachChunkNamesItsOffsetAndCount) {
    const LayoutCase& c = GetParam();
    BootStorage();
    ASSERT_EQ(Read(Access(c.platform), c.locator, c.offset, 20).status, ORVEL_SUCCESS);
    EXPECT_EQ(Sent(c.netFn, c.cmd), c.requests);
}

const LayoutCase kReadLayoutsCases[] = {
    {"ReadFruData",
     0,
     StoreLocator(),
     kNetFnStorage,
     kReadFruData,
     0x0123,
     {{0x00, 0x23, 0x01, 8}, {0x00, 0x2B, 0x01, 8}, {0x00, 0x33, 0x01, 4}}},
    {"TwoAddressBytes",
     0,
     WideLocator(),
     kNetFnApp,
     kMasterWriteRead,
     0x0110,
     {{0x03, 0xA0, 8, 0x01, 0x10}, {0x03, 0xA0, 8, 0x01, 0x18}, {0x03, 0xA0, 4, 0x01, 0x20}}},
    {"Ds1624sAt10h",
     0,
     SmallLocator(),
     kNetFnApp,
     kMasterWriteRead,
     0x10,
     {{0x05, 0x9E, 8, 0x17, 0x10}, {0x05, 0x9E, 8, 0x17, 0x18}, {0x05, 0x9E, 4, 0x17, 0x20}}},
    // An mBMC device is a logical device on platform 3 and an EEPROM
    // elsewhere; it is never bridged, whatever its bus.
    {"MbmcOnPlatform3",
     3,
     Locator(FRU_NVS_MBMC, 0x03, 0xA0),
     kNetFnStorage,
     kReadFruData,
     0x40,
     {{0x00, 0x40, 0x00, 8}, {0x00, 0x48, 0x00, 8}, {0x00, 0x50, 0x00, 4}}},
    {"MbmcElsewhere",
     0,
     Locator(FRU_NVS_MBMC, 0x03, 0xA0),
     kNetFnApp,
     kMasterWriteRead,
     0x40,
     {{0x03, 0xA0, 8, 0x00, 0x40}, {0x03, 0xA0, 8, 0x00, 0x48}, {0x03, 0xA0, 4, 0x00, 0x50}}},
};

INSTANTIATE_TEST_SUITE_P(Types, ReadLayouts, ::testing::ValuesIn(kReadLayoutsCases),
                         CaseName<LayoutCase>);

// The locator's LUN is the LUN of Master Write-Read; the satellite's
// storage lives on LUN 0 and refuses any other (C2h).
TEST_F(FruDeviceRead, MasterWriteReadCarriesTheLocatorsLun) {
    BootStorage({{"fru.memories", "satellite:hsc0:0x03:0xA0:256"}});
    EXPECT_EQ(Read(Access(), Locator(FRU_NVS_AT24CO2, 0x03, 0xA0, 0, 0xC0, 0), 0, 4).status,
              ORVEL_SUCCESS);
    EXPECT_EQ(Read(Access(), Locator(FRU_NVS_AT24CO2, 0x03, 0xA0, 0, 0xC0, 1), 0, 4).status,
              ORVEL_ERROR_READING_FRU);
    const auto accesses = Accesses();
    ASSERT_EQ(accesses.size(), 2u);
    EXPECT_EQ(accesses[0].completionCode, 0x00);
    EXPECT_EQ(accesses[1].completionCode, 0xC2);
    EXPECT_EQ(accesses[1].note, "LUN 1");
}

// ------------------------------------------------------------ completion codes

struct CodeCase {
    const char* name;
    std::map<std::string, std::string> settings;
    FRU_LOCATOR locator;
    std::uint16_t offset;
    std::uint32_t status;
    std::uint32_t count;                // bytes read
    std::vector<unsigned> countsAsked;  // by the requests, in order
};

class ReadCompletionCodes : public FruDeviceRead, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(ReadCompletionCodes, DecideTheNextChunk) {
    const CodeCase& c = GetParam();
    BootStorage(c.settings);
    const ReadResult result = Read(Access(), c.locator, c.offset, 20);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.count, c.count);
    const bool logical = c.locator.mType == FRU_NVS_IMBDEVICE;
    const std::string device = logical ? kStore : kWide;
    const Bytes cells = PatternOf(device, Device(device).Size());
    EXPECT_EQ(Slice(result.bytes, 0, c.count), Slice(cells, c.offset, c.count));
    EXPECT_EQ(Slice(result.bytes, c.count, 20 - c.count), Bytes(20 - c.count, 0xEE));
    EXPECT_EQ(logical ? CountsAsked(Sent(kNetFnStorage, kReadFruData), kReadFruDataCountByte)
                      : CountsAsked(Sent(kNetFnApp, kMasterWriteRead), kMasterWriteReadCountByte),
              c.countsAsked);
    EXPECT_EQ(Logged("CFru::ReadOrvelFromBmc - Error Reading FRU"), c.status != ORVEL_SUCCESS);
}

std::vector<unsigned> Repeat(unsigned count, std::size_t times) {
    return std::vector<unsigned>(times, count);
}

std::vector<unsigned> Join(std::initializer_list<std::vector<unsigned>> parts) {
    std::vector<unsigned> joined;
    for (const auto& part : parts) joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

const CodeCase kReadCompletionCodesCases[] = {
    {"C8hOn8BytesReadsIn4ByteChunks",
     {{"fru.store.read_limit_cc", "0xC8"}, {"fru.store.max_read", "4"}},
     StoreLocator(),
     0,
     ORVEL_SUCCESS,
     20,
     {8, 4, 4, 4, 4, 4}},
    {"CAhOn8And4BytesReadsByteByByte",
     {{"fru.store.max_read", "1"}},
     StoreLocator(),
     0,
     ORVEL_SUCCESS,
     20,
     Join({{8, 4}, Repeat(1, 20)})},
    {"EepromCAhReadsIn4ByteChunks",
     {{"fru.wide.max_read", "4"}},
     WideLocator(),
     0,
     ORVEL_SUCCESS,
     20,
     {8, 4, 4, 4, 4, 4}},
    {"LengthRefusedEvenForOneByteFails",
     {{"bmc.fault.answer", "0x0A:0x11:0xC8"}},
     StoreLocator(),
     0,
     ORVEL_ERROR_READING_FRU,
     0,
     {8, 4, 1}},
    {"BusyThreeTimesThenData",
     {{"fru.store.fault.read_busy", "3"}},
     StoreLocator(),
     0,
     ORVEL_SUCCESS,
     20,
     {8, 8, 8, 8, 8, 4}},
    // Busy answers leave the chunk size as it is; the length complaint
    // after them still shortens it.
    {"BusyKeepsTheChunkSize",
     {{"fru.store.fault.read_busy", "2"}, {"fru.store.max_read", "4"}},
     StoreLocator(),
     0,
     ORVEL_SUCCESS,
     20,
     {8, 8, 8, 4, 4, 4, 4, 4}},
    {"BusyJustUnderTheBound",
     {{"fru.store.fault.read_busy", std::to_string(kMaxBusyAnswers - 1)}},
     StoreLocator(),
     0,
     ORVEL_SUCCESS,
     20,
     Join({Repeat(8, kMaxBusyAnswers), {8, 4}})},
    {"BusyAtTheBoundFails",
     {{"fru.store.fault.read_busy", std::to_string(kMaxBusyAnswers)}},
     StoreLocator(),
     0,
     ORVEL_ERROR_READING_FRU,
     0,
     Repeat(8, kMaxBusyAnswers)},
    // 81h, the FRU device's own busy answer, waits like C0h.
    {"FruDeviceBusyThreeTimesThenData",
     {{"fru.store.fault.read_busy", "3:0x81"}},
     StoreLocator(),
     0,
     ORVEL_SUCCESS,
     20,
     {8, 8, 8, 8, 8, 4}},
    {"FruDeviceBusyForeverFails",
     {{"fru.store.fault.read_busy", "always:0x81"}},
     StoreLocator(),
     0,
     ORVEL_ERROR_READING_FRU,
     0,
     Repeat(8, kMaxBusyAnswers)},
    {"EepromBusyForeverFails",
     {{"fru.wide.fault.read_busy", "always"}},
     WideLocator(),
     0,
     ORVEL_ERROR_READING_FRU,
     0,
     Repeat(8, kMaxBusyAnswers)},
    // A failing cell at 0Ch: the chunk that covers it answers FFh.
    {"OtherCodeFailsAtOnce",
     {{"fru.store.fault.read_fail", "0x0C"}},
     StoreLocator(),
     0,
     ORVEL_ERROR_READING_FRU,
     8,
     {8, 8}},
    // 4 bytes are left before the end: the controller returns them with
    // a count of 4, the next chunk starts at the end and gets C9h.
    {"ShortCountAtTheEndThenOutOfRange",
     {},
     StoreLocator(),
     2044,
     ORVEL_ERROR_READING_FRU,
     4,
     {8, 8}},
    // A controller that returns at most 3 bytes a request, saying so in
    // its count: each chunk starts after the bytes the last returned.
    {"ShortCountsContinueAfterTheBytesReturned",
     {{"fru.store.read_limit_cc", "short"}, {"fru.store.max_read", "3"}},
     StoreLocator(),
     0,
     ORVEL_SUCCESS,
     20,
     {8, 8, 8, 8, 8, 5, 2}},
};

INSTANTIATE_TEST_SUITE_P(Answers, ReadCompletionCodes,
                         ::testing::ValuesIn(kReadCompletionCodesCases), CaseName<CodeCase>);

TEST_F(FruDeviceRead, ShortCountsReadFromWhereTheLastAnswerEnded) {
    BootStorage({{"fru.store.read_limit_cc", "short"}, {"fru.store.max_read", "3"}});
    ASSERT_EQ(Read(Access(), StoreLocator(), 0, 20).status, ORVEL_SUCCESS);
    std::vector<std::uint32_t> offsets;
    for (const Chunk& chunk : Chunks(kStore)) offsets.push_back(chunk.offset);
    EXPECT_EQ(offsets, (std::vector<std::uint32_t>{0, 3, 6, 9, 12, 15, 18}));
}

// ------------------------------------------------------------ busy pauses

// The virtual time between each request the device got and the next.
std::vector<std::uint64_t> GapsNs(const std::vector<sim::fru::LoggedAccess>& accesses) {
    std::vector<std::uint64_t> gaps;
    for (std::size_t i = 1; i < accesses.size(); ++i) {
        gaps.push_back(accesses[i].atNs - accesses[i - 1].atNs);
    }
    return gaps;
}

constexpr std::uint64_t kNsPerMs = 1000000;
// What one exchange over the KCS ports costs in virtual time, and more:
// a gap longer than its pause by this much is a pause too long.
constexpr std::uint64_t kExchangeSlackNs = kNsPerMs / 2;

struct PauseCase {
    const char* name;
    std::map<std::string, std::string> settings;
    bool write;
    std::uint32_t status;
    // The pause after each waiting answer in a row, ms, as documented:
    // 4 ms, doubling, at most 64 ms.
    std::vector<std::uint64_t> pausesMs;
    std::size_t requests;  // of the whole transfer of 20 bytes
};

class BusyPauses : public FruDeviceRead, public ::testing::WithParamInterface<PauseCase> {};

TEST_P(BusyPauses, GrowAndStayInTheirBound) {
    const PauseCase& c = GetParam();
    BootStorage(c.settings);
    const FRU_LOCATOR at = StoreLocator();
    if (c.write) {
        const Bytes data(20, 0x5A);
        EXPECT_EQ(WriteOrvelToBmc(Access(), at.mType, at.mLun, at.mBus, at.mSlaveAddress,
                                  at.mControllerAddress, at.mFruDeviceId, 0, data),
                  c.status);
    } else {
        EXPECT_EQ(Read(Access(), at, 0, 20).status, c.status);
    }
    const auto accesses = Accesses(kStore);
    ASSERT_EQ(accesses.size(), c.requests);
    const std::vector<std::uint64_t> gaps = GapsNs(accesses);
    for (std::size_t i = 0; i < gaps.size(); ++i) {
        SCOPED_TRACE("gap after request " + std::to_string(i + 1));
        // After the waiting answers, their pause; after progress, none.
        const std::uint64_t pause = i < c.pausesMs.size() ? c.pausesMs[i] * kNsPerMs : 0;
        EXPECT_GE(gaps[i], pause);
        EXPECT_LT(gaps[i], pause + kExchangeSlackNs);
    }
}

std::vector<std::uint64_t> PausesOfARunThatNeverEnds() {
    std::vector<std::uint64_t> pauses = {4, 8, 16, 32};
    pauses.resize(kMaxBusyAnswers - 1, 64);
    return pauses;
}

const PauseCase kBusyPausesCases[] = {
    {"ReadBusyForever",
     {{"fru.store.fault.read_busy", "always"}},
     false,
     ORVEL_ERROR_READING_FRU,
     PausesOfARunThatNeverEnds(),
     kMaxBusyAnswers},
    {"ReadFruDeviceBusyForever",
     {{"fru.store.fault.read_busy", "always:0x81"}},
     false,
     ORVEL_ERROR_READING_FRU,
     PausesOfARunThatNeverEnds(),
     kMaxBusyAnswers},
    {"WriteBusyForever",
     {{"fru.store.fault.write_busy", "always"}},
     true,
     ORVEL_ERROR_WRITING_FRU,
     PausesOfARunThatNeverEnds(),
     kMaxBusyAnswers},
    {"WriteBusyThreeTimes",
     {{"fru.store.fault.write_busy", "3:0x81"}},
     true,
     ORVEL_SUCCESS,
     {4, 8, 16},
     6},
    {"WriteTakesNothingForever",
     {{"fru.store.fault.short_write", "0:0:always"}},
     true,
     ORVEL_ERROR_WRITING_FRU,
     {4, 8},
     kMaxStalledWrites},
};

INSTANTIATE_TEST_SUITE_P(Answers, BusyPauses, ::testing::ValuesIn(kBusyPausesCases),
                         CaseName<PauseCase>);

// However long a controller stays busy, one chunk waits at most the bound
// the README states, 1788 ms, and then fails.
TEST_F(FruDeviceRead, BusyForeverWaitsTheStatedBoundInAll) {
    BootStorage({{"fru.store.fault.read_busy", "always"}});
    const double before = VirtualSeconds();
    EXPECT_EQ(Read(Access(), StoreLocator(), 0, 8).status, ORVEL_ERROR_READING_FRU);
    const double waited = VirtualSeconds() - before;
    EXPECT_GE(waited, 1.788);
    EXPECT_LT(waited, 1.788 + kMaxBusyAnswers * double(kExchangeSlackNs) / 1e9);
}

// ------------------------------------------------------------ what comes back

struct AnswerCase {
    const char* name;
    FRU_TYPE type;
    sim::ipmi::Response answer;
    bool accepted;
};

class ReadAnswers : public FruDeviceRead, public ::testing::WithParamInterface<AnswerCase> {};

// A satellite without FRU storage of its own answers as scripted; the read
// of 8 bytes takes only what the answer really holds.
TEST_P(ReadAnswers, AreTakenOnlyWhenTheyHoldWhatTheyClaim) {
    const AnswerCase& c = GetParam();
    BootStorage();
    const bool logical = c.type == FRU_NVS_IMBDEVICE;
    Script("hsc0", logical ? kNetFnStorage : kNetFnApp, logical ? kReadFruData : kMasterWriteRead,
           c.answer);
    const ReadResult result = Read(Access(), Locator(c.type, 0x03, 0xA0, 0, 0xC0), 0, 8);
    if (c.accepted) {
        EXPECT_EQ(result.status, ORVEL_SUCCESS);
        EXPECT_EQ(result.bytes, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
        EXPECT_EQ(result.count, 8u);
    } else {
        EXPECT_EQ(result.status, ORVEL_ERROR_READING_FRU);
        EXPECT_EQ(result.bytes, Bytes(8, 0xEE));
        EXPECT_EQ(result.count, 0u);
    }
    // Sent once, bridged to the satellite: an answer that does not hold
    // what it claims is not asked again.
    EXPECT_EQ(Sent(kNetFnApp, kSendMessage).size(), 1u);
}

const AnswerCase kReadAnswersCases[] = {
    {"CountAndBytes", FRU_NVS_IMBDEVICE, {0x00, {8, 1, 2, 3, 4, 5, 6, 7, 8}}, true},
    {"CountZero", FRU_NVS_IMBDEVICE, {0x00, {0}}, false},
    {"CountAboveTheAsked", FRU_NVS_IMBDEVICE, {0x00, {9, 1, 2, 3, 4, 5, 6, 7, 8, 9}}, false},
    {"FewerBytesThanTheCount", FRU_NVS_IMBDEVICE, {0x00, {8, 1, 2, 3, 4, 5}}, false},
    {"NoCountByte", FRU_NVS_IMBDEVICE, {0x00, {}}, false},
    {"MasterWriteReadAllBytes", FRU_NVS_AT24CO2, {0x00, {1, 2, 3, 4, 5, 6, 7, 8}}, true},
    {"MasterWriteReadFewerBytes", FRU_NVS_AT24CO2, {0x00, {1, 2, 3, 4, 5}}, false},
};

INSTANTIATE_TEST_SUITE_P(Scripted, ReadAnswers, ::testing::ValuesIn(kReadAnswersCases),
                         CaseName<AnswerCase>);

// ------------------------------------------------------------ refused reads

TEST_F(FruDeviceRead, NoDeviceFailsEveryReadWithoutARequest) {
    BootStorage();
    const FRU_LOCATOR none = Locator(FRU_NVS_NONE, 0xFF, 0x20);
    for (const auto& [offset, length] : std::vector<std::pair<std::uint16_t, std::size_t>>{
             {0, 8}, {0, 1}, {0x10, 20}, {0x100, 0}}) {
        SCOPED_TRACE(offset);
        Bytes bytes(length);
        EXPECT_EQ(CFru::ReadDataFromFRU(Access(), none, offset, bytes), ORVEL_ERROR_READING_FRU);
    }
    EXPECT_TRUE(Exchanges("kcs").empty());
}

// Offsets are 16 bits wide: a read running past FFFFh would wrap to the
// start of the device.
TEST_F(FruDeviceRead, RangePastTheLastOffsetIsRefusedBeforeAnythingGoesOut) {
    BootStorage({{"fru.devices", "store:bmc:0:65535"}});
    Bytes bytes(17);
    EXPECT_EQ(CFru::ReadDataFromFRU(Access(), StoreLocator(), 0xFFF0, bytes),
              ORVEL_ERROR_READING_FRU);
    EXPECT_TRUE(Exchanges("kcs").empty());
    // Up to the last offset is allowed.
    EXPECT_EQ(CFru::ReadDataFromFRU(Access(), StoreLocator(), 0xFFF0, std::span(bytes).first(15)),
              ORVEL_SUCCESS);
    EXPECT_EQ(Chunks(kStore), (std::vector<Chunk>{{"read", 0xFFF0, 8}, {"read", 0xFFF8, 7}}));
}

// A DS1624S has one address byte: a range past its 256 bytes would wrap to
// its start, so it is refused before anything goes out, reads and writes.
TEST_F(FruDeviceRead, Ds1624sRangePast256BytesIsRefusedBeforeAnythingGoesOut) {
    BootStorage();
    Bytes bytes(8);
    EXPECT_EQ(CFru::ReadDataFromFRU(Access(), SmallLocator(), 0xFA, bytes),
              ORVEL_ERROR_READING_FRU);
    EXPECT_EQ(CFru::ReadDataFromFRU(Access(), SmallLocator(), 0x3D6A, bytes),
              ORVEL_ERROR_READING_FRU);
    const FRU_LOCATOR at = SmallLocator();
    EXPECT_EQ(WriteOrvelToBmc(Access(), at.mType, at.mLun, at.mBus, at.mSlaveAddress,
                              at.mControllerAddress, at.mFruDeviceId, 0x3D6A, bytes),
              ORVEL_ERROR_WRITING_FRU);
    EXPECT_TRUE(Exchanges("kcs").empty());
    // Up to the last byte is allowed.
    EXPECT_EQ(CFru::ReadDataFromFRU(Access(), SmallLocator(), 0xF8, bytes), ORVEL_SUCCESS);
}

// No answer at all ends the read with the library's own read failure, and
// says that it was no answer, from whom.
TEST_F(FruDeviceRead, SatelliteThatNeverTakesTheRequestEndsTheReadAsNoAnswer) {
    Bytes bytes(8);
    EXPECT_EQ(ReadFromSilentFrontPanel(bytes), ORVEL_ERROR_READING_FRU);
    EXPECT_TRUE(LastTransferGotNoAnswer());
    EXPECT_NE(SystemInterfaceProblem().find(L"the controller at 22h (channel 0) gave no answer"),
              std::wstring::npos);
    EXPECT_TRUE(Accesses("panel").empty());
    EXPECT_TRUE(Logged("CFru::ReadOrvelFromBmc - Error Reading FRU"));
}

// A transfer refused before anything goes out is no missing answer, even
// right after one that was.
TEST_F(FruDeviceRead, RefusedTransferAfterANoAnswerIsNotReportedAsNoAnswer) {
    Bytes bytes(8);
    ASSERT_EQ(ReadFromSilentFrontPanel(bytes), ORVEL_ERROR_READING_FRU);
    ASSERT_TRUE(LastTransferGotNoAnswer());
    Machine().Log().Clear();

    const FRU_LOCATOR none = Locator(FRU_NVS_NONE, 0xFF, 0x20);
    EXPECT_EQ(CFru::ReadDataFromFRU(Access(), none, 0, bytes), ORVEL_ERROR_READING_FRU);
    EXPECT_FALSE(LastTransferGotNoAnswer());
    EXPECT_EQ(WriteOrvelToBmc(Access(), none.mType, none.mLun, none.mBus, none.mSlaveAddress,
                              none.mControllerAddress, none.mFruDeviceId, 0, bytes),
              ORVEL_ERROR_WRITING_FRU);
    EXPECT_FALSE(LastTransferGotNoAnswer());
    EXPECT_TRUE(Exchanges("kcs").empty());
}

// ------------------------------------------------------------ whole FRUs

struct LoadCase {
    const char* name;
    std::map<std::string, std::string> settings;
    FRU_LOCATOR locator;
    const char* device;
};

class LoadFromSystem : public FruDeviceRead, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadFromSystem, ReadsTheFactoryFruByteForByteInChunksOfAtMost8) {
    const LoadCase& c = GetParam();
    BootStorage(c.settings);
    sim::fru::FruDevice& device = Device(c.device);
    const Bytes image = sim::fru::SampleFru(c.device, device.Size()).Build();
    ASSERT_TRUE(device.Fill(image));

    CFru fru;
    fru.GetDevLocator() = c.locator;
    ASSERT_EQ(fru.LoadFromSystem(Access()), ORVEL_SUCCESS);
    EXPECT_TRUE(fru.HasBoardArea() && fru.HasProductArea());
    Bytes rebuilt;
    fru.SerializeFru(rebuilt);
    EXPECT_EQ(rebuilt, Slice(image, 0, rebuilt.size()));

    const auto chunks = Chunks(c.device);
    ASSERT_FALSE(chunks.empty());
    for (const Chunk& chunk : chunks) {
        EXPECT_EQ(chunk.operation, "read");
        EXPECT_LE(chunk.length, 8u);
        EXPECT_EQ(chunk.completionCode, 0x00);
    }
}

const LoadCase kLoadFromSystemCases[] = {
    {"LogicalDevice", {}, StoreLocator(), kStore},
    {"At24c02Eeprom", {}, WideLocator(), kWide},
    {"Ds1624sEeprom", {}, SmallLocator(), kSmall},
    {"FrontPanelBridged",
     {{"fru.devices", "panel:front_panel:0:256"}},
     Locator(FRU_NVS_IMBDEVICE, 0x00, 0x22),
     "panel"},
};

INSTANTIATE_TEST_SUITE_P(Devices, LoadFromSystem, ::testing::ValuesIn(kLoadFromSystemCases),
                         CaseName<LoadCase>);

TEST_F(FruDeviceRead, LoadFailsWithTheHeaderReadsCodeWhenTheDeviceIsNone) {
    BootStorage();
    CFru fru;
    fru.GetDevLocator() = Locator(FRU_NVS_NONE, 0xFF, 0x20);
    EXPECT_EQ(fru.LoadFromSystem(Access()), ORVEL_ERROR_READING_FRU);
    EXPECT_EQ(Orvel_Private::TakeLastError(), std::wstring(L"#109 #134 00 20 20 FF"));
}

// ------------------------------------------------------------ checksum

TEST(FruChecksum, BytesAndChecksumSumToZero) {
    const std::vector<std::pair<Bytes, std::uint8_t>> cases = {
        {{}, 0x00},
        {{0x20, 0x18}, 0xC8},
        {{0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}, 0xFE},
        {{0xFF, 0xFF, 0x02}, 0x00},
    };
    for (const auto& [bytes, checksum] : cases) {
        EXPECT_EQ(CFru::CalculateChecksum(bytes), checksum);
    }
}

}  // namespace
}  // namespace fru_device_test
