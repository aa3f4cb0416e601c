// What the three sensor record types (full, compact, event-only) share: the
// sensor's owner, number and entity, its type, its ID string, and a name
// and title made of them.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_SENSOR_H
#define SRVFW_PEMRIC_RECORDS_SDR_SENSOR_H

#include <cstdint>

#include "pemric/records/sdr_record.h"

namespace Pemric_Private {

// Fields 4..8 of every sensor record, from bytes 5..9.
struct SdrSensorKey {
    std::uint8_t ownerId = 0;  // bit 0 cleared: the 7-bit address in bits 7:1
    std::uint8_t ownerLun = 0;
    std::uint8_t sensorNumber = 0;
    std::uint8_t entityId = 0;
    std::uint8_t entityInstance = 0;

    void Decode(const unsigned char* bytes);
};

// The three masks of a full or compact sensor, from bytes 14..19.
struct SdrEventMasks {
    std::uint16_t assertion = 0;
    std::uint16_t deassertion = 0;
    std::uint16_t reading = 0;

    // With threshold access the reading mask says which thresholds are
    // settable and readable, two 6-bit sets.
    void Decode(const unsigned char* bytes, bool thresholdAccess);
};

// Bits 3:2 of the capabilities byte: none, or how the thresholds are reached.
bool HasThresholdAccess(std::uint8_t capabilities);

class CSdrSensor : public CSdrRecord {
  protected:
    CSdrSensor(const CSdrTexts& texts, const RecordShape& shape, unsigned titleWordsId)
        : CSdrRecord(texts, shape), mTitleWordsId(titleWordsId) {}

    // Fields 4..8; false for any other index.
    bool FormatSensorKeyField(unsigned index, wchar_t* out);
    void ComposeName() override;
    void ComposeTitle() override;

    SdrSensorKey mKey;
    std::uint8_t mSensorType = 0;
    std::uint8_t mEventReadingType = 0;
    SdrIdString mIdString;

  private:
    unsigned mTitleWordsId;
};

// The full and compact sensors, which have a reading: their fields 9..18
// (initialization, capabilities, type, event/reading type, the three masks
// and the units) come from bytes 10..22 alike.
class CSdrReadingSensor : public CSdrSensor {
  protected:
    using CSdrSensor::CSdrSensor;

    // initializationBits: the bits of byte 10 the type defines.
    void DecodeReadingFields(const unsigned char* bytes, std::uint8_t initializationBits);
    // Fields 9..18; false for any other index.
    bool FormatReadingField(unsigned index, wchar_t* out);

    std::uint8_t mSensorInitialization = 0;
    std::uint8_t mSensorCapabilities = 0;
    SdrEventMasks mMasks;
    std::uint8_t mSensorUnits1 = 0;
    std::uint8_t mBaseUnit = 0;
    std::uint8_t mModifierUnit = 0;
};

}  // namespace Pemric_Private

#endif
