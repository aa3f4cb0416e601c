// Reading a whole FRU from its storage: the order of the reads, what each
// failure returns and tells the host, the limits on lengths read from the
// device, and writing the areas back where they came from.
#include <gtest/gtest.h>

#include <algorithm>

#include "fru_image_builder.h"
#include "fru_test_support.h"
#include "orvel/fru.h"
#include "orvel/last_error.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_strings.h"

namespace {

using namespace Orvel_Private;
using fru_test::Bytes;
using fru_test::EmptyFields;
using fru_test::FruLayout;
using fru_test::MultiRecord;
using fru_test::Text;

constexpr const wchar_t* kDefaultIdentifier = L"#134 00 20 20 FF";

Bytes InternalUseBytes(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    return bytes;
}

FruLayout FullLayout() {
    return {
        .internalUse = InternalUseBytes(16),
        .chassis =
            fru_test::ChassisArea(0x17, {Text("CPN"), Text("CSN"), Text("chassis custom")}).Build(),
        .board = fru_test::BoardArea({0x10, 0x20, 0x30},
                                     {Text("Maker"), Text("Board"), Text("BSN"), Text("BPN"),
                                      Text("BF"), Text("AA"), Text("BB")})
                     .Build(),
        .product = fru_test::ProductArea({Text("PM"), Text("PN"), Text("PPN"), Text("PV"),
                                          Text("PSN"), Text("asset"), Text("PF")})
                       .Build(),
        .multiRecords = fru_test::Concat({MultiRecord(0x00, Bytes(24, 0x11), false),
                                          MultiRecord(0xC0, {0x57, 0x01, 0x00}, true)}),
    };
}

class FruRead : public ::testing::Test {
  protected:
    void SetUp() override { ClearLastError(); }

