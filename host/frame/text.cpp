#include "host/frame/text.h"

#include <cstdio>
#include <cwchar>

namespace srvfw {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The length of the valid UTF-8 sequence at the start of `text` and its
// code point; 0 when the bytes there are not one (overlong forms and
// surrogates included).
std::size_t DecodeUtf8(std::string_view text, char32_t& c) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    char32_t minimum;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string ToUtf8(const wchar_t* text) {
    return text == nullptr ? std::string() : ToUtf8(std::wstring_view(text));
}

std::string ToUtf8(std::wstring_view text) {
    std::string out;
    for (const wchar_t c : text) AppendUtf8(out, static_cast<char32_t>(c));
    return out;
}

std::string ValidUtf8(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        char32_t c;
        const std::size_t length = DecodeUtf8(text, c);
        if (length == 0) {
            AppendUtf8(out, kReplacement);
            text.remove_prefix(1);
        } else {
            out.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return out;
}

std::optional<std::wstring> FromUtf8(std::string_view text) {
    std::wstring out;
    while (!text.empty()) {
        char32_t c;
        const std::size_t length = DecodeUtf8(text, c);
        if (length == 0) return std::nullopt;
        out += static_cast<wchar_t>(c);
        text.remove_prefix(length);
    }
    return out;
}

std::optional<std::wstring> FromMultibyte(std::string_view text) {
    std::wstring out;
    std::mbstate_t state{};
    while (!text.empty()) {
        wchar_t c;
        const std::size_t length = std::mbrtowc(&c, text.data(), text.size(), &state);
        // A zero byte would end the text early inside the library.
        if (length == 0 || length == static_cast<std::size_t>(-1) ||
            length == static_cast<std::size_t>(-2)) {
            return std::nullopt;
        }
        out += c;
        text.remove_prefix(length);
    }
    return out;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const std::uint8_t b : bytes) {
        if (!out.empty()) out += ' ';
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

std::string HexWord(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == '\t') {
            if (high >= 0) return std::nullopt;  // a blank inside a byte
            continue;
        }
        const int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0) return std::nullopt;
    return bytes;
}

std::optional<std::uint32_t> ParseNumber(std::string_view text, std::uint32_t max) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && (text.back() == 'h' || text.back() == 'H')) {
        base = 16;
        text.remove_suffix(1);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) return std::nullopt;
        value = value * base + static_cast<unsigned>(digit);
        if (value > max) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::string Printable(std::string_view utf8) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::string valid = ValidUtf8(utf8);
    std::string_view rest = valid;
    std::string out;
    while (!rest.empty()) {
        char32_t c;
        const std::size_t length = DecodeUtf8(rest, c);
        // C0 and C1 controls and DEL: the C1 ones too, as some terminals
        // take U+009B for the start of a control sequence.
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            out += "\\x";
            out += kDigits[c >> 4];
            out += kDigits[c & 0x0F];
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out.append(rest.substr(0, length));
        }
        rest.remove_prefix(length);
    }
    return out;
}

}  // namespace srvfw
