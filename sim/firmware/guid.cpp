#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "sim/firmware/flash_tables.h"
#include "sim/firmware/little_endian.h"

namespace sim {

namespace {

constexpr std::size_t kGuidTextLength = 36;
constexpr std::size_t kDashes[] = {8, 13, 18, 23};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Guid Guid::Parse(std::string_view text) {
    const std::string bad = "not a GUID: " + std::string(text);
    if (text.size() != kGuidTextLength) throw std::invalid_argument(bad);
    std::array<std::uint8_t, 16> digits{};  // the 16 bytes in text order
    std::size_t next = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (std::find(std::begin(kDashes), std::end(kDashes), i) != std::end(kDashes)) {
            if (text[i] != '-') throw std::invalid_argument(bad);
            ++i;
            continue;
        }
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) throw std::invalid_argument(bad);
        digits[next++] = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
    }
    Guid guid;
    guid.data1 = std::uint32_t{digits[0]} << 24 | std::uint32_t{digits[1]} << 16 |
                 std::uint32_t{digits[2]} << 8 | digits[3];
    guid.data2 = static_cast<std::uint16_t>(digits[4] << 8 | digits[5]);
    guid.data3 = static_cast<std::uint16_t>(digits[6] << 8 | digits[7]);
    std::copy(digits.begin() + 8, digits.end(), guid.data4.begin());
    return guid;
}

std::string Guid::Text() const {
    char text[kGuidTextLength + 1];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", data1,
                  data2, data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5],
                  data4[6], data4[7]);
    return text;
}

std::array<std::uint8_t, 16> Guid::Bytes() const {
    std::array<std::uint8_t, 16> bytes{};
    le::Put(bytes, 0, data1, 4);
    le::Put(bytes, 4, data2, 2);
    le::Put(bytes, 6, data3, 2);
    std::copy(data4.begin(), data4.end(), bytes.begin() + 8);
    return bytes;
}

Guid Guid::FromBytes(std::span<const std::uint8_t> bytes, std::size_t offset) {
    le::CheckFits(bytes.size(), offset, 16);
    Guid guid;
    guid.data1 = static_cast<std::uint32_t>(le::Get(bytes, offset, 4));
    guid.data2 = static_cast<std::uint16_t>(le::Get(bytes, offset + 4, 2));
    guid.data3 = static_cast<std::uint16_t>(le::Get(bytes, offset + 6, 2));
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset + 8), 8, guid.data4.begin());
    return guid;
}

}  // namespace sim
