// Type 01h, the full sensor record: a sensor with its conversion factors,
// readings ranges and thresholds.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_TYPE01_H
#define SRVFW_PEMRIC_RECORDS_SDR_TYPE01_H

#include <cstdint>

#include "pemric/records/sdr_sensor.h"

namespace Pemric_Private {

class CSdrType01 : public CSdrReadingSensor {
  public:
    explicit CSdrType01(const CSdrTexts& texts);

  protected:
    void DecodeBody(const unsigned char* bytes) override;
    void GetStringValue(unsigned index, wchar_t* out) override;
    unsigned TitleIdOf(unsigned index) const override;

  private:
    bool ThresholdsInitialized() const;

    std::uint8_t mLinearization = 0;
    std::uint16_t mM = 0;
    std::uint8_t mTolerance = 0;
    std::uint16_t mB = 0;
    std::uint16_t mAccuracy = 0;
    std::uint8_t mAccuracyExponent = 0;
    std::uint8_t mRExponent = 0;
    std::uint8_t mBExponent = 0;
    std::uint8_t mAnalogFlags = 0;
    // Nominal, normal maximum and minimum, sensor maximum and minimum.
    std::uint8_t mReadings[5] = {};
    // Upper non-recoverable, critical, non-critical, then lower.
    std::uint8_t mThresholds[6] = {};
    std::uint8_t mPositiveHysteresis = 0;
    std::uint8_t mNegativeHysteresis = 0;
    std::uint8_t mOem = 0;
    std::uint8_t mIdTypeLength = 0;
};

}  // namespace Pemric_Private

#endif
