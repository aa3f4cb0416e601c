// Type 10h, the generic device locator record: a device on a private bus or the IPMB that is
// neither a FRU device nor a controller.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_TYPE10_H
#define SRVFW_PEMRIC_RECORDS_SDR_TYPE10_H

#include "pemric/records/sdr_locator.h"

namespace Pemric_Private {

class CSdrType10 : public CSdrLocator {
  public:
    explicit CSdrType10(const CSdrTexts& texts);
};

}  // namespace Pemric_Private

#endif
