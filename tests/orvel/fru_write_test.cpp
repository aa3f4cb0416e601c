// Writing a FRU's storage through the simulated BMC: the two write routines'
// requests, chunking and completion codes, EEPROM pages, the choice of
// routine, and writing a whole FRU back (which areas, where, in what order,
// what is reported, and what a failure leaves behind).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string_view>

#include "fru_device_fixture.h"
#include "orvel/fru_device_access.h"
#include "orvel/fru_no_answer.h"
#include "orvel/last_error.h"
#include "orvel/orvel_globals.h"
#include "orvel/orvel_status.h"
#include "tests/sim/fru_requests.h"

namespace fru_device_test {
namespace {

using namespace Orvel_Private;
using fru_test::MultiRecord;
using fru_test::Text;

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

constexpr const wchar_t* kStoreIdentifier = L"#134 00 20 20 FF";

enum class Routine { kFirst, kSecond };

std::uint32_t Write(const FruAccess& with, Routine routine, const FRU_LOCATOR& at,
                    std::uint16_t offset, std::span<const std::uint8_t> bytes) {
    if (routine == Routine::kFirst) {
        return WriteOrvelToBmc(with, at.mType, at.mLun, at.mBus, at.mSlaveAddress,
                               at.mControllerAddress, at.mFruDeviceId, offset, bytes);
    }
    return WriteOrvelTomBmc(with, at.mType, at.mLun, at.mBus, at.mSlaveAddress,
                            at.mControllerAddress, at.mFruDeviceId, offset, bytes, at.mMbmcSizeData,
                            at.mMbmcSizeAddress);
}

// The data bytes each write request carried, in order.
std::vector<std::size_t> DataLengths(const std::vector<Bytes>& requests, std::size_t head) {
    std::vector<std::size_t> lengths;
    for (const Bytes& request : requests) lengths.push_back(request.size() - head);
    return lengths;
}

constexpr std::size_t kWriteFruDataHead = 3;     // ID, offset LS, offset MS
constexpr std::size_t kMasterWriteReadHead = 5;  // bus, slave, count, two address bytes

const Bytes kData = simtest::Pattern(20, 0xA5);

class FruDeviceWrite : public FruDeviceTest {};

// ------------------------------------------------------------ write requests

struct ShapeCase {
    const char* name;
    Routine routine;
    FRU_LOCATOR locator;
    const char* device;
    std::uint8_t netFn;
    std::uint8_t cmd;
    Bytes head;  // of the first request, before its data
};

class WriteShapes : public FruDeviceWrite, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(WriteShapes, TwentyBytesGoOutAsChunksOf8_8_4) {
    const ShapeCase& c = GetParam();
    BootStorage();
    ASSERT_EQ(Write(Access(), c.routine, c.locator, 0x110 % Device(c.device).Size(), kData),
              ORVEL_SUCCESS);

    const std::uint32_t at = 0x110 % Device(c.device).Size();
    EXPECT_EQ(Chunks(c.device),
              (std::vector<Chunk>{{"write", at, 8}, {"write", at + 8, 8}, {"write", at + 16, 4}}));
    EXPECT_EQ(Slice(Cells(c.device), at, kData.size()), kData);
    const std::vector<Bytes> sent = Sent(c.netFn, c.cmd);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], fru_test::Concat({c.head, Slice(kData, 0, 8)}));
}

const ShapeCase kWriteShapesCases[] = {
    {"FirstLogical",
     Routine::kFirst,
     StoreLocator(),
     kStore,
     kNetFnStorage,
     kWriteFruData,
     {0x00, 0x10, 0x01}},
    {"FirstTwoAddressBytes",
     Routine::kFirst,
     WideLocator(),
     kWide,
     kNetFnApp,
     kMasterWriteRead,
     {0x03, 0xA0, 0x00, 0x01, 0x10}},
    {"FirstDs1624s",
     Routine::kFirst,
     SmallLocator(),
     kSmall,
     kNetFnApp,
     kMasterWriteRead,
     {0x05, 0x9E, 0x00, 0x17, 0x10}},
    // The first routine writes an mBMC device as an EEPROM,
    // the second as a logical device.
    {"FirstMbmc",
     Routine::kFirst,
     Locator(FRU_NVS_MBMC, 0x03, 0xA0),
     kWide,
     kNetFnApp,
     kMasterWriteRead,
     {0x03, 0xA0, 0x00, 0x01, 0x10}},
    {"SecondMbmc",
     Routine::kSecond,
     Locator(FRU_NVS_MBMC, 0x03, 0xA0),
     kStore,
     kNetFnStorage,
     kWriteFruData,
     {0x00, 0x10, 0x01}},
    {"SecondLogical",
     Routine::kSecond,
     StoreLocator(),
     kStore,
     kNetFnStorage,
     kWriteFruData,
     {0x00, 0x10, 0x01}},
    {"SecondTwoAddressBytes",
     Routine::kSecond,
     WideLocator(),
     kWide,
     kNetFnApp,
     kMasterWriteRead,
     {0x03, 0xA0, 0x00, 0x01, 0x10}},
};

INSTANTIATE_TEST_SUITE_P(Routines, WriteShapes, ::testing::ValuesIn(kWriteShapesCases),
                         CaseName<ShapeCase>);

