#include "pemric/records/sdr_type02.h"

#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

const RecordShape kShape{
    L"CSdrType02", 0x02, CSdrType02::FieldStringTokens, BodyLengthRule::PlusIdString, 27, true};

}  // namespace

CSdrType02::CSdrType02(const CSdrTexts& texts)
    : CSdrReadingSensor(texts, kShape, kTextSensorTitle) {}

void CSdrType02::DecodeBody(const unsigned char* bytes) {
    mKey.Decode(bytes);
    // A compact sensor uses all of its initialization byte.
    DecodeReadingFields(bytes, 0xFF);
    mRecordSharing = static_cast<std::uint16_t>(bytes[23] | bytes[24] << 8);
    mPositiveHysteresis = bytes[25];
    mNegativeHysteresis = bytes[26];
    mOem = bytes[30];
    mIdTypeLength = bytes[31];
    mIdString.Decode(bytes + 32, mIdTypeLength);
}

void CSdrType02::GetStringValue(unsigned index, wchar_t* out) {
    if (FormatHeaderField(index, out) || FormatSensorKeyField(index, out) ||
        FormatReadingField(index, out)) {
        return;
    }
    switch (index) {
        case 19:
            return FormatWord(out, mRecordSharing);
        case 20:
            return FormatValue(out, mPositiveHysteresis);
        case 21:
            return FormatValue(out, mNegativeHysteresis);
        case 22:
        case 23:
        case 24:
            return FormatText(out, kTextReservedByte);
        case 25:
            return FormatValue(out, mOem);
        case 26:
            return FormatValue(out, mIdTypeLength);
        default:
            return FormatIdString(out, mIdString);
    }
}

}  // namespace Pemric_Private
