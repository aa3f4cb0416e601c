// The BIOS's Flash Segment Table and Flash Area Table read out of their
// bytes into plain records, once, for every check and walk that needs them.
// The readers only lay the bytes out and say what does not add up; what a
// caller refuses is the caller's rule.
#ifndef SRVFW_RASK_TABLE_LAYOUTS_H
#define SRVFW_RASK_TABLE_LAYOUTS_H

#include <cstdint>
#include <optional>
#include <vector>

#include "include/rask_interface.h"
#include "rask/table_bytes.h"

namespace Rask_Private {

inline constexpr char kSegmentTableSearch[] = "FLASHTBL";
inline constexpr char kAreaTableSearch[] = "AREA TBL";
inline constexpr char kNotifyTableSearch[] = "NOTIFYBT";
inline constexpr char kDigitalSignatureSearch[] = "DGTL SIG";
inline constexpr unsigned kTableSizeOffset = 28;
inline constexpr unsigned kDigitalSignatureSizeOffset = FlshAreaTblHdrSize + 28;  // 64
inline constexpr std::uint64_t kAreaRangeBytes = 0x10000;  // one range record per 64 KB

struct SegmentEntry {
    std::uint32_t SegmentTag = 0;
    std::uint16_t Partition = 0;
    std::uint64_t StartAddress = 0;
    std::uint64_t LimitAddress = 0;
};

// The entries (Size - 32) / 32 gives, as far as both Size and the bytes
// reach; nothing when the table is shorter than its header.
std::vector<SegmentEntry> ReadSegmentEntries(const TableBytes& fst);

struct AreaRange {
    std::uint32_t Flags = 0;
    std::uint32_t AreaStartOffset = 0;
    std::uint32_t AreaStartLimitOffset = 0;
    std::uint32_t InSegment = 0;
    std::uint32_t BlockStartOffset = 0;
    std::uint32_t BlockStartLimitOffset = 0;
};

std::optional<AreaRange> ReadAreaRange(const TableBytes& bytes, std::uint64_t offset);

struct AreaRecord {
    std::uint64_t AreaSize = 0;
    std::vector<AreaRange> Ranges;  // the ceil(AreaSize / 64 KB) its size gives
    AreaRange Closing;              // the range record after them
};

// What keeps the bytes from being an area table, first found first.
enum class AreaTableFault {
    kNone,
    kHeaderSearch,      // not "AREA TBL"
    kSignature,         // no "DGTL SIG" block at offset 36
    kSizes,             // Size beyond the bytes, or too small for its signature block
    kOnlyClosingArea,   // nothing but the closing area record
    kRecordDoesNotFit,  // a record runs past the table, or a zero-size one is not the rest
    kClosingFlags,      // a closing range record whose Flags are not 0
};

struct AreaTableLayout {
    AreaTableFault Fault = AreaTableFault::kNone;
    std::uint64_t NumByteRemain = 0;  // bytes after the signature block
    std::vector<AreaRecord> Records;  // as far as they were read
};

// Lays the table out by each record's AreaSize, as far as Size and the
// bytes reach.
AreaTableLayout ReadAreaTableLayout(const TableBytes& table);

// The level-3 dumps of the tables as a check reads them, each line led by
// the checking function's name.
void DumpSegmentEntries(const wchar_t* function, const std::vector<SegmentEntry>& entries);
void DumpAreaTable(const wchar_t* function, const AreaTableLayout& layout);

// A host's area table as its bytes: as many as its own Size says (the
// header's 36 are read to learn it). Empty for a null table.
TableBytes HostAreaTableBytes(const FLASH_AREA_TABLE* area);

}  // namespace Rask_Private

#endif
