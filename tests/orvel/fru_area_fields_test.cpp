// The areas field by field: numbering, titles, values as text, raw bytes,
// setting values, and what a refusal tells the host and the debug log.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "bmc/debug_log.h"
#include "fru_image_builder.h"
#include "fru_test_support.h"
#include "orvel/fru_board_area.h"
#include "orvel/fru_chassis_area.h"
#include "orvel/fru_internal_use_area.h"
#include "orvel/fru_product_area.h"
#include "orvel/last_error.h"
#include "scratch_dir.h"

namespace {

using namespace Orvel_Private;
using fru_test::Bytes;
using fru_test::EmptyFields;
using fru_test::TakeLastError;
using fru_test::Text;

std::optional<std::wstring> TextOf(const wchar_t* text) {
    return text != nullptr ? std::optional<std::wstring>(text) : std::nullopt;
}

Bytes BytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

Bytes DataOf(std::optional<std::span<const std::uint8_t>> bytes) {
    return bytes ? Bytes(bytes->begin(), bytes->end()) : Bytes{};
}

Bytes ChassisImage(std::uint8_t type, std::vector<Bytes> custom = {}) {
    std::vector<Bytes> fields{Text("CPN"), Text("CSN")};
    fields.insert(fields.end(), custom.begin(), custom.end());
    return fru_test::ChassisArea(type, fields).Build();
}

Bytes BoardImage(std::array<std::uint8_t, 3> date, std::vector<Bytes> custom = {}) {
    std::vector<Bytes> fields{Text("Maker"), Text("Board"), Text("BSN"), Text("BPN"), Text("BF")};
    fields.insert(fields.end(), custom.begin(), custom.end());
    return fru_test::BoardArea(date, fields).Build();
}

Bytes ProductImage(std::vector<Bytes> custom = {}) {
    std::vector<Bytes> fields{Text("PM"),  Text("PN"),  Text("PPN"), Text("PV"),
                              Text("PSN"), Text("tag"), Text("PF")};
    fields.insert(fields.end(), custom.begin(), custom.end());
    return fru_test::ProductArea(fields).Build();
}

class FruAreaFields : public ::testing::Test {
  protected:
    void SetUp() override { ClearLastError(); }

