// How many bytes one firmware request may carry to a controller.
#include <algorithm>

#include "bmc/ipmi_numbers.h"
#include "bmc/message_state.h"
#include "duvane/duvane_engine.h"
#include "duvane/duvane_status.h"

namespace DirectFwUpdate_Private {

namespace {

// The answer counts in units of four bytes.
constexpr unsigned kSizeUnit = 4;
constexpr unsigned kFrontPanelDefault = 128;
// A write carries its offset before the bytes.
constexpr unsigned kLargestBlock = kBmcMessageDataSize - 2;

}  // namespace

int CDuvane::GetBufferSize(std::uint8_t device) {
    // The host's driver takes requests of a fixed, small size.
    if (g_Mbmcsupport == SYSTEM_INTERFACE_IMB) {
        mBlockSize = kDefaultBlockSize;
        return DUVANE_SUCCESS;
    }
    // A bridged request passes through the BMC, so it is no larger than
    // what the BMC takes.
    unsigned bmcSize = kDefaultBlockSize;
    if (device != DUVANE_DEVICE_BMC) {
        mBlockSize = kDefaultBlockSize;
        if (const int status = GetBufferSize(DUVANE_DEVICE_BMC)) return status;
        bmcSize = mBlockSize;
    }
    const Answer answer = Send(device, ipmi::kNetFnOem, ipmi::kGetBufferSize, {});
    if (!answer.ok() || answer.data.size() < 2) return DUVANE_CONTROLLER_FAILED;
    unsigned size = std::min(answer.data[0] * kSizeUnit, answer.data[1] * kSizeUnit);
    if (size == 0)
        size = device == DUVANE_DEVICE_FRONT_PANEL ? kFrontPanelDefault : kDefaultBlockSize;
    if (device != DUVANE_DEVICE_BMC) size = std::min(size, bmcSize);
    mBlockSize = std::min(size, kLargestBlock);
    return DUVANE_SUCCESS;
}

}  // namespace DirectFwUpdate_Private
