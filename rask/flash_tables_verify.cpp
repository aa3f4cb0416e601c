// The checks of the tables found in the BIOS's flash. Each is handed the
// bytes from the table's start to the end of what was read, and stays inside
// them: a Size that claims more than is there fails the check.
#include "bmc/debug_log.h"
#include "rask/flash_layer.h"
#include "rask/table_layouts.h"

namespace Rask_Private {

namespace {

constexpr std::uint64_t kFourGigabytes = 0x100000000;
constexpr std::uint64_t kFlagsBlockBytes = 0x10000;
constexpr unsigned kMinimumSegmentEntries = 2;
constexpr unsigned kNotifyAccessType = 7;
constexpr unsigned kNotifyLengthOffset = 44;
constexpr unsigned kNotifyDataAddrOffset = 56;

FUL_RETURN Refuse(FUL_RETURN code, const wchar_t* function, const wchar_t* words) {
    Dbg(L"%ls : %ls", 3, function, words);
    return code;
}

}  // namespace

FUL_RETURN VerifyFlashSegmentTableHeader(const std::uint8_t* table, std::size_t bytes) {
    constexpr const wchar_t* kName = L"VerifyFlashSegmentTableHeader";
    const TableBytes fst(table, bytes);
    if (!fst.HasText(0, kSegmentTableSearch)) {
        return Refuse(FUL_BAD_FST, kName, L"Flash Segment Table HeaderSearch string invalid.");
    }
    const auto size = fst.U32(kTableSizeOffset);
    if (!size || *size < FlshSegmentTblHdrSize + kMinimumSegmentEntries * FlshSegmentEntrySize) {
        return Refuse(FUL_BAD_FST, kName, L"Number of Flash Segment Table Entries less than 2.");
    }
    if (*size > fst.Size()) {
        return Refuse(FUL_BAD_FST, kName, L"Flash Segment Table Size runs past its bytes.");
    }
    return FUL_SUCCESS;
}

FUL_RETURN VerifyFlashSegmentTable(const std::uint8_t* table, std::size_t bytes) {
    constexpr const wchar_t* kName = L"VerifyFlashSegmentTable";
    if (const FUL_RETURN header = VerifyFlashSegmentTableHeader(table, bytes);
        header != FUL_SUCCESS) {
        return header;
    }
    const auto entries = ReadSegmentEntries(TableBytes(table, bytes));
    DumpSegmentEntries(kName, entries);
    for (const SegmentEntry& entry : entries) {
        // The flash regions are mapped at 32-bit physical addresses, so a
        // segment reaching past 4 GB could only be mapped somewhere else.
        if ((entry.Partition != 1 && entry.Partition != 2) ||
            entry.StartAddress > entry.LimitAddress || entry.LimitAddress >= kFourGigabytes) {
            return Refuse(FUL_BAD_FST, kName, L"Invalid Flash Segment Table-FST.");
        }
    }
    return FUL_SUCCESS;
}

FUL_RETURN VerifyFlashAreaTable(const std::uint8_t* table, std::size_t bytes) {
    constexpr const wchar_t* kName = L"VerifyFlashAreaTable";
    const AreaTableLayout layout = ReadAreaTableLayout(TableBytes(table, bytes));
    DumpAreaTable(kName, layout);
    switch (layout.Fault) {
        case AreaTableFault::kNone:
            break;
        case AreaTableFault::kHeaderSearch:
            return Refuse(FUL_BAD_FAT, kName, L"Flash Area Table HeaderSearch string invalid.");
        case AreaTableFault::kSignature:
            return Refuse(FUL_BAD_FAT, kName, L"Digital Signature is not correct.");
        case AreaTableFault::kSizes:
            return Refuse(FUL_BAD_FAT, kName, L"Flash Area Table Size does not hold its records.");
        case AreaTableFault::kOnlyClosingArea:
            return Refuse(FUL_BAD_FAT, kName, L"NumByteRemain = 0 Invalid Flash Area Table.");
        case AreaTableFault::kRecordDoesNotFit:
            return Refuse(FUL_BAD_FAT, kName, L"Area record does not fit the table.");
        case AreaTableFault::kClosingFlags:
            return Refuse(FUL_BAD_FAT, kName, L"Incorrect Flag.");
    }
    for (const AreaRecord& record : layout.Records) {
        if (record.Closing.BlockStartLimitOffset < record.Closing.BlockStartOffset) {
            return Refuse(FUL_BAD_FAT, kName, L"Range limit below its start.");
        }
        for (const AreaRange& range : record.Ranges) {
            if (range.BlockStartLimitOffset < range.BlockStartOffset) {
                return Refuse(FUL_BAD_FAT, kName, L"Range limit below its start.");
            }
        }
    }
    return FUL_SUCCESS;
}

FUL_RETURN VerifyFlashNotifyTable(const std::uint8_t* table, std::size_t bytes) {
    constexpr const wchar_t* kName = L"VerifyFlashNotifyTable";
    const TableBytes fnt(table, bytes);
    if (!fnt.HasText(0, kNotifyTableSearch) || !fnt.Contains(0, FlshNotifyTblSize)) {
        return Refuse(FUL_BAD_FNT, kName, L"Flash Notification Table HeaderSearch string invalid.");
    }
    if (*fnt.U32(kTableSizeOffset) != kNotifyAccessType) {
        return Refuse(FUL_BAD_FNT, kName, L"Flash Notification Table AccessType is not 7.");
    }
    // The notify field is read and programmed inside the flags block the
    // library maps (the 64 KB holding DataAddr), and is used up bit by bit:
    // an empty field, or one running out of its block, could only be served
    // by reading or writing past that mapping.
    const std::uint16_t length = *fnt.U16(kNotifyLengthOffset);
    const std::uint64_t dataAddr = *fnt.U64(kNotifyDataAddrOffset);
    Dbg(L"%ls : NotifyLength = %u, DataAddr = 0x%llx", 3, kName, static_cast<unsigned>(length),
        static_cast<unsigned long long>(dataAddr));
    if (length == 0 || dataAddr >= kFourGigabytes ||
        dataAddr % kFlagsBlockBytes + length > kFlagsBlockBytes) {
        return Refuse(FUL_BAD_FNT, kName, L"Notify field does not lie inside its flags block.");
    }
    return FUL_SUCCESS;
}

}  // namespace Rask_Private
