// Small helpers for the tests of the flash tables: tables built with the
// simulated BIOS's builders, and the byte patches that damage them the way
// a test needs.
#ifndef SRVFW_TESTS_RASK_TABLE_TEST_BYTES_H
#define SRVFW_TESTS_RASK_TABLE_TEST_BYTES_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "include/rask_interface.h"
#include "sim/firmware/flash_tables.h"

namespace rask_test {

using Bytes = std::vector<std::uint8_t>;

inline std::uint32_t Get32(const Bytes& bytes, std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

inline void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

inline void Put64(Bytes& bytes, std::size_t at, std::uint64_t value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// Where a FAT's first area record begins: after its header and its
// signature block.
inline std::size_t FirstAreaRecord(const Bytes& fat) {
    return FlshAreaTblHdrSize + Get32(fat, 64);
}

// The offset of range record `range` (0 = the first) of the area record
// at `record`.
inline std::size_t RangeRecord(std::size_t record, std::size_t range) {
    return record + FlshAreaRecHdrSize + range * FlshRangeRecSize;
}

inline const FLASH_AREA_TABLE* AsAreaTable(const Bytes& bytes) {
    return reinterpret_cast<const FLASH_AREA_TABLE*>(bytes.data());
}

inline FLASH_AREA_TABLE* AsAreaTable(Bytes& bytes) {
    return reinterpret_cast<FLASH_AREA_TABLE*>(bytes.data());
}

// The segments the area tests name: a main segment and a flags segment in
// the secondary flash, the boot block region in the primary.
inline constexpr std::uint32_t kMainTag = 1;
inline constexpr std::uint32_t kFlagsTag = 2;
inline constexpr std::uint32_t kBootTag = 3;

inline std::vector<sim::FlashSegment> TestSegments() {
    return {{kMainTag, 2, 0xFFF00000, 0xFFFBFFFF},
            {kFlagsTag, 2, 0xFFFC0000, 0xFFFDFFFF},
            {kBootTag, 1, 0xFFFE0000, 0xFFFFFFFF}};
}

}  // namespace rask_test

#endif
