// Type 13h, the management controller confirmation record: the identity of
// a controller found on the IPMB, as its Get Device ID and GUID answered.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_TYPE13_H
#define SRVFW_PEMRIC_RECORDS_SDR_TYPE13_H

#include <array>
#include <cstdint>

#include "pemric/records/sdr_record.h"

namespace Pemric_Private {

class CSdrType13 : public CSdrRecord {
  public:
    explicit CSdrType13(const CSdrTexts& texts);

  protected:
    void DecodeBody(const unsigned char* bytes) override;
    void GetStringValue(unsigned index, wchar_t* out) override;
    void ComposeName() override;
    void ComposeTitle() override;

  private:
    // Slave address, device ID, channel/revision, the two firmware revision
    // bytes and the IPMI version: fields 4..9.
    std::uint8_t mDevice[6] = {};
    std::uint32_t mManufacturerId = 0;
    std::uint16_t mProductId = 0;
    std::array<std::uint8_t, 16> mGuid{};
};

}  // namespace Pemric_Private

#endif