    fru_test::NumberedStrings mStrings;
};

// ---------------------------------------------------------------- numbering

TEST(FruFieldNumbering, EachAreaNumbersOnlyItsOwnFixedItems) {
    struct Owner {
        std::uint32_t field;
        int area;  // 0 internal use, 1 chassis, 2 board, 3 product
        std::uint32_t index;
    };
    const Owner owners[] = {{1, 0, 0},  {2, 1, 0},  {3, 1, 1},  {4, 1, 2},  {5, 2, 0},  {6, 2, 1},
                            {7, 2, 2},  {8, 2, 3},  {9, 2, 4},  {10, 2, 5}, {11, 3, 0}, {12, 3, 1},
                            {13, 3, 2}, {14, 3, 3}, {15, 3, 4}, {16, 3, 5}, {17, 3, 6}};
    CInternalUseArea internalUse;
    CChassisInfoArea chassis;
    CBoardInfoArea board;
    CProductInfoArea product;
    ASSERT_TRUE(chassis.SetData(ChassisImage(1, {Text("cc")})));
    ASSERT_TRUE(board.SetData(BoardImage({}, {Text("cc")})));
    ASSERT_TRUE(product.SetData(ProductImage({Text("cc")})));

    const auto indexIn = [&](int area, std::uint32_t field) {
        switch (area) {
            case 0:
                return internalUse.GetFieldIndexFromEnum(field);
            case 1:
                return chassis.GetFieldIndexFromEnum(field);
            case 2:
                return board.GetFieldIndexFromEnum(field);
            default:
                return product.GetFieldIndexFromEnum(field);
        }
    };
    for (const Owner& owner : owners) {
        for (int area = 0; area < 4; ++area) {
            EXPECT_EQ(indexIn(area, owner.field),
                      area == owner.area ? owner.index : INVALID_SELECTION)
                << "field " << owner.field << " in area " << area;
        }
    }
    for (const std::uint32_t unknown : {0u, 18u, 0xFFFFFFFFu}) {
        for (int area = 0; area < 4; ++area) EXPECT_EQ(indexIn(area, unknown), INVALID_SELECTION);
    }
}

TEST(FruFieldNumbering, CountsFixedItemsThenCustomFields) {
    CChassisInfoArea chassis;
    CBoardInfoArea board;
    CProductInfoArea product;
    ASSERT_TRUE(chassis.SetData(ChassisImage(1)));
    ASSERT_TRUE(board.SetData(BoardImage({}, {Text("aa"), Text("bb")})));
    ASSERT_TRUE(product.SetData(ProductImage({Text("aa"), Text("bb"), Text("cc")})));
    EXPECT_EQ(chassis.GetNumberOfFields(), 3u);
    EXPECT_EQ(board.GetNumberOfFields(), 8u);
    EXPECT_EQ(product.GetNumberOfFields(), 10u);

    CInternalUseArea internalUse;
    EXPECT_EQ(internalUse.GetNumberOfFields(), 0u);
    const std::uint8_t data[] = {1};
    ASSERT_TRUE(internalUse.SetData(data, false));
    EXPECT_EQ(internalUse.GetNumberOfFields(), 1u);
}

TEST_F(FruAreaFields, TitlesCountOnFromFieldZeroAndCustomFieldsShareOne) {
    CChassisInfoArea chassis;
    CBoardInfoArea board;
    CProductInfoArea product;
    ASSERT_TRUE(chassis.SetData(ChassisImage(1, {Text("aa"), Text("bb")})));
    ASSERT_TRUE(board.SetData(BoardImage({}, {Text("aa"), Text("bb")})));
    ASSERT_TRUE(product.SetData(ProductImage({Text("aa"), Text("bb")})));

    const std::optional<std::wstring> none;
    const std::vector<std::optional<std::wstring>> chassisTitles{L"#10", L"#11", L"#12",
                                                                 L"#13", L"#13", none};
    const std::vector<std::optional<std::wstring>> boardTitles{
        L"#14", L"#15", L"#16", L"#17", L"#18", L"#19", L"#20", L"#20", none};
    const std::vector<std::optional<std::wstring>> productTitles{
        L"#21", L"#22", L"#23", L"#24", L"#25", L"#26", L"#27", L"#28", L"#28", none};
    for (std::uint32_t i = 0; i < chassisTitles.size(); ++i) {
        EXPECT_EQ(TextOf(chassis.GetFieldTitleFromIndex(i)), chassisTitles[i]) << i;
    }
    for (std::uint32_t i = 0; i < boardTitles.size(); ++i) {
        EXPECT_EQ(TextOf(board.GetFieldTitleFromIndex(i)), boardTitles[i]) << i;
    }
    for (std::uint32_t i = 0; i < productTitles.size(); ++i) {
        EXPECT_EQ(TextOf(product.GetFieldTitleFromIndex(i)), productTitles[i]) << i;
    }

    CInternalUseArea internalUse;
    EXPECT_EQ(internalUse.GetFieldTitleFromIndex(0), nullptr);
    const std::uint8_t data[] = {1};
    ASSERT_TRUE(internalUse.SetData(data, false));
    EXPECT_EQ(TextOf(internalUse.GetFieldTitleFromIndex(0)), L"#9");
    EXPECT_EQ(internalUse.GetFieldTitleFromIndex(1), nullptr);
}

// --------------------------------------------------------- custom numbering

// With custom fields AA then BB stored, the text and the setter see the last
// stored one first; the raw accessor sees them in stored order.
template <typename Area>
void ExpectCustomNumbering(const Bytes& image, std::uint32_t firstCustom) {
    Area area;
    ASSERT_TRUE(area.SetData(image));
    EXPECT_EQ(TextOf(area.GetFieldValueFromIndex(firstCustom)), L"BB");
    EXPECT_EQ(TextOf(area.GetFieldValueFromIndex(firstCustom + 1)), L"AA");
    EXPECT_EQ(DataOf(area.GetFieldData(firstCustom)), BytesOf("AA"));
    EXPECT_EQ(DataOf(area.GetFieldData(firstCustom + 1)), BytesOf("BB"));

    const std::uint8_t value[] = {'C', 'C'};
    ASSERT_TRUE(area.SetFieldData(firstCustom, value, 2, FRU_FIELD_TYPE_TEXT));
    ASSERT_EQ(area.GetCustomFields().size(), 2u);
    EXPECT_EQ(Bytes(area.GetCustomFields()[0].GetData().begin(),
                    area.GetCustomFields()[0].GetData().end()),
              BytesOf("AA"));
    EXPECT_EQ(Bytes(area.GetCustomFields()[1].GetData().begin(),
                    area.GetCustomFields()[1].GetData().end()),
              BytesOf("CC"));
}

TEST_F(FruAreaFields, CustomFieldsCountFromTheLastForTextAndFromTheFirstForBytes) {
    ExpectCustomNumbering<CChassisInfoArea>(ChassisImage(1, {Text("AA"), Text("BB")}), 3);
    ExpectCustomNumbering<CBoardInfoArea>(BoardImage({}, {Text("AA"), Text("BB")}), 6);
    ExpectCustomNumbering<CProductInfoArea>(ProductImage({Text("AA"), Text("BB")}), 7);
}

// --------------------------------------------------------------- text values

TEST_F(FruAreaFields, TextFieldsShowTheirBytesUpToTheFirstZero) {
    constexpr std::string_view kWithZero("ab\0cd", 5);
    CBoardInfoArea board;
    ASSERT_TRUE(board.SetData(
        fru_test::BoardArea({}, {Text("Maker"), fru_test::Field(0xC5, BytesOf(kWithZero)),
                                 fru_test::Field(0x03, {'b', 'i', 'n'}),
                                 fru_test::Field(0xC2, {0xE9, 't'}), Text("")})
            .Build()));
    EXPECT_EQ(TextOf(board.GetFieldValueFromIndex(1)), L"Maker");
    EXPECT_EQ(TextOf(board.GetFieldValueFromIndex(2)), L"ab");
    // Binary data shows as hexadecimal, never as text.
    EXPECT_EQ(TextOf(board.GetFieldValueFromIndex(3)), L"62 69 6E");
    // 8-bit text is Latin-1: E9h is e acute whatever the host's encoding.
    EXPECT_EQ(TextOf(board.GetFieldValueFromIndex(4)), L"\u00E9t");
    EXPECT_EQ(TextOf(board.GetFieldValueFromIndex(5)), L"");
    // The raw bytes are all there.
    EXPECT_EQ(DataOf(board.GetFieldData(2)), BytesOf(kWithZero));
}

TEST_F(FruAreaFields, FieldZeroOfChassisAndBoardIsTheirOwnByte) {
    CChassisInfoArea chassis;
    ASSERT_TRUE(chassis.SetData(ChassisImage(0x11)));
    EXPECT_EQ(DataOf(chassis.GetFieldData(0)), Bytes{0x11});
    EXPECT_EQ(DataOf(chassis.GetFieldData(1)), BytesOf("CPN"));

    CBoardInfoArea board;
    ASSERT_TRUE(board.SetData(BoardImage({0x12, 0x34, 0x56})));
    EXPECT_EQ(DataOf(board.GetFieldData(0)), (Bytes{0x12, 0x34, 0x56}));
    EXPECT_EQ(board.GetLanguageCode(), 0x19);

    CProductInfoArea product;
    ASSERT_TRUE(product.SetData(ProductImage()));
    EXPECT_EQ(DataOf(product.GetFieldData(0)), BytesOf("PM"));
    EXPECT_FALSE(product.GetFieldData(7).has_value());
    EXPECT_FALSE(board.GetFieldData(6).has_value());
    EXPECT_FALSE(chassis.GetFieldData(3).has_value());
}

// Types 1 to 23 have names, 10 to 15 included; any other type shows its
// number.
TEST_F(FruAreaFields, ChassisTypeShowsItsName) {
    const std::pair<std::uint8_t, const wchar_t*> cases[] = {
        {1, L"#36"},  {9, L"#44"},   {10, L"#45"},    {15, L"#50"},      {16, L"#51"},
        {23, L"#58"}, {0, L"#59 0"}, {24, L"#59 24"}, {255, L"#59 255"},
    };
    for (const auto& [type, name] : cases) {
        CChassisInfoArea chassis;
        ASSERT_TRUE(chassis.SetData(ChassisImage(type)));
        EXPECT_EQ(TextOf(chassis.GetFieldValueFromIndex(0)), name) << int{type};
        EXPECT_EQ(TextOf(chassis.GetChassisString()), name) << int{type};
    }
}

TEST_F(FruAreaFields, ChassisTypeTakesOneByteFromOneToTwentyThree) {
    CChassisInfoArea chassis;
    ASSERT_TRUE(chassis.SetData(ChassisImage(3)));
    const struct {
        Bytes value;
        bool accepted;
    } cases[] = {{{0}, false}, {{24}, false}, {{1, 1}, false},
                 {{}, false},  {{1}, true},   {{23}, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(
            chassis.SetFieldData(0, c.value.data(), static_cast<std::uint32_t>(c.value.size()),
                                 FRU_FIELD_TYPE_TEXT),
            c.accepted);
    }
    EXPECT_FALSE(chassis.SetFieldData(0, nullptr, 1, FRU_FIELD_TYPE_TEXT));
    EXPECT_EQ(chassis.GetChassisType(), 23);
    EXPECT_EQ(TextOf(chassis.GetFieldValueFromIndex(0)), L"#58");
    // The chassis area refuses without a text for the host.
    EXPECT_EQ(TakeLastError(), L"");
}

TEST_F(FruAreaFields, ManufacturingDateShowsAsUtc) {
    const std::pair<std::array<std::uint8_t, 3>, const wchar_t*> cases[] = {
        // Zero minutes is the format's "unspecified".
        {{0x00, 0x00, 0x00}, L"#160"},
        {{0x01, 0x00, 0x00}, L"#35 1/1/1996 00:01:00"},
        {{0x3C, 0x00, 0x00}, L"#35 1/1/1996 01:00:00"},
        {{0xA0, 0x05, 0x00}, L"#35 1/2/1996 00:00:00"},
    };
    for (const auto& [date, text] : cases) {
        CBoardInfoArea board;
        ASSERT_TRUE(board.SetData(BoardImage(date)));
        EXPECT_EQ(TextOf(board.GetFieldValueFromIndex(0)), text);
    }
}

TEST_F(FruAreaFields, ManufacturingDateTakesExactlyThreeBytes) {
    CBoardInfoArea board;
    ASSERT_TRUE(board.SetData(BoardImage({})));
    const std::uint8_t date[] = {0x3C, 0x00, 0x00, 0x00};
    for (const std::uint32_t length : {2u, 4u}) {
        EXPECT_FALSE(board.SetFieldData(0, date, length, FRU_FIELD_TYPE_TEXT));
        EXPECT_EQ(TakeLastError(), L"#138");
    }
    EXPECT_FALSE(board.SetFieldData(0, nullptr, 3, FRU_FIELD_TYPE_TEXT));
    EXPECT_FALSE(board.IsModified());

    EXPECT_TRUE(board.SetFieldData(0, date, 3, FRU_FIELD_TYPE_TEXT));
    EXPECT_TRUE(board.IsModified());
    EXPECT_EQ(TextOf(board.GetFieldValueFromIndex(0)), L"#35 1/1/1996 01:00:00");
    EXPECT_EQ(ByteSum(board.GetData()), 0);
}

TEST_F(FruAreaFields, InternalUseDataShowsAsHexBytes) {
    CInternalUseArea internalUse;
    const std::uint8_t data[] = {0x01, 0xAB};
    ASSERT_TRUE(internalUse.SetData(data, false));
    EXPECT_EQ(TextOf(internalUse.GetFieldValueFromIndex(0)), L"01 AB");
    EXPECT_EQ(internalUse.GetFieldValueFromIndex(1), nullptr);
    EXPECT_EQ(TakeLastError(), L"#135");
}

TEST(FruInternalUseArea, HoldsAtMost512BytesAndNeverCutsThem) {
    CInternalUseArea internalUse;
    const Bytes full(512, 0x5A);
    ASSERT_TRUE(internalUse.SetData(full, false));
    EXPECT_FALSE(internalUse.IsModified());

    const Bytes tooLong(513, 0xA5);
    EXPECT_FALSE(internalUse.SetData(tooLong, true));
    EXPECT_EQ(Bytes(internalUse.GetData().begin(), internalUse.GetData().end()), full);
    EXPECT_FALSE(internalUse.IsModified());

    const std::uint8_t data[] = {1, 2};
    ASSERT_TRUE(internalUse.SetData(data, true));
    EXPECT_EQ(internalUse.GetLength(), 2u);
    EXPECT_TRUE(internalUse.IsModified());
    EXPECT_TRUE(internalUse.IsValid());
}

// ---------------------------------------------------------------- refusals

struct Refusal {
    const char* name;
    int area;  // 1 chassis, 2 board, 3 product
    std::uint32_t index;
    std::optional<std::size_t> length;  // none: no bytes at all
    const wchar_t* lastError;           // the chassis area sets none
};

void PrintTo(const Refusal& c, std::ostream* os) {
    *os << c.name;
}

class FruRefusedValue : public FruAreaFields, public ::testing::WithParamInterface<Refusal> {};

TEST_P(FruRefusedValue, TellsTheHostWhy) {
    const Refusal& c = GetParam();
    CChassisInfoArea chassis;
    CBoardInfoArea board;
    CProductInfoArea product;
    ASSERT_TRUE(chassis.SetData(ChassisImage(1, {Text("custom")})));
    ASSERT_TRUE(board.SetData(BoardImage({}, {Text("custom")})));
    ASSERT_TRUE(product.SetData(ProductImage({Text("custom")})));
    const Bytes value(c.length.value_or(0), 'x');
    const std::uint8_t* bytes = c.length ? value.data() : nullptr;
    const auto length = static_cast<std::uint32_t>(value.size());

    bool accepted = true;
    switch (c.area) {
        case 1:
            accepted = chassis.SetFieldData(c.index, bytes, length, FRU_FIELD_TYPE_TEXT);
            break;
        case 2:
            accepted = board.SetFieldData(c.index, bytes, length, FRU_FIELD_TYPE_TEXT);
            break;
        default:
            accepted = product.SetFieldData(c.index, bytes, length, FRU_FIELD_TYPE_TEXT);
    }
    EXPECT_FALSE(accepted);
    EXPECT_EQ(TakeLastError(), c.lastError);
}

INSTANTIATE_TEST_SUITE_P(Values, FruRefusedValue,
                         ::testing::Values(Refusal{"BoardFixedTooLong", 2, 1, 40, L"#137 #15"},
                                           Refusal{"BoardCustomTooLong", 2, 6, 40, L"#137 #20"},
                                           Refusal{"BoardMoreThan63", 2, 2, 64, L"#137 #16"},
                                           Refusal{"BoardNoBytes", 2, 1, std::nullopt, L"#125"},
                                           Refusal{"BoardNoSuchCustomField", 2, 7, 1, L"#135"},
                                           Refusal{"ProductAssetTagTooLong", 3, 5, 40, L"#137 #26"},
                                           Refusal{"ProductCustomTooLong", 3, 7, 40, L"#137 #28"},
                                           Refusal{"ProductNoBytes", 3, 0, std::nullopt, L"#125"},
                                           Refusal{"ProductNoSuchCustomField", 3, 8, 1, L"#135"},
                                           Refusal{"BoardOneByteOfText", 2, 1, 1, L"#125"},
                                           Refusal{"ProductOneByteOfText", 3, 7, 1, L"#125"},
                                           Refusal{"ChassisTooLong", 1, 1, 40, L""},
                                           Refusal{"ChassisOneByteOfText", 1, 1, 1, L""},
                                           Refusal{"ChassisNoBytes", 1, 1, std::nullopt, L""},
                                           Refusal{"ChassisNoSuchCustomField", 1, 4, 1, L""}),
                         [](const auto& info) { return info.param.name; });

TEST_F(FruAreaFields, TextPastTheLastFieldIsNoSuchField) {
    CChassisInfoArea chassis;
    CBoardInfoArea board;
    CProductInfoArea product;
    ASSERT_TRUE(chassis.SetData(ChassisImage(1)));
    ASSERT_TRUE(board.SetData(BoardImage({})));
    ASSERT_TRUE(product.SetData(ProductImage()));
    EXPECT_EQ(chassis.GetFieldValueFromIndex(3), nullptr);
    EXPECT_EQ(TakeLastError(), L"#135");
    EXPECT_EQ(board.GetFieldValueFromIndex(6), nullptr);
    EXPECT_EQ(TakeLastError(), L"#135");
    EXPECT_EQ(product.GetFieldValueFromIndex(7), nullptr);
    EXPECT_EQ(TakeLastError(), L"#135");
}

// ------------------------------------------------------------- debug lines

class FruDebugLines : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        mLevel = LIBDBG_DEBUG_LEVEL;
    }
    void TearDown() override {
        LIBDBG_DEBUG_LEVEL = mLevel;
        ScratchDirTest::TearDown();
    }

