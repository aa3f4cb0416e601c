// srvfw's reading of the BIOS's flash tables and the area tables it hands
// back to the library: the areas and ranges as the FAT gives them, tables
// that do not hold together refused, and the one-area and one-range tables
// laid out as the library walks them.
#include <gtest/gtest.h>

#include "host/bios/flash_tables.h"
#include "host/bios/write.h"
#include "host/frame/failure.h"
#include "tests/host/bios_table_builder.h"

namespace {

using srvfw::BiosAreaTable;
using test_support::BuildFat;
using test_support::PutLittle;

std::uint32_t Word(const std::vector<std::uint8_t>& table, std::size_t at) {
    return table[at] | table[at + 1] << 8 | table[at + 2] << 16 |
           static_cast<std::uint32_t>(table[at + 3]) << 24;
}

const std::vector<test_support::TestArea> kAreas = {
    {1, "Boot Block", "1.0", {0xFFFE0000, 0xFFFF0000}, 1},
    {2, "Main BIOS", "R01.02", {0xFFF20000, 0xFFF30000, 0xFFF40000}},
};

// Where the first area record starts in a table BuildFat makes.
constexpr std::size_t kFirstRecord = FlshAreaTblHdrSize + test_support::kTestSignatureSize;

TEST(BiosTables, TheAreasAndTheirRangesAreReadAsTheFatGivesThem) {
    const BiosAreaTable fat = srvfw::ParseAreaTable(BuildFat(kAreas));
    ASSERT_EQ(fat.areas.size(), 2u);
    const srvfw::BiosArea& main = fat.areas[1];
    EXPECT_EQ(main.number, 2u);
    EXPECT_EQ(main.name, "Main BIOS");
    EXPECT_EQ(main.version, "R01.02");
    EXPECT_EQ(main.size, 0x30000u);
    ASSERT_EQ(main.ranges.size(), 3u);
    EXPECT_EQ(main.ranges[2].areaStart, 0x20000u);
    EXPECT_EQ(main.ranges[2].flashStart, 0xFFF40000u);
    EXPECT_EQ(main.ranges[2].flashLimit, 0xFFF4FFFFu);
    EXPECT_EQ(main.ranges[2].segment, 2u);
    EXPECT_TRUE(main.problem.empty()) << main.problem;
    EXPECT_EQ(fat.closing.size(), LastFlshAreaRecSize);
    EXPECT_EQ(fat.prefix.size(), kFirstRecord);
}

TEST(BiosTables, AnAreaIsFoundByItsNumberOrItsNameInAnyCase) {
    const BiosAreaTable fat = srvfw::ParseAreaTable(BuildFat(kAreas));
    const struct {
        const char* word;
        int number;  // 0: none
    } cases[] = {{"2", 2}, {"0x1", 1}, {"main bios", 2}, {"MAIN BIOS", 2}, {"Boot", 0}, {"3", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        const srvfw::BiosArea* area = fat.Find(c.word);
        if (c.number == 0) {
            EXPECT_EQ(area, nullptr);
        } else {
            ASSERT_NE(area, nullptr);
            EXPECT_EQ(area->number, static_cast<std::uint32_t>(c.number));
        }
    }
}

TEST(BiosTables, AFatThatDoesNotHoldTogetherIsRefusedWithWhatIsWrong) {
    const std::vector<std::uint8_t> good = BuildFat(kAreas);
    const std::size_t secondRecord = kFirstRecord + FlshAreaRecHdrSize + FlshRangeRecSize * 3;
    const struct {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> spoil;
        const char* said;
    } cases[] = {
        {"Size past the bytes", [](auto& t) { PutLittle(t, 28, t.size() + 1, 4); }, "its Size"},
        {"cut short", [](auto& t) { t.resize(30); }, "past its end"},
        {"no signature", [](auto& t) { t[36] = 'X'; }, "signature block is missing"},
        {"signature past the end", [](auto& t) { PutLittle(t, 64, t.size(), 4); },
         "signature block's Size"},
        {"range list not closed",
         [](auto& t) {
             PutLittle(t, kFirstRecord + FlshAreaRecHdrSize + 2 * FlshRangeRecSize, 1, 4);
         },
         "range list is not closed"},
        {"area past the end",
         [&](auto& t) { PutLittle(t, secondRecord + 28, 0x10000ULL * 1000, 8); }, "no room"},
        {"closing record not last",
         [](auto& t) {
             t.resize(t.size() + 24);
             PutLittle(t, 28, t.size(), 4);
         },
         "closing area record"},
        {"closing range with Flags",
         [](auto& t) { PutLittle(t, t.size() - FlshRangeRecSize, 1, 4); }, "closing range record"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> table = good;
        c.spoil(table);
        try {
            srvfw::ParseAreaTable(table);
            ADD_FAILURE() << "accepted";
        } catch (const srvfw::Failure& failure) {
            EXPECT_NE(std::string(failure.what()).find(c.said), std::string::npos)
                << failure.what();
        }
    }
}

// The library reads a range's bytes into the image at its area offset:
// one that does not fit the image makes the area unusable, not srvfw's
// buffers overrun.
TEST(BiosTables, ARangeOutsideItsAreaMakesTheAreaUnusable) {
    const struct {
        const char* name;
        // Fields of the range record (offset, value).
        std::vector<std::pair<std::size_t, std::uint32_t>> fields;
        const char* said;
    } cases[] = {
        {"past the area", {{4, 0x30000}, {8, 0x3FFFF}}, "past the area's size"},
        {"other length", {{20, 0xFFF47FFF}}, "another length"},
        {"ends before it starts", {{8, 0}}, "ends before"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> table = BuildFat(kAreas);
        const std::size_t lastRange = kFirstRecord + FlshAreaRecHdrSize + FlshRangeRecSize * 3 +
                                      FlshAreaRecHdrSize + FlshRangeRecSize * 2;
        for (const auto& [field, value] : c.fields) PutLittle(table, lastRange + field, value, 4);
        const BiosAreaTable fat = srvfw::ParseAreaTable(table);
        EXPECT_NE(fat.areas[1].problem.find(c.said), std::string::npos) << fat.areas[1].problem;
        EXPECT_TRUE(fat.areas[0].problem.empty());
    }
}

TEST(BiosTables, TheOneAreaTableHoldsTheFatsHeaderTheAreaAndTheClosingRecord) {
    const std::vector<std::uint8_t> original = BuildFat(kAreas);
    const BiosAreaTable fat = srvfw::ParseAreaTable(original);
    const std::vector<std::uint8_t> table = srvfw::SingleAreaTable(fat, fat.areas[1]);
    const std::size_t record = FlshAreaRecHdrSize + FlshRangeRecSize * 4;
    ASSERT_EQ(table.size(), kFirstRecord + record + LastFlshAreaRecSize);
    EXPECT_EQ(Word(table, 28), table.size());
    EXPECT_TRUE(
        std::equal(table.begin() + 32, table.begin() + kFirstRecord, original.begin() + 32));
    // The area's record as the FAT holds it, after the prefix.
    const std::size_t inOriginal = kFirstRecord + FlshAreaRecHdrSize + FlshRangeRecSize * 3;
    EXPECT_TRUE(std::equal(table.begin() + kFirstRecord, table.begin() + kFirstRecord + record,
                           original.begin() + inOriginal));
    EXPECT_TRUE(std::equal(table.end() - LastFlshAreaRecSize, table.end(),
                           original.end() - LastFlshAreaRecSize));
    // It reads back as one area.
    const BiosAreaTable again = srvfw::ParseAreaTable(table);
    ASSERT_EQ(again.areas.size(), 1u);
    EXPECT_EQ(again.areas[0].ranges.size(), 3u);
}

TEST(BiosTables, TheOneRangeTableSaysTheRangesSizeAndHoldsOnlyThatRange) {
    const BiosAreaTable fat = srvfw::ParseAreaTable(BuildFat(kAreas));
    const std::vector<std::uint8_t> table = srvfw::SingleRangeTable(fat, fat.areas[1], 2);
    ASSERT_EQ(table.size(),
              kFirstRecord + FlshAreaRecHdrSize + 2 * FlshRangeRecSize + LastFlshAreaRecSize);
    EXPECT_EQ(Word(table, 28), table.size());
    const BiosAreaTable again = srvfw::ParseAreaTable(table);
    ASSERT_EQ(again.areas.size(), 1u);
    EXPECT_EQ(again.areas[0].size, 0x10000u);
    ASSERT_EQ(again.areas[0].ranges.size(), 1u);
    // The range keeps its place in the area's image.
    EXPECT_EQ(again.areas[0].ranges[0].areaStart, 0x20000u);
    EXPECT_EQ(again.areas[0].ranges[0].flashStart, 0xFFF40000u);
}

TEST(BiosTables, TheSegmentsAreReadAndAFstPastItsBytesRefused) {
    std::vector<std::uint8_t> fst =
        test_support::BuildFst({{1, 1, 0xFFFE0000, 0xFFFFFFFF}, {2, 2, 0xFFF00000, 0xFFFDFFFF}});
    const std::vector<srvfw::BiosSegment> segments = srvfw::ParseSegmentTable(fst);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[1].tag, 2u);
    EXPECT_EQ(segments[1].partition, 2u);
    EXPECT_EQ(segments[1].start, 0xFFF00000u);
    EXPECT_EQ(segments[1].limit, 0xFFFDFFFFu);
    PutLittle(fst, 28, fst.size() + 32, 4);
    EXPECT_THROW(srvfw::ParseSegmentTable(fst), srvfw::Failure);
}

TEST(BiosTables, ABlockIsNamedForWhatItHoldsAgainstTheOldAndTheNewImage) {
    using Bytes = std::vector<std::uint8_t>;
    const struct {
        Bytes now, before, wanted;
        const char* state;
    } cases[] = {
        {{1, 2}, {1, 2}, {3, 4}, "unchanged"},
        {{3, 4}, {1, 2}, {3, 4}, "written"},
        {{0xFF, 0xFF}, {1, 2}, {3, 4}, "erased"},
        {{3, 0xFF}, {1, 2}, {3, 4}, "mixed"},
        // An image the same as the flash: the block is what it was.
        {{1, 2}, {1, 2}, {1, 2}, "unchanged"},
        // An image of erased bytes, written.
        {{0xFF, 0xFF}, {1, 2}, {0xFF, 0xFF}, "written"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        EXPECT_EQ(srvfw::BlockState(c.now, c.before, c.wanted), c.state);
    }
}

TEST(BiosTables, TheDefaultBackupIsNamedForTheImageAndTheArea) {
    srvfw::BiosArea area;
    area.number = 2;
    area.name = "Main BIOS/1";
    EXPECT_EQ(srvfw::DefaultBackupName("/tmp/new.bin", area), "new.bin.backup-Main_BIOS_1");
    area.name.clear();
    EXPECT_EQ(srvfw::DefaultBackupName("/tmp/new.bin", area), "new.bin.backup-2");
}

}  // namespace
