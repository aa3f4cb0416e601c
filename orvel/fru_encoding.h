// The encodings a FRU text field's type/length byte names (IPMI Platform
// Management FRU Information Storage Definition v1.0, "Type/Length Byte
// Format"), turned into text and back:
//
//   binary (00b)           the bytes as hexadecimal: "00 1E 67"
//   BCD plus (01b)         two characters a byte, the high nibble first:
//                          0h-9h the digits, Ah space, Bh dash, Ch period
//                          (Dh-Fh are reserved and show as "?")
//   6-bit packed ASCII (10b) four characters in three bytes, the first in
//                          the low six bits of the first byte; each code
//                          plus 20h is the ASCII character (20h to 5Fh)
//   8-bit text (11b)       one byte a character, ASCII and Latin-1, up to
//                          the first zero byte
//
// A value is written in an encoding only when reading it back gives the
// same text: "ABCDEFG" in 6-bit packing takes six bytes, which read back
// as eight characters, so it goes as 8-bit text instead.
#ifndef SRVFW_ORVEL_FRU_ENCODING_H
#define SRVFW_ORVEL_FRU_ENCODING_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orvel/fru_format.h"

namespace Orvel_Private {

std::wstring DecodeFieldData(FRU_FIELD_TYPE type, std::span<const std::uint8_t> data);

// The data `text` takes in `type`; none when `type` cannot carry it exactly.
// 8-bit text carries Latin-1 characters that are not control characters.
std::optional<std::vector<std::uint8_t>> EncodeFieldText(FRU_FIELD_TYPE type,
                                                         std::wstring_view text);

// The first character of `text` that no FRU text field keeps: a control
// character (below 20h, 7Fh, and 80h-9Fh, which terminals also take as
// control codes) or one outside Latin-1.
struct UnstorableCharacter {
    wchar_t character;
    bool control;  // false: outside Latin-1
};
std::optional<UnstorableCharacter> FindUnstorableCharacter(std::wstring_view text);

}  // namespace Orvel_Private

#endif
