// Field encodings: how each type of field shows as text, which values keep
// a field's encoding when they are set, and the areas' handling of padding
// and of an end-of-fields marker where a fixed field stands.
#include "orvel/fru_encoding.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fru_image_builder.h"
#include "fru_test_support.h"
#include "orvel/fru_board_area.h"
#include "orvel/fru_product_area.h"
#include "orvel/last_error.h"

namespace {

using namespace Orvel_Private;
using fru_test::Bytes;
using fru_test::Field;
using fru_test::TakeLastError;
using fru_test::Text;

// -------------------------------------------------------------- decoding

struct DecodeCase {
    const char* name;
    FRU_FIELD_TYPE type;
    Bytes data;
    std::wstring text;
};

class Decoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decoding, ShowsTheTextTheEncodingHolds) {
    const DecodeCase& c = GetParam();
    EXPECT_EQ(DecodeFieldData(c.type, c.data), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, Decoding,
    ::testing::Values(
        // "IPMI", the FRU Information Storage Definition's own example of
        // 6-bit packing: the first character in the low bits of byte 0.
        DecodeCase{"SixBitIpmi", FRU_FIELD_TYPE_6BIT_ASCII, {0x29, 0xDC, 0xA6}, L"IPMI"},
        // Every whole six bits is a character: 2 bytes hold 2 of them.
        DecodeCase{"SixBitTwoBytes", FRU_FIELD_TYPE_6BIT_ASCII, {0x29, 0x0C}, L"IP"},
        DecodeCase{"SixBitSpaceAndUnderscore", FRU_FIELD_TYPE_6BIT_ASCII, {0xC0, 0x0F}, L" _"},
        DecodeCase{"BcdPlusDigits", FRU_FIELD_TYPE_BCD_PLUS, {0x20, 0x23}, L"2023"},
        DecodeCase{"BcdPlusSpaceDashPeriod", FRU_FIELD_TYPE_BCD_PLUS, {0xAB, 0xC1}, L" -.1"},
        DecodeCase{"BcdPlusReserved", FRU_FIELD_TYPE_BCD_PLUS, {0xDF}, L"??"},
        DecodeCase{"Binary", FRU_FIELD_TYPE_BINARY, {0x00, 0x1E, 0xAB}, L"00 1E AB"},
        DecodeCase{"BinaryEmpty", FRU_FIELD_TYPE_BINARY, {}, L""},
        DecodeCase{"Latin1", FRU_FIELD_TYPE_TEXT, {'C', 0xE9, 'd'}, L"C\u00E9d"},
        DecodeCase{"TextStopsAtZero", FRU_FIELD_TYPE_TEXT, {'a', 0x00, 'b'}, L"a"}),
    [](const auto& info) { return info.param.name; });

// -------------------------------------------------------------- encoding

struct EncodeCase {
    const char* name;
    FRU_FIELD_TYPE type;
    std::wstring text;
    std::optional<Bytes> data;  // none: the encoding cannot hold the text
};

class Encoding : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(Encoding, HoldsOnlyWhatReadsBackTheSame) {
    const EncodeCase& c = GetParam();
    const auto data = EncodeFieldText(c.type, c.text);
    EXPECT_EQ(data, c.data);
    // Binary takes its hex digits spaced or not; the others read back alike.
    if (data && c.type != FRU_FIELD_TYPE_BINARY) {
        EXPECT_EQ(DecodeFieldData(c.type, *data), c.text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, Encoding,
    ::testing::Values(
        EncodeCase{"SixBit", FRU_FIELD_TYPE_6BIT_ASCII, L"IPMI", Bytes{0x29, 0xDC, 0xA6}},
        // Seven characters take six bytes, which read back as eight.
        EncodeCase{"SixBitSevenCharacters", FRU_FIELD_TYPE_6BIT_ASCII, L"ABCDEFG", std::nullopt},
        EncodeCase{"SixBitNoLowerCase", FRU_FIELD_TYPE_6BIT_ASCII, L"Ipmi", std::nullopt},
        EncodeCase{"BcdPlus", FRU_FIELD_TYPE_BCD_PLUS, L"12-3.", std::nullopt},
        EncodeCase{"BcdPlusEven", FRU_FIELD_TYPE_BCD_PLUS, L"12-3.4", Bytes{0x12, 0xB3, 0xC4}},
        EncodeCase{"BcdPlusNoLetters", FRU_FIELD_TYPE_BCD_PLUS, L"12AB", std::nullopt},
        EncodeCase{"BinaryAsShown", FRU_FIELD_TYPE_BINARY, L"00 1E AB", Bytes{0x00, 0x1E, 0xAB}},
        EncodeCase{"BinaryUnspaced", FRU_FIELD_TYPE_BINARY, L"001eab", Bytes{0x00, 0x1E, 0xAB}},
        EncodeCase{"BinaryOddDigits", FRU_FIELD_TYPE_BINARY, L"1 23", std::nullopt},
        EncodeCase{"Latin1", FRU_FIELD_TYPE_TEXT, L"C\u00E9d", Bytes{'C', 0xE9, 'd'}},
        EncodeCase{"BeyondLatin1", FRU_FIELD_TYPE_TEXT, L"\u20AC", std::nullopt},
        EncodeCase{"Escape", FRU_FIELD_TYPE_TEXT, L"\x1B[31m", std::nullopt},
        EncodeCase{"Delete", FRU_FIELD_TYPE_TEXT, L"a\x7F", std::nullopt},
        EncodeCase{"C1Control", FRU_FIELD_TYPE_TEXT, L"a\x9B", std::nullopt}),
    [](const auto& info) { return info.param.name; });

TEST(UnstorableCharacters, NameTheFirstAndWhy) {
    EXPECT_EQ(FindUnstorableCharacter(L"plain \u00FF"), std::nullopt);
    const auto control = FindUnstorableCharacter(L"a\x1B\u20AC");
    ASSERT_TRUE(control);
    EXPECT_EQ(control->character, L'\x1B');
    EXPECT_TRUE(control->control);
    const auto wide = FindUnstorableCharacter(L"a\u20AC\x1B");
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->character, L'\u20AC');
    EXPECT_FALSE(wide->control);
}

// ------------------------------------------------------ setting text fields

class FieldText : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearLastError();
        // Manufacturer 8-bit, product name 6-bit, serial BCD plus, part
        // number binary; room to spare.
        fru_test::InfoAreaImage image = fru_test::BoardArea(
            {}, {Text("Maker"), Field(0x83, {0x29, 0xDC, 0xA6}), Field(0x42, {0x20, 0x23}),
                 Field(0x02, {0x00, 0x1E}), Text("F1")});
        image.units = 6;
        ASSERT_TRUE(mBoard.SetData(image.Build()));
    }
    Bytes Data(std::uint32_t index) const {
        const auto data = mBoard.GetFieldData(index);
        return data ? Bytes(data->begin(), data->end()) : Bytes{};
    }

