// Whether an image is for this system: the BMC's product ID against the
// image's, or the identification in the controller's own BootInfo block
// against the image's; and the BMC's EFS platform name against the image's.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "duvane/duvane_engine.h"
#include "duvane/duvane_messages.h"
#include "duvane/duvane_status.h"

namespace DirectFwUpdate_Private {

namespace {

constexpr unsigned kReadPiece = 16;
constexpr std::size_t kIdentificationLength = 16;
constexpr std::size_t kDeviceNameLength = 5;
constexpr std::size_t kPlatformNameLength = 16;

// A NUL-terminated text inside a field of `length` bytes.
std::string_view FieldText(std::span<const std::uint8_t> block, std::size_t at,
                           std::size_t length) {
    const auto* text = reinterpret_cast<const char*>(block.data() + at);
    return {text, static_cast<std::size_t>(std::find(text, text + length, '\0') - text)};
}

}  // namespace

int CDuvane::ReadDeviceBlock(std::uint8_t device, FwAreaRange range, const char* signature,
                             std::size_t blockSize, std::vector<std::uint8_t>& block) {
    const std::string_view wanted(signature);
    std::vector<std::uint8_t> held;
    std::vector<std::uint8_t> piece;
    std::size_t searchFrom = 0;
    for (std::uint64_t address = range.start; address <= range.end;) {
        const auto count = static_cast<unsigned>(
            std::min<std::uint64_t>(kReadPiece, std::uint64_t{range.end} - address + 1));
        if (const int status = Read(device, static_cast<std::uint32_t>(address), count, piece)) {
            return status;
        }
        if (piece.empty()) return DUVANE_TRANSFER_FAILED;
        held.insert(held.end(), piece.begin(), piece.end());
        address += piece.size();
        const auto found =
            std::search(held.begin() + searchFrom, held.end(), wanted.begin(), wanted.end());
        if (found == held.end()) {
            searchFrom = held.size() >= wanted.size() ? held.size() - wanted.size() + 1 : 0;
            continue;
        }
        searchFrom = static_cast<std::size_t>(found - held.begin());
        if (held.size() - searchFrom >= blockSize) {
            block.assign(held.begin() + searchFrom, held.begin() + searchFrom + blockSize);
            return DUVANE_SUCCESS;
        }
    }
    std::wstring name(wanted.begin(), wanted.end());
    SetErrorMessage(72, unsigned{device}, name.c_str());
    return DUVANE_TRANSFER_FAILED;
}

int CDuvane::IsConfigurationFileForSystem(CfwFile& image, bool& forSystem) {
    forSystem = false;
    unsigned char device = 0;
    image.GetDeviceAddress(device);
    if (device == DUVANE_DEVICE_BMC) {
        forSystem = mProductId == image.PiaProductId();
        if (!forSystem) SetErrorMessage(9, image.DisplayName().c_str());
        return DUVANE_SUCCESS;
    }
    if (!image.HasArea(BMC_FW_AREA_BOOT)) return DUVANE_SUCCESS;
    // The controller shows its boot area only from its transfer mode.
    std::vector<std::uint8_t> block;
    if (EnterFwTransferMode(device, "VARNO") != DUVANE_SUCCESS ||
        ReadDeviceBlock(device, image.Range(BMC_FW_AREA_BOOT), "*BootInfo*", kBootInfoSize,
                        block) != DUVANE_SUCCESS) {
        LeaveTransferMode(device);
        return DUVANE_SUCCESS;
    }
    const auto ours = image.BootInfoBlock();
    bool same = FieldText(block, kBootInfoIdentification, kIdentificationLength) ==
                FieldText(ours, kBootInfoIdentification, kIdentificationLength);
    if (IsHsc(device)) {
        same = same && FieldText(block, kBootInfoDeviceName, kDeviceNameLength) ==
                           FieldText(ours, kBootInfoDeviceName, kDeviceNameLength);
        mVitesseMode = image.IsHscVitesse() ? kVitesseMode : kOtherHscMode;
    }
    forSystem = ExitFwTransferMode(device, 0) == DUVANE_SUCCESS && same;
    return DUVANE_SUCCESS;
}

int CDuvane::ReadEfsConfigurationFromSystem(CfwFile& image) {
    if (!image.HasArea(BMC_FW_AREA_EFS)) return DUVANE_SUCCESS;
    std::vector<std::uint8_t> block;
    if (const int status = ReadDeviceBlock(DUVANE_DEVICE_BMC, image.Range(BMC_FW_AREA_EFS),
                                           "*EFS_Image*", kEfsBlockSize, block)) {
        LeaveTransferMode(DUVANE_DEVICE_BMC);
        return status;
    }
    const auto ours = image.EfsBlock();
    const bool same = std::equal(block.begin() + kEfsPlatformName,
                                 block.begin() + kEfsPlatformName + kPlatformNameLength,
                                 ours.begin() + kEfsPlatformName);
    cbwprintf(p_display, same ? L"\nPlatform Names are matching....:)))\n"
                              : L"\nPlatform Names doesn't match....\n");
    return DUVANE_SUCCESS;
}

}  // namespace DirectFwUpdate_Private
