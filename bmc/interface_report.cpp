#include "bmc/interface_report.h"

#include <array>
#include <cstdarg>

#include "bmc/wide_format.h"

namespace {

std::wstring gDiscoveryProblem;
std::wstring gExchangeFailure;

}  // namespace

void NoteDiscoveryProblem(std::wstring text) {
    gDiscoveryProblem = std::move(text);
}

void AddDiscoveryProblem(const std::wstring& text) {
    gDiscoveryProblem = gDiscoveryProblem.empty() ? text : gDiscoveryProblem + L"; " + text;
}

void NoteExchangeFailure(std::wstring text) {
    gExchangeFailure = std::move(text);
}

void ClearExchangeFailure() {
    gExchangeFailure.clear();
}

std::wstring SystemInterfaceProblem() {
    if (gDiscoveryProblem.empty()) return gExchangeFailure;
    if (gExchangeFailure.empty()) return gDiscoveryProblem;
    return gDiscoveryProblem + L"; " + gExchangeFailure;
}

std::wstring KcsPortsText(unsigned dataPort, unsigned statusPort) {
    return FormatReport(L"%04Xh/%04Xh", dataPort, statusPort);
}

std::wstring FormatReport(const wchar_t* format, ...) {
    // At most 510 characters, as the notes have always been cut.
    std::array<wchar_t, 511> text;
    va_list arguments;
    va_start(arguments, format);
    FormatWideText(text, format, arguments);
    va_end(arguments);
    return text.data();
}
