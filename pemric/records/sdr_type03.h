// Type 03h, the event-only sensor record: a sensor that only sends events
// and has no reading.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_TYPE03_H
#define SRVFW_PEMRIC_RECORDS_SDR_TYPE03_H

#include <cstdint>

#include "pemric/records/sdr_sensor.h"

namespace Pemric_Private {

class CSdrType03 : public CSdrSensor {
  public:
    explicit CSdrType03(const CSdrTexts& texts);

  protected:
    void DecodeBody(const unsigned char* bytes) override;
    void GetStringValue(unsigned index, wchar_t* out) override;

  private:
    std::uint16_t mRecordSharing = 0;
    std::uint8_t mOem = 0;
    std::uint8_t mIdTypeLength = 0;
};

}  // namespace Pemric_Private

#endif
