#include "bmc/interface_report.h"

#include <array>
#include <cstdarg>
#include <cwchar>

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
    // Zero-filled: what vswprintf leaves of a text that does not fit is
    // kept, and stays terminated.
    std::array<wchar_t, 512> text{};
    va_list arguments;
    va_start(arguments, format);
    std::vswprintf(text.data(), text.size() - 1, format, arguments);
    va_end(arguments);
    return text.data();
}