TEST_F(FruDeviceWrite, BridgedWriteReachesTheSatellitesDevice) {
    BootStorage({{"fru.devices", "panel:front_panel:0:256"}});
    for (const Routine routine : {Routine::kFirst, Routine::kSecond}) {
        EXPECT_EQ(Write(Access(), routine, Locator(FRU_NVS_IMBDEVICE, 0x00, 0x22), 0x20, kData),
                  ORVEL_SUCCESS);
    }
    EXPECT_EQ(Slice(Cells("panel"), 0x20, kData.size()), kData);
    EXPECT_EQ(Chunks("panel").size(), 6u);
    for (const Bytes& send : Sent(kNetFnApp, kSendMessage)) {
        EXPECT_EQ(send[0], 0x00) << "channel";
        EXPECT_EQ(send[1], 0x22) << "target";
    }
}

// A write that got no answer fails with the write code like a refusal; only
// the no-answer mark tells the two apart, for the failure text.
TEST_F(FruDeviceWrite, NoAnswerFailsWithTheWriteCodeAndIsToldFromARefusal) {
    for (const Routine routine : {Routine::kFirst, Routine::kSecond}) {
        BootStorage(
            {{"fru.devices", "panel:front_panel:0:256"}, {"ipmb.front_panel.fault.nak", "always"}});
        EXPECT_EQ(Write(Access(), routine, Locator(FRU_NVS_IMBDEVICE, 0x00, 0x22), 0x20, kData),
                  ORVEL_ERROR_WRITING_FRU);
        EXPECT_TRUE(LastTransferGotNoAnswer());
        BootStorage({{"bmc.fault.answer", "0x0A:0x12:0xFF:1"}});
        EXPECT_EQ(Write(Access(), routine, StoreLocator(), 0, kData), ORVEL_ERROR_WRITING_FRU);
        EXPECT_FALSE(LastTransferGotNoAnswer());
    }
}

// ------------------------------------------------------------ completion codes

struct WriteCodeCase {
    const char* name;
    std::map<std::string, std::string> settings;
    FRU_LOCATOR locator;
    std::uint16_t offset;
    std::uint32_t status;
    std::vector<std::size_t> dataLengths;  // of the requests, in order
};

class WriteCompletionCodes : public FruDeviceWrite,
                             public ::testing::WithParamInterface<WriteCodeCase> {};

TEST_P(WriteCompletionCodes, DecideTheNextChunk) {
    const WriteCodeCase& c = GetParam();
    const bool logical = c.locator.mType == FRU_NVS_IMBDEVICE;
    const std::string device = logical ? kStore : kWide;
    for (const Routine routine : {Routine::kFirst, Routine::kSecond}) {
        SCOPED_TRACE(routine == Routine::kFirst ? "first routine" : "second routine");
        BootStorage(c.settings);
        EXPECT_EQ(Write(Access(), routine, c.locator, c.offset, kData), c.status);
        EXPECT_EQ(logical ? DataLengths(Sent(kNetFnStorage, kWriteFruData), kWriteFruDataHead)
                          : DataLengths(Sent(kNetFnApp, kMasterWriteRead), kMasterWriteReadHead),
                  c.dataLengths);
        if (c.status == ORVEL_SUCCESS) {
            EXPECT_EQ(Slice(Cells(device), c.offset, kData.size()), kData);
        }
        EXPECT_EQ(Logged(routine == Routine::kFirst ? "CFru::WriteOrvelToBmc - Error Writing FRU"
                                                    : "CFru::WriteOrvelTomBmc - Error Writing FRU"),
                  c.status != ORVEL_SUCCESS);
    }
}

std::vector<std::size_t> Eights(std::size_t times) {
    return std::vector<std::size_t>(times, 8);
}

const WriteCodeCase kWriteCompletionCodesCases[] = {
    {"C7hOn8BytesWritesIn4ByteChunks",
     {{"fru.store.max_write", "4"}},
     StoreLocator(),
     0,
     ORVEL_SUCCESS,
     {8, 4, 4, 4, 4, 4}},
    {"LengthRefusedEvenForOneByteFails",
     {{"bmc.fault.answer", "0x0A:0x12:0xC7"}},
     StoreLocator(),
     0,
     ORVEL_ERROR_WRITING_FRU,
     {8, 4, 1}},
    {"BusyThreeTimesThenWritten",
     {{"fru.store.fault.write_busy", "3"}},
     StoreLocator(),
     0,
     ORVEL_SUCCESS,
     {8, 8, 8, 8, 8, 4}},
    {"BusyAtTheBoundFails",
     {{"fru.store.fault.write_busy", std::to_string(kMaxBusyAnswers)}},
     StoreLocator(),
     0,
     ORVEL_ERROR_WRITING_FRU,
     Eights(kMaxBusyAnswers)},
    // 81h, the FRU device's own busy answer, waits like C0h.
    {"FruDeviceBusyThreeTimesThenWritten",
     {{"fru.store.fault.write_busy", "3:0x81"}},
     StoreLocator(),
     0,
     ORVEL_SUCCESS,
     {8, 8, 8, 8, 8, 4}},
    {"FruDeviceBusyForeverFailsAtTheBound",
     {{"fru.store.fault.write_busy", "always:0x81"}},
     StoreLocator(),
     0,
     ORVEL_ERROR_WRITING_FRU,
     Eights(kMaxBusyAnswers)},
    {"BusyAnswersOfBothKindsShareTheBound",
     {{"fru.store.fault.write_busy", "always:0x81"}, {"bmc.fault.answer", "0x0A:0x12:0xC0:10"}},
     StoreLocator(),
     0,
     ORVEL_ERROR_WRITING_FRU,
     Eights(kMaxBusyAnswers)},
    {"OtherCodeFailsAtOnce",
     {{"bmc.fault.answer", "0x0A:0x12:0xFF:1"}},
     StoreLocator(),
     0,
     ORVEL_ERROR_WRITING_FRU,
     {8}},
    {"WriteProtectedFailsAtOnce",
     {{"fru.store.write_protect", "0x08:1"}},
     StoreLocator(),
     0,
     ORVEL_ERROR_WRITING_FRU,
     {8, 8}},
    // An EEPROM on a private bus: chunks end at 8-byte boundaries, and
    // a length complaint (max_write counts the two address bytes)
    // still shortens them to 4.
    {"EepromChunksEndAtPagesAndShortenOnC7h",
     {{"fru.wide.max_write", "6"}, {"fru.wide.page", "8"}},
     WideLocator(),
     0x0D,
     ORVEL_SUCCESS,
     {3, 8, 4, 4, 4, 4, 1}},
    {"EepromBusyAtTheBoundFails",
     {{"fru.wide.fault.write_busy", "always"}},
     WideLocator(),
     0,
     ORVEL_ERROR_WRITING_FRU,
     Eights(kMaxBusyAnswers)},
};

