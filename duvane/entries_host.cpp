// The entries after the 27 of the table, for a host that shows what an
// update will write and how it ended: an area's range in the current image,
// and whether the selected controller is in firmware transfer mode now.
#include "duvane/duvane_public.h"
#include "duvane/duvane_state.h"
#include "duvane/duvane_status.h"

using namespace DirectFwUpdate_Private;

namespace {

// The update's area of a version area: the image keeps its ranges by the
// former.
BmcFwArea UpdateAreaOf(EFWUPDATE_DEVICE_AREA area) {
    switch (area) {
        case EFWUPDATE_DEVICE_AREA_OPCODE:
            return BMC_FW_AREA_OPCODE;
        case EFWUPDATE_DEVICE_AREA_PIA:
            return BMC_FW_AREA_PIA;
        case EFWUPDATE_DEVICE_AREA_BOOT:
            return BMC_FW_AREA_BOOT;
        case EFWUPDATE_DEVICE_AREA_EFS:
            return BMC_FW_AREA_EFS;
        case EFWUPDATE_DEVICE_AREA_RMM:
            return BMC_FW_AREA_RMM;
    }
    return BMC_FW_AREA_COUNT;
}

}  // namespace

int DirectFwUpdate_Public::GetAreaRangeFromFile(Table, EFWUPDATE_DEVICE_AREA area, unsigned& start,
                                                unsigned& end) {
    CTrace trace = EntryTrace(L"GetAreaRangeFromFile");
    CfwFile* image = nullptr;
    if (const int status = CheckImage(trace, image)) return status;
    const BmcFwArea updateArea = UpdateAreaOf(area);
    if (!image->HasArea(updateArea)) return DUVANE_NOT_SELECTED;
    const FwAreaRange range = image->Range(updateArea);
    start = range.start;
    end = range.end;
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::IsDeviceInFwTransferMode(Table, bool& inTransferMode) {
    CTrace trace = EntryTrace(L"IsDeviceInFwTransferMode");
    if (const int status = CheckInitialized(trace)) return status;
    if (!g_fw.deviceAddressSelected) return DUVANE_NOT_SELECTED;
    return g_fw.engine->GetMode(g_fw.engine->DeviceAddress(), inTransferMode);
}
