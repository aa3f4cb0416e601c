#include "fru_image_builder.h"

#include <algorithm>
#include <numeric>

namespace fru_test {

namespace {

constexpr std::size_t kUnit = 8;

std::uint8_t ZeroSum(const Bytes& bytes) {
    return static_cast<std::uint8_t>(0x100 -
                                     std::accumulate(bytes.begin(), bytes.end(), 0u) % 0x100);
}

std::uint8_t Units(std::size_t bytes) {
    return static_cast<std::uint8_t>((bytes + kUnit - 1) / kUnit);
}

}  // namespace

Bytes Text(std::string_view text) {
    return Field(static_cast<std::uint8_t>(0xC0 | text.size()), Bytes(text.begin(), text.end()));
}

Bytes Field(std::uint8_t typeLength, const Bytes& data) {
    Bytes field{typeLength};
    field.insert(field.end(), data.begin(), data.end());
    return field;
}

std::vector<Bytes> EmptyFields(std::size_t count) {
    return std::vector<Bytes>(count, Bytes{0xC0});
}

Bytes InfoAreaImage::Content() const {
    // The length byte is part of the content, so it is settled first.
    const std::size_t fieldBytes =
        std::accumulate(fields.begin(), fields.end(), std::size_t{0},
                        [](std::size_t sum, const Bytes& field) { return sum + field.size(); });
    const std::size_t used = 2 + areaBytes.size() + fieldBytes + 1;
    Bytes content{version, units.value_or(Units(used + 1))};
    content.insert(content.end(), areaBytes.begin(), areaBytes.end());
    for (const Bytes& field : fields) content.insert(content.end(), field.begin(), field.end());
    content.push_back(0xC1);
    return content;
}

Bytes InfoAreaImage::Build() const {
    Bytes area = Content();
    const std::size_t length = area[1] * kUnit;
    area.resize(std::max(length, area.size() + 1), 0);
    area.back() =
        static_cast<std::uint8_t>(ZeroSum(Bytes(area.begin(), area.end() - 1)) + checksumError);
    return area;
}

InfoAreaImage ChassisArea(std::uint8_t type, std::vector<Bytes> fields) {
    return {.areaBytes = {type}, .fields = std::move(fields)};
}

InfoAreaImage BoardArea(std::array<std::uint8_t, 3> date, std::vector<Bytes> fields) {
    return {.areaBytes = {0x19, date[0], date[1], date[2]}, .fields = std::move(fields)};
}

InfoAreaImage ProductArea(std::vector<Bytes> fields) {
    return {.areaBytes = {0x19}, .fields = std::move(fields)};
}

Bytes WithChecksum(Bytes area) {
    area.back() = ZeroSum(Bytes(area.begin(), area.end() - 1));
    return area;
}

Bytes MultiRecord(std::uint8_t type, const Bytes& data, bool last) {
    Bytes record{type, static_cast<std::uint8_t>(last ? 0x82 : 0x02),
                 static_cast<std::uint8_t>(data.size()), ZeroSum(data)};
    record.push_back(ZeroSum(record));
    record.insert(record.end(), data.begin(), data.end());
    return record;
}

Bytes HeaderImage::Build() const {
    Bytes header{version, offsets[0], offsets[1], offsets[2], offsets[3], offsets[4], pad};
    header.push_back(static_cast<std::uint8_t>(ZeroSum(header) + checksumError));
    return header;
}

HeaderImage FruLayout::Header() const {
    HeaderImage header;
    std::size_t offset = kUnit;
    const Bytes* areas[] = {&internalUse, &chassis, &board, &product, &multiRecords};
    for (std::size_t i = 0; i < std::size(areas); ++i) {
        if (areas[i]->empty()) continue;
        header.offsets[i] = static_cast<std::uint8_t>(offset / kUnit);
        offset += Units(areas[i]->size()) * kUnit;
    }
    return header;
}

Bytes FruLayout::Build() const {
    const HeaderImage header = Header();
    Bytes image = header.Build();
    const Bytes* areas[] = {&internalUse, &chassis, &board, &product, &multiRecords};
    for (std::size_t i = 0; i < std::size(areas); ++i) {
        if (!areas[i]->empty()) Place(image, header.offsets[i] * kUnit, *areas[i]);
    }
    return image;
}

void Place(Bytes& image, std::size_t offset, const Bytes& bytes) {
    if (image.size() < offset + bytes.size()) image.resize(offset + bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace fru_test