INSTANTIATE_TEST_SUITE_P(Answers, WriteCompletionCodes,
                         ::testing::ValuesIn(kWriteCompletionCodesCases), CaseName<WriteCodeCase>);

// ------------------------------------------------------------ count written

struct CountCase {
    const char* name;
    std::map<std::string, std::string> settings;
    std::uint32_t status;
    std::vector<Chunk> chunks;  // the requests the device got, in order
};

class WriteCounts : public FruDeviceWrite, public ::testing::WithParamInterface<CountCase> {};

// 20 bytes at 10h of a logical device whose controller takes fewer bytes
// than it is sent and says so in its count written.
TEST_P(WriteCounts, ShortCountsAreContinuedAndNoneIsNeverWritten) {
    const CountCase& c = GetParam();
    for (const Routine routine : {Routine::kFirst, Routine::kSecond}) {
        SCOPED_TRACE(routine == Routine::kFirst ? "first routine" : "second routine");
        BootStorage(c.settings);
        Bytes expected = Cells(kStore);
        if (c.status == ORVEL_SUCCESS) fru_test::Place(expected, 0x10, kData);
        EXPECT_EQ(Write(Access(), routine, StoreLocator(), 0x10, kData), c.status);
        std::vector<Chunk> chunks;
        for (Chunk chunk : Chunks(kStore)) {
            chunk.completionCode = 0;
            chunks.push_back(chunk);
        }
        EXPECT_EQ(chunks, c.chunks);
        EXPECT_EQ(Cells(kStore), expected);
    }
}

const CountCase kWriteCountsCases[] = {
    // The first request's count says 3: the next starts at 13h with the
    // rest, in chunks of 8 again.
    {"ShortCountContinuesAfterTheBytesTaken",
     {{"fru.store.fault.short_write", "0x13"}},
     ORVEL_SUCCESS,
     {{"write", 0x10, 8}, {"write", 0x13, 8}, {"write", 0x1B, 8}, {"write", 0x23, 1}}},
    {"TwoShortCounts",
     {{"fru.store.fault.short_write", "0x12,0x1C:2"}},
     ORVEL_SUCCESS,
     {{"write", 0x10, 8}, {"write", 0x12, 8}, {"write", 0x1A, 8}, {"write", 0x1C, 8}}},
    {"CountZeroTwiceThenTaken",
     {{"fru.store.fault.short_write", "0x10:0:2"}},
     ORVEL_SUCCESS,
     {{"write", 0x10, 8},
      {"write", 0x10, 8},
      {"write", 0x10, 8},
      {"write", 0x18, 8},
      {"write", 0x20, 4}}},
    // A controller that never takes a byte is not asked forever.
    {"CountZeroForeverFails",
     {{"fru.store.fault.short_write", "0x10:0:always"}},
     ORVEL_ERROR_WRITING_FRU,
     std::vector<Chunk>(kMaxStalledWrites, Chunk{"write", 0x10, 8})},
};

INSTANTIATE_TEST_SUITE_P(Faults, WriteCounts, ::testing::ValuesIn(kWriteCountsCases),
                         CaseName<CountCase>);

struct CountAnswerCase {
    const char* name;
    sim::ipmi::Response answer;
    std::uint32_t status;
    std::size_t requests;
};

class WriteCountAnswers : public FruDeviceWrite,
                          public ::testing::WithParamInterface<CountAnswerCase> {};

