#include <gtest/gtest.h>

#include "bmc/debug_log.h"
#include "pemric/pemric_status.h"
#include "record_fixture.h"

using namespace Pemric_Private;

namespace {

struct GetterCase {
    std::uint8_t type;
    unsigned bodyLength;
    unsigned fieldCount;
    // Full and event-only sensors give titles and locations before a decode.
    bool titlesBeforeDecode;
};

void PrintTo(const GetterCase& c, std::ostream* os) {
    *os << "type " << std::hex << unsigned{c.type} << "h";
}

class Getters : public RecordTest, public ::testing::WithParamInterface<GetterCase> {
  protected:
    std::string ClassName() const {
        char name[16];
        std::snprintf(name, sizeof name, "CSdrType%02X", unsigned{GetParam().type});
        return name;
    }

    // A body of zeros: an empty ID string where the type has one.
    Bytes ValidRecord() const {
        Bytes bytes = CountingRecord(GetParam().type, GetParam().bodyLength);
        std::fill(bytes.begin() + 5, bytes.end(), 0);
        return bytes;
    }
};

TEST_P(Getters, RefuseBeforeADecode) {
    std::unique_ptr<CSdr> record = Create(GetParam().type);
    unsigned count = 0;
    wchar_t* text = nullptr;
    EXPECT_EQ(record->GetNumberOfFields(count), PEMRIC_SDR_NOT_DECODED);
    EXPECT_EQ(record->GetFieldValue(text), PEMRIC_SDR_NOT_DECODED);
    EXPECT_EQ(record->GetName(text), PEMRIC_SDR_NOT_DECODED);
    EXPECT_EQ(record->GetSdrTitle(text), PEMRIC_SDR_NOT_DECODED);
    EXPECT_EQ(text, nullptr);
    const std::string prefix = ClassName() + "::";
    EXPECT_EQ(Log(), prefix + "GetNumberOfFields - SDR Type Not Decoded\r\n" + prefix +
                         "GetFieldValue - SDR Type Not Decoded\r\n" + prefix +
                         "GetName - SDR Type Not Decoded\r\n" + prefix +
                         "GetSdrTitle - SDR Type Not Decoded\r\n");
}

TEST_P(Getters, TitlesAndLocationsBeforeADecode) {
    std::unique_ptr<CSdr> record = Create(GetParam().type);
    wchar_t* text = nullptr;
    const unsigned expected =
        GetParam().titlesBeforeDecode ? PEMRIC_FIELD_NOT_SELECTED : PEMRIC_SDR_NOT_DECODED;
    EXPECT_EQ(record->GetFieldTitle(text), expected);
    EXPECT_EQ(record->GetFieldLocation(text), expected);
    const std::string words =
        GetParam().titlesBeforeDecode ? "SDR Type Field Not Selected" : "SDR Type Not Decoded";
    EXPECT_EQ(Log(), ClassName() + "::GetFieldTitle - " + words + "\r\n" + ClassName() +
                         "::GetFieldLocation - " + words + "\r\n");
    record->SelectField(0);
    if (GetParam().titlesBeforeDecode) {
        EXPECT_EQ(Title(*record, 0), L"Record ID");
        EXPECT_EQ(Location(*record, 0), L"Bytes 1-2");
    } else {
        EXPECT_EQ(record->GetFieldTitle(text), PEMRIC_SDR_NOT_DECODED);
    }
}

TEST_P(Getters, TitlesNeedASelectedFieldOfTheRecord) {
    std::unique_ptr<CSdr> record = Decoded(ValidRecord());
    ASSERT_NE(record, nullptr);
    unsigned count = 0;
    ASSERT_EQ(record->GetNumberOfFields(count), PEMRIC_SUCCESS);
    EXPECT_EQ(count, GetParam().fieldCount);
    wchar_t* text = nullptr;
    EXPECT_EQ(record->GetFieldTitle(text), PEMRIC_FIELD_NOT_SELECTED);
    // SelectField takes any index; one the record does not have selects
    // nothing rather than reading past the field table.
    EXPECT_EQ(record->SelectField(count), PEMRIC_SUCCESS);
    EXPECT_EQ(record->GetFieldTitle(text), PEMRIC_FIELD_NOT_SELECTED);
    EXPECT_EQ(record->GetFieldLocation(text), PEMRIC_FIELD_NOT_SELECTED);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(Value(*record, count), L"No such field");
    EXPECT_EQ(Value(*record, kNoFieldSelected), L"No such field");
    EXPECT_EQ(Log(), ClassName() + "::GetFieldTitle - SDR Type Field Not Selected\r\n" +
                         ClassName() + "::GetFieldTitle - SDR Type Field Not Selected\r\n" +
                         ClassName() + "::GetFieldLocation - SDR Type Field Not Selected\r\n");
}

TEST_P(Getters, EveryFieldHasATitleALocationAndAValue) {
    std::unique_ptr<CSdr> record = Decoded(ValidRecord());
    ASSERT_NE(record, nullptr);
    for (unsigned index = 0; index < GetParam().fieldCount; ++index) {
        EXPECT_FALSE(Title(*record, index).empty()) << index;
        EXPECT_EQ(Location(*record, index).substr(0, 4), L"Byte") << index;
        EXPECT_NE(Value(*record, index), L"No such field") << index;
    }
}

TEST_P(Getters, WriteEntryAndExitLinesAtLevelThree) {
    std::unique_ptr<CSdr> record = Create(GetParam().type);
    SetLibDebugLevel(3);
    unsigned count = 0;
    record->GetNumberOfFields(count);
    SetLibDebugLevel(1);
    const std::string line = ClassName() + "::GetNumberOfFields";
    EXPECT_EQ(Log(),
              line + " [ENTRY]\r\n" + line + " - SDR Type Not Decoded\r\n" + line + " [EXIT]\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, Getters,
    ::testing::Values(GetterCase{0x01, 43, 47, true}, GetterCase{0x02, 27, 28, false},
                      GetterCase{0x03, 12, 16, true}, GetterCase{0x08, 11, 15, false},
                      GetterCase{0x09, 27, 31, false}, GetterCase{0x10, 11, 16, false},
                      GetterCase{0x11, 11, 16, false}, GetterCase{0x12, 11, 16, false},
                      GetterCase{0x13, 27, 13, false}, GetterCase{0x14, 11, 15, false},
                      GetterCase{0xC0, 20, 6, false}));

TEST_F(RecordTest, OnlyOemRecordsHandOutOemData) {
    std::unique_ptr<CSdr> sensor = Create(0x01);
    unsigned char sentinel = 0;
    unsigned char* data = &sentinel;
    EXPECT_EQ(sensor->GetOEMData(data), PEMRIC_SUCCESS);
    EXPECT_EQ(data, &sentinel);

    std::unique_ptr<CSdr> oem = Create(0xC0);
    EXPECT_EQ(oem->GetOEMData(data), PEMRIC_SDR_NOT_DECODED);
    EXPECT_EQ(Log(), "CSdrTypeC0::GetOEMData - SDR Type Not Decoded\r\n");
    Bytes bytes{0x00, 0x07, 0x51, 0xC0, 8, 0x00, 0x01, 0x57, 'V', 'e', 'r', ' ', '2'};
    ASSERT_EQ(oem->DecodeSDR(bytes.data()), PEMRIC_SUCCESS);
    ASSERT_EQ(oem->GetOEMData(data), PEMRIC_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "Ver 2");
}

}  // namespace
