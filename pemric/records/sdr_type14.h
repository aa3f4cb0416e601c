// Type 14h, the BMC message channel info record: the protocol of each of the
// BMC's eight channels and the interrupts it raises to the system.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_TYPE14_H
#define SRVFW_PEMRIC_RECORDS_SDR_TYPE14_H

#include <cstdint>

#include "pemric/records/sdr_record.h"

namespace Pemric_Private {

class CSdrType14 : public CSdrRecord {
  public:
    explicit CSdrType14(const CSdrTexts& texts);

  protected:
    void DecodeBody(const unsigned char* bytes) override;
    void GetStringValue(unsigned index, wchar_t* out) override;
    void ComposeName() override;
    void ComposeTitle() override;

  private:
    std::uint8_t mChannels[8] = {};
    std::uint8_t mMessagingInterruptType = 0;
    std::uint8_t mEventBufferInterruptType = 0;
};

}  // namespace Pemric_Private

#endif