// A satellite without FRU storage of its own answers every Write FRU Data
// of 8 bytes as scripted.
TEST_P(WriteCountAnswers, AreTakenOnlyWhenTheyHoldACountUpToTheBytesSent) {
    const CountAnswerCase& c = GetParam();
    for (const Routine routine : {Routine::kFirst, Routine::kSecond}) {
        SCOPED_TRACE(routine == Routine::kFirst ? "first routine" : "second routine");
        BootStorage();
        Script("hsc0", kNetFnStorage, kWriteFruData, c.answer);
        EXPECT_EQ(Write(Access(), routine, Locator(FRU_NVS_IMBDEVICE, 0x03, 0xA0, 0, 0xC0), 0,
                        std::span(kData).first(8)),
                  c.status);
        EXPECT_EQ(Sent(kNetFnApp, kSendMessage).size(), c.requests);
    }
}

const CountAnswerCase kWriteCountAnswersCases[] = {
    {"CountOfTheBytesSent", {0x00, {8}}, ORVEL_SUCCESS, 1},
    {"HalfTakenEachTime", {0x00, {4}}, ORVEL_SUCCESS, 2},
    {"NoCountByte", {0x00, {}}, ORVEL_ERROR_WRITING_FRU, 1},
    {"CountAboveTheBytesSent", {0x00, {9}}, ORVEL_ERROR_WRITING_FRU, 1},
    {"CountZeroEveryTime", {0x00, {0}}, ORVEL_ERROR_WRITING_FRU, kMaxStalledWrites},
};

INSTANTIATE_TEST_SUITE_P(Scripted, WriteCountAnswers, ::testing::ValuesIn(kWriteCountAnswersCases),
                         CaseName<CountAnswerCase>);

// ------------------------------------------------------------ pages

struct PageCase {
    const char* name;
    std::map<std::string, std::string> settings;
    FRU_LOCATOR locator;
    const char* device;
    std::vector<Chunk> chunks;
};

class WritePages : public FruDeviceWrite, public ::testing::WithParamInterface<PageCase> {};

// 20 bytes from 0Dh: an EEPROM, which wraps a write inside its 8-byte page,
// gets chunks that end at page boundaries; a logical device plain chunks.
TEST_P(WritePages, BytesLandWhereTheyBelong) {
    const PageCase& c = GetParam();
    BootStorage(c.settings);
    Bytes expected = Cells(c.device);
    fru_test::Place(expected, 0x0D, kData);
    ASSERT_EQ(Write(Access(), Routine::kFirst, c.locator, 0x0D, kData), ORVEL_SUCCESS);
    EXPECT_EQ(Chunks(c.device), c.chunks);
    EXPECT_EQ(Cells(c.device), expected);
}

const PageCase kWritePagesCases[] = {
    {"At24c02",
     {{"fru.wide.page", "8"}},
     WideLocator(),
     kWide,
     {{"write", 0x0D, 3}, {"write", 0x10, 8}, {"write", 0x18, 8}, {"write", 0x20, 1}}},
    {"Ds1624s",
     {},
     SmallLocator(),
     kSmall,
     {{"write", 0x0D, 3}, {"write", 0x10, 8}, {"write", 0x18, 8}, {"write", 0x20, 1}}},
    {"Logical",
     {},
     StoreLocator(),
     kStore,
     {{"write", 0x0D, 8}, {"write", 0x15, 8}, {"write", 0x1D, 4}}},
};

INSTANTIATE_TEST_SUITE_P(Devices, WritePages, ::testing::ValuesIn(kWritePagesCases),
                         CaseName<PageCase>);

// ------------------------------------------------------------ refused writes

TEST_F(FruDeviceWrite, NoDeviceFailsBothRoutinesWithoutARequest) {
    BootStorage();
    for (const Routine routine : {Routine::kFirst, Routine::kSecond}) {
        EXPECT_EQ(Write(Access(), routine, Locator(FRU_NVS_NONE, 0xFF, 0x20), 0, kData),
                  ORVEL_ERROR_WRITING_FRU);
    }
    EXPECT_TRUE(Exchanges("kcs").empty());
}

TEST_F(FruDeviceWrite, RangePastTheLastOffsetIsRefusedBeforeAnythingGoesOut) {
    BootStorage({{"fru.devices", "store:bmc:0:65535"}});
    for (const Routine routine : {Routine::kFirst, Routine::kSecond}) {
        EXPECT_EQ(Write(Access(), routine, StoreLocator(), 0xFFF0, kData), ORVEL_ERROR_WRITING_FRU);
    }
    EXPECT_TRUE(Exchanges("kcs").empty());
}

// ------------------------------------------------------------ whole FRUs

// The values of a FRU's areas that the tests edit; the rest stays fixed.
struct Values {
    std::string chassisPart = "CPN";
    std::string boardMaker = "Maker";
    std::string productName = "PN";
    Bytes internalUse = simtest::Pattern(16, 0x31);
    Bytes recordData = Bytes(24, 0x11);
};

Bytes Roomy(fru_test::InfoAreaImage area, std::uint8_t units) {
    area.units = units;
    return area.Build();
}

Bytes Records(const Values& values) {
    return fru_test::Concat(
        {MultiRecord(0x00, values.recordData, false), MultiRecord(0xC0, {0x57, 0x01, 0x00}, true)});
}

