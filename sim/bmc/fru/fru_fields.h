// The fields of FRU info areas as the IPMI Platform Management FRU
// Information Storage Definition encodes them: a type/length byte (bits 7:6
// the type, bits 5:0 the number of data bytes, 0 to 63) followed by the data.
//
//   00b binary          the bytes as they are
//   01b BCD plus        two characters a byte, the first in the high nibble:
//                       0h..9h the digits, Ah space, Bh '-', Ch '.'
//   10b 6-bit ASCII     characters 20h..5Fh as 0..63, packed least
//                       significant bits first: four characters in three
//                       bytes ("IPMI" is 29h DCh A6h)
//   11b 8-bit text      ASCII/Latin-1 for the English language codes
//
// Both packings follow the Type/Length Byte Format section of the FRU
// Information Storage Definition (v1.0 rev 1.3, section 13): its 6-bit
// example packs "IPMI" as 29h DCh A6h, first character in the low bits of
// the first byte.
//
// C1h (8-bit text of one byte) is no field but the end-of-fields marker, so
// an 8-bit text of exactly one character cannot be encoded; C0h is an empty
// field.
#ifndef SRVFW_SIM_BMC_FRU_FRU_FIELDS_H
#define SRVFW_SIM_BMC_FRU_FRU_FIELDS_H

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim::fru {

inline constexpr std::uint8_t kEndOfFields = 0xC1;
inline constexpr std::size_t kMaxFieldBytes = 63;

enum class FieldType : std::uint8_t {
    kBinary = 0,
    kBcdPlus = 1,
    kSixBitAscii = 2,
    kText = 3,
};

struct Field {
    FieldType type = FieldType::kText;
    std::vector<std::uint8_t> data;

    // Each throws std::invalid_argument for text the encoding cannot hold
    // or data over 63 bytes; Text also for exactly one character.
    static Field Text(std::string_view text);
    static Field BcdPlus(std::string_view text);
    static Field SixBitAscii(std::string_view text);
    static Field Binary(std::vector<std::uint8_t> bytes);
    static Field Empty() { return {}; }

    std::uint8_t TypeLength() const;
    // The type/length byte followed by the data.
    std::vector<std::uint8_t> Encoded() const;
};

// Four characters in three bytes; a last group of one to three characters
// takes as many bytes as its bits need (ceil(6n / 8)).
std::vector<std::uint8_t> PackSixBitAscii(std::string_view text);
// Every character the bytes hold (floor(8n / 6)); unused bits of a last
// partial byte read back as blanks (0), as readers of these fields see them.
std::string UnpackSixBitAscii(std::span<const std::uint8_t> bytes);
// An odd number of characters ends with a blank (Ah) in the last low nibble.
std::vector<std::uint8_t> PackBcdPlus(std::string_view text);
// Nibbles Dh..Fh, which BCD plus leaves undefined, read back as '?'.
std::string UnpackBcdPlus(std::span<const std::uint8_t> bytes);

}  // namespace sim::fru

#endif
