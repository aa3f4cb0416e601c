// The info area frame: which images parse, how areas are rebuilt, and how
// new values use the padding.
#include <gtest/gtest.h>

#include <numeric>

#include "fru_image_builder.h"
#include "orvel/fru_board_area.h"
#include "orvel/fru_chassis_area.h"
#include "orvel/fru_product_area.h"

namespace {

using namespace Orvel_Private;
using fru_test::Bytes;
using fru_test::EmptyFields;
using fru_test::Text;

// The 16-byte board area of the IPMI FRU examples: no date, five empty
// text fields, no custom field, three bytes of padding.
const Bytes kSmallBoard{0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0xC0, 0xC0,
                        0xC0, 0xC0, 0xC0, 0xC1, 0x00, 0x00, 0x00, 0x7C};

Bytes DataOf(std::span<const std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

Bytes Changed(Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes.at(at) = value;
    return bytes;
}

Bytes Without(Bytes bytes, std::size_t count) {
    bytes.resize(bytes.size() - count);
    return bytes;
}

Bytes BoardWithUnits(std::uint8_t units) {
    fru_test::InfoAreaImage board = fru_test::BoardArea({1, 2, 3}, EmptyFields(5));
    board.units = units;
    return board.Build();
}

// A board area whose fields end exactly at its declared length: 12 bytes of
// frame and empty fields, 3 and 1 bytes of custom fields.
Bytes BoardFieldsFillingTwoUnits() {
    fru_test::InfoAreaImage board = fru_test::BoardArea({0, 0, 0}, EmptyFields(5));
    board.fields.push_back(Text("ab"));
    board.fields.push_back(Text(""));
    board.units = 2;
    return board.Content();
}

struct ParseCase {
    const char* name;
    Bytes bytes;
    bool accepted;
    Bytes rebuilt;  // when accepted; empty: the bytes themselves
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class FruInfoAreaParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(FruInfoAreaParse, AcceptsOnlyImagesThatKeepTheRules) {
    const ParseCase& c = GetParam();
    const Bytes before = fru_test::BoardArea({7, 8, 9}, {Text("Maker"), Text("Board"), Text("S1"),
                                                         Text("P1"), Text("F1"), Text("custom")})
                             .Build();
    CBoardInfoArea area;
    ASSERT_TRUE(area.SetData(before));

    EXPECT_EQ(area.SetData(c.bytes), c.accepted);
    if (c.accepted) {
        EXPECT_EQ(DataOf(area.GetData()), c.rebuilt.empty() ? c.bytes : c.rebuilt);
        EXPECT_TRUE(area.IsValid());
    } else {
        // A refused image leaves the area as it was.
        EXPECT_EQ(DataOf(area.GetData()), before);
        EXPECT_EQ(area.GetNumberOfFields(), 7u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    BoardImages, FruInfoAreaParse,
    ::testing::Values(
        ParseCase{"SmallExample", kSmallBoard, true, {}},
        ParseCase{"SixtyFourUnits", BoardWithUnits(64), true, {}},
        ParseCase{"SixtyFiveUnitsWhole", BoardWithUnits(65), false, {}},
        ParseCase{"SixtyFiveUnitsFieldsOnly",
                  [] {
                      fru_test::InfoAreaImage board = fru_test::BoardArea({}, EmptyFields(5));
                      board.units = 65;
                      return board.Content();
                  }(),
                  false,
                  {}},
        ParseCase{"LengthByteZero", Changed(kSmallBoard, 1, 0), false, {}},
        ParseCase{"LongerThanItsLengthByte", fru_test::Concat({kSmallBoard, {0x00}}), false, {}},
        ParseCase{"FieldsOnlyShorterThanLengthByte", Without(kSmallBoard, 4), true, kSmallBoard},
        ParseCase{"FieldsOnlyAsLongAsLengthByte", BoardFieldsFillingTwoUnits(), false, {}},
        ParseCase{"LastFieldEndsTheBuffer", Without(kSmallBoard, 5), false, {}},
        ParseCase{"FieldLongerThanTheBuffer", Changed(kSmallBoard, 10, 0xFF), false, {}},
        ParseCase{"DateWithNothingAfterIt", Without(kSmallBoard, 10), false, {}},
        // Padding other than zeros under a checksum that holds is read (and
        // written back as zeros: see PaddingOfFFhIsReadAndWrittenBackAsZeros).
        ParseCase{"NonZeroPadding", fru_test::WithChecksum(Changed(kSmallBoard, 13, 0x01)), true,
                  kSmallBoard},
        ParseCase{"NonZeroPaddingBadChecksum", Changed(kSmallBoard, 13, 0x01), false, {}},
        ParseCase{"SumIsOne", Changed(kSmallBoard, 15, 0x7D), false, {}},
        ParseCase{"Empty", Bytes{}, false, {}}, ParseCase{"OneByte", Bytes{0x01}, false, {}}),
    [](const auto& info) { return info.param.name; });

// Fixed fields of every type code and custom fields come back byte for
// byte, in their stored order: the library never converts an encoding.
template <typename Area>
void ExpectRebuiltAsParsed(const Bytes& image) {
    Area area;
    ASSERT_TRUE(area.SetData(image));
    EXPECT_EQ(DataOf(area.GetData()), image);
    EXPECT_EQ(DataOf(Area(area).GetData()), image);
}

TEST(FruInfoAreaRebuild, GivesBackTheBytesItParsed) {
    const Bytes binary = fru_test::Field(0x03, {0x00, 0xFF, 0x10});
    const Bytes bcdPlus = fru_test::Field(0x42, {0x12, 0x34});
    const Bytes sixBit = fru_test::Field(0x83, {0x29, 0xDC, 0xA6});
    const Bytes custom1 = Text("first"), custom2 = fru_test::Field(0x01, {0xAA});

    fru_test::InfoAreaImage chassis =
        fru_test::ChassisArea(0x17, {binary, sixBit, custom1, custom2});
    chassis.units = 6;
    ExpectRebuiltAsParsed<CChassisInfoArea>(chassis.Build());
    ExpectRebuiltAsParsed<CBoardInfoArea>(
        fru_test::BoardArea({0x10, 0x20, 0x30},
                            {Text("Maker"), bcdPlus, sixBit, binary, Text(""), custom2, custom1})
            .Build());
    ExpectRebuiltAsParsed<CProductInfoArea>(
        fru_test::ProductArea({Text("MM"), Text("NN"), binary, bcdPlus, sixBit, Text("tag"),
                               Text("FF"), custom1, custom2, Text("third")})
            .Build());
}

TEST(FruInfoAreaRebuild, FieldsOnlyImageGetsPaddingAndChecksum) {
    fru_test::InfoAreaImage product =
        fru_test::ProductArea({Text("MM"), Text("NN"), Text("PP"), Text("VV"), Text("SS"),
                               Text("AA"), Text("FF"), Text("custom")});
    product.units = 5;
    CProductInfoArea area;
    ASSERT_TRUE(area.SetData(product.Content()));
    EXPECT_EQ(area.GetLength(), 40u);
    EXPECT_EQ(DataOf(area.GetData()), product.Build());
    EXPECT_EQ(ByteSum(area.GetData()), 0);
}

// ---------------------------------------------------------------- padding

TEST(FruInfoAreaPadding, CountsTheFreeBytesBeforeTheChecksum) {
    CBoardInfoArea board;
    ASSERT_TRUE(board.SetData(kSmallBoard));
    EXPECT_EQ(board.GetPadLength(), 3u);

    CChassisInfoArea chassis;
    ASSERT_TRUE(chassis.SetData(fru_test::ChassisArea(1, {Text("PP"), Text("SS")}).Build()));
    EXPECT_EQ(chassis.GetPadLength(), 16 - (3 + 3 + 3) - 2u);

    CProductInfoArea product;
    fru_test::InfoAreaImage image = fru_test::ProductArea(EmptyFields(7));
    image.units = 3;
    ASSERT_TRUE(product.SetData(image.Build()));
    EXPECT_EQ(product.GetPadLength(), 24 - (3 + 7) - 2u);
}

// A value may take the field's current bytes and the padding, no more; the
// area keeps its length.
template <typename Area>
void ExpectValueFitsCurrentLengthPlusPadding(const Bytes& image, std::uint32_t index) {
    Area area;
    ASSERT_TRUE(area.SetData(image));
    ASSERT_TRUE(area.GetFieldData(index).has_value());
    const std::uint32_t room =
        static_cast<std::uint32_t>(area.GetFieldData(index)->size()) + area.GetPadLength();
    const Bytes value(room + 1, 'x');

    EXPECT_FALSE(area.SetFieldData(index, value.data(), room + 1, FRU_FIELD_TYPE_TEXT));
    EXPECT_FALSE(area.IsModified());
    EXPECT_EQ(DataOf(area.GetData()), image);

    EXPECT_TRUE(area.SetFieldData(index, value.data(), room, FRU_FIELD_TYPE_TEXT));
    EXPECT_TRUE(area.IsModified());
    EXPECT_EQ(area.GetPadLength(), 0u);
    EXPECT_EQ(area.GetLength(), image.size());
    EXPECT_EQ(DataOf(*area.GetFieldData(index)), Bytes(room, 'x'));
    EXPECT_EQ(ByteSum(area.GetData()), 0);
    EXPECT_TRUE(area.IsValid());
}

TEST(FruInfoAreaPadding, ValueFitsCurrentLengthPlusPadding) {
    ExpectValueFitsCurrentLengthPlusPadding<CBoardInfoArea>(kSmallBoard, 1);
    ExpectValueFitsCurrentLengthPlusPadding<CChassisInfoArea>(
        fru_test::ChassisArea(1, {Text("PN"), Text("SN")}).Build(), 2);
    ExpectValueFitsCurrentLengthPlusPadding<CProductInfoArea>(
        fru_test::ProductArea({Text("MM"), Text("NN"), Text("PP"), Text("VV"), Text("SS"),
                               Text("asset"), Text("FF"), Text("custom")})
            .Build(),
        7);
}

TEST(FruInfoAreaPadding, ValueNeverExceedsSixtyThreeBytes) {
    CBoardInfoArea board;
    ASSERT_TRUE(board.SetData(BoardWithUnits(64)));
    ASSERT_GT(board.GetPadLength(), 64u);
    const Bytes value(64, 'x');
    EXPECT_FALSE(board.SetFieldData(2, value.data(), 64, FRU_FIELD_TYPE_TEXT));
    EXPECT_TRUE(board.SetFieldData(2, value.data(), 63, FRU_FIELD_TYPE_TEXT));
}

TEST(FruInfoAreaPadding, ShorterValueFreesBytes) {
    CBoardInfoArea board;
    ASSERT_TRUE(board.SetData(
        fru_test::BoardArea({}, {Text("Manufacturer"), Text(""), Text(""), Text(""), Text("")})
            .Build()));
    const std::uint32_t padding = board.GetPadLength();
    const std::uint8_t value[] = {'M', 'M'};
    ASSERT_TRUE(board.SetFieldData(1, value, 2, FRU_FIELD_TYPE_TEXT));
    EXPECT_EQ(board.GetPadLength(), padding + 10);
    EXPECT_EQ(ByteSum(board.GetData()), 0);
}

TEST(FruInfoAreaPadding, NewTypeLengthByteTakesTheTypeBits) {
    CBoardInfoArea board;
    ASSERT_TRUE(board.SetData(BoardWithUnits(4)));
    const std::uint8_t value[] = {0x12, 0x34};
    ASSERT_TRUE(board.SetFieldData(3, value, 2, FRU_FIELD_TYPE_BINARY));
    EXPECT_EQ(board.GetFixedFields()[2].GetTypeLength(), 0x02);
    ASSERT_TRUE(board.SetFieldData(3, value, 2, FRU_FIELD_TYPE_TEXT));
    EXPECT_EQ(board.GetFixedFields()[2].GetTypeLength(), 0xC2);
    // One byte is fine in any type but 8-bit text, whose C1h would end the
    // fields.
    ASSERT_TRUE(board.SetFieldData(3, value, 1, FRU_FIELD_TYPE_BCD_PLUS));
    EXPECT_EQ(board.GetFixedFields()[2].GetTypeLength(), 0x41);
    EXPECT_FALSE(board.SetFieldData(3, value, 1, FRU_FIELD_TYPE_TEXT));
    CBoardInfoArea reread;
    EXPECT_TRUE(reread.SetData(board.GetData()));
}

// A custom field of one byte of 8-bit text would end the fields early: the
// area could not be read back.
TEST(FruInfoAreaPadding, OneByteOfTextIsRefused) {
    CProductInfoArea product;
    ASSERT_TRUE(product.SetData(
        fru_test::ProductArea({Text("MM"), Text("NN"), Text("PP"), Text("VV"), Text("SS"),
                               Text("AA"), Text("FF"), Text("first"), Text("second")})
            .Build()));
    const Bytes before(product.GetData().begin(), product.GetData().end());
    const std::uint8_t value[] = {'x'};
    EXPECT_FALSE(product.SetFieldData(8, value, 1, FRU_FIELD_TYPE_TEXT));
    EXPECT_EQ(Bytes(product.GetData().begin(), product.GetData().end()), before);
}

// An area that was never loaded has no length to hold a value: nothing may
// be set in it, and it has no image.
TEST(FruInfoAreaPadding, AreaNeverLoadedTakesNoValue) {
    CProductInfoArea product;
    const std::uint8_t value[] = {'x'};
    EXPECT_FALSE(product.SetFieldData(0, value, 0, FRU_FIELD_TYPE_TEXT));
    EXPECT_FALSE(product.SetFieldData(0, value, 1, FRU_FIELD_TYPE_TEXT));
    EXPECT_EQ(product.GetPadLength(), 0u);
    EXPECT_EQ(product.GetLength(), 0u);
    EXPECT_TRUE(product.GetData().empty());
}

// ------------------------------------------------------------ length, flags

TEST(FruInfoAreaLength, TakesOnlyMultiplesOfEightThatHoldTheFields) {
    CBoardInfoArea board;
    ASSERT_TRUE(board.SetData(kSmallBoard));
    const struct {
        std::uint32_t bytes;
        bool accepted;
    } cases[] = {{0, false}, {12, false}, {8, false}, {520, false},
                 {24, true}, {512, true}, {16, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(board.SetLength(c.bytes), c.accepted) << c.bytes;
    }
    EXPECT_EQ(board.GetLength(), 16u);
    EXPECT_EQ(DataOf(board.GetData()), kSmallBoard);

    ASSERT_TRUE(board.SetLength(24));
    Bytes grown(kSmallBoard.begin(), kSmallBoard.begin() + 12);
    grown[1] = 3;
    grown.resize(24, 0);
    EXPECT_EQ(DataOf(board.GetData()), fru_test::WithChecksum(grown));
    EXPECT_EQ(board.GetPadLength(), 11u);
}

TEST(FruInfoAreaFlags, OnlyAnAcceptedValueMarksTheAreaModified) {
    CBoardInfoArea board;
    ASSERT_TRUE(board.SetData(kSmallBoard));
    EXPECT_FALSE(board.IsModified());
    const std::uint8_t value[] = {'a', 'b', 'c', 'd'};
    EXPECT_FALSE(board.SetFieldData(1, value, 4, FRU_FIELD_TYPE_TEXT));
    EXPECT_FALSE(board.IsModified());
    EXPECT_TRUE(board.SetFieldData(1, value, 3, FRU_FIELD_TYPE_TEXT));
    EXPECT_TRUE(board.IsModified());
    board.ResetIsModified();
    EXPECT_FALSE(board.IsModified());
}

TEST(FruInfoAreaChecksum, IsRecomputedIntoTheLastByte) {
    CChassisInfoArea chassis;
    ASSERT_TRUE(chassis.SetData(fru_test::ChassisArea(2, {Text("PP"), Text("SS")}).Build()));
    const std::uint8_t type[] = {0x11};
    ASSERT_TRUE(chassis.SetFieldData(0, type, 1, FRU_FIELD_TYPE_TEXT));
    const Bytes image = DataOf(chassis.GetData());
    EXPECT_EQ(ByteSum(image), 0);
    EXPECT_EQ(chassis.UpdateChecksum(), image.back());
    EXPECT_EQ(image, fru_test::ChassisArea(0x11, {Text("PP"), Text("SS")}).Build());
}

}  // namespace
