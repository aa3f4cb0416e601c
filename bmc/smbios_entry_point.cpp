#include "bmc/smbios_entry_point.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr std::size_t kAnchorAlignment = 16;

constexpr std::string_view kAnchor32 = "_SM_";
// 32-bit entry point fields.
constexpr std::size_t kTableLength32 = 0x16;   // u16
constexpr std::size_t kTableAddress32 = 0x18;  // u32
constexpr std::size_t kStructureCount = 0x1C;  // u16
constexpr std::size_t kEntryPoint32Fields = kStructureCount + 2;

constexpr std::string_view kAnchor64 = "_SM3_";
// 64-bit entry point fields.
constexpr std::size_t kTableMaximumSize = 0x0C;  // u32
constexpr std::size_t kTableAddress64 = 0x10;    // u64
constexpr std::size_t kEntryPoint64Fields = kTableAddress64 + 8;

std::uint64_t LittleEndian(std::span<const std::uint8_t> bytes, std::size_t offset,
                           std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = value << 8 | bytes[offset + i];
    return value;
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view anchor) {
    return bytes.size() >= anchor.size() &&
           std::equal(anchor.begin(), anchor.end(), bytes.begin(),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

std::optional<std::size_t> FindAnchor(std::span<const std::uint8_t> segment,
                                      std::string_view anchor, std::size_t fields) {
    for (std::size_t offset = 0; offset <= segment.size() && fields <= segment.size() - offset;
         offset += kAnchorAlignment) {
        if (StartsWith(segment.subspan(offset), anchor)) return offset;
    }
    return std::nullopt;
}

}  // namespace

std::optional<SmbiosTableLocation> ParseSmbiosEntryPoint(std::span<const std::uint8_t> bytes) {
    if (StartsWith(bytes, kAnchor64) && bytes.size() >= kEntryPoint64Fields) {
        SmbiosTableLocation table;
        table.address = LittleEndian(bytes, kTableAddress64, 8);
        table.length = static_cast<std::uint32_t>(LittleEndian(bytes, kTableMaximumSize, 4));
        table.is64Bit = true;
        return table;
    }
    if (StartsWith(bytes, kAnchor32) && bytes.size() >= kEntryPoint32Fields) {
        SmbiosTableLocation table;
        table.address = LittleEndian(bytes, kTableAddress32, 4);
        table.length = static_cast<std::uint32_t>(LittleEndian(bytes, kTableLength32, 2));
        table.structureCount = static_cast<std::uint16_t>(LittleEndian(bytes, kStructureCount, 2));
        return table;
    }
    return std::nullopt;
}

std::optional<std::size_t> FindSmbiosEntryPoint(std::span<const std::uint8_t> segment) {
    if (const auto at = FindAnchor(segment, kAnchor64, kEntryPoint64Fields)) return at;
    return FindAnchor(segment, kAnchor32, kEntryPoint32Fields);
}
