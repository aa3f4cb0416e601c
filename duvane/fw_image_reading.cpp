#include <algorithm>
#include <new>

#include "bmc/trace.h"
#include "duvane/duvane_status.h"
#include "duvane/fw_file.h"
#include "duvane/fw_image_file.h"

namespace DirectFwUpdate_Private {

namespace {

// A hex file's buffer is at least the size of the controllers' flash, so
// that an image that leaves the top of the flash out still places its data
// at the flash's own addresses.
constexpr std::uint64_t kSmallestHexBuffer = 0x200000;

}  // namespace

void CfwFile::StartReading(const wchar_t* path, const wchar_t* displayName) {
    const wchar_t* shown = displayName != nullptr ? displayName : path;
    mDisplayName = shown != nullptr ? shown : L"";
    mRecords.clear();
    mUpdateBuffer.clear();
}

int CfwFile::ReadImage(const wchar_t* path, const wchar_t* displayName, bool hexRecords,
                       const CTrace& trace) {
    try {
        StartReading(path, displayName);
        std::optional<OpenedImageFile> opened = OpenImageFile(path, mDisplayName);
        if (!opened) {
            trace.Failure(L"Error Opening File");
            return DUVANE_FILE_OPEN_FAILED;
        }
        const std::uint64_t size =
            hexRecords ? std::max(opened->size, kSmallestHexBuffer) : opened->size;
        if (size > mUpdateBuffer.max_size()) throw std::bad_alloc();
        mUpdateBuffer.assign(static_cast<std::size_t>(size), 0xFF);
        const int status = hexRecords ? ParseHexLines(opened->file.get(), opened->size)
                                      : ReadBinaryContents(opened->file.get());
        if (status != DUVANE_SUCCESS) trace.Failure(L"Error Reading File");
        return status;
    } catch (const std::bad_alloc&) {
        trace.Failure(L"Out Of Memory");
        return ImageOutOfMemory();
    }
}

int CfwFile::ReadBinFile(const wchar_t* path, const wchar_t* displayName) {
    const CTrace trace(L"CfwFile", L"ReadBinFile");
    return ReadImage(path, displayName, false, trace);
}

int CfwFile::ReadHexFile(const wchar_t* path, const wchar_t* displayName) {
    const CTrace trace(L"CfwFile", L"ReadHexFile");
    return ReadImage(path, displayName, true, trace);
}

// A file cut short while it was read would leave the rest of the image as
// erased flash; that is a failed read, not an image.
int CfwFile::ReadBinaryContents(std::FILE* file) {
    const std::size_t size = mUpdateBuffer.size();
    if (size > 0 && std::fread(mUpdateBuffer.data(), 1, size, file) != size) {
        return ImageReadFailed(mDisplayName);
    }
    return DUVANE_SUCCESS;
}

}  // namespace DirectFwUpdate_Private
