#include "str_file_image.h"

namespace {

void Put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value));
    Put16(out, static_cast<std::uint16_t>(value >> 16));
}

}  // namespace

StrFileImage StrFileImage::Of(std::initializer_list<std::u16string_view> texts) {
    StrFileImage image;
    image.count = static_cast<std::uint32_t>(texts.size());
    std::uint32_t offset = 4 + 8 * image.count;
    for (const std::u16string_view text : texts) {
        const auto length = static_cast<std::uint32_t>(text.size() + 1);
        image.offsets.push_back(offset);
        image.lengths.push_back(length);
        image.units.insert(image.units.end(), text.begin(), text.end());
        image.units.push_back(0);
        offset += 2 * length;
    }
    return image;
}

std::string StrFileImage::Bytes() const {
    std::string bytes;
    Put32(bytes, count);
    for (const std::uint32_t offset : offsets) Put32(bytes, offset);
    for (const std::uint32_t length : lengths) Put32(bytes, length);
    for (const std::uint16_t unit : units) Put16(bytes, unit);
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        sum += static_cast<std::uint8_t>(bytes[i]) | static_cast<std::uint8_t>(bytes[i + 1]) << 8;
    }
    Put16(bytes, static_cast<std::uint16_t>((balanced ? 0 : 1) - sum));
    return bytes;
}
