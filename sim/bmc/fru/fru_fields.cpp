#include "sim/bmc/fru/fru_fields.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace sim::fru {

namespace {

constexpr char kFirstSixBit = 0x20;
constexpr char kLastSixBit = 0x5F;
constexpr unsigned kSixBitMask = 0x3F;
constexpr unsigned kTypeShift = 6;
constexpr char kBcdPlusCharacters[] = "0123456789 -.";
constexpr std::uint8_t kBcdBlank = 0xA;

void CheckLength(std::size_t bytes) {
    if (bytes > kMaxFieldBytes) {
        throw std::invalid_argument("a FRU field holds at most 63 bytes, not " +
                                    std::to_string(bytes));
    }
}

std::uint8_t BcdNibble(char c) {
    for (std::uint8_t value = 0; kBcdPlusCharacters[value] != '\0'; ++value) {
        if (kBcdPlusCharacters[value] == c) return value;
    }
    throw std::invalid_argument(std::string("BCD plus has no character '") + c + "'");
}

char BcdCharacter(unsigned nibble) {
    return nibble < sizeof kBcdPlusCharacters - 1 ? kBcdPlusCharacters[nibble] : '?';
}

}  // namespace

std::vector<std::uint8_t> PackSixBitAscii(std::string_view text) {
    std::vector<std::uint8_t> bytes((text.size() * 6 + 7) / 8, 0);
    std::size_t bit = 0;
    for (const char c : text) {
        if (c < kFirstSixBit || c > kLastSixBit) {
            throw std::invalid_argument(std::string("6-bit ASCII has no character '") + c + "'");
        }
        const unsigned code = static_cast<unsigned>(c - kFirstSixBit);
        // Six bits from bit position `bit`, least significant first; they
        // may straddle two bytes.
        bytes[bit / 8] |= static_cast<std::uint8_t>(code << (bit % 8));
        if (bit % 8 > 2) bytes[bit / 8 + 1] |= static_cast<std::uint8_t>(code >> (8 - bit % 8));
        bit += 6;
    }
    return bytes;
}

std::string UnpackSixBitAscii(std::span<const std::uint8_t> bytes) {
    std::string text;
    const std::size_t characters = bytes.size() * 8 / 6;
    for (std::size_t i = 0, bit = 0; i < characters; ++i, bit += 6) {
        unsigned code = bytes[bit / 8] >> (bit % 8);
        if (bit % 8 > 2) code |= static_cast<unsigned>(bytes[bit / 8 + 1]) << (8 - bit % 8);
        text += static_cast<char>(kFirstSixBit + (code & kSixBitMask));
    }
    return text;
}

std::vector<std::uint8_t> PackBcdPlus(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::uint8_t low = i + 1 < text.size() ? BcdNibble(text[i + 1]) : kBcdBlank;
        bytes.push_back(static_cast<std::uint8_t>(BcdNibble(text[i]) << 4 | low));
    }
    return bytes;
}

std::string UnpackBcdPlus(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += BcdCharacter(byte >> 4);
        text += BcdCharacter(byte & 0x0F);
    }
    return text;
}

Field Field::Text(std::string_view text) {
    if (text.size() == 1) {
        throw std::invalid_argument(
            "an 8-bit text field of one character would read as the end-of-fields marker C1h");
    }
    CheckLength(text.size());
    return {FieldType::kText, {text.begin(), text.end()}};
}

Field Field::BcdPlus(std::string_view text) {
    std::vector<std::uint8_t> data = PackBcdPlus(text);
    CheckLength(data.size());
    return {FieldType::kBcdPlus, std::move(data)};
}

Field Field::SixBitAscii(std::string_view text) {
    std::vector<std::uint8_t> data = PackSixBitAscii(text);
    CheckLength(data.size());
    return {FieldType::kSixBitAscii, std::move(data)};
}

Field Field::Binary(std::vector<std::uint8_t> bytes) {
    CheckLength(bytes.size());
    return {FieldType::kBinary, std::move(bytes)};
}

std::uint8_t Field::TypeLength() const {
    CheckLength(data.size());
    return static_cast<std::uint8_t>(static_cast<unsigned>(type) << kTypeShift | data.size());
}

std::vector<std::uint8_t> Field::Encoded() const {
    std::vector<std::uint8_t> bytes(1 + data.size());
    bytes[0] = TypeLength();
    std::copy(data.begin(), data.end(), bytes.begin() + 1);
    return bytes;
}

}  // namespace sim::fru