// Internal use at 8, chassis at 24, board at 56, product at 120 and the
// multi-records at 184, back to back; the records' data starts unaligned.
fru_test::FruLayout Layout(const Values& values) {
    return {
        .internalUse = values.internalUse,
        .chassis = Roomy(fru_test::ChassisArea(0x17, {Text(values.chassisPart), Text("CSN")}), 4),
        .board =
            Roomy(fru_test::BoardArea({0x10, 0x20, 0x30}, {Text(values.boardMaker), Text("Board"),
                                                           Text("BSN"), Text("BPN"), Text("BF")}),
                  8),
        .product =
            Roomy(fru_test::ProductArea({Text("PM"), Text(values.productName), Text("PPN"),
                                         Text("PV"), Text("PSN"), Text("asset"), Text("PF")}),
                  8),
        .multiRecords = Records(values),
    };
}

enum Area { kHeader, kInternalUse, kChassis, kBoard, kProduct, kMultiRecord };
constexpr std::uint32_t kAreaOffsets[] = {0, 8, 24, 56, 120, 184};
constexpr std::uint32_t kAreaLengths[] = {8, 16, 32, 64, 64, 37};

void SetText(CFruInfoArea& area, std::uint32_t index, std::string_view text) {
    ASSERT_TRUE(area.SetFieldData(index, reinterpret_cast<const std::uint8_t*>(text.data()),
                                  static_cast<std::uint32_t>(text.size()), FRU_FIELD_TYPE_TEXT));
}

// The edits the tests make, each with the values it leads to.
struct Edit {
    std::function<void(CFru&)> apply;
    std::function<void(Values&)> expect;
};

const Edit kEditChassis{[](CFru& fru) { SetText(fru.ChassisInfoArea(), 1, "NEWPN"); },
                        [](Values& v) { v.chassisPart = "NEWPN"; }};
const Edit kEditBoard{[](CFru& fru) { SetText(fru.BoardInfoArea(), 1, "Kestrel"); },
                      [](Values& v) { v.boardMaker = "Kestrel"; }};
const Edit kEditProduct{[](CFru& fru) { SetText(fru.ProductInfoArea(), 1, "New product"); },
                        [](Values& v) { v.productName = "New product"; }};
const Edit kEditInternalUse{
    [](CFru& fru) { ASSERT_TRUE(fru.InternalUseArea().SetData(simtest::Pattern(16, 0x77), true)); },
    [](Values& v) { v.internalUse = simtest::Pattern(16, 0x77); }};
const Edit kEditRecords{[](CFru& fru) {
                            Values v;
                            v.recordData = Bytes(24, 0x66);
                            ASSERT_EQ(fru.SetMultiRecArea(Records(v), true), ORVEL_SUCCESS);
                        },
                        [](Values& v) { v.recordData = Bytes(24, 0x66); }};

Values Edited(const std::vector<Edit>& edits) {
    Values values;
    for (const Edit& edit : edits) edit.expect(values);
    return values;
}

// The requests that write an area to a logical device: plain 8-byte chunks;
// each multi-record's five header bytes one by one, then its data.
std::vector<Chunk> AreaChunks(Area area) {
    std::vector<Chunk> chunks;
    const auto plain = [&chunks](std::uint32_t offset, std::uint32_t length) {
        for (std::uint32_t done = 0; done < length; done += 8) {
            chunks.push_back({"write", offset + done, std::min(8u, length - done)});
        }
    };
    if (area != kMultiRecord) {
        plain(kAreaOffsets[area], kAreaLengths[area]);
        return chunks;
    }
    std::uint32_t offset = kAreaOffsets[kMultiRecord];
    for (const std::uint32_t dataLength : {24u, 3u}) {
        for (std::uint32_t i = 0; i < 5; ++i) chunks.push_back({"write", offset++, 1});
        plain(offset, dataLength);
        offset += dataLength;
    }
    return chunks;
}

std::vector<Chunk> AreasChunks(std::initializer_list<Area> areas) {
    std::vector<Chunk> chunks;
    for (const Area area : areas) {
        const std::vector<Chunk> more = AreaChunks(area);
        chunks.insert(chunks.end(), more.begin(), more.end());
    }
    return chunks;
}

class WriteToSystem : public FruDeviceWrite {
  protected:
    // The FRU on the device, read with the library.
    std::unique_ptr<CFru> Loaded(const FRU_LOCATOR& locator, const std::string& device,
                                 const Bytes& image) {
        EXPECT_TRUE(Device(device).Fill(image));
        auto fru = std::make_unique<CFru>();
        fru->GetDevLocator() = locator;
        EXPECT_EQ(fru->LoadFromSystem(Access()), ORVEL_SUCCESS);
        Machine().Log().Clear();
        return fru;
    }

    std::unique_ptr<CFru> LoadedStore(const std::vector<Edit>& edits = {}) {
        auto fru = Loaded(StoreLocator(), kStore, Layout({}).Build());
        for (const Edit& edit : edits) edit.apply(*fru);
        return fru;
    }

    // The device's cells: the image, then erased cells.
    static Bytes Erased(const Bytes& image, std::size_t size) {
        Bytes cells = image;
        cells.resize(size, 0xFF);
        return cells;
    }

    static bool AnyModified(CFru& fru) {
        return fru.InternalUseArea().IsModified() || fru.ChassisInfoArea().IsModified() ||
               fru.BoardInfoArea().IsModified() || fru.ProductInfoArea().IsModified() ||
               fru.IsMultiRecModified();
    }
};

struct AreasCase {
    const char* name;
    std::vector<Edit> edits;
    std::vector<Chunk> chunks;
};

class WrittenAreas : public WriteToSystem, public ::testing::WithParamInterface<AreasCase> {};

