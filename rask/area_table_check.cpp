// The checks of an area table a host passes in to read, write or erase.
// The walks over it trust what these let through, so every platform gets
// the same checks of form: the records fit inside the table's own Size, and
// every range lies inside the FST segment it names (its BlockStartOffset and
// BlockStartLimitOffset are physical addresses). Only the rule of which
// partition a write may touch depends on the platform.
#include "bmc/debug_log.h"
#include "rask/flash_layer.h"
#include "rask/table_layouts.h"

namespace Rask_Private {

namespace {

struct HostTableRules {
    const wchar_t* function;
    // Only segments of the secondary flash may be written or erased.
    bool secondaryOnly;
    const wchar_t* invalidInput;
    const wchar_t* incorrectFlag;
    const wchar_t* invalidTag;
    const wchar_t* wrongRange;
};

constexpr HostTableRules kReadRules{L"VerifyFATForRd",       false,
                                    L"Invalid FAT input.",   L"Incorrect Flag.",
                                    L"Invalid segment tag.", L"Wrong flash range."};
constexpr HostTableRules kWriteRules{L"VerifyFATForWr",
                                     true,
                                     L"Error: Invalid FAT input.",
                                     L"Error: Incorrect Flag.",
                                     L"Error: Invalid segment tag",
                                     L"Error: Wrong flash range."};

FUL_RETURN Refuse(const HostTableRules& rules, const wchar_t* words) {
    Dbg(L"%ls : %ls", 3, rules.function, words);
    return FUL_BAD_AREA_TABLE;
}

bool LiesInside(const AreaRange& range, const SegmentEntry& segment) {
    return segment.StartAddress <= range.BlockStartOffset &&
           range.BlockStartOffset <= range.BlockStartLimitOffset &&
           range.BlockStartLimitOffset <= segment.LimitAddress;
}

FUL_RETURN CheckRange(const HostTableRules& rules, const AreaRange& range,
                      const std::vector<SegmentEntry>& segments) {
    // The walks end an area's ranges at the first Flags of 0, so one inside
    // the count its AreaSize gives would make them read the rest of the
    // record as the next one.
    if (range.Flags == 0) return Refuse(rules, rules.invalidInput);
    bool named = false;
    for (const SegmentEntry& segment : segments) {
        if (segment.SegmentTag != range.InSegment) continue;
        if (rules.secondaryOnly && segment.Partition != 2) continue;
        named = true;
        if (!LiesInside(range, segment)) return Refuse(rules, rules.wrongRange);
    }
    return named ? FUL_SUCCESS : Refuse(rules, rules.invalidTag);
}

FUL_RETURN CheckHostAreaTable(const HostTableRules& rules, const FLASH_AREA_TABLE* area,
                              const std::vector<std::uint8_t>& fst) {
    if (area == nullptr) return Refuse(rules, rules.invalidInput);
    const AreaTableLayout layout = ReadAreaTableLayout(HostAreaTableBytes(area));
    DumpAreaTable(rules.function, layout);
    if (layout.Fault == AreaTableFault::kClosingFlags) return Refuse(rules, rules.incorrectFlag);
    // Nothing but the closing area, or less, names nothing to work on.
    if (layout.Fault != AreaTableFault::kNone || layout.NumByteRemain <= LastFlshAreaRecSize) {
        return Refuse(rules, rules.invalidInput);
    }
    const std::vector<SegmentEntry> segments = ReadSegmentEntries(TableBytes(fst));
    for (const AreaRecord& record : layout.Records) {
        for (const AreaRange& range : record.Ranges) {
            if (const FUL_RETURN result = CheckRange(rules, range, segments);
                result != FUL_SUCCESS) {
                return result;
            }
        }
    }
    return FUL_SUCCESS;
}

}  // namespace

FUL_RETURN VerifyFATForRd(const FLASH_AREA_TABLE* area, const std::vector<std::uint8_t>& fst) {
    return CheckHostAreaTable(kReadRules, area, fst);
}

FUL_RETURN VerifyFATForWr(const FLASH_AREA_TABLE* area, const std::vector<std::uint8_t>& fst) {
    // The chipsets of platforms 9, 11 and 15 keep no partition rule: their
    // BIOS lets a host write wherever its tables name.
    HostTableRules rules = kWriteRules;
    rules.secondaryOnly = !IsSpiCapablePlatform(g_lbPlatform);
    return CheckHostAreaTable(rules, area, fst);
}

}  // namespace Rask_Private
