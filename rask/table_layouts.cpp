#include "rask/table_layouts.h"

#include <utility>

#include "bmc/debug_log.h"

namespace Rask_Private {

std::vector<SegmentEntry> ReadSegmentEntries(const TableBytes& fst) {
    std::vector<SegmentEntry> entries;
    const auto size = fst.U32(kTableSizeOffset);
    if (!size || *size < FlshSegmentTblHdrSize) return entries;
    const TableBytes table = fst.Sub(0, *size);
    for (std::uint64_t at = FlshSegmentTblHdrSize; table.Contains(at, FlshSegmentEntrySize);
         at += FlshSegmentEntrySize) {
        entries.push_back(
            {*table.U32(at), *table.U16(at + 4), *table.U64(at + 8), *table.U64(at + 16)});
    }
    return entries;
}

std::optional<AreaRange> ReadAreaRange(const TableBytes& bytes, std::uint64_t offset) {
    if (!bytes.Contains(offset, FlshRangeRecSize)) return std::nullopt;
    return AreaRange{*bytes.U32(offset),      *bytes.U32(offset + 4),  *bytes.U32(offset + 8),
                     *bytes.U32(offset + 12), *bytes.U32(offset + 16), *bytes.U32(offset + 20)};
}

AreaTableLayout ReadAreaTableLayout(const TableBytes& table) {
    AreaTableLayout layout;
    if (!table.HasText(0, kAreaTableSearch)) {
        layout.Fault = AreaTableFault::kHeaderSearch;
        return layout;
    }
    if (!table.HasText(FlshAreaTblHdrSize, kDigitalSignatureSearch)) {
        layout.Fault = AreaTableFault::kSignature;
        return layout;
    }
    const auto size = table.U32(kTableSizeOffset);
    const auto signatureSize = table.U32(kDigitalSignatureSizeOffset);
    if (!size || !signatureSize || *size > table.Size() ||
        std::uint64_t{FlshAreaTblHdrSize} + *signatureSize > *size) {
        layout.Fault = AreaTableFault::kSizes;
        return layout;
    }
    layout.NumByteRemain = *size - FlshAreaTblHdrSize - *signatureSize;
    if (layout.NumByteRemain == LastFlshAreaRecSize) {
        layout.Fault = AreaTableFault::kOnlyClosingArea;
        return layout;
    }

    // Every read below stays inside Size, not only inside the buffer.
    const TableBytes fat = table.Sub(0, *size);
    std::uint64_t at = std::uint64_t{FlshAreaTblHdrSize} + *signatureSize;
    std::uint64_t remain = layout.NumByteRemain;
    while (remain != 0) {
        const auto areaSize = fat.U64(at + 28);
        if (!areaSize || remain < LastFlshAreaRecSize) {
            layout.Fault = AreaTableFault::kRecordDoesNotFit;
            return layout;
        }
        // Counted before the record size is formed, so that no AreaSize can
        // make the size wrap.
        const std::uint64_t ranges =
            *areaSize / kAreaRangeBytes + (*areaSize % kAreaRangeBytes != 0);
        const bool fits = *areaSize == 0
                              ? remain == LastFlshAreaRecSize
                              : ranges <= (remain - LastFlshAreaRecSize) / FlshRangeRecSize;
        if (!fits) {
            layout.Fault = AreaTableFault::kRecordDoesNotFit;
            return layout;
        }
        // The record fits inside Size, so each of its range records is there.
        AreaRecord record;
        record.AreaSize = *areaSize;
        const std::uint64_t firstRange = at + FlshAreaRecHdrSize;
        for (std::uint64_t i = 0; i < ranges; ++i) {
            record.Ranges.push_back(*ReadAreaRange(fat, firstRange + i * FlshRangeRecSize));
        }
        record.Closing = *ReadAreaRange(fat, firstRange + ranges * FlshRangeRecSize);
        const std::uint64_t recordSize = LastFlshAreaRecSize + ranges * FlshRangeRecSize;
        const bool closedWell = record.Closing.Flags == 0;
        layout.Records.push_back(std::move(record));
        if (!closedWell) {
            layout.Fault = AreaTableFault::kClosingFlags;
            return layout;
        }
        at += recordSize;
        remain -= recordSize;
    }
    return layout;
}

void DumpSegmentEntries(const wchar_t* function, const std::vector<SegmentEntry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SegmentEntry& entry = entries[i];
        Dbg(L"%ls : Segment %zu: SegmentTag = 0x%x, Partition = %u, Start = 0x%llx, Limit = 0x%llx",
            3, function, i, entry.SegmentTag, static_cast<unsigned>(entry.Partition),
            static_cast<unsigned long long>(entry.StartAddress),
            static_cast<unsigned long long>(entry.LimitAddress));
    }
}

void DumpAreaTable(const wchar_t* function, const AreaTableLayout& layout) {
    Dbg(L"%ls : NumByteRemain = %llu, %zu area records", 3, function,
        static_cast<unsigned long long>(layout.NumByteRemain), layout.Records.size());
    for (std::size_t i = 0; i < layout.Records.size(); ++i) {
        const AreaRecord& record = layout.Records[i];
        Dbg(L"%ls : Area %zu: AreaSize = 0x%llx, %zu ranges", 3, function, i,
            static_cast<unsigned long long>(record.AreaSize), record.Ranges.size());
        for (const AreaRange& range : record.Ranges) {
            Dbg(L"%ls :   Flags = 0x%x, Area 0x%x-0x%x, InSegment = 0x%x, Block 0x%08x-0x%08x", 3,
                function, range.Flags, range.AreaStartOffset, range.AreaStartLimitOffset,
                range.InSegment, range.BlockStartOffset, range.BlockStartLimitOffset);
        }
    }
}

TableBytes HostAreaTableBytes(const FLASH_AREA_TABLE* area) {
    if (area == nullptr) return TableBytes();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(area);
    const auto size = TableBytes(bytes, sizeof(FLASH_AREA_TABLE)).U32(kTableSizeOffset);
    return TableBytes(bytes, *size);
}

}  // namespace Rask_Private
