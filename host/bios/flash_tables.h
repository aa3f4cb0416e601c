// The BIOS's flash tables as srvfw reads them from the library's copies:
// the Flash Segment Table's segments and the Flash Area Table's areas with
// their ranges, and the area tables srvfw hands back to the library to
// read, erase or write one area, or one range of it. The bytes come from
// the flash: every field is read within the table's bytes, and a table
// that does not hold together is refused with what is wrong with it.
#ifndef SRVFW_HOST_BIOS_FLASH_TABLES_H
#define SRVFW_HOST_BIOS_FLASH_TABLES_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace srvfw {

struct BiosSegment {
    std::uint32_t tag = 0;
    std::uint16_t partition = 0;  // 1 the primary flash (boot block), 2 the secondary
    std::uint64_t start = 0;
    std::uint64_t limit = 0;  // the segment's last byte
};

struct BiosRange {
    std::uint32_t flags = 0;
    std::uint32_t areaStart = 0;  // where the range's bytes stand in the area's image
    std::uint32_t areaLimit = 0;
    std::uint32_t segment = 0;     // the SegmentTag of the segment holding it
    std::uint32_t flashStart = 0;  // physical addresses
    std::uint32_t flashLimit = 0;

    std::uint32_t Bytes() const { return flashLimit - flashStart + 1; }
};

struct BiosArea {
    std::uint32_t number = 0;
    std::uint32_t tag = 0;
    std::uint32_t attribute = 0;
    std::uint64_t size = 0;
    std::string version;
    std::string name;
    std::vector<BiosRange> ranges;
    // What makes the area unfit to read or write (ranges outside the
    // area's image, of another length in the flash than in the image);
    // empty when it is sound.
    std::string problem;
    // The record's 420-byte header as the FAT holds it.
    std::vector<std::uint8_t> header;
};

struct BiosAreaTable {
    // The FAT's header and signature block, which every area table srvfw
    // builds begins with.
    std::vector<std::uint8_t> prefix;
    std::vector<BiosArea> areas;
    // The closing area record (444 bytes).
    std::vector<std::uint8_t> closing;

    // The area of that number, or named so (any case); null for none.
    const BiosArea* Find(const std::string& numberOrName) const;
};

// The segments of an FST; throws a Failure (kLibraryCall) for a table that
// does not hold together.
std::vector<BiosSegment> ParseSegmentTable(std::span<const std::uint8_t> table);

// The areas of a FAT; throws a Failure (kLibraryCall) for a table that does
// not hold together.
BiosAreaTable ParseAreaTable(std::span<const std::uint8_t> table);

// The area table naming only `area`: the FAT's header and signature block,
// the area's record with all its ranges and the closing record, its Size
// set to the whole.
std::vector<std::uint8_t> SingleAreaTable(const BiosAreaTable& fat, const BiosArea& area);

// The same with only the area's range `index`, so that the library works
// on one block at a time.
std::vector<std::uint8_t> SingleRangeTable(const BiosAreaTable& fat, const BiosArea& area,
                                           std::size_t index);

// The segment a range names, if the FST has it.
const BiosSegment* SegmentOf(const std::vector<BiosSegment>& segments, const BiosRange& range);

}  // namespace srvfw

#endif
