#include "pemric/code_tables.h"

#include <gtest/gtest.h>

#include "record_fixture.h"

using namespace Pemric_Private;

namespace {

TEST(CodeTables, HoldOneEntryPerText) {
    EXPECT_EQ(sensor_type_table.size(), 42u);
    EXPECT_EQ(device_type_table.size(), 36u);
    EXPECT_EQ(device_type_mod_table.size(), 9u);
    EXPECT_EQ(dev_type_mod_Heceta_table.size(), 6u);
    EXPECT_EQ(dev_type_mod_24C01_table.size(), 5u);
    EXPECT_EQ(entity_id_table.size(), 42u);
    EXPECT_EQ(device_id_table.size(), 1u);
    EXPECT_EQ(event_read_type_code_table.size(), 5u);
    EXPECT_EQ(sensor_unit_type_code_table.size(), 91u);
    EXPECT_EQ(irq_type_code_table.size(), 28u);
}

struct CodeCase {
    unsigned kind;
    unsigned code;
    unsigned deviceType;
    unsigned stringId;
};

void PrintTo(const CodeCase& c, std::ostream* os) {
    *os << "kind " << c.kind << ", code " << std::hex << c.code << "h, device type " << c.deviceType
        << "h";
}

class CodeBoundaries : public ::testing::TestWithParam<CodeCase> {};

TEST_P(CodeBoundaries, GiveTheTextOfTheFirstEntryThatHoldsTheCode) {
    EXPECT_EQ(LookUpCode(CodeTableFor(GetParam().kind, GetParam().deviceType), GetParam().code),
              GetParam().stringId);
}

// The first and last code of every entry that borders another one.
INSTANTIATE_TEST_SUITE_P(SensorTypes, CodeBoundaries,
                         ::testing::Values(CodeCase{CODE_SENSOR_TYPE, 0x00, 0, 203},
                                           CodeCase{CODE_SENSOR_TYPE, 0x01, 0, 118},
                                           CodeCase{CODE_SENSOR_TYPE, 0x27, 0, 156},
                                           CodeCase{CODE_SENSOR_TYPE, 0x28, 0, 203},
                                           CodeCase{CODE_SENSOR_TYPE, 0xBF, 0, 203},
                                           CodeCase{CODE_SENSOR_TYPE, 0xC0, 0, 157},
                                           CodeCase{CODE_SENSOR_TYPE, 0xFF, 0, 157},
                                           CodeCase{CODE_SENSOR_TYPE, 0x100, 0, 158}));
INSTANTIATE_TEST_SUITE_P(
    DeviceTypes, CodeBoundaries,
    ::testing::Values(
        CodeCase{CODE_DEVICE_TYPE, 0x01, 0, 203}, CodeCase{CODE_DEVICE_TYPE, 0x02, 0, 337},
        CodeCase{CODE_DEVICE_TYPE, 0x05, 0, 340}, CodeCase{CODE_DEVICE_TYPE, 0x07, 0, 203},
        CodeCase{CODE_DEVICE_TYPE, 0x08, 0, 341}, CodeCase{CODE_DEVICE_TYPE, 0x10, 0, 349},
        CodeCase{CODE_DEVICE_TYPE, 0x13, 0, 203}, CodeCase{CODE_DEVICE_TYPE, 0x14, 0, 350},
        CodeCase{CODE_DEVICE_TYPE, 0x24, 0, 366}, CodeCase{CODE_DEVICE_TYPE, 0x25, 0, 203},
        CodeCase{CODE_DEVICE_TYPE, 0xBE, 0, 203}, CodeCase{CODE_DEVICE_TYPE, 0xBF, 0, 367},
        CodeCase{CODE_DEVICE_TYPE, 0xC0, 0, 368}, CodeCase{CODE_DEVICE_TYPE, 0xFF, 0, 368}));
// The device type picks the modifier table: 05h Heceta, 08h..0Fh EEPROMs,
// anything else (04h, 10h) the generic one.
INSTANTIATE_TEST_SUITE_P(DeviceTypeModifiers, CodeBoundaries,
                         ::testing::Values(CodeCase{CODE_DEVICE_TYPE_MODIFIER, 0x00, 0x05, 369},
                                           CodeCase{CODE_DEVICE_TYPE_MODIFIER, 0x05, 0x05, 374},
                                           CodeCase{CODE_DEVICE_TYPE_MODIFIER, 0x06, 0x05, 158},
                                           CodeCase{CODE_DEVICE_TYPE_MODIFIER, 0x00, 0x08, 375},
                                           CodeCase{CODE_DEVICE_TYPE_MODIFIER, 0x03, 0x0F, 378},
                                           CodeCase{CODE_DEVICE_TYPE_MODIFIER, 0x04, 0x0F, 482},
                                           CodeCase{CODE_DEVICE_TYPE_MODIFIER, 0xFF, 0x08, 482},
                                           CodeCase{CODE_DEVICE_TYPE_MODIFIER, 0x03, 0x04, 382},
                                           CodeCase{CODE_DEVICE_TYPE_MODIFIER, 0x05, 0x10, 158},
                                           CodeCase{CODE_DEVICE_TYPE_MODIFIER, 0x01, 0x10, 380},
                                           CodeCase{CODE_DEVICE_TYPE_MODIFIER, 0x10, 0x10, 382},
                                           CodeCase{CODE_DEVICE_TYPE_MODIFIER, 0xBF, 0x10, 381},
                                           CodeCase{CODE_DEVICE_TYPE_MODIFIER, 0xC0, 0x07, 379}));
INSTANTIATE_TEST_SUITE_P(
    EntityIds, CodeBoundaries,
    ::testing::Values(
        CodeCase{CODE_ENTITY_ID, 0x00, 0, 336}, CodeCase{CODE_ENTITY_ID, 0x01, 0, 383},
        CodeCase{CODE_ENTITY_ID, 0x02, 0, 158}, CodeCase{CODE_ENTITY_ID, 0x03, 0, 124},
        CodeCase{CODE_ENTITY_ID, 0x04, 0, 384}, CodeCase{CODE_ENTITY_ID, 0x1E, 0, 410},
        CodeCase{CODE_ENTITY_ID, 0x1F, 0, 144}, CodeCase{CODE_ENTITY_ID, 0x20, 0, 411},
        CodeCase{CODE_ENTITY_ID, 0x25, 0, 416}, CodeCase{CODE_ENTITY_ID, 0x26, 0, 203},
        CodeCase{CODE_ENTITY_ID, 0x8F, 0, 203}, CodeCase{CODE_ENTITY_ID, 0x90, 0, 417},
        CodeCase{CODE_ENTITY_ID, 0xAF, 0, 417}, CodeCase{CODE_ENTITY_ID, 0xB0, 0, 418},
        CodeCase{CODE_ENTITY_ID, 0xCF, 0, 418}, CodeCase{CODE_ENTITY_ID, 0xD0, 0, 419},
        CodeCase{CODE_ENTITY_ID, 0xFF, 0, 419}));
INSTANTIATE_TEST_SUITE_P(
    OtherTables, CodeBoundaries,
    ::testing::Values(
        CodeCase{CODE_DEVICE_ID, 0x00, 0, 336}, CodeCase{CODE_DEVICE_ID, 0x01, 0, 158},
        CodeCase{CODE_EVENT_READING_TYPE, 0x00, 0, 336},
        CodeCase{CODE_EVENT_READING_TYPE, 0x01, 0, 420},
        CodeCase{CODE_EVENT_READING_TYPE, 0x02, 0, 421},
        CodeCase{CODE_EVENT_READING_TYPE, 0x0B, 0, 421},
        CodeCase{CODE_EVENT_READING_TYPE, 0x0C, 0, 158},
        CodeCase{CODE_EVENT_READING_TYPE, 0x6E, 0, 158},
        CodeCase{CODE_EVENT_READING_TYPE, 0x6F, 0, 422},
        CodeCase{CODE_EVENT_READING_TYPE, 0x70, 0, 204},
        CodeCase{CODE_EVENT_READING_TYPE, 0x7F, 0, 204},
        CodeCase{CODE_EVENT_READING_TYPE, 0x80, 0, 158}, CodeCase{CODE_SENSOR_UNIT, 0x00, 0, 423},
        CodeCase{CODE_SENSOR_UNIT, 0x5A, 0, 513}, CodeCase{CODE_SENSOR_UNIT, 0x5B, 0, 158},
        CodeCase{CODE_INTERRUPT_TYPE, 0x00, 0, 514}, CodeCase{CODE_INTERRUPT_TYPE, 0x15, 0, 535},
        CodeCase{CODE_INTERRUPT_TYPE, 0x16, 0, 158}, CodeCase{CODE_INTERRUPT_TYPE, 0x1F, 0, 158},
        CodeCase{CODE_INTERRUPT_TYPE, 0x20, 0, 536}, CodeCase{CODE_INTERRUPT_TYPE, 0x21, 0, 482},
        CodeCase{CODE_INTERRUPT_TYPE, 0x5E, 0, 482}, CodeCase{CODE_INTERRUPT_TYPE, 0x5F, 0, 537},
        CodeCase{CODE_INTERRUPT_TYPE, 0x60, 0, 538}, CodeCase{CODE_INTERRUPT_TYPE, 0x61, 0, 482},
        CodeCase{CODE_INTERRUPT_TYPE, 0xFE, 0, 482}, CodeCase{CODE_INTERRUPT_TYPE, 0xFF, 0, 539},
        // No such table.
        CodeCase{8, 0x00, 0, 158}));

TEST_F(RecordTest, DecodeTypeCopiesTheTextFromTheStringFile) {
    std::unique_ptr<CSdr> record = Create(0x01);
    wchar_t text[kSdrTextLength];
    record->DecodeType(CODE_SENSOR_TYPE, 0x01, text);
    EXPECT_STREQ(text, L"Temperature");
    record->DecodeType(CODE_SENSOR_UNIT, 0x12, text);
    EXPECT_STREQ(text, L"RPM");
    record->DecodeType(CODE_DEVICE_TYPE_MODIFIER, 0x01, text, 0x05);
    EXPECT_STREQ(text, L"Heceta 2 (LM79)");
    record->DecodeType(99, 0x01, text);
    EXPECT_STREQ(text, L"Unknown");
    wchar_t shortText[5];
    record->DecodeType(CODE_SENSOR_TYPE, 0x01, shortText);
    EXPECT_STREQ(shortText, L"Temp");
}

// Every text a code table names is in the string file, and a code table
// never points at a format.
TEST_F(RecordTest, EveryCodeTableTextIsWritten) {
    for (auto table :
         {sensor_type_table, device_type_table, device_type_mod_table, dev_type_mod_Heceta_table,
          dev_type_mod_24C01_table, entity_id_table, device_id_table, event_read_type_code_table,
          sensor_unit_type_code_table, irq_type_code_table}) {
        for (const MM_Table_Entry_Tag& entry : table) {
            const std::wstring text = Text(entry.stringId);
            EXPECT_FALSE(text.empty()) << entry.stringId;
            EXPECT_EQ(text.find(L'%'), std::wstring::npos) << entry.stringId;
        }
    }
}

}  // namespace