    fru_test::NumberedStrings mStrings;
    CBoardInfoArea mBoard;
};

TEST_F(FieldText, KeepsTheFieldsEncodingWhenItHoldsTheValue) {
    const struct {
        std::uint32_t index;
        const wchar_t* text;
        FRU_FIELD_TYPE type;
        Bytes data;
    } cases[] = {
        {2, L"KSB1", FRU_FIELD_TYPE_6BIT_ASCII, {0xEB, 0x2C, 0x46}},
        {3, L"2024", FRU_FIELD_TYPE_BCD_PLUS, {0x20, 0x24}},
        {4, L"AB CD EF", FRU_FIELD_TYPE_BINARY, {0xAB, 0xCD, 0xEF}},
        {1, L"Caf\u00E9", FRU_FIELD_TYPE_TEXT, {'C', 'a', 'f', 0xE9}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(mBoard.SetFieldText(c.index, c.text)) << c.index;
        EXPECT_EQ(mBoard.GetFieldEncoding(c.index), c.type) << c.index;
        EXPECT_EQ(Data(c.index), c.data) << c.index;
        EXPECT_EQ(std::wstring(mBoard.GetFieldValueFromIndex(c.index)), c.text);
    }
    EXPECT_TRUE(mBoard.IsValid());
    EXPECT_TRUE(mBoard.IsModified());
}

TEST_F(FieldText, FallsBackToEightBitTextOtherwise) {
    ASSERT_TRUE(mBoard.SetFieldText(2, L"kestrel"));  // lower case: not 6-bit
    EXPECT_EQ(mBoard.GetFieldEncoding(2), FRU_FIELD_TYPE_TEXT);
    EXPECT_EQ(Data(2), (Bytes{'k', 'e', 's', 't', 'r', 'e', 'l'}));
    ASSERT_TRUE(mBoard.SetFieldText(3, L"A-1"));  // a letter: not BCD plus
    EXPECT_EQ(mBoard.GetFieldEncoding(3), FRU_FIELD_TYPE_TEXT);
    ASSERT_TRUE(mBoard.SetFieldText(4, L"rev 2"));  // no hex: not binary
    EXPECT_EQ(mBoard.GetFieldEncoding(4), FRU_FIELD_TYPE_TEXT);
    EXPECT_TRUE(mBoard.IsValid());
}

TEST_F(FieldText, TheDateHasNoEncoding) {
    EXPECT_EQ(mBoard.GetFieldEncoding(0), std::nullopt);
    EXPECT_EQ(mBoard.GetFieldEncoding(99), std::nullopt);
}

TEST_F(FieldText, ShownTextSetAgainChangesNoByte) {
    const Bytes before(mBoard.GetData().begin(), mBoard.GetData().end());
    for (std::uint32_t index = 1; index <= 5; ++index) {
        const std::wstring shown = mBoard.GetFieldValueFromIndex(index);
        ASSERT_TRUE(mBoard.SetFieldText(index, shown)) << index;
    }
    EXPECT_EQ(Bytes(mBoard.GetData().begin(), mBoard.GetData().end()), before);
}

// ------------------------------------------------- padding and early ends

TEST(InfoAreaPadding, PaddingOfFFhIsReadAndWrittenBackAsZeros) {
    fru_test::NumberedStrings strings;
    fru_test::InfoAreaImage image =
        fru_test::BoardArea({}, {Text("Ma"), Text("Pn"), Text("Sn"), Text("Nu"), Text("")});
    image.units = 3;
    const Bytes clean = image.Build();
    // Version, length, language, date, four 2-byte fields and an empty one.
    constexpr std::size_t kMarker = 2 + 4 + 4 * 3 + 1;
    ASSERT_EQ(clean[kMarker], 0xC1);
    Bytes padded = clean;
    for (std::size_t i = kMarker + 1; i + 1 < padded.size(); ++i) padded[i] = 0xFF;
    padded = fru_test::WithChecksum(padded);
    ASSERT_NE(padded, clean);

    CBoardInfoArea board;
    ASSERT_TRUE(board.SetData(padded));
    EXPECT_TRUE(board.HadNonZeroPadding());
    EXPECT_TRUE(board.IsValid());
    EXPECT_EQ(Bytes(board.GetData().begin(), board.GetData().end()), clean);

    ASSERT_TRUE(board.SetData(clean));
    EXPECT_FALSE(board.HadNonZeroPadding());
}

// The marker where the board's third text field should stand: the area is
// malformed, and the bytes after the marker never show as fields.
TEST(InfoAreaEnds, EndOfFieldsWhereAFixedFieldStandsIsRefused) {
    fru_test::NumberedStrings strings;
    Bytes image{0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0xC1, 0xC3,
                'A',  'B',  'C',  0xC1, 0x00, 0x00, 0x00};
    image.push_back(0);
    image = fru_test::WithChecksum(image);
    CBoardInfoArea board;
    EXPECT_FALSE(board.SetData(image));
    EXPECT_TRUE(board.EndedBeforeFixedFields());
    ASSERT_TRUE(board.SetData(fru_test::BoardArea({}, fru_test::EmptyFields(5)).Build()));
    EXPECT_FALSE(board.EndedBeforeFixedFields());
}

}  // namespace
