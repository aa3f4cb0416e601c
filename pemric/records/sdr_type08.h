// Type 08h, the entity association record: a container entity and the
// entities (or ranges of them) it holds.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_TYPE08_H
#define SRVFW_PEMRIC_RECORDS_SDR_TYPE08_H

#include <cstdint>

#include "pemric/records/sdr_record.h"

namespace Pemric_Private {

class CSdrType08 : public CSdrRecord {
  public:
    explicit CSdrType08(const CSdrTexts& texts);

  protected:
    void DecodeBody(const unsigned char* bytes) override;
    void GetStringValue(unsigned index, wchar_t* out) override;
    void ComposeName() override;
    void ComposeTitle() override;

  private:
    // Container ID, container instance, flags, then four contained entity
    // ID/instance pairs: one byte each, in record order.
    std::uint8_t mBody[11] = {};
};

}  // namespace Pemric_Private

#endif
