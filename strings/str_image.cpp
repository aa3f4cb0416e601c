#include "strings/str_image.h"

#include <limits>
#include <stdexcept>

namespace strc {

namespace {

void AppendU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    AppendU16(out, static_cast<std::uint16_t>(value));
    AppendU16(out, static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t WordSum(const std::vector<std::uint8_t>& bytes) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        sum = static_cast<std::uint16_t>(sum + (bytes[i] | bytes[i + 1] << 8));
    }
    return sum;
}

}  // namespace

std::vector<std::uint8_t> BuildStringFile(std::span<const std::u16string> texts) {
    if (texts.empty()) throw std::length_error("a string file needs at least one string");

    // Every part is a whole number of 16-bit units, so the closing word
    // lands on a word boundary.
    std::uint64_t size = 4 + 8 * std::uint64_t{texts.size()};
    std::vector<std::uint32_t> offsets;
    for (const std::u16string& text : texts) {
        offsets.push_back(static_cast<std::uint32_t>(size));
        size += 2 * (text.size() + 1);
        if (size > std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("the strings do not fit a string file's 32-bit offsets");
        }
    }

    std::vector<std::uint8_t> image;
    image.reserve(size + 2);
    AppendU32(image, static_cast<std::uint32_t>(texts.size()));
    for (const std::uint32_t offset : offsets) AppendU32(image, offset);
    for (const std::u16string& text : texts) {
        AppendU32(image, static_cast<std::uint32_t>(text.size() + 1));
    }
    for (const std::u16string& text : texts) {
        for (const char16_t unit : text) AppendU16(image, unit);
        AppendU16(image, 0);
    }
    AppendU16(image, static_cast<std::uint16_t>(0x10000 - WordSum(image)));
    return image;
}

}  // namespace strc
