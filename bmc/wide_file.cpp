#include "bmc/wide_file.h"

#include <cstdlib>

// A wide character may take several bytes in the locale's encoding (up to
// four in UTF-8), so the buffer is sized by a measuring pass rather than by
// the wide length.
std::optional<std::string> ToMultibyte(const wchar_t* text) {
    const std::size_t length = std::wcstombs(nullptr, text, 0);
    if (length == static_cast<std::size_t>(-1)) return std::nullopt;
    std::string converted(length, '\0');
    if (std::wcstombs(converted.data(), text, length + 1) != length) return std::nullopt;
    return converted;
}

std::optional<std::wstring> ToWide(const char* text) {
    const std::size_t length = std::mbstowcs(nullptr, text, 0);
    if (length == static_cast<std::size_t>(-1)) return std::nullopt;
    std::wstring converted(length, L'\0');
    if (std::mbstowcs(converted.data(), text, length + 1) != length) return std::nullopt;
    return converted;
}

std::FILE* wfopen(const wchar_t* path, const wchar_t* mode) {
    if (path == nullptr || mode == nullptr) return nullptr;
    const std::optional<std::string> narrowPath = ToMultibyte(path);
    const std::optional<std::string> narrowMode = ToMultibyte(mode);
    if (!narrowPath || !narrowMode) return nullptr;
    return std::fopen(narrowPath->c_str(), narrowMode->c_str());
}
