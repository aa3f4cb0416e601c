// The checks of an area table a host passes in (VerifyFATForRd and
// VerifyFATForWr), case by case against one Flash Segment Table: the same
// form and segment-bounds checks on every platform, and the rule that a
// write touches only the secondary flash everywhere but on platforms 9, 11
// and 15.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "rask/flash_layer.h"
#include "tests/rask/table_test_bytes.h"

namespace {

using namespace rask_test;
using Rask_Private::FUL_BAD_AREA_TABLE;
using Rask_Private::FUL_RETURN;
using Rask_Private::FUL_SUCCESS;

constexpr FUL_RETURN kOk = FUL_SUCCESS;
constexpr FUL_RETURN kBad = FUL_BAD_AREA_TABLE;

sim::FlashArea MainArea() {
    return sim::FlashArea::Blocks(1, "Main BIOS", "SRVBD010", kMainTag, 0xFFF00000, 0x20000);
}

sim::FlashArea BootArea() {
    return sim::FlashArea::Blocks(4, "Boot Block", "SRVBD010", kBootTag, 0xFFFE0000, 0x20000);
}

Bytes Fat(const std::vector<sim::FlashArea>& areas) {
    return sim::AreaTableBytes(areas);
}

// A table of the main area with one change to its model.
Bytes MainAreaWith(const std::function<void(sim::FlashArea&)>& change) {
    sim::FlashArea area = MainArea();
    change(area);
    return Fat({area});
}

// The main area's table with its bytes patched.
Bytes PatchedMainArea(const std::function<void(Bytes&)>& patch) {
    Bytes fat = Fat({MainArea()});
    patch(fat);
    return fat;
}

struct AreaCase {
    std::string name;
    std::function<Bytes()> table;
    FUL_RETURN read;
    FUL_RETURN writeWithPartitionRule;  // platforms 0, 1, 2, 10
    FUL_RETURN writeAnywhere;           // platforms 9, 11, 15
};

const std::vector<AreaCase>& Cases() {
    static const std::vector<AreaCase> cases = {
        {"an area in the secondary flash", [] { return Fat({MainArea()}); }, kOk, kOk, kOk},
        {"the boot block in the primary flash", [] { return Fat({BootArea()}); }, kOk, kBad, kOk},
        {"an area of each partition",
         [] {
             return Fat({MainArea(), BootArea()});
         },
         kOk, kBad, kOk},
        {"a one-byte range, its start its limit",
         [] { return Fat({sim::FlashArea::Blocks(1, "Byte", "V", kMainTag, 0xFFF10000, 1)}); }, kOk,
         kOk, kOk},
        {"a range that ends on its segment's last byte",
         [] { return Fat({sim::FlashArea::Blocks(1, "Top", "V", kMainTag, 0xFFFB0000, 0x10000)}); },
         kOk, kOk, kOk},
        {"bytes after Size are not the table's",
         [] {
             Bytes fat = Fat({MainArea()});
             fat.insert(fat.end(), 600, 0x5A);
             return fat;
         },
         kOk, kOk, kOk},
        // The ranges against their segments.
        {"a range running past its segment's limit",
         [] {
             return Fat({sim::FlashArea::Blocks(1, "Over", "V", kMainTag, 0xFFFB0000, 0x20000)});
         },
         kBad, kBad, kBad},
        {"a range starting below its segment",
         [] {
             return Fat({sim::FlashArea::Blocks(1, "Under", "V", kFlagsTag, 0xFFFB0000, 0x10000)});
         },
         kBad, kBad, kBad},
        {"a range whose limit lies below its start",
         [] {
             return MainAreaWith(
                 [](sim::FlashArea& a) { a.ranges[0].blockLimit = a.ranges[0].blockStart - 1; });
         },
         kBad, kBad, kBad},
        {"a range naming no segment",
         [] { return MainAreaWith([](sim::FlashArea& a) { a.ranges[1].inSegment = 9; }); }, kBad,
         kBad, kBad},
        {"a range of the secondary flash named by the boot segment's tag",
         [] {
             return MainAreaWith([](sim::FlashArea& a) {
                 for (auto& r : a.ranges) r.inSegment = kBootTag;
             });
         },
         kBad, kBad, kBad},
        // The form of the table.
        {"nothing but the closing area", [] { return Fat({}); }, kBad, kBad, kBad},
        {"a closing range with Flags 1",
         [] {
             return PatchedMainArea(
                 [](Bytes& fat) { Put32(fat, RangeRecord(FirstAreaRecord(fat), 2), 1); });
         },
         kBad, kBad, kBad},
        {"a range with Flags 0 before the closing one",
         [] { return MainAreaWith([](sim::FlashArea& a) { a.ranges[0].flags = 0; }); }, kBad, kBad,
         kBad},
        {"Size 24 bytes past the records",
         [] {
             return PatchedMainArea([](Bytes& fat) {
                 Put32(fat, 28, Get32(fat, 28) + 24);
                 fat.resize(fat.size() + 24, 0);
             });
         },
         kBad, kBad, kBad},
        {"Size cutting the closing area short",
         [] { return PatchedMainArea([](Bytes& fat) { Put32(fat, 28, Get32(fat, 28) - 24); }); },
         kBad, kBad, kBad},
        {"an AreaSize needing one range more than there are",
         [] {
             return PatchedMainArea(
                 [](Bytes& fat) { Put64(fat, FirstAreaRecord(fat) + 28, 0x20001); });
         },
         kBad, kBad, kBad},
        {"the largest AreaSize",
         [] {
             return PatchedMainArea(
                 [](Bytes& fat) { Put64(fat, FirstAreaRecord(fat) + 28, UINT64_MAX); });
         },
         kBad, kBad, kBad},
        {"\"AREA TBL\" misspelt", [] { return PatchedMainArea([](Bytes& fat) { fat[0] = 'a'; }); },
         kBad, kBad, kBad},
        {"\"DGTL SIG\" misspelt",
         [] { return PatchedMainArea([](Bytes& fat) { fat[FlshAreaTblHdrSize] = 'd'; }); }, kBad,
         kBad, kBad},
        {"a signature block larger than the table",
         [] { return PatchedMainArea([](Bytes& fat) { Put32(fat, 64, 0xFFFFFFF0); }); }, kBad, kBad,
         kBad},
        {"Size smaller than the header",
         [] { return PatchedMainArea([](Bytes& fat) { Put32(fat, 28, 20); }); }, kBad, kBad, kBad},
    };
    return cases;
}

class AreaCheck : public ::testing::Test {
  protected:
    ~AreaCheck() override { Rask_Private::ResetFlashLayerState(); }
    const Bytes mFst = sim::SegmentTableBytes(TestSegments());
};

TEST_F(AreaCheck, ReadTakesEveryWellFormedTableInsideItsSegments) {
    for (const AreaCase& c : Cases()) {
        const Bytes table = c.table();
        EXPECT_EQ(Rask_Private::VerifyFATForRd(AsAreaTable(table), mFst), c.read) << c.name;
    }
}

TEST_F(AreaCheck, WriteKeepsToTheSecondaryFlashExceptOnPlatforms9And11And15) {
    for (const int platform : {0, 1, 2, 9, 10, 11, 15}) {
        Rask_Private::g_lbPlatform = platform;
        const bool anywhere = platform == 9 || platform == 11 || platform == 15;
        for (const AreaCase& c : Cases()) {
            const Bytes table = c.table();
            EXPECT_EQ(Rask_Private::VerifyFATForWr(AsAreaTable(table), mFst),
                      anywhere ? c.writeAnywhere : c.writeWithPartitionRule)
                << c.name << " on platform " << platform;
        }
    }
}

TEST_F(AreaCheck, NoTableIsRefused) {
    EXPECT_EQ(Rask_Private::VerifyFATForRd(nullptr, mFst), kBad);
    EXPECT_EQ(Rask_Private::VerifyFATForWr(nullptr, mFst), kBad);
}

TEST_F(AreaCheck, AnFstWithoutEntriesNamesNoSegment) {
    const Bytes table = Fat({MainArea()});
    EXPECT_EQ(Rask_Private::VerifyFATForRd(AsAreaTable(table), Bytes{}), kBad);
    Bytes shortFst = mFst;
    shortFst.resize(FlshSegmentTblHdrSize + 8);  // Size says more than the copy holds
    EXPECT_EQ(Rask_Private::VerifyFATForRd(AsAreaTable(table), shortFst), kBad);
}

}  // namespace
