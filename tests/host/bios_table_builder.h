// Flash Segment and Area Tables for srvfw's bios tests, laid out byte by
// byte as the BIOS keeps them, with the few malformations the tests need.
#ifndef SRVFW_TESTS_HOST_BIOS_TABLE_BUILDER_H
#define SRVFW_TESTS_HOST_BIOS_TABLE_BUILDER_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "include/rask_interface.h"

namespace test_support {

struct TestSegment {
    std::uint32_t tag;
    std::uint16_t partition;
    std::uint64_t start;
    std::uint64_t limit;
};

struct TestArea {
    std::uint32_t number;
    std::string name;
    std::string version;
    // Each range: its flash address; 64 KB each, in the area's order.
    std::vector<std::uint32_t> blocks;
    std::uint32_t segment = 2;
};

inline void PutLittle(std::vector<std::uint8_t>& table, std::size_t at, std::uint64_t value,
                      std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        table[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::vector<std::uint8_t> BuildFst(const std::vector<TestSegment>& segments) {
    std::vector<std::uint8_t> table(FlshSegmentTblHdrSize + FlshSegmentEntrySize * segments.size());
    std::memcpy(table.data(), "FLASHTBL", 8);
    PutLittle(table, 28, table.size(), 4);
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const std::size_t at = FlshSegmentTblHdrSize + FlshSegmentEntrySize * i;
        PutLittle(table, at, segments[i].tag, 4);
        PutLittle(table, at + 4, segments[i].partition, 2);
        PutLittle(table, at + 8, segments[i].start, 8);
        PutLittle(table, at + 16, segments[i].limit, 8);
    }
    return table;
}

// The signature block is 40 bytes: its header and 8 signature bytes.
inline constexpr std::uint32_t kTestSignatureSize = 40;

inline std::vector<std::uint8_t> BuildFat(const std::vector<TestArea>& areas) {
    std::vector<std::uint8_t> table(FlshAreaTblHdrSize + kTestSignatureSize);
    std::memcpy(table.data(), "AREA TBL", 8);
    std::memcpy(table.data() + 36, "DGTL SIG", 8);
    PutLittle(table, 64, kTestSignatureSize, 4);
    const auto record = [&table](const TestArea* area) {
        const std::size_t at = table.size();
        const std::size_t ranges = area == nullptr ? 0 : area->blocks.size();
        table.resize(at + FlshAreaRecHdrSize + FlshRangeRecSize * (ranges + 1));
        if (area == nullptr) return;
        PutLittle(table, at, area->number, 4);
        PutLittle(table, at + 28, 0x10000ULL * ranges, 8);
        std::memcpy(table.data() + at + 36, area->version.data(), area->version.size());
        std::memcpy(table.data() + at + 164, area->name.data(), area->name.size());
        for (std::size_t i = 0; i < ranges; ++i) {
            const std::size_t range = at + FlshAreaRecHdrSize + FlshRangeRecSize * i;
            const std::uint32_t flash = area->blocks[i];
            PutLittle(table, range, 1, 4);
            PutLittle(table, range + 4, 0x10000 * i, 4);
            PutLittle(table, range + 8, 0x10000 * i + 0xFFFF, 4);
            PutLittle(table, range + 12, area->segment, 4);
            PutLittle(table, range + 16, flash, 4);
            PutLittle(table, range + 20, flash + 0xFFFF, 4);
        }
    };
    for (const TestArea& area : areas) record(&area);
    record(nullptr);
    PutLittle(table, 28, table.size(), 4);
    return table;
}

}  // namespace test_support

#endif
