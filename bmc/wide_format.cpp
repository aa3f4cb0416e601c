#include "bmc/wide_format.h"

#include <algorithm>
#include <cwchar>

void FormatWideText(std::span<wchar_t> buffer, const wchar_t* format, std::va_list arguments) {
    if (buffer.empty()) return;
    // Cleared first: what vswprintf leaves of a text that does not fit, or
    // that it cannot format, is kept and still ends within the buffer.
    std::ranges::fill(buffer, L'\0');
    if (format == nullptr) return;
    std::vswprintf(buffer.data(), buffer.size(), format, arguments);
    buffer.back() = L'\0';
}
