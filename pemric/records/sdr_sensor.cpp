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

}  // namespace Pemric_Private
