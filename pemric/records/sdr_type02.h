// Type 02h, the compact sensor record: a sensor without conversion factors,
// possibly shared by several sensors of one kind.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_TYPE02_H
#define SRVFW_PEMRIC_RECORDS_SDR_TYPE02_H

#include <array>
#include <cstdint>

#include "pemric/records/sdr_sensor.h"

namespace Pemric_Private {

class CSdrType02 : public CSdrReadingSensor {
  public:
    explicit CSdrType02(const CSdrTexts& texts);

    static const std::array<FieldStringToken, 28> FieldStringTokens;

  protected:
    void DecodeBody(const unsigned char* bytes) override;
    void GetStringValue(unsigned index, wchar_t* out) override;

  private:
    std::uint16_t mRecordSharing = 0;
    std::uint8_t mPositiveHysteresis = 0;
    std::uint8_t mNegativeHysteresis = 0;
    std::uint8_t mOem = 0;
    std::uint8_t mIdTypeLength = 0;
};

}  // namespace Pemric_Private

#endif
