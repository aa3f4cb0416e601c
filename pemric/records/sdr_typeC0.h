// Type C0h, the OEM record: a manufacturer ID and data only that
// manufacturer defines. The library's own OEM records carry the SDR version
// and package version texts.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_TYPEC0_H
#define SRVFW_PEMRIC_RECORDS_SDR_TYPEC0_H

#include <cstdint>

#include "pemric/records/sdr_record.h"

namespace Pemric_Private {

class CSdrTypeC0 : public CSdrRecord {
  public:
    explicit CSdrTypeC0(const CSdrTexts& texts);

    // The OEM bytes, NUL-terminated; 0xC0060036 before a decode.
    unsigned GetOEMData(unsigned char*& data) override;

    static constexpr unsigned kLongestOemData = 56;

  protected:
    void DecodeBody(const unsigned char* bytes) override;
    void GetStringValue(unsigned index, wchar_t* out) override;
    void ComposeName() override;
    void ComposeTitle() override;

  private:
    std::uint32_t mManufacturerId = 0;
    unsigned mOemLength = 0;
    unsigned char mOemData[kLongestOemData + 1] = {};
};

}  // namespace Pemric_Private

#endif
