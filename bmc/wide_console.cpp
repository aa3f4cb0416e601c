#include "bmc/wide_console.h"

#include <climits>
#include <cstdio>
#include <cwchar>
#include <string>

void WriteToStandardOutput(std::wstring_view text) {
    if (std::fwide(stdout, 0) > 0) {
        for (const wchar_t wide : text) std::fputwc(wide, stdout);
        return;
    }
    std::string narrow;
    std::mbstate_t state{};
    char character[MB_LEN_MAX];
    for (const wchar_t wide : text) {
        const std::size_t length = std::wcrtomb(character, wide, &state);
        if (length == static_cast<std::size_t>(-1)) {
            narrow += '?';
            state = std::mbstate_t{};
        } else {
            narrow.append(character, length);
        }
    }
    std::fwrite(narrow.data(), 1, narrow.size(), stdout);
}
