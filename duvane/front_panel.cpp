// The front panel's buttons locked or freed: by the BMC's own command where
// the BMC has one, else through the chassis capabilities; and the BMC's
// firmware restarted on request.
#include "bmc/ipmi_numbers.h"
#include "duvane/duvane_engine.h"
#include "duvane/duvane_messages.h"
#include "duvane/duvane_state.h"
#include "duvane/duvane_status.h"
#include "hw/hw.h"

namespace DirectFwUpdate_Private {

namespace {

constexpr std::uint8_t kVendorLock = 0xF0;
constexpr std::uint8_t kChassisLockFlag = 0x02;
// Get Chassis Capabilities: the flags, then the FRU, SDR, SEL, system
// management and (optional) bridge device addresses.
constexpr std::size_t kFirstAddress = 1;
constexpr std::size_t kAddressCount = 5;
constexpr unsigned kRefreshWaitSeconds = 40;

}  // namespace

int CDuvane::FrontPanelLockByChassis(bool lock) {
    const Answer capabilities =
        Send(DUVANE_DEVICE_BMC, ipmi::kNetFnChassis, ipmi::kGetChassisCapabilities, {});
    if (!capabilities.ok() || capabilities.data.size() <= kFirstAddress) return DUVANE_LOCK_FAILED;
    // The addresses go back as the BMC gave them; only the lock flag changes.
    const auto addresses = capabilities.data.subspan(
        kFirstAddress, std::min(kAddressCount, capabilities.data.size() - kFirstAddress));
    std::vector<std::uint8_t> request{lock ? kChassisLockFlag : std::uint8_t{0}};
    request.insert(request.end(), addresses.begin(), addresses.end());
    if (!Send(DUVANE_DEVICE_BMC, ipmi::kNetFnChassis, ipmi::kSetChassisCapabilities, request)
             .ok()) {
        return DUVANE_LOCK_FAILED;
    }
    return DUVANE_SUCCESS;
}

int CDuvane::LockFrontPanel(bool lock) {
    int status = DUVANE_SUCCESS;
    if (g_fwBmcType == BMC_TYPE_STANDARD) {
        const std::array<std::uint8_t, 1> data{lock ? kVendorLock : std::uint8_t{0}};
        if (!Send(DUVANE_DEVICE_BMC, ipmi::kNetFnOem, ipmi::kFrontPanelLock, data).ok()) {
            status = DUVANE_LOCK_FAILED;
        }
    } else {
        status = FrontPanelLockByChassis(lock);
    }
    if (status != DUVANE_SUCCESS) SetErrorMessage(lock ? 31 : 32);
    return status;
}

int CDuvane::BmcRefresh() {
    if (EnterFwTransferMode(DUVANE_DEVICE_BMC, "VARNO") != DUVANE_SUCCESS) {
        LeaveTransferMode(DUVANE_DEVICE_BMC);
        return DUVANE_CONTROLLER_FAILED;
    }
    if (ExitFwTransferMode(DUVANE_DEVICE_BMC, 0) != DUVANE_SUCCESS) return DUVANE_CONTROLLER_FAILED;
    WaitForRestart(kRefreshWaitSeconds);
    return DUVANE_SUCCESS;
}

}  // namespace DirectFwUpdate_Private
