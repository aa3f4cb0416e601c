#include "sim/bmc/sdr/sdr_records.h"

#include <cstdio>

namespace sim::sdr {

std::uint16_t RecordId(std::span<const std::uint8_t> record) {
    return static_cast<std::uint16_t>(record[0] | record[1] << 8);
}

void SetRecordId(Record& record, std::uint16_t id) {
    record[0] = static_cast<std::uint8_t>(id);
    record[1] = static_cast<std::uint8_t>(id >> 8);
}

std::uint8_t RecordType(std::span<const std::uint8_t> record) {
    return record[kTypeByte];
}

SplitImage SplitRecords(std::span<const std::uint8_t> image) {
    SplitImage split;
    std::size_t at = 0;
    while (at < image.size()) {
        if (image.size() - at < kHeaderBytes) {
            split.error = "a record header cut short at byte " + std::to_string(at);
            return split;
        }
        const std::size_t length = kHeaderBytes + image[at + kLengthByte];
        if (image.size() - at < length) {
            split.error = "the record at byte " + std::to_string(at) + " runs past the end";
            return split;
        }
        split.records.emplace_back(image.begin() + at, image.begin() + at + length);
        at += length;
    }
    return split;
}

std::vector<std::uint8_t> JoinRecords(const std::vector<Record>& records) {
    std::vector<std::uint8_t> image;
    for (const Record& record : records) image.insert(image.end(), record.begin(), record.end());
    return image;
}

std::string TypeName(std::uint8_t type) {
    static constexpr std::pair<std::uint8_t, const char*> kNames[] = {
        {0x01, "full sensor"},
        {0x02, "compact sensor"},
        {0x03, "event-only sensor"},
        {0x08, "entity association"},
        {0x09, "device-relative entity association"},
        {0x10, "generic device locator"},
        {0x11, "FRU device locator"},
        {0x12, "management controller locator"},
        {0x13, "management controller confirmation"},
        {0x14, "BMC message channel info"},
        {0xC0, "OEM"}};
    const char* name = "unknown";
    for (const auto& [code, text] : kNames) {
        if (code == type) name = text;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%02Xh %s", type, name);
    return text;
}

}  // namespace sim::sdr
