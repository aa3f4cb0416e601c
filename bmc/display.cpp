#include "bmc/display.h"

#include <array>
#include <cstdarg>

#include "bmc/wide_format.h"

namespace {

constexpr std::size_t kDisplayChars = 1024;

}  // namespace

int cbwprintf(DisplayCallback callback, const wchar_t* format, ...) {
    if (callback == nullptr || format == nullptr) return 0;
    std::array<wchar_t, kDisplayChars> text;
    va_list arguments;
    va_start(arguments, format);
    FormatWideText(text, format, arguments);
    va_end(arguments);
    callback(text.data());
    return 0;
}
