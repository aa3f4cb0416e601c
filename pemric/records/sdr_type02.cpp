#include "pemric/records/sdr_type02.h"

#include "pemric/code_tables.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

const RecordShape kShape{
    L"CSdrType02", 0x02, CSdrType02::FieldStringTokens, BodyLengthRule::PlusIdString, 27, true};

}  // namespace

CSdrType02::CSdrType02(const CSdrTexts& texts) : CSdrSensor(texts, kShape, kTextSensorTitle) {}

void CSdrType02::DecodeBody(const unsigned char* bytes) {
    mKey.Decode(bytes);
    mSensorInitialization = bytes[10];
    mSensorCapabilities = bytes[11];
    mSensorType = bytes[12];
    mEventReadingType = bytes[13];
    mMasks.Decode(bytes, HasThresholdAccess(mSensorCapabilities));
    mSensorUnits1 = bytes[20];
    mBaseUnit = bytes[21];
    mModifierUnit = bytes[22];
    mRecordSharing = static_cast<std::uint16_t>(bytes[23] | bytes[24] << 8);
    mPositiveHysteresis = bytes[25];
    mNegativeHysteresis = bytes[26];
    mOem = bytes[30];
    mIdTypeLength = bytes[31];
    mIdString.Decode(bytes + 32, mIdTypeLength);
}

void CSdrType02::GetStringValue(unsigned index, wchar_t* out) {
    if (FormatHeaderField(index, out) || FormatSensorKeyField(index, out)) return;
    switch (index) {
        case 9:
            return FormatValue(out, mSensorInitialization);
        case 10:
            return FormatValue(out, mSensorCapabilities);
        case 11:
            return FormatCode(out, CODE_SENSOR_TYPE, mSensorType);
        case 12:
            return FormatCode(out, CODE_EVENT_READING_TYPE, mEventReadingType);
        case 13:
            return FormatWord(out, mMasks.assertion);
        case 14:
            return FormatWord(out, mMasks.deassertion);
        case 15:
            return FormatWord(out, mMasks.reading);
        case 16:
            return FormatValue(out, mSensorUnits1);
        case 17:
            return FormatUnit(out, mBaseUnit);
        case 18:
            return FormatUnit(out, mModifierUnit);
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
