// Conversions between the libraries' wide texts, the user's multibyte
// command line and the UTF-8 that srvfw prints, and the number and byte
// forms of the command line.
#ifndef SRVFW_HOST_FRAME_TEXT_H
#define SRVFW_HOST_FRAME_TEXT_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace srvfw {

// A library's wide text (UTF-32) as UTF-8; a code point that is not a
// character shows as U+FFFD. A null text is empty.
std::string ToUtf8(const wchar_t* text);
std::string ToUtf8(std::wstring_view text);

// The text with every byte sequence that is not valid UTF-8 replaced by
// U+FFFD, so that it can go into JSON whatever a user typed.
std::string ValidUtf8(std::string_view text);

// UTF-8 (as srvfw's arguments and output are) as wide text; none when it is
// not valid UTF-8.
std::optional<std::wstring> FromUtf8(std::string_view text);

// Multibyte text of the current locale (a path, a language) as the wide text
// the libraries take; none when it is not valid in that locale.
std::optional<std::wstring> FromMultibyte(std::string_view text);

// Bytes as upper-case hex pairs separated by blanks: "01 AB".
std::string Hex(std::span<const std::uint8_t> bytes);
// Hex pairs, blanks between bytes optional ("01 AB", "01AB"); none for an
// odd digit or any other character.
std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view text);

// A status code or table revision as "0xC0070027".
std::string HexWord(std::uint32_t value);

// A number as IPMI people write them: decimal ("32"), or hexadecimal with a
// "0x" prefix or an "h" suffix ("0x20", "20h"); none above `max` or when it
// is not a number.
std::optional<std::uint32_t> ParseNumber(std::string_view text, std::uint32_t max);

// A value for the terminal: control characters shown as "\xNN" and a
// backslash doubled, so that a field's bytes can neither move the cursor nor
// hide the rest of the line, and nothing else looks like an escape.
std::string Printable(std::string_view utf8);

}  // namespace srvfw

#endif