    static bool Logged(const std::string& line) {
        return ReadFile("DBGLOG.txt").find(line + "\r\n") != std::string::npos;
    }

  private:
    unsigned mLevel = 1;
};

TEST_F(FruDebugLines, RefusalsNameTheSetter) {
    LIBDBG_DEBUG_LEVEL = 1;
    CBoardInfoArea board;
    CProductInfoArea product;
    ASSERT_TRUE(board.SetData(BoardImage({})));
    ASSERT_TRUE(product.SetData(ProductImage()));
    const Bytes value(40, 'x');
    ASSERT_FALSE(board.SetFieldData(1, value.data(), 40, FRU_FIELD_TYPE_TEXT));
    ASSERT_FALSE(product.SetFieldData(0, value.data(), 40, FRU_FIELD_TYPE_TEXT));
    ASSERT_FALSE(board.SetFieldData(0, value.data(), 2, FRU_FIELD_TYPE_TEXT));

    EXPECT_TRUE(Logged("CBoardInfoArea::SetManufacturer - FRU Data too long"));
    EXPECT_TRUE(Logged("CProductInfoArea::SetManufacturerName - FRU Data Too Long"));
    EXPECT_TRUE(Logged("CBoardInfoArea::SetFieldData - Invalid Mfg Date Time"));
    EXPECT_FALSE(Logged("CBoardInfoArea::SetFieldData [ENTRY]"));
}

