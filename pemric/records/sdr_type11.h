// Type 11h, the FRU device locator record: where the FRU inventory data of a device is found.
#ifndef SRVFW_PEMRIC_RECORDS_SDR_TYPE11_H
#define SRVFW_PEMRIC_RECORDS_SDR_TYPE11_H

#include "pemric/records/sdr_locator.h"

namespace Pemric_Private {

class CSdrType11 : public CSdrLocator {
  public:
    explicit CSdrType11(const CSdrTexts& texts);
};

}  // namespace Pemric_Private

#endif
