#include "pemric/sdr_factory.h"

#include <new>

#include "bmc/trace.h"
#include "pemric/pemric_status.h"
#include "pemric/records/sdr_type01.h"
#include "pemric/records/sdr_type02.h"
#include "pemric/records/sdr_type03.h"
#include "pemric/records/sdr_type08.h"
#include "pemric/records/sdr_type09.h"
#include "pemric/records/sdr_type10.h"
#include "pemric/records/sdr_type11.h"
#include "pemric/records/sdr_type12.h"
#include "pemric/records/sdr_type13.h"
#include "pemric/records/sdr_type14.h"
#include "pemric/records/sdr_typeC0.h"

namespace Pemric_Private {

namespace {

template <typename Record>
CSdr* Make(const CSdrTexts& texts) {
    return new (std::nothrow) Record(texts);
}

struct RecordClass {
    unsigned type;
    CSdr* (*make)(const CSdrTexts&);
};

// In the library's type order.
constexpr RecordClass kRecordClasses[kTypeOrderCount] = {
    {0x01, Make<CSdrType01>}, {0x02, Make<CSdrType02>}, {0x03, Make<CSdrType03>},
    {0x08, Make<CSdrType08>}, {0x09, Make<CSdrType09>}, {0x10, Make<CSdrType10>},
    {0x11, Make<CSdrType11>}, {0x12, Make<CSdrType12>}, {0x13, Make<CSdrType13>},
    {0x14, Make<CSdrType14>}, {0xC0, Make<CSdrTypeC0>},
};

}  // namespace

unsigned TypeOrderIndex(unsigned type) {
    for (unsigned i = 0; i < kTypeOrderCount; ++i) {
        if (kRecordClasses[i].type == type) return i;
    }
    return kTypeOrderCount;
}

unsigned CreateSDRTypeObject(unsigned type, CSdr*& record, const CSdrTexts& texts) {
    CTrace trace(L"CSdr", L"CreateSDRTypeObject");
    for (const RecordClass& recordClass : kRecordClasses) {
        if (recordClass.type != type) continue;
        CSdr* made = recordClass.make(texts);
        if (made == nullptr) {
            trace.Failure(L"Memory Allocation Failed");
            return PEMRIC_OUT_OF_MEMORY;
        }
        record = made;
        return PEMRIC_SUCCESS;
    }
    trace.Failure(L"SDR Type Not Supported");
    return PEMRIC_SDR_TYPE_NOT_SUPPORTED;
}

}  // namespace Pemric_Private
