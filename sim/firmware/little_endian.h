// Little-endian fields in byte buffers, for the firmware builders and
// readers. Writes and reads past the buffer throw std::out_of_range: a
// builder asked for a record that does not fit is a fault in the test, and
// a reader never trusts a length it was handed.
#ifndef SRVFW_SIM_FIRMWARE_LITTLE_ENDIAN_H
#define SRVFW_SIM_FIRMWARE_LITTLE_ENDIAN_H

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sim::le {

inline void CheckFits(std::size_t size, std::size_t offset, std::size_t width) {
    if (offset > size || width > size - offset) {
        throw std::out_of_range("field at " + std::to_string(offset) + " outside " +
                                std::to_string(size) + " bytes");
    }
}

inline void Put(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value,
                unsigned width) {
    CheckFits(bytes.size(), offset, width);
    for (unsigned i = 0; i < width; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint64_t Get(std::span<const std::uint8_t> bytes, std::size_t offset, unsigned width) {
    CheckFits(bytes.size(), offset, width);
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= std::uint64_t{bytes[offset + i]} << (8 * i);
    return value;
}

// Characters of text, at most width of them; the rest of the field stays.
inline void PutText(std::span<std::uint8_t> bytes, std::size_t offset, std::string_view text,
                    std::size_t width) {
    CheckFits(bytes.size(), offset, width);
    for (std::size_t i = 0; i < text.size() && i < width; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(text[i]);
    }
}

inline std::string_view GetText(std::span<const std::uint8_t> bytes, std::size_t offset,
                                std::size_t width) {
    CheckFits(bytes.size(), offset, width);
    const char* start = reinterpret_cast<const char*>(bytes.data() + offset);
    std::size_t length = 0;
    while (length < width && start[length] != '\0') ++length;
    return {start, length};
}

}  // namespace sim::le

#endif
