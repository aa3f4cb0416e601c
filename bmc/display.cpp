#include "bmc/display.h"

#include <array>
#include <cstdarg>
#include <cwchar>

namespace {

constexpr std::size_t kDisplayChars = 1024;

}  // namespace

int cbwprintf(DisplayCallback callback, const wchar_t* format, ...) {
    if (callback == nullptr || format == nullptr) return 0;
    // Zero-filled so that whatever vswprintf leaves behind when the text does
    // not fit (or cannot be formatted) is still a terminated string.
    std::array<wchar_t, kDisplayChars> text{};
    va_list arguments;
    va_start(arguments, format);
    std::vswprintf(text.data(), text.size(), format, arguments);
    va_end(arguments);
    text.back() = L'\0';
    callback(text.data());
    return 0;
}
