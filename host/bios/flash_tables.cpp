#include "host/bios/flash_tables.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "host/frame/failure.h"
#include "host/frame/text.h"
#include "include/rask_interface.h"

namespace srvfw {

namespace {

constexpr std::size_t kSizeField = offsetof(FLASH_TABLE_HEADER, Size);
constexpr std::size_t kSignatureAt = FlshAreaTblHdrSize;
constexpr std::size_t kSignatureSizeAt = kSignatureAt + offsetof(FLASH_DIGITAL_SIGNATURE, Size);
// Each range record stands for up to 64 KB of the area.
constexpr std::uint64_t kRangeBytes = 0x10000;

// The bytes of a table, every read checked against its end.
class TableBytes {
  public:
    TableBytes(std::span<const std::uint8_t> bytes, std::string table)
        : mBytes(bytes), mTable(std::move(table)) {}

    std::uint64_t Number(std::size_t at, std::size_t width) const {
        Need(at, width);
        std::uint64_t value = 0;
        for (std::size_t i = width; i-- > 0;) value = value << 8 | mBytes[at + i];
        return value;
    }
    std::uint32_t Word(std::size_t at) const { return static_cast<std::uint32_t>(Number(at, 4)); }
    bool Holds(std::size_t at, std::string_view text) const {
        Need(at, text.size());
        return std::memcmp(mBytes.data() + at, text.data(), text.size()) == 0;
    }
    // Narrow text of a fixed-width field, up to its first NUL.
    std::string Text(std::size_t at, std::size_t width) const {
        Need(at, width);
        const auto begin = mBytes.begin() + static_cast<std::ptrdiff_t>(at);
        const auto end = std::find(begin, begin + static_cast<std::ptrdiff_t>(width), 0);
        return ValidUtf8(std::string(begin, end));
    }
    std::vector<std::uint8_t> Copy(std::size_t at, std::size_t bytes) const {
        Need(at, bytes);
        const auto begin = mBytes.begin() + static_cast<std::ptrdiff_t>(at);
        return {begin, begin + static_cast<std::ptrdiff_t>(bytes)};
    }
    [[noreturn]] void Malformed(const std::string& what) const {
        throw Failure(ExitCode::kLibraryCall,
                      "the BIOS's " + mTable + " does not hold together: " + what);
    }

  private:
    void Need(std::size_t at, std::size_t width) const {
        if (at > mBytes.size() || width > mBytes.size() - at) {
            Malformed("a field at byte " + std::to_string(at) + " lies past its end (" +
                      std::to_string(mBytes.size()) + " bytes)");
        }
    }

