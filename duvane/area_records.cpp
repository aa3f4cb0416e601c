#include "duvane/area_records.h"

#include <algorithm>

namespace DirectFwUpdate_Private {

std::vector<AreaRecord> RecordsInArea(const std::vector<VARNOHEXREC>& records, FwAreaRange range) {
    std::vector<AreaRecord> inArea;
    std::uint32_t base = 0;
    for (const VARNOHEXREC& record : records) {
        const std::size_t count = std::min<std::size_t>(record.byteCount, record.data.size());
        switch (record.recordType) {
            case kHexEndOfFileRecord:
                return inArea;
            case kHexSegmentAddressRecord:
            case kHexLinearAddressRecord: {
                if (count < 2) break;
                const std::uint32_t value = (record.data[0] << 8) | record.data[1];
                base = record.recordType == kHexSegmentAddressRecord ? value << 4 : value << 16;
                break;
            }
            case kHexDataRecord: {
                const std::uint64_t address = std::uint64_t{base} + record.loadOffset;
                if (count == 0 || address < range.start || address > range.end) break;
                const std::uint64_t last = std::min<std::uint64_t>(address + count - 1, range.end);
                inArea.push_back({static_cast<std::uint32_t>(address),
                                  std::span(record.data).first(last - address + 1)});
                break;
            }
            default:
                break;
        }
    }
    return inArea;
}

}  // namespace DirectFwUpdate_Private
