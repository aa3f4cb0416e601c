// The data records of a hex image that fall in one area, at their absolute
// addresses, cut to the area's end: what the record path writes and reads
// back.
#ifndef SRVFW_DUVANE_AREA_RECORDS_H
#define SRVFW_DUVANE_AREA_RECORDS_H

#include <cstdint>
#include <span>
#include <vector>

#include "duvane/fw_file.h"

namespace DirectFwUpdate_Private {

struct AreaRecord {
    std::uint32_t address = 0;
    std::span<const std::uint8_t> bytes;
};

// Walks the records as the reader placed them (segment and linear base
// records move the base; the end-of-file record ends the walk).
std::vector<AreaRecord> RecordsInArea(const std::vector<VARNOHEXREC>& records, FwAreaRange range);

}  // namespace DirectFwUpdate_Private

#endif
