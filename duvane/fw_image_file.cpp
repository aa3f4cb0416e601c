#include "duvane/fw_image_file.h"

#include <stdio.h>
#include <sys/stat.h>

#include "bmc/wide_file.h"
#include "duvane/duvane_messages.h"
#include "duvane/duvane_status.h"
#include "duvane/fw_image_strings.h"

namespace DirectFwUpdate_Private {

namespace {

// The readers have always taken the name through a buffer of 256 bytes; a
// longer name is refused rather than cut, which would open another file.
constexpr std::size_t kLongestPathBytes = 255;

std::optional<OpenedImageFile> Open(const wchar_t* path) {
    if (path == nullptr) return std::nullopt;
    const std::optional<std::string> name = ToMultibyte(path);
    if (!name || name->size() > kLongestPathBytes) return std::nullopt;
    FilePointer file(std::fopen(name->c_str(), "rb"));
    if (file == nullptr) return std::nullopt;
    // The size of the file opened, not of whatever the name meant a moment
    // before.
    struct stat status {};
    if (::fstat(::fileno(file.get()), &status) != 0) return std::nullopt;
    return OpenedImageFile{std::move(file), static_cast<std::uint64_t>(status.st_size)};
}

}  // namespace

std::optional<OpenedImageFile> OpenImageFile(const wchar_t* path, const std::wstring& displayName) {
    std::optional<OpenedImageFile> opened = Open(path);
    if (!opened) SetErrorMessage(kStringImageCannotOpen, displayName.c_str());
    return opened;
}

int ImageReadFailed(const std::wstring& displayName) {
    SetErrorMessage(kStringImageReadFailed, displayName.c_str());
    return DUVANE_FILE_READ_FAILED;
}

int ImageOutOfMemory() {
    SetErrorMessage(kStringImageOutOfMemory);
    return DUVANE_OUT_OF_MEMORY;
}

}  // namespace DirectFwUpdate_Private