// The header goes last: it must never point at an area not written yet.
TEST_P(WrittenAreas, BoardAndWhatWasEditedThenTheHeader) {
    const AreasCase& c = GetParam();
    BootStorage();
    auto fru = LoadedStore(c.edits);
    ASSERT_EQ(fru->WriteToSystem(Access(), nullptr), ORVEL_SUCCESS);
    EXPECT_EQ(Chunks(kStore), c.chunks);
    EXPECT_EQ(Cells(kStore), Erased(Layout(Edited(c.edits)).Build(), 2048));
    EXPECT_FALSE(AnyModified(*fru));
}

const AreasCase kWrittenAreasCases[] = {
    {"NothingEdited", {}, AreasChunks({kBoard, kHeader})},
    {"ProductEdited", {kEditProduct}, AreasChunks({kBoard, kProduct, kHeader})},
    {"ChassisEdited", {kEditChassis}, AreasChunks({kChassis, kBoard, kHeader})},
    {"InternalUseEdited", {kEditInternalUse}, AreasChunks({kInternalUse, kBoard, kHeader})},
    {"RecordsSet", {kEditRecords}, AreasChunks({kBoard, kMultiRecord, kHeader})},
    {"EverythingEdited",
     {kEditInternalUse, kEditChassis, kEditBoard, kEditProduct, kEditRecords},
     AreasChunks({kInternalUse, kChassis, kBoard, kProduct, kMultiRecord, kHeader})},
};

INSTANTIATE_TEST_SUITE_P(Edits, WrittenAreas, ::testing::ValuesIn(kWrittenAreasCases),
                         CaseName<AreasCase>);

// Board at 8, product at 96, chassis at 192, multi-records at 256, with
// filler between them that belongs to no area: every area goes back to its
// header offset, and the filler stays.
TEST_F(WriteToSystem, AreasLandAtTheirHeaderOffsetsWhateverTheLayout) {
    BootStorage();
    const auto image = [](const Values& values) {
        const fru_test::FruLayout areas = Layout(values);
        Bytes bytes = fru_test::HeaderImage{.offsets = {0, 24, 1, 12, 32}}.Build();
        bytes.resize(320, 0x5A);
        fru_test::Place(bytes, 8, areas.board);
        fru_test::Place(bytes, 96, areas.product);
        fru_test::Place(bytes, 192, areas.chassis);
        fru_test::Place(bytes, 256, areas.multiRecords);
        return bytes;
    };
    const std::vector<Edit> edits = {kEditChassis, kEditBoard, kEditProduct, kEditRecords};
    auto fru = Loaded(StoreLocator(), kStore, image({}));
    for (const Edit& edit : edits) edit.apply(*fru);

    ASSERT_EQ(fru->WriteToSystem(Access(), nullptr), ORVEL_SUCCESS);
    EXPECT_EQ(Cells(kStore), Erased(image(Edited(edits)), 2048));
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> areas = {
        {0, 8}, {8, 64}, {96, 64}, {192, 32}, {256, 37}};
    for (const Chunk& chunk : Chunks(kStore)) {
        EXPECT_TRUE(std::ranges::any_of(areas, [&](const auto& area) {
            return chunk.offset >= area.first &&
                   chunk.offset + chunk.length <= area.first + area.second;
        })) << ::testing::PrintToString(chunk);
    }
}

// An EEPROM that writes in 8-byte pages gets the same bytes as a logical
// device: the records' data, which starts unaligned, is cut at the pages.
TEST_F(WriteToSystem, EepromPagesKeepEveryAreaIntact) {
    const std::vector<Edit> edits = {kEditInternalUse, kEditChassis, kEditBoard, kEditProduct,
                                     kEditRecords};
    for (const auto& [locator, device] : std::vector<std::pair<FRU_LOCATOR, const char*>>{
             {WideLocator(), kWide}, {SmallLocator(), kSmall}}) {
        SCOPED_TRACE(device);
        BootStorage({{"fru.wide.page", "8"}});
        auto fru = Loaded(locator, device, Layout({}).Build());
        for (const Edit& edit : edits) edit.apply(*fru);
        ASSERT_EQ(fru->WriteToSystem(Access(), nullptr), ORVEL_SUCCESS);
        EXPECT_EQ(Cells(device), Erased(Layout(Edited(edits)).Build(), Device(device).Size()));
        for (const Chunk& chunk : Chunks(device)) {
            EXPECT_EQ(chunk.offset / 8, (chunk.offset + chunk.length - 1) / 8)
                << ::testing::PrintToString(chunk);
        }
    }
}

// ------------------------------------------------------------ failures

struct FailureCase {
    const char* name;
    const char* failAt;  // a cell whose write fails
    std::vector<Edit> edits;
    Chunk lastChunk;                                       // the refused one
    std::vector<Area> landed;                              // areas on the device as edited
    bool boardModified, productModified, recordsModified;  // afterwards
};

class WriteFailures : public WriteToSystem, public ::testing::WithParamInterface<FailureCase> {};

