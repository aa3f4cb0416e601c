#include "pemric/records/sdr_sensor.h"

#include "pemric/code_tables.h"

namespace Pemric_Private {

namespace {

constexpr std::uint8_t kOwnerIdAddressBits = 0xFE;
constexpr std::uint8_t kOwnerLunBits = 0x03;
constexpr std::uint8_t kThresholdAccessBits = 0x0C;
constexpr unsigned kThresholdMaskBits = 0x3F;
// Bit 15 of the event masks is reserved.
constexpr unsigned kEventMaskBits = 0x7FFF;

unsigned LeastSignificantFirst(const unsigned char* bytes) {
    return bytes[0] | bytes[1] << 8;
}

}  // namespace

bool HasThresholdAccess(std::uint8_t capabilities) {
    return (capabilities & kThresholdAccessBits) != 0;
}

void SdrSensorKey::Decode(const unsigned char* bytes) {
    ownerId = bytes[5] & kOwnerIdAddressBits;
    ownerLun = bytes[6] & kOwnerLunBits;
    sensorNumber = bytes[7];
    entityId = bytes[8];
    entityInstance = bytes[9];
}

void SdrEventMasks::Decode(const unsigned char* bytes, bool thresholdAccess) {
    assertion = static_cast<std::uint16_t>(LeastSignificantFirst(bytes + 14) & kEventMaskBits);
    deassertion = static_cast<std::uint16_t>(LeastSignificantFirst(bytes + 16) & kEventMaskBits);
    const unsigned readingMask =
        thresholdAccess ? (bytes[18] & kThresholdMaskBits) | (bytes[19] & kThresholdMaskBits) << 8
                        : LeastSignificantFirst(bytes + 18) & kEventMaskBits;
    reading = static_cast<std::uint16_t>(readingMask);
}

bool CSdrSensor::FormatSensorKeyField(unsigned index, wchar_t* out) {
    switch (index) {
        case 4:
            FormatValue(out, mKey.ownerId);
            return true;
        case 5:
            FormatValue(out, mKey.ownerLun);
            return true;
        case 6:
            FormatSensorNumber(out, mKey.sensorNumber);
            return true;
        case 7:
            FormatEntity(out, mKey.entityId);
            return true;
        case 8:
            FormatValue(out, mKey.entityInstance);
            return true;
        default:
            return false;
    }
}

void CSdrSensor::ComposeName() {
    SensorName(mSensorType, mIdString, mKey.sensorNumber);
}

void CSdrSensor::ComposeTitle() {
    wchar_t id[kSdrTextLength];
    mIdString.Widen(id);
    TitleWith(mTitleWordsId, id, true);
}

void CSdrReadingSensor::DecodeReadingFields(const unsigned char* bytes,
                                            std::uint8_t initializationBits) {
    mSensorInitialization = bytes[10] & initializationBits;
    mSensorCapabilities = bytes[11];
    mSensorType = bytes[12];
    mEventReadingType = bytes[13];
    mMasks.Decode(bytes, HasThresholdAccess(mSensorCapabilities));
    mSensorUnits1 = bytes[20];
    mBaseUnit = bytes[21];
    mModifierUnit = bytes[22];
}

bool CSdrReadingSensor::FormatReadingField(unsigned index, wchar_t* out) {
    switch (index) {
        case 9:
            FormatValue(out, mSensorInitialization);
            return true;
        case 10:
            FormatValue(out, mSensorCapabilities);
            return true;
        case 11:
            FormatCode(out, CODE_SENSOR_TYPE, mSensorType);
            return true;
        case 12:
            FormatCode(out, CODE_EVENT_READING_TYPE, mEventReadingType);
            return true;
        case 13:
            FormatWord(out, mMasks.assertion);
            return true;
        case 14:
            FormatWord(out, mMasks.deassertion);
            return true;
        case 15:
            FormatWord(out, mMasks.reading);
            return true;
        case 16:
            FormatValue(out, mSensorUnits1);
            return true;
        case 17:
            FormatUnit(out, mBaseUnit);
            return true;
        case 18:
            FormatUnit(out, mModifierUnit);
            return true;
        default:
            return false;
    }
}

}  // namespace Pemric_Private