    std::span<const std::uint8_t> mBytes;
    std::string mTable;
};

// The bytes a table's Size names, which must lie inside what was copied.
std::span<const std::uint8_t> Sized(std::span<const std::uint8_t> table, const TableBytes& bytes) {
    const std::uint32_t size = bytes.Word(kSizeField);
    if (size > table.size()) {
        bytes.Malformed("its Size " + std::to_string(size) + " is more than the " +
                        std::to_string(table.size()) + " bytes the library gave");
    }
    return table.first(size);
}

BiosRange ReadRange(const TableBytes& bytes, std::size_t at) {
    BiosRange range;
    range.flags = bytes.Word(at + offsetof(FLASH_RANGE_RECORD, Flags));
    range.areaStart = bytes.Word(at + offsetof(FLASH_RANGE_RECORD, AreaStartOffset));
    range.areaLimit = bytes.Word(at + offsetof(FLASH_RANGE_RECORD, AreaStartLimitOffset));
    range.segment = bytes.Word(at + offsetof(FLASH_RANGE_RECORD, InSegment));
    range.flashStart = bytes.Word(at + offsetof(FLASH_RANGE_RECORD, BlockStartOffset));
    range.flashLimit = bytes.Word(at + offsetof(FLASH_RANGE_RECORD, BlockStartLimitOffset));
    return range;
}

// The library reads each range into the area's image at its area offset,
// as many bytes as it spans in the flash: a range must say the same length
// twice and lie inside the image.
std::string RangeProblem(const BiosArea& area) {
    for (std::size_t i = 0; i < area.ranges.size(); ++i) {
        const BiosRange& range = area.ranges[i];
        const std::string which = "range " + std::to_string(i + 1);
        if (range.flashLimit < range.flashStart || range.areaLimit < range.areaStart) {
            return which + " ends before it starts";
        }
        if (range.areaLimit - range.areaStart != range.flashLimit - range.flashStart) {
            return which + " spans another length in the flash than in the area";
        }
        if (range.areaLimit >= area.size) return which + " lies past the area's size";
    }
    return {};
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void SetSize(std::vector<std::uint8_t>& table) {
    const auto size = static_cast<std::uint32_t>(table.size());
    for (std::size_t i = 0; i < 4; ++i)
        table[kSizeField + i] = static_cast<std::uint8_t>(size >> (8 * i));
}

void Append(std::vector<std::uint8_t>& table, std::span<const std::uint8_t> bytes) {
    table.insert(table.end(), bytes.begin(), bytes.end());
}

void AppendRange(std::vector<std::uint8_t>& table, const BiosRange& range) {
    const std::uint32_t fields[] = {range.flags,   range.areaStart,  range.areaLimit,
                                    range.segment, range.flashStart, range.flashLimit};
    for (const std::uint32_t field : fields) {
        for (std::size_t i = 0; i < 4; ++i)
            table.push_back(static_cast<std::uint8_t>(field >> (8 * i)));
    }
}

}  // namespace

const BiosArea* BiosAreaTable::Find(const std::string& numberOrName) const {
    if (const auto number = ParseNumber(numberOrName, UINT32_MAX)) {
        for (const BiosArea& area : areas) {
            if (area.number == *number) return &area;
        }
    }
    for (const BiosArea& area : areas) {
        if (Lower(area.name) == Lower(numberOrName)) return &area;
    }
    return nullptr;
}

std::vector<BiosSegment> ParseSegmentTable(std::span<const std::uint8_t> table) {
    const TableBytes whole(table, "Flash Segment Table");
    if (!whole.Holds(0, "FLASHTBL")) whole.Malformed("it does not begin with \"FLASHTBL\"");
    const std::span<const std::uint8_t> sized = Sized(table, whole);
    const TableBytes bytes(sized, "Flash Segment Table");
    std::vector<BiosSegment> segments;
    for (std::size_t at = FlshSegmentTblHdrSize; at + FlshSegmentEntrySize <= sized.size();
         at += FlshSegmentEntrySize) {
        BiosSegment segment;
        segment.tag = bytes.Word(at + offsetof(FLASH_SEGMENT_ENTRY, SegmentTag));
        segment.partition = static_cast<std::uint16_t>(
            bytes.Number(at + offsetof(FLASH_SEGMENT_ENTRY, Partition), 2));
        segment.start = bytes.Number(at + offsetof(FLASH_SEGMENT_ENTRY, StartAddress), 8);
        segment.limit = bytes.Number(at + offsetof(FLASH_SEGMENT_ENTRY, LimitAddress), 8);
        segments.push_back(segment);
    }
    return segments;
}

BiosAreaTable ParseAreaTable(std::span<const std::uint8_t> table) {
    const TableBytes whole(table, "Flash Area Table");
    if (!whole.Holds(0, "AREA TBL")) whole.Malformed("it does not begin with \"AREA TBL\"");
    const std::span<const std::uint8_t> sized = Sized(table, whole);
    const TableBytes bytes(sized, "Flash Area Table");
    if (!bytes.Holds(kSignatureAt, "DGTL SIG")) bytes.Malformed("its signature block is missing");
    const std::uint32_t signatureSize = bytes.Word(kSignatureSizeAt);
    if (signatureSize < sizeof(FLASH_DIGITAL_SIGNATURE) ||
        signatureSize > sized.size() - kSignatureAt) {
        bytes.Malformed("its signature block's Size " + std::to_string(signatureSize) +
                        " does not fit");
    }
    BiosAreaTable fat;
    std::size_t at = kSignatureAt + signatureSize;
    fat.prefix = bytes.Copy(0, at);
    while (true) {
        const std::uint64_t size =
            bytes.Number(at + offsetof(FLASH_AREA_RECORD_HEADER, AreaSize), 8);
        if (size == 0) {
            if (sized.size() - at != LastFlshAreaRecSize) {
                bytes.Malformed("its closing area record is not its last " +
                                std::to_string(LastFlshAreaRecSize) + " bytes");
            }
            if (bytes.Word(at + FlshAreaRecHdrSize) != 0) {
                bytes.Malformed("its closing range record has Flags set");
            }
            fat.closing = bytes.Copy(at, LastFlshAreaRecSize);
            return fat;
        }
        const std::uint64_t ranges = (size + kRangeBytes - 1) / kRangeBytes;
        if (ranges > (sized.size() - at) / FlshRangeRecSize) {
            bytes.Malformed("an area of " + std::to_string(size) + " bytes has no room for its " +
                            std::to_string(ranges) + " ranges");
        }
        BiosArea area;
        area.number = bytes.Word(at + offsetof(FLASH_AREA_RECORD_HEADER, AreaNumber));
        area.tag = bytes.Word(at + offsetof(FLASH_AREA_RECORD_HEADER, AreaTag));
        area.attribute = bytes.Word(at + offsetof(FLASH_AREA_RECORD_HEADER, AreaAttribute));
        area.size = size;
        area.version = bytes.Text(at + offsetof(FLASH_AREA_RECORD_HEADER, VersionString),
                                  sizeof(FLASH_AREA_RECORD_HEADER::VersionString));
        area.name = bytes.Text(at + offsetof(FLASH_AREA_RECORD_HEADER, AreaName),
                               sizeof(FLASH_AREA_RECORD_HEADER::AreaName));
        area.header = bytes.Copy(at, FlshAreaRecHdrSize);
        std::size_t rangeAt = at + FlshAreaRecHdrSize;
        for (std::uint64_t i = 0; i < ranges; ++i, rangeAt += FlshRangeRecSize) {
            area.ranges.push_back(ReadRange(bytes, rangeAt));
        }
        if (bytes.Word(rangeAt) != 0) {
            bytes.Malformed("area " + std::to_string(area.number) +
                            "'s range list is not closed after its " + std::to_string(ranges) +
                            " ranges");
        }
        area.problem = RangeProblem(area);
        fat.areas.push_back(std::move(area));
        at = rangeAt + FlshRangeRecSize;
    }
}

std::vector<std::uint8_t> SingleAreaTable(const BiosAreaTable& fat, const BiosArea& area) {
    std::vector<std::uint8_t> table = fat.prefix;
    Append(table, area.header);
    for (const BiosRange& range : area.ranges) AppendRange(table, range);
    AppendRange(table, BiosRange{});
    Append(table, fat.closing);
    SetSize(table);
    return table;
}

std::vector<std::uint8_t> SingleRangeTable(const BiosAreaTable& fat, const BiosArea& area,
                                           std::size_t index) {
    std::vector<std::uint8_t> table = fat.prefix;
    const std::size_t headerAt = table.size();
    Append(table, area.header);
    // The library takes the number of range records from AreaSize, one for
    // each 64 KB: the record says the one range's size.
    const std::uint64_t size = std::min<std::uint64_t>(area.ranges.at(index).Bytes(), kRangeBytes);
    for (std::size_t i = 0; i < 8; ++i) {
        table[headerAt + offsetof(FLASH_AREA_RECORD_HEADER, AreaSize) + i] =
            static_cast<std::uint8_t>(size >> (8 * i));
    }
    AppendRange(table, area.ranges[index]);
    AppendRange(table, BiosRange{});
    Append(table, fat.closing);
    SetSize(table);
    return table;
}

const BiosSegment* SegmentOf(const std::vector<BiosSegment>& segments, const BiosRange& range) {
    for (const BiosSegment& segment : segments) {
        if (segment.tag == range.segment) return &segment;
    }
    return nullptr;
}

}  // namespace srvfw
