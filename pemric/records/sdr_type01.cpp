#include "pemric/records/sdr_type01.h"

#include "pemric/records/field_string_tokens.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

const RecordShape kShape{L"CSdrType01", 0x01, FieldStringTokens, BodyLengthRule::PlusIdString, 43,
                         false};

constexpr std::uint8_t kInitializationBits = 0x7F;
constexpr std::uint8_t kInitThresholdsBit = 0x10;
constexpr std::uint8_t kLinearizationBits = 0x3F;

// Bits 7:6 of a byte as the top two bits of a 10-bit factor.
unsigned TopTwoBits(std::uint8_t byte) {
    return (byte >> 6) << 8;
}

}  // namespace

CSdrType01::CSdrType01(const CSdrTexts& texts)
    : CSdrReadingSensor(texts, kShape, kTextFullSensorTitle) {}

void CSdrType01::DecodeBody(const unsigned char* bytes) {
    mKey.Decode(bytes);
    DecodeReadingFields(bytes, kInitializationBits);
    mLinearization = bytes[23] & kLinearizationBits;
    mM = static_cast<std::uint16_t>(bytes[24] | TopTwoBits(bytes[25]));
    mTolerance = bytes[25] & 0x3F;
    mB = static_cast<std::uint16_t>(bytes[26] | TopTwoBits(bytes[27]));
    mAccuracy = static_cast<std::uint16_t>((bytes[27] & 0x3F) | (bytes[28] >> 4) << 6);
    mAccuracyExponent = (bytes[28] >> 2) & 0x03;
    mRExponent = bytes[29] >> 4;
    mBExponent = bytes[29] & 0x0F;
    mAnalogFlags = bytes[30];
    for (unsigned i = 0; i < 5; ++i) mReadings[i] = bytes[31 + i];
    for (unsigned i = 0; i < 6; ++i) mThresholds[i] = bytes[36 + i];
    mPositiveHysteresis = bytes[42];
    mNegativeHysteresis = bytes[43];
    mOem = bytes[46];
    mIdTypeLength = bytes[47];
    mIdString.Decode(bytes + 48, mIdTypeLength);
}

bool CSdrType01::ThresholdsInitialized() const {
    return (mSensorInitialization & kInitThresholdsBit) != 0;
}

unsigned CSdrType01::TitleIdOf(unsigned index) const {
    // The three masks mean other things for a sensor with thresholds.
    if (index >= 13 && index <= 15 && HasThresholdAccess(mSensorCapabilities)) {
        constexpr unsigned kThresholdTitles[] = {kTitleLowerThresholdMask, kTitleUpperThresholdMask,
                                                 kTitleSettableReadableMask};
        return kThresholdTitles[index - 13];
    }
    return CSdrReadingSensor::TitleIdOf(index);
}

void CSdrType01::GetStringValue(unsigned index, wchar_t* out) {
    if (FormatHeaderField(index, out) || FormatSensorKeyField(index, out) ||
        FormatReadingField(index, out)) {
        return;
    }
    const std::span<wchar_t> text{out, kSdrTextLength};
    switch (index) {
        case 19:
            return FormatValue(out, mLinearization);
        case 20:
            BinaryFormat(text, mM, 10);
            return;
        case 21:
            BinaryFormat(text, mTolerance, 6);
            return;
        case 22:
            BinaryFormat(text, mB, 10);
            return;
        case 23:
            BinaryFormat(text, mAccuracy, 10);
            return;
        case 24:
            BinaryFormat(text, mAccuracyExponent, 2);
            return;
        case 25:
            return FormatText(out, kTextReservedByte);
        case 26:
            BinaryFormat(text, mRExponent, 4);
            return;
        case 27:
            BinaryFormat(text, mBExponent, 4);
            return;
        case 28:
            return FormatValue(out, mAnalogFlags);
        case 29:
        case 30:
        case 31:
        case 32:
        case 33:
            return FormatValue(out, mReadings[index - 29]);
        case 34:
        case 35:
        case 36:
        case 37:
        case 38:
        case 39:
            // A threshold the sensor does not initialize has no value.
            if (!ThresholdsInitialized()) return FormatEmpty(out);
            return FormatValue(out, mThresholds[index - 34]);
        case 40:
            return FormatValue(out, mPositiveHysteresis);
        case 41:
            return FormatValue(out, mNegativeHysteresis);
        case 42:
        case 43:
            return FormatText(out, kTextReservedByte);
        case 44:
            return FormatValue(out, mOem);
        case 45:
            return FormatValue(out, mIdTypeLength);
        default:
            return FormatIdString(out, mIdString);
    }
}

}  // namespace Pemric_Private
