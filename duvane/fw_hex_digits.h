// Hex digits as the image reader takes them from a hex record line. Tables
// rather than isxdigit: the reader decodes every character of images of
// many megabytes, and the locale must not widen what counts as a digit.
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

// The byte two characters make, or -1 when either is not a hex digit: one
// look-up a byte instead of two.
extern const std::array<std::int16_t, 65536> kHexPairValues;

inline int HexPairValue(const char* pair) {
    return kHexPairValues[static_cast<unsigned>(static_cast<unsigned char>(pair[0]) << 8 |
                                                static_cast<unsigned char>(pair[1]))];
}

}  // namespace DirectFwUpdate_Private

#endif
