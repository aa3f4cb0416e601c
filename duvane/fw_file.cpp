#include "duvane/fw_file.h"

#include <cwchar>

#include "bmc/trace.h"
#include "duvane/duvane_status.h"
#include "duvane/fw_block_fields.h"

namespace DirectFwUpdate_Private {

namespace {

constexpr std::size_t kBootVersion = 60;
constexpr std::size_t kOpCodeVersion = 40;
constexpr std::size_t kEfsVersion = 80;

template <std::size_t N>
void FormatVersion(std::array<wchar_t, N>& out, unsigned major, unsigned minor) {
    std::swprintf(out.data(), out.size(), L"%X.%02X", major, minor);
}

template <std::size_t N>
void FormatVersionAt(std::array<wchar_t, N>& out, std::span<const std::uint8_t> block,
                     std::size_t offset) {
    FormatVersion(out, U16At(block, offset), U16At(block, offset + 2));
}

bool IsArea(BmcFwArea area) {
    return area >= 0 && area < BMC_FW_AREA_COUNT;
}

}  // namespace

CfwFile::CfwFile(FwFileType fileType, int platform) : mFileType(fileType), mPlatform(platform) {}

int CfwFile::ProcessFile(const wchar_t* path, const wchar_t* displayName) {
    CTrace trace(L"CfwFile", L"ProcessFile");
    int status =
        mFileType == FW_FILE_HEX ? ReadHexFile(path, displayName) : ReadBinFile(path, displayName);
    if (status != DUVANE_SUCCESS) return status;
    status = FillDeviceStructures();
    if (status != DUVANE_SUCCESS) return status;
    BuildTexts();
    return CalculateNoOfLines();
}

void CfwFile::BuildTexts() {
    FormatVersionAt(mBootVersion, mBootInfo, kBootVersion);
    FormatVersionAt(mOpCodeVersion, mOpCodeInfo, kOpCodeVersion);
    FormatVersion(mPiaVersionText, mPiaVersion[0], mPiaVersion[1]);
    FormatVersionAt(mEfsVersion, mEfs, kEfsVersion);
    if (mFileType == FW_FILE_ME_BINARY) {
        WidenField(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("ME"), 2),
                   mDeviceName);
    } else {
        WidenField(std::span<const std::uint8_t>(mBootInfo).subspan(kBootInfoDeviceName,
                                                                    kBootInfoDeviceNameLength),
                   mDeviceName);
    }
}

void CfwFile::GetVersion(wchar_t*& out) {
    out = nullptr;
    switch (mDeviceArea) {
        case EFWUPDATE_DEVICE_AREA_OPCODE:
            if (mFound[BMC_FW_AREA_OPCODE]) out = mOpCodeVersion.data();
            break;
        case EFWUPDATE_DEVICE_AREA_PIA:
            if (mFound[BMC_FW_AREA_PIA]) out = mPiaVersionText.data();
            break;
        case EFWUPDATE_DEVICE_AREA_BOOT:
            if (mFound[BMC_FW_AREA_BOOT]) out = mBootVersion.data();
            break;
        case EFWUPDATE_DEVICE_AREA_EFS:
            if (mFound[BMC_FW_AREA_EFS]) out = mEfsVersion.data();
            break;
        default:
            // The RMM version is the running system's only.
            break;
    }
}

void CfwFile::GetDeviceName(wchar_t*& out) {
    out = mDeviceName.data();
}

void CfwFile::GetBIOSPlatformId(wchar_t*& out) {
    out = mPlatformId.data();
}

FwAreaRange CfwFile::Range(BmcFwArea area) const {
    return IsArea(area) ? mRanges[area] : FwAreaRange{};
}

unsigned CfwFile::RecordCount(BmcFwArea area) const {
    return IsArea(area) ? mRecordCounts[area] : 0;
}

}  // namespace DirectFwUpdate_Private
