// The running versions of the selected controller, from its Get Device ID
// answer, and the BMC's RMM version from its advanced features.
#include "bmc/ipmi_numbers.h"
#include "duvane/duvane_engine.h"
#include "duvane/duvane_messages.h"
#include "duvane/duvane_state.h"
#include "duvane/duvane_status.h"

namespace DirectFwUpdate_Private {

namespace {

enum SystemVersionIndex : std::size_t { kOpCode, kPia, kBoot, kEfs, kRmm };

// Get Device ID: firmware revision, product ID and the auxiliary revision,
// which the BMC and the front-panel controller fill with their boot and
// PIA versions.
constexpr std::size_t kFirmwareMajor = 2;
constexpr std::size_t kProductId = 9;
constexpr std::size_t kAuxBoot = 11;
constexpr std::size_t kAuxPia = 13;
// Bit 7 of the major revision is the transfer-mode flag, not the version.
constexpr std::uint8_t kMajorMask = 0x7F;

std::wstring VersionText(unsigned major, unsigned minor) {
    std::array<wchar_t, 16> text{};
    std::swprintf(text.data(), text.size(), L"%X.%02X", major, minor);
    return text.data();
}

std::wstring VersionAt(std::span<const std::uint8_t> data, std::size_t at, std::uint8_t majorMask) {
    if (data.size() < at + 2) return {};
    return VersionText(data[at] & majorMask, data[at + 1]);
}

}  // namespace

const std::wstring& CDuvane::SystemVersion() const {
    switch (mDeviceArea) {
        case EFWUPDATE_DEVICE_AREA_PIA:
            return mSystemVersions[kPia];
        case EFWUPDATE_DEVICE_AREA_BOOT:
            return mSystemVersions[kBoot];
        case EFWUPDATE_DEVICE_AREA_EFS:
            return mSystemVersions[kEfs];
        case EFWUPDATE_DEVICE_AREA_RMM:
            return mSystemVersions[kRmm];
        case EFWUPDATE_DEVICE_AREA_OPCODE:
            break;
    }
    return mSystemVersions[kOpCode];
}

int CDuvane::LoadSystemVersions() {
    mSystemVersions = {};
    const std::uint8_t device = mDeviceAddress;
    const Answer answer = Send(device, ipmi::kNetFnApp, ipmi::kGetDeviceId, {});
    if (!answer.ok() || answer.data.size() < kProductId + 2) {
        if (device == DUVANE_DEVICE_BMC) {
            SetErrorMessage(14);
        } else if (IsHsc(device)) {
            SetErrorMessage(15, unsigned{device});
        } else if (device == DUVANE_DEVICE_FRONT_PANEL) {
            SetErrorMessage(16);
        } else {
            SetErrorMessage(17, unsigned{device});
        }
        return DUVANE_CONTROLLER_FAILED;
    }
    const auto data = answer.data;
    mProductId = static_cast<std::uint16_t>(data[kProductId] | (data[kProductId + 1] << 8));
    mSystemVersions[kOpCode] = VersionAt(data, kFirmwareMajor, kMajorMask);
    mSystemVersions[kEfs] = mSystemVersions[kOpCode];
    if (IsHsc(device)) {
        mSystemVersions[kBoot] = mSystemVersions[kOpCode];
    } else if (device != DUVANE_DEVICE_ME) {
        mSystemVersions[kBoot] = VersionAt(data, kAuxBoot, 0xFF);
        mSystemVersions[kPia] = VersionAt(data, kAuxPia, 0xFF);
    }
    // A BMC without an RMM simply has no RMM version.
    if (device == DUVANE_DEVICE_BMC && g_fwdPlatform == kRmmPlatform) GetRmmVersion();
    return DUVANE_SUCCESS;
}

int CDuvane::GetAdvancedFeatureSupportCommand(std::span<const std::uint8_t, 4> arguments,
                                              std::vector<std::uint8_t>& response) {
    response.clear();
    if (mDeviceAddress != DUVANE_DEVICE_BMC) return DUVANE_NOT_SUPPORTED;
    const Answer answer =
        Send(DUVANE_DEVICE_BMC, ipmi::kNetFnOem, ipmi::kGetAdvancedFeatureSupport, arguments);
    if (answer.transport != 0) return DUVANE_NOT_SUPPORTED;
    if (answer.completionCode != 0) return DUVANE_FEATURE_REFUSED;
    response.assign(answer.data.begin(), answer.data.end());
    return DUVANE_SUCCESS;
}

int CDuvane::GetRmmVersion() {
    constexpr std::array<std::uint8_t, 4> kFeatures = {0, 1, 0, 0};
    constexpr std::array<std::uint8_t, 4> kRmmRevision = {0, 3, 0, 0};
    constexpr std::uint8_t kRmmPresent = 0x01;
    std::vector<std::uint8_t> response;
    if (const int status = GetAdvancedFeatureSupportCommand(kFeatures, response)) return status;
    if (response.size() < 2) return DUVANE_RMM_VERSION_UNAVAILABLE;
    if ((response[1] & kRmmPresent) == 0) return DUVANE_NO_RMM;
    if (const int status = GetAdvancedFeatureSupportCommand(kRmmRevision, response)) return status;
    // Major in byte 1, minor in byte 2: an answer without byte 2 has no version.
    if (response.size() < 3) return DUVANE_RMM_VERSION_UNAVAILABLE;
    mSystemVersions[kRmm] = VersionText(response[1], response[2]);
    return DUVANE_SUCCESS;
}

}  // namespace DirectFwUpdate_Private
