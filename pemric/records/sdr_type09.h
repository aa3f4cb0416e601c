// Type 09h, the device-relative entity association record: like 08h, with
// the controller address and channel of each entity.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_TYPE09_H
#define SRVFW_PEMRIC_RECORDS_SDR_TYPE09_H

#include <cstdint>

#include "pemric/records/sdr_record.h"

namespace Pemric_Private {

class CSdrType09 : public CSdrRecord {
  public:
    explicit CSdrType09(const CSdrTexts& texts);

  protected:
    void DecodeBody(const unsigned char* bytes) override;
    void GetStringValue(unsigned index, wchar_t* out) override;
    void ComposeName() override;
    void ComposeTitle() override;

  private:
    // Container ID, instance, device address, channel, flags, then four
    // contained entities as address, channel, ID and instance; the last six
    // bytes are reserved.
    std::uint8_t mBody[27] = {};
};

}  // namespace Pemric_Private

#endif