// The writing stops at the refused chunk. What was written before stays
// written and is no longer marked modified; the area that failed stays
// marked, so that writing the FRU again writes it again.
TEST_P(WriteFailures, StopTheWritingAndSayWhichFru) {
    const FailureCase& c = GetParam();
    BootStorage({{"fru.store.fault.write_fail", c.failAt}});
    auto fru = LoadedStore(c.edits);
    EXPECT_EQ(fru->WriteToSystem(Access(), nullptr), ORVEL_ERROR_WRITING_SYSTEM);

    const std::vector<Chunk> chunks = Chunks(kStore);
    ASSERT_FALSE(chunks.empty());
    EXPECT_EQ(chunks.back(), c.lastChunk);
    const Bytes cells = Cells(kStore);
    const Bytes edited = Layout(Edited(c.edits)).Build();
    for (const Area area : c.landed) {
        EXPECT_EQ(Slice(cells, kAreaOffsets[area], kAreaLengths[area]),
                  Slice(edited, kAreaOffsets[area], kAreaLengths[area]))
            << "area at " << kAreaOffsets[area];
    }
    EXPECT_EQ(fru->BoardInfoArea().IsModified(), c.boardModified);
    EXPECT_EQ(fru->ProductInfoArea().IsModified(), c.productModified);
    EXPECT_EQ(fru->IsMultiRecModified(), c.recordsModified);
    EXPECT_EQ(Orvel_Private::TakeLastError(), std::wstring(L"#113 ") + kStoreIdentifier);
    EXPECT_TRUE(Logged("CFru::WriteOrvelToBmc - Error Writing FRU"));
    EXPECT_TRUE(Logged("CFru::WriteToSystem - Error Writing System"));
}

const FailureCase kWriteFailuresCases[] = {
    {"InTheHeader",
     "0x03",
     {kEditBoard, kEditProduct},
     {"write", 0, 8, 0xFF},
     {kBoard, kProduct},
     false,
     false,
     false},
    {"MidwayThroughTheProductArea",
     "0x84",
     {kEditBoard, kEditProduct},
     {"write", 128, 8, 0xFF},
     {kBoard},
     false,
     true,
     false},
    {"InARecordHeader",
     "0xBA",
     {kEditProduct, kEditRecords},
     {"write", 186, 1, 0xFF},
     {kBoard, kProduct},
     false,
     false,
     true},
};

INSTANTIATE_TEST_SUITE_P(Faults, WriteFailures, ::testing::ValuesIn(kWriteFailuresCases),
                         CaseName<FailureCase>);

// Records that would run past FFFFh would wrap the 16-bit offsets to the
// start of the device: none of them is written.
TEST_F(WriteToSystem, MultiRecordAreaPastTheLastOffsetIsRefusedWhole) {
    BootStorage({{"fru.devices", "store:bmc:0:65535"}});
    CFru fru;
    fru.GetDevLocator() = StoreLocator();
    // Board at 8, multi-records at 7F8h: 250 records of 260 bytes run past
    // FFFFh.
    const Bytes header = fru_test::HeaderImage{.offsets = {0, 0, 1, 0, 0xFF}}.Build();
    fru.Header().SetData(std::span<const std::uint8_t, 8>(header.data(), 8));
    ASSERT_TRUE(fru.BoardInfoArea().SetData(Layout({}).board));
    Bytes records;
    for (int i = 0; i < 250; ++i) {
        records = fru_test::Concat({records, MultiRecord(0x01, Bytes(255, 0x42), i == 249)});
    }
    ASSERT_EQ(fru.SetMultiRecArea(records, true), ORVEL_SUCCESS);

    EXPECT_EQ(fru.WriteToSystem(Access(), nullptr), ORVEL_ERROR_WRITING_SYSTEM);
    for (const Chunk& chunk : Chunks(kStore)) {
        EXPECT_LT(chunk.offset, 0x7F8u) << ::testing::PrintToString(chunk);
    }
    EXPECT_EQ(Chunks(kStore).size(), 8u);  // the board; the header never goes
    EXPECT_TRUE(fru.IsMultiRecModified());
}

// There is no read-back: a write the device acknowledges but does not keep
// goes unnoticed.
TEST_F(WriteToSystem, WriteTheDeviceDoesNotKeepIsNotDetected) {
    BootStorage({{"fru.store.fault.lost_write", "0x40:8"}});
    auto fru = LoadedStore({kEditBoard});
    EXPECT_EQ(fru->WriteToSystem(Access(), nullptr), ORVEL_SUCCESS);
    const Bytes original = Layout({}).Build();
    const Bytes edited = Layout(Edited({kEditBoard})).Build();
    const Bytes cells = Cells(kStore);
    ASSERT_NE(Slice(edited, 0x40, 8), Slice(original, 0x40, 8));
    EXPECT_EQ(Slice(cells, 0x40, 8), Slice(original, 0x40, 8));
    EXPECT_EQ(Slice(cells, 0x48, 48), Slice(edited, 0x48, 48));
    const auto accesses = Accesses(kStore);
    EXPECT_EQ(
        std::ranges::count(accesses, std::string("write not kept"), &sim::fru::LoggedAccess::note),
        1);
}

// ------------------------------------------------------------ progress

struct Progress {
    PROGRESS_CALLBACK_TYPE type;
    std::wstring text;
    unsigned first, second;
    std::size_t writesBefore;  // requests the device had seen
    bool operator==(const Progress&) const = default;
};

std::vector<Progress> gProgress;
std::function<std::size_t()> gWritesSoFar;

