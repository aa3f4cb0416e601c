// The commit of one image: which controller, which areas, and the
// sequence each kind of controller takes.
#include "bmc/message.h"
#include "duvane/duvane_engine.h"
#include "duvane/duvane_messages.h"
#include "duvane/duvane_state.h"
#include "duvane/duvane_status.h"
#include "hw/hw.h"

namespace DirectFwUpdate_Private {

namespace {

constexpr unsigned kUsbSettleSeconds = 10;
// What the BMC's USB device needs on the host before the session can use it.
constexpr std::array<const char*, 4> kUsbModules = {"modprobe usb_storage", "modprobe scsi_mod",
                                                    "modprobe sg", "modprobe sr_mod"};

// The order a range-path update writes and verifies, with each step's
// failure message.
struct AreaStep {
    UpdateType type;
    BmcFwArea area;
    unsigned updateMessage;
    unsigned verifyMessage;
};
constexpr std::array<AreaStep, 4> kAreaOrder = {{
    {UPDATE_BOOT, BMC_FW_AREA_BOOT, 20, 25},
    {UPDATE_OPCODE, BMC_FW_AREA_OPCODE, 18, 24},
    {UPDATE_PIA, BMC_FW_AREA_PIA, 19, 23},
    {UPDATE_EFS, BMC_FW_AREA_EFS, 21, 26},
}};
constexpr unsigned kRmmUpdateMessage = 22;
constexpr unsigned kRmmVerifyMessage = 27;

}  // namespace

int CDuvane::SelectionCheck(CfwFile& image, std::uint8_t& device) {
    if (image.FileType() == FW_FILE_ME_BINARY) {
        device = mDeviceAddress;
        return DUVANE_SUCCESS;
    }
    image.GetDeviceAddress(device);
    // A hot-swap controller's areas follow from its part, which the
    // compatibility check found.
    if (IsHsc(device)) {
        mUpdateSelected = {};
        mUpdateSelected[BMC_FW_AREA_PIA] = true;
        mUpdateSelected[mVitesseMode == kVitesseMode ? BMC_FW_AREA_OPCODE : BMC_FW_AREA_BOOT] =
            true;
    }
    for (int index = 0; index < BMC_FW_AREA_COUNT; ++index) {
        const auto area = static_cast<BmcFwArea>(index);
        if (!mUpdateSelected[area]) continue;
        const bool present =
            image.HasArea(area) && (area != BMC_FW_AREA_RMM || !mSystemVersions[4].empty());
        if (!present) {
            SetErrorMessage(34, strBmcFwArea[area]);
            return DUVANE_AREA_NOT_IN_IMAGE;
        }
    }
    return DUVANE_SUCCESS;
}

void CDuvane::UseUsbPath() {
    cbwprintf(p_display, L"%ls", DuvaneString(59));
    hw::SleepSeconds(kUsbSettleSeconds);
    for (const char* command : kUsbModules) hw::RunShell(command);
    if (SelectIPMIInterface(IPMI_INTERFACE_USB_BULK) == 0) return;
    cbwprintf(p_display, L"%ls", DuvaneString(58));
    mSavedBlockSize = mBlockSize;
    mBlockSize = kUsbBlockSize;
}

int CDuvane::UpdateRangeDevice(std::uint8_t device) {
    if (const int status = EnterFwTransferMode(device, "VARNO")) {
        LeaveTransferMode(device);
        return status;
    }
    if (device == DUVANE_DEVICE_BMC) UseUsbPath();
    const bool rmm = mUpdateSelected[BMC_FW_AREA_RMM] && g_fwdPlatform == kRmmPlatform;
    const auto selected = [&](const AreaStep& step) {
        return mUpdateSelected[step.area] || (step.type == UPDATE_EFS && rmm);
    };
    const auto fail = [&](int status, unsigned message) {
        LeaveTransferMode(device);
        SetErrorMessage(message);
        return status;
    };
    for (const AreaStep& step : kAreaOrder) {
        if (!selected(step)) continue;
        if (const int status = UpdateAreaEx(step.type, device)) {
            return fail(status,
                        step.type == UPDATE_EFS && rmm ? kRmmUpdateMessage : step.updateMessage);
        }
    }
    for (const AreaStep& step : kAreaOrder) {
        if (!selected(step)) continue;
        if (const int status = VerifyAreaEx(step.type, device)) {
            return fail(status,
                        step.type == UPDATE_EFS && rmm ? kRmmVerifyMessage : step.verifyMessage);
        }
        mUpdateSelected[step.area] = false;
        if (step.type == UPDATE_EFS) mUpdateSelected[BMC_FW_AREA_RMM] = false;
    }
    return ExitFwTransferMode(device, 0);
}

int CDuvane::UpdateFrontPanel(std::uint8_t device) {
    const auto fail = [&](int status, unsigned message) {
        LeaveTransferMode(device);
        if (message != 0) SetErrorMessage(message);
        return status;
    };
    // The boot area is written from the controller's boot loader, the rest
    // from its transfer mode proper.
    if (const int status = EnterFwTransferMode(device, "BOOT")) return fail(status, 0);
    if (const int status = UpdateArea(UPDATE_BOOT, device)) return fail(status, 20);
    if (const int status = ExitFwTransferMode(device, 0)) return status;
    if (const int status = EnterFwTransferMode(device, "VARNO")) return fail(status, 0);
    if (const int status = VerifyArea(UPDATE_BOOT, device)) return fail(status, 25);
    if (mImage->HasArea(BMC_FW_AREA_OPCODE)) {
        if (const int status = UpdateArea(UPDATE_OPCODE, device)) return fail(status, 18);
        if (const int status = VerifyArea(UPDATE_OPCODE, device)) return fail(status, 24);
    }
    return ExitFwTransferMode(device, 0);
}

int CDuvane::StageImage() {
    std::uint8_t engineStatus = 0;
    if (const int status = GetUpdateStatus(engineStatus)) return status;
    if (const int status = ResetME(1)) return status;
    if (const int status = GetUpdateStatus(engineStatus)) return status;
    // Writing over a staging area that was not erased would leave the old
    // image's bytes in it.
    if (const int status = EraseStagingArea()) return status;
    if (const int status = GetUpdateStatus(engineStatus)) return status;
    const bool wholeImage = mImage->FileType() == FW_FILE_ME_BINARY;
    const auto size = static_cast<std::uint32_t>(mImage->GetUpdateBuffer().size());
    constexpr std::array<std::pair<BmcFwArea, unsigned>, 2> kStagedAreas = {
        {{BMC_FW_AREA_OPCODE, 42}, {BMC_FW_AREA_PIA, 43}}};
    for (const auto& [area, label] : kStagedAreas) {
        if (!mUpdateSelected[area]) continue;
        const FwAreaRange range = wholeImage ? FwAreaRange{0, size - 1} : mImage->Range(area);
        if (size == 0 || range.start > range.end || range.end >= size) {
            SetErrorMessage(70, strBmcFwArea[area], range.start, range.end, unsigned{size});
            return DUVANE_IMAGE_FORMAT;
        }
        if (const int status = UpdateStagingArea(1, range.start, range.end, label)) return status;
    }
    return DUVANE_SUCCESS;
}

int CDuvane::UpdateStaging() {
    const int status = StageImage();
    // The reset put the engine into transfer mode; it leaves it on every
    // way out, a taken image then running as its firmware.
    if (mInTransferMode == DUVANE_DEVICE_ME) ResetMeToNormal();
    return status;
}

int CDuvane::UpdateSystem(CfwFile& image) {
    mImage = &image;
    mBlockSize = kDefaultBlockSize;
    std::uint8_t device = 0;
    if (const int status = SelectionCheck(image, device)) return status;
    // A controller that does not tell its block size gets the default.
    GetBufferSize(device);
    mStaging = device == DUVANE_DEVICE_ME;
    wchar_t* deviceName = nullptr;
    image.GetDeviceName(deviceName);
    ShowProgressMessage(
        DuvaneText(35, IsHsc(device) ? L"HSC" : (deviceName != nullptr ? deviceName : L""))
            .c_str());
    int status = DUVANE_SUCCESS;
    if (mStaging) {
        status = UpdateStaging();
    } else if (device == DUVANE_DEVICE_BMC || IsHsc(device)) {
        status = UpdateRangeDevice(device);
    } else if (device == DUVANE_DEVICE_FRONT_PANEL) {
        status = UpdateFrontPanel(device);
    } else {
        // Nothing is written to a controller this library has no sequence
        // for, and the host must not read that as an update.
        SetErrorMessage(71, unsigned{device});
        status = DUVANE_NOT_SUPPORTED;
    }
    cbwprintf(p_display, L"\n");
    return status;
}

}  // namespace DirectFwUpdate_Private