TEST_F(FruDebugLines, LevelThreeShowsEntryAndExit) {
    LIBDBG_DEBUG_LEVEL = 3;
    CProductInfoArea product;
    ASSERT_TRUE(product.SetData(ProductImage()));
    const std::uint8_t value[] = {'x', 'y'};
    ASSERT_TRUE(product.SetFieldData(5, value, 2, FRU_FIELD_TYPE_TEXT));
    EXPECT_TRUE(Logged("CProductInfoArea::SetData [ENTRY]"));
    EXPECT_TRUE(Logged("CProductInfoArea::SetFieldData [ENTRY]"));
    EXPECT_TRUE(Logged("CProductInfoArea::SetAssetTag [ENTRY]"));
    EXPECT_TRUE(Logged("CProductInfoArea::SetAssetTag [EXIT]"));
    EXPECT_TRUE(Logged("CProductInfoArea::SetFieldData [EXIT]"));
}

// --------------------------------------------------------------- asset tag

TEST(FruAssetTagRoom, IsTheAssetTagPlusPaddingOfTheLastAcceptedProductArea) {
    CProductInfoArea product;
    ASSERT_TRUE(product.SetData(ProductImage()));
    EXPECT_EQ(nTotalAssetTagLength, 3 + product.GetPadLength());

    // A field holds at most 63 bytes, however roomy the area.
    fru_test::InfoAreaImage roomy = fru_test::ProductArea(EmptyFields(7));
    roomy.units = 20;
    ASSERT_TRUE(product.SetData(roomy.Build()));
    EXPECT_EQ(nTotalAssetTagLength, 63u);

    // A refused area does not count.
    fru_test::InfoAreaImage broken = fru_test::ProductArea(EmptyFields(7));
    broken.checksumError = 1;
    EXPECT_FALSE(product.SetData(broken.Build()));
    EXPECT_EQ(nTotalAssetTagLength, 63u);
}

}  // namespace
