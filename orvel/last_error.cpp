#include "orvel/last_error.h"

#include <array>
#include <cstdarg>

#include "bmc/wide_format.h"
#include "orvel/orvel_text.h"

namespace Orvel_Private {

namespace {

std::array<wchar_t, kLastErrorLength> ga_lastError1{};
std::array<wchar_t, kLastErrorLength> ga_lastError2{};
std::array<wchar_t, kLastErrorLength>* gp_lastError = &ga_lastError1;

}  // namespace

void SetLastErrorString(unsigned number, ...) {
    std::va_list arguments;
    va_start(arguments, number);
    FormatWideText(*gp_lastError, GetOrvelString(number), arguments);
    va_end(arguments);
}

const wchar_t* TakeLastError() {
    const wchar_t* text = gp_lastError->data();
    gp_lastError = gp_lastError == &ga_lastError1 ? &ga_lastError2 : &ga_lastError1;
    (*gp_lastError)[0] = L'\0';
    return text;
}

void ClearLastError() {
    ga_lastError1[0] = L'\0';
    ga_lastError2[0] = L'\0';
    gp_lastError = &ga_lastError1;
}

}  // namespace Orvel_Private
