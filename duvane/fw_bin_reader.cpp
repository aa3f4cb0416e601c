#include <new>

#include "bmc/trace.h"
#include "duvane/duvane_status.h"
#include "duvane/fw_file.h"
#include "duvane/fw_image_file.h"

namespace DirectFwUpdate_Private {

int CfwFile::ReadBinFile(const wchar_t* path, const wchar_t* displayName) {
    CTrace trace(L"CfwFile", L"ReadBinFile");
    try {
        StartReading(path, displayName);
        std::optional<OpenedImageFile> opened = OpenImageFile(path, mDisplayName);
        if (!opened) {
            trace.Failure(L"Error Opening File");
            return DUVANE_FILE_OPEN_FAILED;
        }
        if (opened->size > mUpdateBuffer.max_size()) throw std::bad_alloc();
        const auto size = static_cast<std::size_t>(opened->size);
        mUpdateBuffer.assign(size, 0xFF);
        // A file cut short while it was read would leave the rest of the
        // image as erased flash; that is a failed read, not an image.
        if (size > 0 && std::fread(mUpdateBuffer.data(), 1, size, opened->file.get()) != size) {
            trace.Failure(L"Error Reading File");
            return ImageReadFailed(mDisplayName);
        }
        return DUVANE_SUCCESS;
    } catch (const std::bad_alloc&) {
        trace.Failure(L"Out Of Memory");
        return ImageOutOfMemory();
    }
}

}  // namespace DirectFwUpdate_Private
