#include "orvel/orvel_text.h"

#include <array>
#include <cwchar>

namespace Orvel_Private {

std::unique_ptr<CStringResource> g_pStringResource;

namespace {
// Longer than any message the library shows, and than the host's 512-character
// last-error buffer.
constexpr std::size_t kFormattedTextLength = 1024;
}  // namespace

const wchar_t* GetOrvelString(unsigned number) {
    return g_pStringResource ? g_pStringResource->GetString(number) : nullptr;
}

void FormatInto(std::span<wchar_t> buffer, const wchar_t* format, std::va_list arguments) {
    if (buffer.empty()) return;
    buffer[0] = L'\0';
    if (format == nullptr) return;
    // A text that does not fit makes vswprintf fail; what it wrote is kept,
    // ended at the buffer's last character.
    if (std::vswprintf(buffer.data(), buffer.size(), format, arguments) < 0) {
        buffer.back() = L'\0';
    }
}

std::wstring FormatOrvelString(unsigned number, ...) {
    std::array<wchar_t, kFormattedTextLength> text;
    std::va_list arguments;
    va_start(arguments, number);
    FormatInto(text, GetOrvelString(number), arguments);
    va_end(arguments);
    return text.data();
}

}  // namespace Orvel_Private
