// The flash table builders: the byte layouts at their offsets, the sizes a
// walk of the area table counts with, and each deliberate malformation
// showing where a check must see it and nowhere else.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/firmware/board_tables.h"
#include "sim/firmware/flash_tables.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint64_t Le(const Bytes& bytes, std::size_t at, unsigned width) {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= std::uint64_t{bytes.at(at + i)} << (8 * i);
    return value;
}

std::string Text(const Bytes& bytes, std::size_t at, std::size_t width) {
    std::string text;
    for (std::size_t i = 0; i < width && bytes.at(at + i) != 0; ++i) text += char(bytes[at + i]);
    return text;
}

std::optional<std::size_t> Find(const Bytes& bytes, const std::string& what) {
    const auto at = std::search(bytes.begin(), bytes.end(), what.begin(), what.end());
    if (at == bytes.end()) return std::nullopt;
    return at - bytes.begin();
}

Bytes From(const Bytes& bytes, std::size_t at) {
    return {bytes.begin() + at, bytes.end()};
}

// The walk an update program makes over an area table: from the end of the
// signature block, records of 444 + 24 n bytes (n = ceil(AreaSize / 64 KB))
// until the record of AreaSize 0, which must be exactly what is left.
// Returns the records' sizes, or nothing when the walk does not come out
// even.
std::optional<std::vector<std::uint64_t>> WalkAreas(const Bytes& fat) {
    const std::uint64_t size = Le(fat, 28, 4);
    std::uint64_t left = size - Le(fat, 64, 4) - 36;
    std::uint64_t at = 36 + Le(fat, 64, 4);
    std::vector<std::uint64_t> records;
    while (left != 0) {
        const std::uint64_t areaSize = Le(fat, at + 28, 8);
        if (areaSize == 0) {
            if (left != 444) return std::nullopt;
            records.push_back(444);
            return records;
        }
        const std::uint64_t record = 444 + 24 * ((areaSize + 0xFFFF) / 0x10000);
        if (record > left) return std::nullopt;
        records.push_back(record);
        at += record;
        left -= record;
    }
    return std::nullopt;
}

// A 1 MB part's tables with a notify field.
sim::FlashTables Board() {
    sim::BoardTablesPlan plan;
    plan.partBase = 0xFFF00000;
    plan.partBytes = 0x100000;
    plan.flagsBlock = 0xFFFC0000;
    plan.romId = "SRVBD010";
    plan.notify = sim::FlashNotifyTable{};
    plan.notify->notifyLength = 16;
    plan.notify->dataAddr = 0xFFFC0010;
    return sim::BoardFlashTables(plan);
}

TEST(FlashTables, SegmentTableHoldsEveryEntryAtItsOffset) {
    const Bytes fst =
        sim::SegmentTableBytes({{7, 1, 0xFFFE0000, 0xFFFFFFFF}, {9, 2, 0xFFF00000, 0xFFFDFFFF}});
    ASSERT_EQ(fst.size(), 96u);
    EXPECT_EQ(Text(fst, 0, 8), "FLASHTBL");
    EXPECT_EQ(Le(fst, 28, 4), 96u);
    EXPECT_EQ(Le(fst, 32, 4), 7u);
    EXPECT_EQ(Le(fst, 36, 2), 1u);
    EXPECT_EQ(Le(fst, 40, 8), 0xFFFE0000u);
    EXPECT_EQ(Le(fst, 48, 8), 0xFFFFFFFFu);
    EXPECT_EQ(Le(fst, 64, 4), 9u);
    EXPECT_EQ(Le(fst, 68, 2), 2u);
    EXPECT_EQ(Le(fst, 72, 8), 0xFFF00000u);
    EXPECT_EQ(Le(fst, 80, 8), 0xFFFDFFFFu);
}

