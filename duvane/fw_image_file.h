// What the two readers share: opening the file the host names (a wide path,
// in the locale's encoding) with the size that sizes the update buffer, and
// the failures that both report the same way.
#ifndef SRVFW_DUVANE_FW_IMAGE_FILE_H
#define SRVFW_DUVANE_FW_IMAGE_FILE_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace DirectFwUpdate_Private {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

struct OpenedImageFile {
    FilePointer file;
    std::uint64_t size = 0;
};

// None, with the last-error message naming the file, when the path is null,
// cannot be encoded in 255 bytes, or names no file that can be opened.
std::optional<OpenedImageFile> OpenImageFile(const wchar_t* path, const std::wstring& displayName);

// Each sets the last-error message and returns the status to hand back.
int ImageReadFailed(const std::wstring& displayName);
int ImageOutOfMemory();

}  // namespace DirectFwUpdate_Private

#endif
