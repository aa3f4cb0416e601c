#include <array>

#include "bmc/trace.h"
#include "duvane/duvane_status.h"
#include "duvane/fw_file.h"
#include "duvane/fw_hex_address.h"

namespace DirectFwUpdate_Private {

namespace {

// The order in which a data record's address is matched with the areas.
constexpr std::array kCountedAreas{BMC_FW_AREA_BOOT, BMC_FW_AREA_PIA, BMC_FW_AREA_OPCODE,
                                   BMC_FW_AREA_EFS};

}  // namespace

// Only the areas whose block was found count records: the range of an area
// the image lacks is 0..0 and would otherwise take the record at address 0
// from the area that holds it, leaving that area's progress short of its end.
int CfwFile::CalculateNoOfLines() {
    CTrace trace(L"CfwFile", L"CalculateNoOfLines");
    mRecordCounts = {};
    if (mFileType != FW_FILE_HEX) return DUVANE_SUCCESS;
    std::uint32_t base = 0;
    for (const VARNOHEXREC& record : mRecords) {
        if (record.recordType == kHexEndOfFileRecord) {
            mRecordCounts[BMC_FW_AREA_RMM] = mRecordCounts[BMC_FW_AREA_EFS];
            return DUVANE_SUCCESS;
        }
        if (record.recordType != kHexDataRecord) {
            SetsBaseAddress(record, base);
            continue;
        }
        const std::uint64_t address = DataAddress(record, base);
        for (const BmcFwArea area : kCountedAreas) {
            if (mFound[area] && mRanges[area].start <= address && address <= mRanges[area].end) {
                ++mRecordCounts[area];
                break;
            }
        }
    }
    trace.Failure(L"No End Of File Record");
    return DUVANE_IMAGE_FORMAT;
}

}  // namespace DirectFwUpdate_Private
