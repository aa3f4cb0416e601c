// Type 12h, the management controller device locator record: a controller on the IPMB and what it
// supports.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_TYPE12_H
#define SRVFW_PEMRIC_RECORDS_SDR_TYPE12_H

#include "pemric/records/sdr_locator.h"

namespace Pemric_Private {

class CSdrType12 : public CSdrLocator {
  public:
    explicit CSdrType12(const CSdrTexts& texts);
};

}  // namespace Pemric_Private

#endif
