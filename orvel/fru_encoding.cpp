#include "orvel/fru_encoding.h"

#include <algorithm>
#include <cwctype>

namespace Orvel_Private {

namespace {

constexpr wchar_t kBcdPlusDigits[] = L"0123456789 -.???";
constexpr wchar_t kSixBitBase = 0x20;
constexpr wchar_t kSixBitMask = 0x3F;
constexpr unsigned kLatin1Last = 0xFF;
constexpr wchar_t kHexDigits[] = L"0123456789ABCDEF";

bool IsControl(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

std::wstring DecodeBinary(std::span<const std::uint8_t> data) {
    std::wstring text;
    for (const std::uint8_t byte : data) {
        if (!text.empty()) text += L' ';
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0x0F];
    }
    return text;
}

std::wstring DecodeBcdPlus(std::span<const std::uint8_t> data) {
    std::wstring text;
    for (const std::uint8_t byte : data) {
        text += kBcdPlusDigits[byte >> 4];
        text += kBcdPlusDigits[byte & 0x0F];
    }
    return text;
}

// Every whole six bits of the data is a character: bytes * 8 / 6 of them.
std::wstring DecodeSixBit(std::span<const std::uint8_t> data) {
    std::wstring text;
    std::uint32_t bits = 0;
    unsigned held = 0;
    for (const std::uint8_t byte : data) {
        bits |= std::uint32_t{byte} << held;
        held += 8;
        while (held >= 6) {
            text += static_cast<wchar_t>((bits & kSixBitMask) + kSixBitBase);
            bits >>= 6;
            held -= 6;
        }
    }
    return text;
}

std::wstring DecodeLatin1(std::span<const std::uint8_t> data) {
    const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
    return std::wstring(data.begin(), end);
}

std::optional<std::vector<std::uint8_t>> EncodeBinary(std::wstring_view text) {
    std::vector<std::uint8_t> data;
    int high = -1;
    for (const wchar_t c : text) {
        if (c == L' ') {
            if (high >= 0) return std::nullopt;
            continue;
        }
        const wchar_t* digit = std::find(kHexDigits, kHexDigits + 16, std::towupper(c));
        if (digit == kHexDigits + 16) return std::nullopt;
        const int value = static_cast<int>(digit - kHexDigits);
        if (high < 0) {
            high = value;
        } else {
            data.push_back(static_cast<std::uint8_t>(high << 4 | value));
            high = -1;
        }
    }
    if (high >= 0) return std::nullopt;
    return data;
}

std::optional<std::vector<std::uint8_t>> EncodeBcdPlus(std::wstring_view text) {
    std::vector<std::uint8_t> data;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t* code = std::find(kBcdPlusDigits, kBcdPlusDigits + 13, text[i]);
        if (code == kBcdPlusDigits + 13) return std::nullopt;
        const auto nibble = static_cast<std::uint8_t>(code - kBcdPlusDigits);
        if (i % 2 == 0) {
            data.push_back(static_cast<std::uint8_t>(nibble << 4));
        } else {
            data.back() |= nibble;
        }
    }
    return data;
}

std::optional<std::vector<std::uint8_t>> EncodeSixBit(std::wstring_view text) {
    std::vector<std::uint8_t> data;
    std::uint32_t bits = 0;
    unsigned held = 0;
    for (const wchar_t c : text) {
        if (c < kSixBitBase || c > kSixBitBase + kSixBitMask) return std::nullopt;
        bits |= std::uint32_t(c - kSixBitBase) << held;
        held += 6;
        while (held >= 8) {
            data.push_back(static_cast<std::uint8_t>(bits));
            bits >>= 8;
            held -= 8;
        }
    }
    if (held > 0) data.push_back(static_cast<std::uint8_t>(bits));
    return data;
}

std::optional<std::vector<std::uint8_t>> EncodeLatin1(std::wstring_view text) {
    if (FindUnstorableCharacter(text)) return std::nullopt;
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace

std::wstring DecodeFieldData(FRU_FIELD_TYPE type, std::span<const std::uint8_t> data) {
    switch (type & kFieldTypeMask) {
        case FRU_FIELD_TYPE_BINARY:
            return DecodeBinary(data);
        case FRU_FIELD_TYPE_BCD_PLUS:
            return DecodeBcdPlus(data);
        case FRU_FIELD_TYPE_6BIT_ASCII:
            return DecodeSixBit(data);
        default:
            return DecodeLatin1(data);
    }
}

std::optional<std::vector<std::uint8_t>> EncodeFieldText(FRU_FIELD_TYPE type,
                                                         std::wstring_view text) {
    std::optional<std::vector<std::uint8_t>> data;
    switch (type & kFieldTypeMask) {
        case FRU_FIELD_TYPE_BINARY:
            // Hexadecimal digits in pairs, spaced as the text shows them or
            // not at all.
            return EncodeBinary(text);
        case FRU_FIELD_TYPE_BCD_PLUS:
            data = EncodeBcdPlus(text);
            break;
        case FRU_FIELD_TYPE_6BIT_ASCII:
            data = EncodeSixBit(text);
            break;
        default:
            data = EncodeLatin1(text);
            break;
    }
    if (data && DecodeFieldData(type, *data) != text) return std::nullopt;
    return data;
}

std::optional<UnstorableCharacter> FindUnstorableCharacter(std::wstring_view text) {
    for (const wchar_t c : text) {
        if (IsControl(c)) return UnstorableCharacter{c, true};
        if (static_cast<std::uint32_t>(c) > kLatin1Last) return UnstorableCharacter{c, false};
    }
    return std::nullopt;
}

}  // namespace Orvel_Private
