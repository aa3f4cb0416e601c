// The records of one data set, one list per record type in the library's
// type order. The lists own their records.
#ifndef SRVFW_PEMRIC_SDR_RECORD_LISTS_H
#define SRVFW_PEMRIC_SDR_RECORD_LISTS_H

#include <array>

#include "bmc/ordered_list.h"
#include "pemric/sdr.h"

namespace Pemric_Private {

struct SdrRecordLists {
    SdrRecordLists() = default;
    ~SdrRecordLists() {
        for (OrderedList<CSdr*>& list : byType) {
            while (CSdr* record = list.RemoveLast()) delete record;
        }
    }
    SdrRecordLists(const SdrRecordLists&) = delete;
    SdrRecordLists& operator=(const SdrRecordLists&) = delete;

    std::array<OrderedList<CSdr*>, kTypeOrderCount> byType;
};

}  // namespace Pemric_Private

#endif
