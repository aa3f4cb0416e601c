#include "duvane/duvane_messages.h"

#include <cstdarg>

#include "bmc/wide_format.h"

namespace DirectFwUpdate_Private {

std::array<wchar_t, kErrorMessageLength> g_pszErrorMessage{};
std::unique_ptr<CStringResource> gp_StringResource;
DisplayCallback p_display = nullptr;

const wchar_t* DuvaneString(unsigned index) {
    const wchar_t* text =
        gp_StringResource != nullptr ? gp_StringResource->GetString(index) : nullptr;
    return text != nullptr ? text : L"";
}

void SetErrorMessage(unsigned index, ...) {
    std::va_list arguments;
    va_start(arguments, index);
    FormatWideText(g_pszErrorMessage, DuvaneString(index), arguments);
    va_end(arguments);
}

std::wstring DuvaneText(unsigned index, ...) {
    std::array<wchar_t, kErrorMessageLength> text{};
    std::va_list arguments;
    va_start(arguments, index);
    FormatWideText(text, DuvaneString(index), arguments);
    va_end(arguments);
    return text.data();
}

}  // namespace DirectFwUpdate_Private
