// Hex digits as the image reader takes them from a hex record line. A
// table rather than isxdigit: the reader decodes every character of images
// of many megabytes, and the locale must not widen what counts as a digit.
#ifndef SRVFW_DUVANE_FW_HEX_DIGITS_H
#define SRVFW_DUVANE_FW_HEX_DIGITS_H

#include <array>
#include <cstdint>

namespace DirectFwUpdate_Private {

inline constexpr std::int8_t kNotHexDigit = -1;

inline constexpr std::array<std::int8_t, 256> kHexDigitValues = [] {
    std::array<std::int8_t, 256> values{};
    values.fill(kNotHexDigit);
    for (int digit = 0; digit < 10; ++digit) values['0' + digit] = static_cast<std::int8_t>(digit);
    for (int digit = 0; digit < 6; ++digit) {
        values['A' + digit] = static_cast<std::int8_t>(10 + digit);
        values['a' + digit] = static_cast<std::int8_t>(10 + digit);
    }
    return values;
}();

inline int HexDigitValue(char c) {
    return kHexDigitValues[static_cast<unsigned char>(c)];
}

// The byte of two hex digits the caller has checked.
inline std::uint8_t HexByte(const char* pair) {
    return static_cast<std::uint8_t>(HexDigitValue(pair[0]) << 4 | HexDigitValue(pair[1]));
}

}  // namespace DirectFwUpdate_Private

#endif
