#include "orvel/orvel_text.h"

#include <array>

#include "bmc/wide_format.h"

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

std::wstring FormatOrvelString(unsigned number, ...) {
    std::array<wchar_t, kFormattedTextLength> text;
    std::va_list arguments;
    va_start(arguments, number);
    FormatWideText(text, GetOrvelString(number), arguments);
    va_end(arguments);
    return text.data();
}

}  // namespace Orvel_Private