TEST(FlashTables, AnAreaOf65537BytesHasTwoRangesAndAClosingOneIn492Bytes) {
    const sim::FlashArea area =
        sim::FlashArea::Blocks(5, "OEM Logo", "SRVBD010", 1, 0xFFF40000, 65537);
    ASSERT_EQ(area.ranges.size(), 2u);
    const Bytes fat = sim::AreaTableBytes({area}, 64);
    const std::size_t first = 36 + 96;
    EXPECT_EQ(Text(fat, 0, 8), "AREA TBL");
    EXPECT_EQ(Text(fat, 36, 8), "DGTL SIG");
    EXPECT_EQ(Le(fat, 64, 4), 96u) << "the signature block's size";
    EXPECT_EQ(Le(fat, 28, 4), first + 492 + 444);
    EXPECT_EQ(fat.size(), first + 492 + 444);
    EXPECT_EQ(WalkAreas(fat), (std::vector<std::uint64_t>{492, 444}));
    EXPECT_EQ(Le(fat, first, 4), 5u);
    EXPECT_EQ(Le(fat, first + 28, 8), 65537u);
    EXPECT_EQ(Text(fat, first + 36, 128), "SRVBD010");
    EXPECT_EQ(Text(fat, first + 164, 256), "OEM Logo");
    const std::size_t ranges = first + 420;
    struct Range {
        std::uint64_t flags, areaStart, areaLimit, segment, blockStart, blockLimit;
    } expected[] = {{1, 0, 0xFFFF, 1, 0xFFF40000, 0xFFF4FFFF},
                    {1, 0x10000, 0x10000, 1, 0xFFF50000, 0xFFF50000},
                    {0, 0, 0, 0, 0, 0}};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("range " + std::to_string(i));
        const std::size_t at = ranges + 24 * i;
        EXPECT_EQ(Le(fat, at, 4), expected[i].flags);
        EXPECT_EQ(Le(fat, at + 4, 4), expected[i].areaStart);
        EXPECT_EQ(Le(fat, at + 8, 4), expected[i].areaLimit);
        EXPECT_EQ(Le(fat, at + 12, 4), expected[i].segment);
        EXPECT_EQ(Le(fat, at + 16, 4), expected[i].blockStart);
        EXPECT_EQ(Le(fat, at + 20, 4), expected[i].blockLimit);
    }
    // The closing area record: AreaSize 0 and a closing range of Flags 0.
    EXPECT_EQ(Le(fat, first + 492 + 28, 8), 0u);
    EXPECT_EQ(Le(fat, first + 492 + 420, 4), 0u);
}

TEST(FlashTables, NotifyTableCarriesItsFieldAndAccessType) {
    sim::FlashNotifyTable notify;
    notify.notifyLength = 16;
    notify.dataAddr = 0xFFFC0010;
    const Bytes fnt = sim::NotifyTableBytes(notify);
    ASSERT_EQ(fnt.size(), 96u);
    EXPECT_EQ(Text(fnt, 0, 8), "NOTIFYBT");
    EXPECT_EQ(Le(fnt, 28, 4), 7u);
    EXPECT_EQ(Le(fnt, 44, 2), 16u);
    EXPECT_EQ(Le(fnt, 56, 8), 0xFFFC0010u);
}

// The tables of a section, as an update program finds them by signature.
struct Found {
    std::optional<Bytes> fnt, fst, fat;
};

Found FindTables(const Bytes& section) {
    Found found;
    if (const auto at = Find(section, "NOTIFYBT")) found.fnt = From(section, *at);
    if (const auto at = Find(section, "FLASHTBL")) found.fst = From(section, *at);
    if (const auto at = Find(section, "AREA TBL")) found.fat = From(section, *at);
    return found;
}

TEST(FlashTables, TheBoardsSectionIsWellFormed) {
    const Found found = FindTables(sim::TablesSectionBytes(Board()));
    ASSERT_TRUE(found.fnt && found.fst && found.fat);
    EXPECT_EQ(Le(*found.fnt, 28, 4), 7u);
    EXPECT_EQ(Le(*found.fst, 28, 4), 32u + 3 * 32);
    const auto walk = WalkAreas(*found.fat);
    ASSERT_TRUE(walk);
    EXPECT_EQ(walk->size(), 5u) << "four areas and the closing one";
}

