// The bytes a FRU field takes for a value written on the command line:
//   text fields      UTF-8 text; stored in the field's own encoding (6-bit
//                    packed ASCII, BCD plus, binary as hex) when that holds
//                    it exactly, else as 8-bit text, a byte per Latin-1
//                    character
//   board.mfg_date   "YYYY-MM-DD HH:MM" (or with "T", or a date alone for
//                    00:00), UTC; stored as minutes since 1996-01-01 00:00
//                    UTC in 3 bytes, least significant first; "unspecified"
//                    stores 0
//   chassis.type     a number, 0x.. or ..h for hex (23 = rack mount)
//   internal.data    hex bytes ("4B 53 01" or "4B5301")
#ifndef SRVFW_HOST_FRU_VALUES_H
#define SRVFW_HOST_FRU_VALUES_H

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "host/fru/fields.h"

namespace srvfw {

// board.mfg_date=unspecified: zero minutes, the format's "no date".
inline constexpr std::string_view kUnspecifiedDate = "unspecified";

// Throws a usage Failure naming the field when the value has the wrong form.
std::vector<std::uint8_t> EncodeValue(const FieldName& field, std::string_view value);
// A text field's value as the library takes it; throws a usage Failure when
// it is not UTF-8.
std::wstring TextValue(const FieldName& field, std::string_view value);

// None for a malformed date, or one outside what 3 bytes of minutes hold
// (1996-01-01 00:00 to 2027-11-24 20:15).
std::optional<std::array<std::uint8_t, 3>> ParseMfgDate(std::string_view text);

}  // namespace srvfw

#endif
