// What the three device locator record types share (10h generic device,
// 11h FRU device, 12h management controller): eleven body bytes of address,
// device and entity, then an ID string. Their names and titles are made of
// the device's text and the ID string.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_LOCATOR_H
#define SRVFW_PEMRIC_RECORDS_SDR_LOCATOR_H

#include <cstdint>

#include "pemric/records/sdr_record.h"

namespace Pemric_Private {

class CSdrLocator : public CSdrRecord {
  protected:
    // A locator of a device (10h, 11h) has its device type and modifier in
    // fields 9 and 10; a controller locator (12h) has reserved bytes there
    // and is named by its entity.
    CSdrLocator(const CSdrTexts& texts, const RecordShape& shape, unsigned titleWordsId,
                bool locatesDevice)
        : CSdrRecord(texts, shape), mTitleWordsId(titleWordsId), mLocatesDevice(locatesDevice) {}

    void DecodeBody(const unsigned char* bytes) override;
    void GetStringValue(unsigned index, wchar_t* out) override;
    void ComposeName() override;
    void ComposeTitle() override;

  private:
    std::uint8_t Field(unsigned index) const { return mBody[index - 4]; }

    // Fields 4..14, one byte each, in record order.
    std::uint8_t mBody[11] = {};
    SdrIdString mIdString;
    unsigned mTitleWordsId;
    bool mLocatesDevice;
};

}  // namespace Pemric_Private

#endif