unsigned RecordProgress(PROGRESS_CALLBACK_TYPE type, const wchar_t* text, unsigned first,
                        unsigned second) {
    gProgress.push_back({type, text, first, second, gWritesSoFar()});
    return 0;
}

void PrintTo(const Progress& p, std::ostream* os) {
    *os << p.type << " \"" << ::testing::PrintToString(p.text) << "\" " << p.first << " "
        << p.second << " after " << p.writesBefore;
}

class WriteProgress : public WriteToSystem {
  protected:
    void SetUp() override {
        WriteToSystem::SetUp();
        gProgress.clear();
        gWritesSoFar = [this] { return Chunks(kStore).size(); };
    }
    void TearDown() override {
        gWritesSoFar = nullptr;
        WriteToSystem::TearDown();
    }
};

// Each message goes out before the area it names is written.
TEST_F(WriteProgress, NamesTheFruThenEachAreaInOrder) {
    BootStorage();
    auto fru = LoadedStore({kEditProduct, kEditRecords});
    ASSERT_EQ(fru->WriteToSystem(Access(), &RecordProgress), ORVEL_SUCCESS);
    // The header is written last, after every area.
    const std::size_t board = 8;
    const std::size_t product = board + 8;
    EXPECT_EQ(gProgress, (std::vector<Progress>{
                             {PROGRESS_MESSAGE, std::wstring(L"#64 ") + kStoreIdentifier, 0, 0, 0},
                             {PROGRESS_MESSAGE, L"#66", 0, 0, 0},
                             {PROGRESS_MESSAGE, L"#67", 0, 0, 0},
                             {PROGRESS_MESSAGE, L"#68", 0, 0, 0},
                             {PROGRESS_MESSAGE, L"#69", 0, 0, board},
                             {PROGRESS_MESSAGE, L"#70", 0, 0, product},
                         }));
}

// Without modified records the multi-record message is left out; a FRU
// with a name goes by its name.
TEST_F(WriteProgress, NamedFruWithoutModifiedRecords) {
    BootStorage();
    auto fru = LoadedStore();
    fru->GetDevLocator().SetName(L"Baseboard");
    ASSERT_EQ(fru->WriteToSystem(Access(), &RecordProgress), ORVEL_SUCCESS);
    std::vector<std::wstring> texts;
    for (const Progress& p : gProgress) texts.push_back(p.text);
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"#64 Baseboard", L"#66", L"#67", L"#68", L"#69"}));
}

TEST_F(WriteProgress, StopsAtTheFailure) {
    BootStorage({{"fru.store.fault.write_fail", "0x40"}});
    auto fru = LoadedStore({kEditProduct});
    ASSERT_EQ(fru->WriteToSystem(Access(), &RecordProgress), ORVEL_ERROR_WRITING_SYSTEM);
    ASSERT_FALSE(gProgress.empty());
    EXPECT_EQ(gProgress.back().text, L"#68");
}

// ------------------------------------------------------------ choice of routine

struct ChoiceCase {
    const char* name;
    int platform;
    const char* productId;  // of the BMC: 4311h, 4312h and 4315h are not standard
    FRU_TYPE type;
    int bmcType;            // as WriteToSystem found it
    const char* writtenTo;  // the device the writes reached
};

class WriteRoutineChoice : public WriteToSystem,
                           public ::testing::WithParamInterface<ChoiceCase> {};

// The same FRU is on the logical device (ID 0) and on the EEPROM at bus
// 03h, A0h: the request form the routine takes decides which is written.
TEST_P(WriteRoutineChoice, FollowsThePlatformAndTheBmcType) {
    const ChoiceCase& c = GetParam();
    BootStorage({{"bmc.product_id", c.productId}});
    const Bytes image = Layout({}).Build();
    ASSERT_TRUE(Device(kStore).Fill(image));
    ASSERT_TRUE(Device(kWide).Fill(image));
    auto fru = Loaded(Locator(c.type, 0x03, 0xA0), kWide, image);

    ASSERT_EQ(fru->WriteToSystem(Access(c.platform), nullptr), ORVEL_SUCCESS);
    EXPECT_EQ(g_BMCType, c.bmcType);
    EXPECT_EQ(Chunks(c.writtenTo), AreasChunks({kBoard, kHeader}));
    for (const char* device : {kStore, kWide}) {
        if (std::string_view(device) != c.writtenTo) {
            EXPECT_TRUE(Chunks(device).empty()) << device;
        }
    }
}

const ChoiceCase kWriteRoutineChoiceCases[] = {
    {"Platform0StandardBmc", 0, "0x0100", FRU_NVS_MBMC, 1, kWide},
    {"Platform0OtherBmc", 0, "0x4311", FRU_NVS_MBMC, 2, kWide},
    {"Platform3StandardBmc", 3, "0x0100", FRU_NVS_MBMC, 1, kWide},
    {"Platform3OtherBmcMbmcDevice", 3, "0x4311", FRU_NVS_MBMC, 2, kStore},
    {"Platform3OtherBmcEeprom", 3, "0x4315", FRU_NVS_AT24CO2, 2, kWide},
};

INSTANTIATE_TEST_SUITE_P(Platforms, WriteRoutineChoice,
                         ::testing::ValuesIn(kWriteRoutineChoiceCases), CaseName<ChoiceCase>);

}  // namespace
}  // namespace fru_device_test
