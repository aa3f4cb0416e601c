// Making the record object for a record type.
#ifndef SRVFW_PEMRIC_SDR_FACTORY_H
#define SRVFW_PEMRIC_SDR_FACTORY_H

#include "pemric/sdr.h"
#include "pemric/sdr_texts.h"

namespace Pemric_Private {

// A new, undecoded record of the class for type (01h .. 14h, C0h), which
// reads its texts through texts; the caller owns it. An unknown type gives
// 0xC0060015, a failed allocation 0xC0060023; record stays untouched then.
unsigned CreateSDRTypeObject(unsigned type, CSdr*& record, const CSdrTexts& texts);

}  // namespace Pemric_Private

#endif
