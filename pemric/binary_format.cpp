#include <cwchar>

#include "bmc/trace.h"
#include "pemric/pemric_status.h"
#include "pemric/sdr.h"

namespace Pemric_Private {

// The conversion factors of a full sensor are bit fields of odd widths
// (10-bit M, B and accuracy, 4-bit exponents); they are shown as the bits
// the record holds, grouped like a data sheet writes them.
unsigned CSdr::BinaryFormat(std::span<wchar_t> out, unsigned value, unsigned bits) {
    CTrace trace(L"CSdr", L"BinaryFormat");
    if (out.empty()) return PEMRIC_SUCCESS;
    std::size_t next = 0;
    auto put = [&](wchar_t c) {
        if (next + 1 < out.size()) out[next++] = c;
    };
    for (unsigned bit = bits; bit > 0; --bit) {
        const unsigned position = bit - 1;
        put(position < 32 && (value >> position & 1) != 0 ? L'1' : L'0');
        if (position % 4 == 0 && position != 0) put(L' ');
    }
    put(L'b');
    out[next] = L'\0';
    const bool fits = bits >= 32 || (value >> bits) == 0;
    return fits ? PEMRIC_SUCCESS : PEMRIC_VALUE_TOO_WIDE;
}

}  // namespace Pemric_Private