TEST(FlashTables, EachMalformationShowsWhereACheckLooks) {
    const std::size_t firstArea = 36 + 96;
    const std::size_t firstRange = firstArea + 420;
    struct Case {
        sim::TablesFault fault;
        std::function<void(const Found&)> expect;
    } cases[] = {
        {sim::TablesFault::kNoNotifyTable,
         [](const Found& f) {
             EXPECT_FALSE(f.fnt);
             EXPECT_TRUE(f.fst && f.fat);
         }},
        {sim::TablesFault::kNoSegmentTable,
         [](const Found& f) {
             EXPECT_FALSE(f.fst);
             EXPECT_TRUE(f.fnt && f.fat);
         }},
        {sim::TablesFault::kNoAreaTable,
         [](const Found& f) {
             EXPECT_FALSE(f.fat);
             EXPECT_TRUE(f.fnt && f.fst);
         }},
        {sim::TablesFault::kSegmentTableOneEntry,
         [](const Found& f) { EXPECT_EQ(Le(*f.fst, 28, 4), 64u); }},
        {sim::TablesFault::kSegmentPartition3,
         [](const Found& f) { EXPECT_EQ(Le(*f.fst, 36, 2), 3u); }},
        {sim::TablesFault::kSegmentStartAboveLimit,
         [](const Found& f) { EXPECT_GT(Le(*f.fst, 40, 8), Le(*f.fst, 48, 8)); }},
        {sim::TablesFault::kAreaTableOnlyClosing,
         [](const Found& f) {
             EXPECT_EQ(Le(*f.fat, 28, 4) - Le(*f.fat, 64, 4) - 36, 444u);
             EXPECT_EQ(Le(*f.fat, firstArea + 28, 8), 0u);
         }},
        {sim::TablesFault::kBadSignatureBlock,
         [](const Found& f) { EXPECT_NE(Text(*f.fat, 36, 8), "DGTL SIG"); }},
        {sim::TablesFault::kClosingRangeFlags1,
         [&](const Found& f) {
             const std::uint64_t ranges = (Le(*f.fat, firstArea + 28, 8) + 0xFFFF) / 0x10000;
             EXPECT_EQ(Le(*f.fat, firstRange + 24 * ranges, 4), 1u);
             EXPECT_TRUE(WalkAreas(*f.fat)) << "the sizes still add up";
         }},
        {sim::TablesFault::kRangeStartAboveLimit,
         [&](const Found& f) {
             EXPECT_LT(Le(*f.fat, firstRange + 20, 4), Le(*f.fat, firstRange + 16, 4));
         }},
        {sim::TablesFault::kRangeOutsideSegment,
         [&](const Found& f) {
             const std::uint64_t segmentLimit = Le(*f.fst, 48, 8);  // segment 1 is the first
             EXPECT_EQ(Le(*f.fat, firstRange + 12, 4), 1u);
             EXPECT_GT(Le(*f.fat, firstRange + 16, 4), segmentLimit);
             EXPECT_GE(Le(*f.fat, firstRange + 20, 4), Le(*f.fat, firstRange + 16, 4));
         }},
        {sim::TablesFault::kAreaTableSizeMismatch,
         [](const Found& f) {
             EXPECT_FALSE(WalkAreas(*f.fat));
             EXPECT_LE(Le(*f.fat, 28, 4), f.fat->size()) << "the bytes it claims are there";
         }},
        {sim::TablesFault::kAreaSizeMismatch,
         [](const Found& f) { EXPECT_FALSE(WalkAreas(*f.fat)); }},
        {sim::TablesFault::kNotifyAccessType,
         [](const Found& f) { EXPECT_NE(Le(*f.fnt, 28, 4), 7u); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(sim::TablesFaultName(c.fault)));
        EXPECT_FALSE(sim::IsVolumeFault(c.fault));
        const Found found = FindTables(sim::TablesSectionBytes(Board(), c.fault));
        c.expect(found);
    }
}

TEST(FlashTables, FaultNamesRoundTripAndVolumeFaultsLeaveTheTablesAlone) {
    const Bytes good = sim::TablesSectionBytes(Board());
    for (const std::string_view name : sim::TablesFaultNames()) {
        SCOPED_TRACE(std::string(name));
        const auto fault = sim::TablesFaultByName(name);
        ASSERT_TRUE(fault);
        EXPECT_EQ(sim::TablesFaultName(*fault), name);
        if (sim::IsVolumeFault(*fault)) {
            EXPECT_EQ(sim::TablesSectionBytes(Board(), *fault), good);
        }
    }
    EXPECT_FALSE(sim::TablesFaultByName("fst-partition-4"));
}

TEST(FlashTables, FaultsThatNeedAnAreaOrSegmentSayWhenThereIsNone) {
    sim::FlashTables empty;
    for (const auto fault :
         {sim::TablesFault::kSegmentPartition3, sim::TablesFault::kRangeOutsideSegment,
          sim::TablesFault::kNotifyAccessType}) {
        EXPECT_THROW(sim::TablesSectionBytes(empty, fault), std::invalid_argument);
    }
}

}  // namespace