    fru_test::NumberedStrings mStrings;
};

TEST_F(FruRead, WellFormedFruReadsAndRebuildsByteForByte) {
    const Bytes image = FullLayout().Build();
    fru_test::ImageStorage storage(image);
    CFru fru;
    ASSERT_EQ(fru.ReadFruFromSystem(storage.Reader()), ORVEL_SUCCESS);

    EXPECT_EQ(fru.GetNumberOfAreas(), 5u);
    EXPECT_TRUE(fru.HasInternalArea() && fru.HasChassisArea() && fru.HasBoardArea() &&
                fru.HasProductArea() && fru.HasMultiRecArea());
    EXPECT_EQ(fru.GetOverallLength(), image.size());
    EXPECT_EQ(fru.GetInternalAreaLength(), 16u);
    EXPECT_EQ(fru.GetMultiRecAreaLength(), 29u + 8u);
    EXPECT_EQ(fru.MultiRecords().size(), 2u);
    EXPECT_TRUE(fru.CheckMultiRecCheckSum());
    EXPECT_EQ(std::wstring(fru.BoardInfoArea().GetFieldValueFromIndex(1)), L"Maker");
    EXPECT_EQ(std::wstring(fru.ChassisInfoArea().GetFieldValueFromIndex(3)), L"chassis custom");

    Bytes rebuilt;
    fru.SerializeFru(rebuilt);
    EXPECT_EQ(rebuilt, image);

    std::array<std::uint8_t, 8> header;
    fru.SerializeCommonHeader(header);
    EXPECT_EQ(Bytes(header.begin(), header.end()), Bytes(image.begin(), image.begin() + 8));
    EXPECT_EQ(fru_test::TakeLastError(), L"");
}

TEST_F(FruRead, ReadsHeaderBoardProductChassisInternalUseThenMultiRecords) {
    const FruLayout layout = FullLayout();
    const auto offsets = layout.Header().offsets;
    fru_test::ImageStorage storage(layout.Build());
    CFru fru;
    ASSERT_EQ(fru.ReadFruFromSystem(storage.Reader()), ORVEL_SUCCESS);

    const auto at = [](std::uint8_t units) { return static_cast<std::uint16_t>(units * 8); };
    const std::uint16_t multi = at(offsets[4]);
    const std::vector<fru_test::Read> expected{
        {0, 8},
        {at(offsets[2]), 2},
        {at(offsets[2]), layout.board.size()},
        {at(offsets[3]), 2},
        {at(offsets[3]), layout.product.size()},
        {at(offsets[1]), 2},
        {at(offsets[1]), layout.chassis.size()},
        {at(offsets[0]), 16},
        {multi, 3},
        {multi, 29},
        {static_cast<std::uint16_t>(multi + 29), 3},
        {static_cast<std::uint16_t>(multi + 29), 8},
    };
    EXPECT_EQ(storage.Reads(), expected);
}

TEST_F(FruRead, HeaderWithOnlyABoardAreaAnnouncesOneArea) {
    const Bytes image = fru_test::Concat({{0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFE},
                                          {0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0xC0, 0xC0, 0xC0,
                                           0xC0, 0xC0, 0xC1, 0x00, 0x00, 0x00, 0x7C}});
    fru_test::ImageStorage storage(image);
    CFru fru;
    ASSERT_EQ(fru.ReadFruFromSystem(storage.Reader()), ORVEL_SUCCESS);
    EXPECT_EQ(fru.GetNumberOfAreas(), 1u);
    EXPECT_TRUE(fru.HasBoardArea());
    EXPECT_FALSE(fru.HasInternalArea() || fru.HasChassisArea() || fru.HasProductArea() ||
                 fru.HasMultiRecArea());
    EXPECT_EQ(fru.GetOverallLength(), 24u);
    EXPECT_EQ(fru.BoardInfoArea().GetPadLength(), 3u);
}

// ---------------------------------------------------------------- failures

struct Failure {
    const char* name;
    Bytes image;
    std::uint32_t status;
    std::wstring lastError;
};

void PrintTo(const Failure& c, std::ostream* os) {
    *os << c.name;
}

class FruReadFailure : public FruRead, public ::testing::WithParamInterface<Failure> {};

TEST_P(FruReadFailure, ReturnsItsCodeAndTellsTheHost) {
    SetLastErrorString(IDS_UNEXPECTED);
    fru_test::ImageStorage storage(GetParam().image);
    CFru fru;
    EXPECT_EQ(fru.ReadFruFromSystem(storage.Reader()), GetParam().status);
    EXPECT_EQ(fru_test::TakeLastError(), GetParam().lastError);
}

Bytes WithHeader(FruLayout layout, const fru_test::HeaderImage& header) {
    Bytes image = layout.Build();
    fru_test::Place(image, 0, header.Build());
    return image;
}

Bytes Cropped(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

Bytes BrokenArea(fru_test::InfoAreaImage area) {
    area.checksumError = 1;
    return area.Build();
}

const fru_test::InfoAreaImage kBoard = fru_test::BoardArea({}, EmptyFields(5));
const fru_test::InfoAreaImage kProduct = fru_test::ProductArea(EmptyFields(7));
const fru_test::InfoAreaImage kChassis = fru_test::ChassisArea(1, EmptyFields(2));

const std::wstring kIdentified = std::wstring(L" ") + kDefaultIdentifier;

INSTANTIATE_TEST_SUITE_P(
    Images, FruReadFailure,
    ::testing::Values(
        Failure{"HeaderCutShort", {0x01, 0x00, 0x00}, ORVEL_ERROR_READING_FRU, L"#109" + kIdentified},
        Failure{"NotIpmi",
                WithHeader({.board = kBoard.Build()},
                           {.version = 0x02, .offsets = {0, 0, 1, 0, 0}}),
                ORVEL_ERROR_NOT_IPMI_FRU, L"#103"},
        Failure{"HeaderChecksum",
                WithHeader({.board = kBoard.Build()},
                           {.offsets = {0, 0, 1, 0, 0}, .checksumError = 1}),
                ORVEL_ERROR_INVALID_HEADER, L"#109" + kIdentified},
        Failure{"BoardChecksum", FruLayout{.board = BrokenArea(kBoard)}.Build(),
                ORVEL_ERROR_INVALID_BOARD_AREA, L"#106" + kIdentified},
        Failure{"BoardPastTheEnd", Cropped(FruLayout{.board = kBoard.Build()}.Build(), 20),
                ORVEL_ERROR_INVALID_BOARD_AREA, L"#106" + kIdentified},
        Failure{"ProductChecksum", FruLayout{.product = BrokenArea(kProduct)}.Build(),
                ORVEL_ERROR_INVALID_PRODUCT_AREA, L"#105" + kIdentified},
        Failure{"ProductPastTheEnd", Cropped(FruLayout{.product = kProduct.Build()}.Build(), 20),
                ORVEL_ERROR_READING_FRU, L"#105" + kIdentified},
        Failure{"ChassisChecksum", FruLayout{.chassis = BrokenArea(kChassis)}.Build(),
                ORVEL_ERROR_INVALID_CHASSIS_AREA, L"#107" + kIdentified},
        Failure{"InternalUseOver512Bytes",
                FruLayout{.internalUse = InternalUseBytes(520), .board = kBoard.Build()}.Build(),
                ORVEL_ERROR_INVALID_INTERNAL_AREA, L"#104" + kIdentified},
        // Two areas at one offset overlap: the internal use area has no
        // length that keeps it out of the board area.
        Failure{"InternalUseAtTheBoardAreasOffset",
                [] {
                    Bytes image = fru_test::HeaderImage{.offsets = {1, 0, 1, 0, 0}}.Build();
                    fru_test::Place(image, 8, kBoard.Build());
                    return image;
                }(),
                ORVEL_ERROR_INVALID_INTERNAL_AREA, L"#104" + kIdentified},
        Failure{"InternalUsePastTheEnd",
                Cropped(FruLayout{.internalUse = InternalUseBytes(16),
                                  .multiRecords = MultiRecord(1, {1}, true)}
                            .Build(),
                        20),
                ORVEL_ERROR_INVALID_INTERNAL_AREA, L"#104" + kIdentified},
        Failure{"MultiRecordChecksum",
                [] {
                    Bytes record = MultiRecord(1, {1, 2, 3}, true);
                    record.back() ^= 0xFF;
                    return FruLayout{.multiRecords = record}.Build();
                }(),
                ORVEL_ERROR_INVALID_MULTIREC_AREA, L"#108" + kIdentified},
        Failure{"MultiRecordWithoutEndOfList",
                FruLayout{.multiRecords = MultiRecord(1, {1, 2, 3}, false)}.Build(),
                ORVEL_ERROR_INVALID_MULTIREC_AREA, L"#108" + kIdentified}),
    [](const auto& info) { return info.param.name; });

TEST_F(FruRead, NamedFruIsIdentifiedByItsName) {
    fru_test::ImageStorage storage(FruLayout{.chassis = BrokenArea(kChassis)}.Build());
    CFru fru;
    fru.GetDevLocator().SetName(L"Riser 2");
    EXPECT_EQ(fru.ReadFruFromSystem(storage.Reader()), ORVEL_ERROR_INVALID_CHASSIS_AREA);
    EXPECT_EQ(fru_test::TakeLastError(), L"#107 Riser 2");
    EXPECT_EQ(std::wstring(fru.GetFruNameString()), L"Riser 2");
}

TEST_F(FruRead, FriendlyIdentifierIsCutToTheBuffer) {
    FRU_LOCATOR locator;
    locator.mFruDeviceId = 3;
    locator.mControllerAddress = 0x22;
    locator.mSlaveAddress = 0xA0;
    locator.mBus = 1;
    std::array<wchar_t, 64> wide;
    CFru::GetFriendlyFruIdentifier(locator, wide);
    EXPECT_EQ(std::wstring(wide.data()), L"#134 03 22 A0 01");

    std::array<wchar_t, 5> narrow;
    CFru::GetFriendlyFruIdentifier(locator, narrow);
    EXPECT_EQ(std::wstring(narrow.data()), L"#134");
    locator.SetName(L"Front panel");
    CFru::GetFriendlyFruIdentifier(locator, narrow);
    EXPECT_EQ(std::wstring(narrow.data()), L"Fron");
    CFru::GetFriendlyFruIdentifier(locator, std::span<wchar_t>());
}

// ------------------------------------------------------- internal use area

// With no area after it, the internal use area runs to the end of the FRU:
// read 8 bytes at a time up to the first unit the device will not read.
TEST_F(FruRead, InternalUseAreaLastRunsToTheEndOfTheFru) {
    Bytes image = fru_test::HeaderImage{.offsets = {3, 0, 1, 0, 0}}.Build();
    fru_test::Place(image, 8, kBoard.Build());
    ASSERT_LE(image.size(), 24u);
    image.resize(24);
    fru_test::Place(image, 24, InternalUseBytes(20));
    fru_test::ImageStorage storage(image);
    CFru fru;
    ASSERT_EQ(fru.ReadFruFromSystem(storage.Reader()), ORVEL_SUCCESS);
    // 20 bytes: two whole units; the last 4 bytes are no whole unit.
    EXPECT_EQ(fru.GetInternalAreaLength(), 16u);
    const auto data = fru.InternalUseArea().GetData();
    EXPECT_EQ(Bytes(data.begin(), data.end()), Bytes(image.begin() + 24, image.begin() + 40));
}

TEST_F(FruRead, InternalUseAreaRunsToTheNearestAreaAfterIt) {
    // Areas in another order than the header's: the product area lies
    // nearest after the internal use area, the chassis area further on.
    Bytes image = fru_test::HeaderImage{.offsets = {1, 5, 0, 3, 0}}.Build();
    fru_test::Place(image, 8, InternalUseBytes(16));
    fru_test::Place(image, 24, kProduct.Build());
    fru_test::Place(image, 40, kChassis.Build());
    fru_test::ImageStorage storage(image);
    CFru fru;
    ASSERT_EQ(fru.ReadFruFromSystem(storage.Reader()), ORVEL_SUCCESS);
    EXPECT_EQ(fru.GetInternalAreaLength(), 16u);
    const auto data = fru.InternalUseArea().GetData();
    EXPECT_EQ(Bytes(data.begin(), data.end()), InternalUseBytes(16));
    EXPECT_TRUE(fru.ProductInfoArea().IsValid());
    EXPECT_TRUE(fru.ChassisInfoArea().IsValid());
}

TEST_F(FruRead, InternalUseAreaOf512BytesIsReadWhole) {
    const Bytes image =
        FruLayout{.internalUse = InternalUseBytes(512), .board = kBoard.Build()}.Build();
    fru_test::ImageStorage storage(image);
    CFru fru;
    ASSERT_EQ(fru.ReadFruFromSystem(storage.Reader()), ORVEL_SUCCESS);
    const auto data = fru.InternalUseArea().GetData();
    EXPECT_EQ(Bytes(data.begin(), data.end()), InternalUseBytes(512));
}

// ------------------------------------------------ lengths from the device

TEST_F(FruRead, AreaLengthByteOutOfRangeIsNotUsedToRead) {
    for (const std::uint8_t units : {0, 65, 255}) {
        Bytes image = FruLayout{.board = kBoard.Build()}.Build();
        image[9] = units;
        image.resize(4096, 0);
        fru_test::ImageStorage storage(image);
        CFru fru;
        EXPECT_EQ(fru.ReadFruFromSystem(storage.Reader()), ORVEL_ERROR_INVALID_BOARD_AREA);
        EXPECT_EQ(storage.Reads(), (std::vector<fru_test::Read>{{0, 8}, {8, 2}})) << int{units};
    }
}

TEST_F(FruRead, MultiRecordWalkStopsAtTheEndOfTheDevicesAddresses) {
    // Records without an end-of-list bit fill a storage larger than the
    // 64 KB a FRU device can address.
    Bytes image = FruLayout{.board = kBoard.Build()}.Build();
    const std::size_t start = 24;
    image[5] = start / 8;
    image = fru_test::WithChecksum(Bytes(image.begin(), image.begin() + 8));
    fru_test::Place(image, 8, kBoard.Build());
    for (std::size_t offset = start; offset < 0x10000 + 600; offset += 260) {
        fru_test::Place(image, offset, MultiRecord(0x01, Bytes(255, 0x33), false));
    }
    fru_test::ImageStorage storage(image);
    CFru fru;
    EXPECT_EQ(fru.ReadFruFromSystem(storage.Reader()), ORVEL_ERROR_INVALID_MULTIREC_AREA);
    const std::vector<fru_test::Read>& reads = storage.Reads();
    EXPECT_TRUE(std::ranges::all_of(
        reads, [](const fru_test::Read& read) { return read.offset + read.count <= 0x10000; }));
    EXPECT_TRUE(std::ranges::is_sorted(reads, {}, &fru_test::Read::offset));
}

TEST_F(FruRead, MultiRecordOfNoDataEndsTheWalkUnkept) {
    const Bytes image = FruLayout{.multiRecords = fru_test::Concat(
                                      {MultiRecord(0x01, {}, true), MultiRecord(2, {1}, true)})}
                            .Build();
    fru_test::ImageStorage storage(image);
    CFru fru;
    ASSERT_EQ(fru.ReadFruFromSystem(storage.Reader()), ORVEL_SUCCESS);
    EXPECT_TRUE(fru.MultiRecords().empty());
    EXPECT_EQ(fru.GetMultiRecAreaLength(), 0u);
}

// ------------------------------------------------------------- writing back

// Areas go back to their header offsets, also when the header does not lay
// them out back to back: the bytes between them are not the FRU's to move.
TEST_F(FruRead, AreasAreLaidBackAtTheirHeaderOffsets) {
    Bytes image(160, 0xEE);
    fru_test::Place(image, 0, fru_test::HeaderImage{.offsets = {0, 0, 3, 12, 0}}.Build());
    fru_test::Place(image, 24, kBoard.Build());
    fru_test::Place(image, 96, kProduct.Build());
    fru_test::ImageStorage storage(image);
    CFru fru;
    ASSERT_EQ(fru.ReadFruFromSystem(storage.Reader()), ORVEL_SUCCESS);
    const std::uint8_t value[] = {'N', 'e', 'w'};
    ASSERT_TRUE(fru.ProductInfoArea().SetFieldData(1, value, 3, FRU_FIELD_TYPE_TEXT));

    const auto product = fru.ProductInfoArea().GetData();
    const Bytes newProduct(product.begin(), product.end());

    Bytes fresh;
    fru.SerializeFru(fresh);
    Bytes expected(96 + newProduct.size(), 0x00);
    fru_test::Place(expected, 0, Bytes(image.begin(), image.begin() + 8));
    fru_test::Place(expected, 24, kBoard.Build());
    fru_test::Place(expected, 96, newProduct);
    EXPECT_EQ(fresh, expected);

    Bytes device = image;
    fru.SerializeFru(device);
    Bytes expectedDevice = image;
    fru_test::Place(expectedDevice, 96, newProduct);
    EXPECT_EQ(device, expectedDevice);
}

}  // namespace
