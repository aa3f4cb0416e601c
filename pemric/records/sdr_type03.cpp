#include "pemric/records/sdr_type03.h"

#include "pemric/code_tables.h"
#include "pemric/records/field_string_tokens.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

const RecordShape kShape{
    L"CSdrType03", 0x03, Type03_FieldStringTokens, BodyLengthRule::PlusIdString, 12, false};

}  // namespace

CSdrType03::CSdrType03(const CSdrTexts& texts) : CSdrSensor(texts, kShape, kTextSensorTitle) {}

void CSdrType03::DecodeBody(const unsigned char* bytes) {
    mKey.Decode(bytes);
    mSensorType = bytes[10];
    mEventReadingType = bytes[11];
    mRecordSharing = static_cast<std::uint16_t>(bytes[12] | bytes[13] << 8);
    mOem = bytes[15];
    mIdTypeLength = bytes[16];
    mIdString.Decode(bytes + 17, mIdTypeLength);
}

// Hosts address an event-only sensor's ID string as field 14; its
// type/length byte comes after it, as field 15.
void CSdrType03::GetStringValue(unsigned index, wchar_t* out) {
    if (FormatHeaderField(index, out) || FormatSensorKeyField(index, out)) return;
    switch (index) {
        case 9:
            return FormatCode(out, CODE_SENSOR_TYPE, mSensorType);
        case 10:
            return FormatCode(out, CODE_EVENT_READING_TYPE, mEventReadingType);
        case 11:
            return FormatWord(out, mRecordSharing);
        case 12:
            return FormatText(out, kTextReservedByte);
        case 13:
            return FormatValue(out, mOem);
        case 14:
            return FormatIdString(out, mIdString);
        default:
            return FormatValue(out, mIdTypeLength);
    }
}

}  // namespace Pemric_Private
