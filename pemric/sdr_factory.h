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

// The index of type in the library's type order (0 for 01h .. 10 for C0h);
// kTypeOrderCount for a type the library does not know.
unsigned TypeOrderIndex(unsigned type);

}  // namespace Pemric_Private

#endif
