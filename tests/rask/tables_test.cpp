// Finding and checking the BIOS's flash tables: the checks of each table
// on its bytes, the walk of a firmware volume's files, and the search of
// the windows below 4 GB on the simulated boards with the BIOS's own
// malformations.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "rask/flash_layer.h"
#include "sim/firmware/board_tables.h"
#include "sim/firmware/firmware_volume.h"
#include "tests/rask/flash_sim_fixture.h"
#include "tests/rask/table_test_bytes.h"

namespace {

using namespace rask_test;
using Rask_Private::FUL_RETURN;

constexpr std::uint64_t kFlagsBlock = 0xFFFC0000;

sim::FlashNotifyTable TestNotifyTable() {
    sim::FlashNotifyTable fnt;
    fnt.notifyLength = 16;
    fnt.dataAddr = kFlagsBlock + 0x10;
    return fnt;
}

sim::FlashTables TestTables() {
    sim::FlashTables tables;
    tables.segments = TestSegments();
    tables.areas = {sim::FlashArea::Blocks(1, "Main BIOS", "V", kMainTag, 0xFFF00000, 0x30000),
                    sim::FlashArea::Blocks(4, "Boot Block", "V", kBootTag, 0xFFFE0000, 0x20000)};
    tables.notify = TestNotifyTable();
    return tables;
}

// ------------------------------------------------------- each table's check

struct BytesCase {
    std::string name;
    std::function<Bytes()> bytes;
    FUL_RETURN expected;
};

Bytes Fst() {
    return sim::SegmentTableBytes(TestSegments());
}

TEST(SegmentTableCheck, RefusesWhatNoWalkCouldTrust) {
    const std::vector<BytesCase> cases = {
        {"three segments", Fst, Rask_Private::FUL_SUCCESS},
        {"exactly two entries",
         [] {
             return sim::SegmentTableBytes({TestSegments()[0], TestSegments()[2]});
         },
         Rask_Private::FUL_SUCCESS},
        {"one entry", [] { return sim::SegmentTableBytes({TestSegments()[0]}); },
         Rask_Private::FUL_BAD_FST},
        {"partition 3",
         [] {
             auto segments = TestSegments();
             segments[1].partition = 3;
             return sim::SegmentTableBytes(segments);
         },
         Rask_Private::FUL_BAD_FST},
        {"partition 0",
         [] {
             auto segments = TestSegments();
             segments[2].partition = 0;
             return sim::SegmentTableBytes(segments);
         },
         Rask_Private::FUL_BAD_FST},
        {"a start above its limit",
         [] {
             auto segments = TestSegments();
             segments[0].start = segments[0].limit + 1;
             return sim::SegmentTableBytes(segments);
         },
         Rask_Private::FUL_BAD_FST},
        {"a limit at 4 GB",
         [] {
             auto segments = TestSegments();
             segments[2].limit = 0x100000000;
             return sim::SegmentTableBytes(segments);
         },
         Rask_Private::FUL_BAD_FST},
        {"\"FLASHTBL\" misspelt",
         [] {
             Bytes fst = Fst();
             fst[0] = 'f';
             return fst;
         },
         Rask_Private::FUL_BAD_FST},
        {"Size past the bytes given",
         [] {
             Bytes fst = Fst();
             fst.resize(fst.size() - 1);
             return fst;
         },
         Rask_Private::FUL_BAD_FST},
        {"Size below its header",
         [] {
             Bytes fst = Fst();
             Put32(fst, 28, 8);
             return fst;
         },
         Rask_Private::FUL_BAD_FST},
    };
    for (const BytesCase& c : cases) {
        const Bytes fst = c.bytes();
        EXPECT_EQ(Rask_Private::VerifyFlashSegmentTable(fst.data(), fst.size()), c.expected)
            << c.name;
    }
}

TEST(SegmentTableCheck, TheHeaderCheckLooksOnlyAtTheHeader) {
    auto segments = TestSegments();
    segments[1].partition = 3;
    const Bytes fst = sim::SegmentTableBytes(segments);
    EXPECT_EQ(Rask_Private::VerifyFlashSegmentTableHeader(fst.data(), fst.size()),
              Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(Rask_Private::VerifyFlashSegmentTable(fst.data(), fst.size()),
              Rask_Private::FUL_BAD_FST);
}

TEST(NotifyTableCheck, WantsAccessType7AndAFieldInsideItsFlagsBlock) {
    const auto with = [](const std::function<void(sim::FlashNotifyTable&)>& change) {
        sim::FlashNotifyTable fnt = TestNotifyTable();
        change(fnt);
        return sim::NotifyTableBytes(fnt);
    };
    const std::vector<BytesCase> cases = {
        {"the test table", [&] { return with([](auto&) {}); }, Rask_Private::FUL_SUCCESS},
        {"a field ending on its block's last byte",
         [&] { return with([](auto& f) { f.dataAddr = kFlagsBlock + 0xFFF0; }); },
         Rask_Private::FUL_SUCCESS},
        {"AccessType 6", [&] { return with([](auto& f) { f.accessType = 6; }); },
         Rask_Private::FUL_BAD_FNT},
        {"a field running past its block",
         [&] { return with([](auto& f) { f.dataAddr = kFlagsBlock + 0xFFF8; }); },
         Rask_Private::FUL_BAD_FNT},
        {"a field of no bytes", [&] { return with([](auto& f) { f.notifyLength = 0; }); },
         Rask_Private::FUL_BAD_FNT},
        {"a field above 4 GB", [&] { return with([](auto& f) { f.dataAddr = 0x100000010; }); },
         Rask_Private::FUL_BAD_FNT},
        {"\"NOTIFYBT\" misspelt",
         [&] {
             Bytes fnt = with([](auto&) {});
             fnt[7] = 'X';
             return fnt;
         },
         Rask_Private::FUL_BAD_FNT},
        {"95 of its 96 bytes",
         [&] {
             Bytes fnt = with([](auto&) {});
             fnt.pop_back();
             return fnt;
         },
         Rask_Private::FUL_BAD_FNT},
    };
    for (const BytesCase& c : cases) {
        const Bytes fnt = c.bytes();
        EXPECT_EQ(Rask_Private::VerifyFlashNotifyTable(fnt.data(), fnt.size()), c.expected)
            << c.name;
    }
}

TEST(AreaTableCheck, TheFlashTableIsLaidOutByEachAreaSize) {
    const auto fat = [](std::vector<sim::FlashArea> areas) {
        return [areas] { return sim::AreaTableBytes(areas); };
    };
    const std::vector<BytesCase> cases = {
        {"the test areas", fat(TestTables().areas), Rask_Private::FUL_SUCCESS},
        // 65537 bytes take two range records and the closing one: a
        // record of 444 + 2 * 24 bytes.
        {"an area of 65537 bytes",
         fat({sim::FlashArea::Blocks(1, "Odd", "V", kMainTag, 0xFFF00000, 65537)}),
         Rask_Private::FUL_SUCCESS},
        {"nothing but the closing area", fat({}), Rask_Private::FUL_BAD_FAT},
        {"a closing range with Flags 1",
         [] {
             Bytes bytes = sim::AreaTableBytes(TestTables().areas);
             Put32(bytes, RangeRecord(FirstAreaRecord(bytes), 3), 1);
             return bytes;
         },
         Rask_Private::FUL_BAD_FAT},
        {"a range whose limit lies below its start",
         [] {
             auto areas = TestTables().areas;
             areas[1].ranges[1].blockLimit = areas[1].ranges[1].blockStart - 1;
             return sim::AreaTableBytes(areas);
         },
         Rask_Private::FUL_BAD_FAT},
        {"\"DGTL SIG\" misspelt",
         [] {
             Bytes bytes = sim::AreaTableBytes(TestTables().areas);
             bytes[FlshAreaTblHdrSize + 4] = '_';
             return bytes;
         },
         Rask_Private::FUL_BAD_FAT},
        {"Size past the bytes given",
         [] {
             Bytes bytes = sim::AreaTableBytes(TestTables().areas);
             bytes.resize(bytes.size() - 1);
             return bytes;
         },
         Rask_Private::FUL_BAD_FAT},
        {"an AreaSize that needs more ranges than the table holds",
         [] {
             Bytes bytes = sim::AreaTableBytes(TestTables().areas);
             Put64(bytes, FirstAreaRecord(bytes) + 28, 0x40000000);
             return bytes;
         },
         Rask_Private::FUL_BAD_FAT},
    };
    for (const BytesCase& c : cases) {
        const Bytes bytes = c.bytes();
        EXPECT_EQ(Rask_Private::VerifyFlashAreaTable(bytes.data(), bytes.size()), c.expected)
            << c.name;
    }
}

TEST(AreaTableCheck, AnAreaOf65537BytesTakesARecordOf492Bytes) {
    const Bytes bytes =
        sim::AreaTableBytes({sim::FlashArea::Blocks(1, "Odd", "V", kMainTag, 0xFFF00000, 65537)});
    EXPECT_EQ(Get32(bytes, 28), FirstAreaRecord(bytes) + 492 + LastFlshAreaRecSize);
}

TEST(TableSearch, FindsTheFirstSignatureOfEachKind) {
    Bytes data(40, 0xFF);
    const char fst[] = "FLASHTBL";
    std::copy(fst, fst + 8, data.begin() + 13);
    std::copy(fst, fst + 8, data.begin() + 30);
    std::size_t offset = 0;
    EXPECT_EQ(
        Rask_Private::GetFlashTable(Rask_Private::kSegmentTable, data.data(), data.size(), &offset),
        Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(offset, 13u);
    EXPECT_EQ(
        Rask_Private::GetFlashTable(Rask_Private::kNotifyTable, data.data(), data.size(), &offset),
        Rask_Private::FUL_BAD_FNT);
    EXPECT_EQ(
        Rask_Private::GetFlashTable(Rask_Private::kAreaTable, data.data(), data.size(), &offset),
        Rask_Private::FUL_BAD_FAT);
    EXPECT_EQ(Rask_Private::GetFlashTable(4, data.data(), data.size(), &offset),
              Rask_Private::FUL_FAILURE);
    // A signature cut by the end of the bytes is not there.
    EXPECT_EQ(Rask_Private::GetFlashTable(Rask_Private::kSegmentTable, data.data(), 20, &offset),
              Rask_Private::FUL_BAD_FST);
}

// ------------------------------------------------- the volume and its files

class VolumeWalk : public ::testing::Test {
  protected:
    ~VolumeWalk() override { Rask_Private::ResetFlashLayerState(); }

    static Bytes Volume(const sim::FlashTables& tables,
                        sim::TablesFault fault = sim::TablesFault::kNone) {
        const Bytes section = sim::TablesSectionBytes(tables, fault);
        return sim::FirmwareVolumeBuilder(0x10000)
            .RawSectionFile(sim::Guid::Parse(sim::kTablesFileGuid), section)
            .Build();
    }

    FUL_RETURN Validate(const Bytes& volume) {
        return Rask_Private::ValidateFirmwareBootVolume(&mDesc, volume.data(), volume.size(), &mFnt,
                                                        &mFst, &mFat);
    }

    Rask_Private::FlashDesc mDesc;
    std::uint32_t mFnt = 0xDEAD;
    std::uint32_t mFst = 0xDEAD;
    std::uint32_t mFat = 0xDEAD;
};

TEST_F(VolumeWalk, GivesEachTableWhereItsSignatureIsAndTheSizesOfFstAndFat) {
    const sim::FlashTables tables = TestTables();
    const Bytes volume = Volume(tables);
    ASSERT_EQ(Validate(volume), Rask_Private::FUL_SUCCESS);
    const std::string at(volume.begin(), volume.end());
    EXPECT_EQ(mFnt, at.find("NOTIFYBT"));
    EXPECT_EQ(mFst, at.find("FLASHTBL"));
    EXPECT_EQ(mFat, at.find("AREA TBL"));
    EXPECT_EQ(mDesc.FstRegion.bytes, sim::SegmentTableBytes(tables.segments).size());
    EXPECT_EQ(mDesc.FatRegion.bytes, sim::AreaTableBytes(tables.areas).size());
    EXPECT_EQ(Rask_Private::bFoundFAT, 1);
}

TEST_F(VolumeWalk, TheSpiPlatformsNeedNoNotifyTable) {
    sim::FlashTables tables = TestTables();
    tables.notify.reset();
    const Bytes volume = Volume(tables);
    Rask_Private::g_lbPlatform = 0;
    EXPECT_EQ(Validate(volume), Rask_Private::FUL_BAD_FNT);
    for (const int platform : {9, 11, 15}) {
        Rask_Private::g_lbPlatform = platform;
        ASSERT_EQ(Validate(volume), Rask_Private::FUL_SUCCESS) << platform;
        EXPECT_EQ(mFnt, 0u);
        EXPECT_NE(mFst, 0u);
    }
}

TEST_F(VolumeWalk, AVolumeWithoutAreaTableHasNoFat) {
    sim::FlashTables tables = TestTables();
    tables.areaTable = false;
    ASSERT_EQ(Validate(Volume(tables)), Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(Rask_Private::bFoundFAT, 0);
    EXPECT_EQ(mDesc.FatRegion.bytes, 0u);
    EXPECT_EQ(mFat, 0u);
}

TEST_F(VolumeWalk, TheTablesFileNeedNotComeFirst) {
    const Bytes pad(300, 0x11);
    const Bytes volume = sim::FirmwareVolumeBuilder(0x10000)
                             .File(sim::Guid::Parse("11111111-2222-3333-4444-555555555555"),
                                   sim::kFileTypeFreeform, pad)
                             .RawSectionFile(sim::Guid::Parse(sim::kTablesFileGuid),
                                             sim::TablesSectionBytes(TestTables()))
                             .Build();
    ASSERT_EQ(Validate(volume), Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(mFst, std::string(volume.begin(), volume.end()).find("FLASHTBL"));
}

TEST_F(VolumeWalk, ABrokenTableInTheFileFailsWithItsTablesCode) {
    const std::vector<std::pair<sim::TablesFault, FUL_RETURN>> cases = {
        {sim::TablesFault::kNoNotifyTable, Rask_Private::FUL_BAD_FNT},
        {sim::TablesFault::kNotifyAccessType, Rask_Private::FUL_BAD_FNT},
        {sim::TablesFault::kNoSegmentTable, Rask_Private::FUL_BAD_FST},
        {sim::TablesFault::kSegmentTableOneEntry, Rask_Private::FUL_BAD_FST},
        {sim::TablesFault::kAreaTableOnlyClosing, Rask_Private::FUL_BAD_FAT},
        {sim::TablesFault::kBadSignatureBlock, Rask_Private::FUL_BAD_FAT},
        {sim::TablesFault::kClosingRangeFlags1, Rask_Private::FUL_BAD_FAT},
        {sim::TablesFault::kRangeStartAboveLimit, Rask_Private::FUL_BAD_FAT},
        {sim::TablesFault::kAreaTableSizeMismatch, Rask_Private::FUL_BAD_FAT},
        {sim::TablesFault::kAreaSizeMismatch, Rask_Private::FUL_BAD_FAT},
    };
    for (const auto& [fault, expected] : cases) {
        EXPECT_EQ(Validate(Volume(TestTables(), fault)), expected) << sim::TablesFaultName(fault);
    }
}

TEST_F(VolumeWalk, AFileSizeOfZeroOrPastTheEndEndsTheWalk) {
    const Bytes good = Volume(TestTables());
    const std::size_t firstFile = sim::kVolumeHeaderBytes;
    for (const std::uint32_t size : {0u, 23u, 0x10000u, 0xFFFFFFu}) {
        Bytes volume = good;
        volume[firstFile + 20] = size & 0xFF;
        volume[firstFile + 21] = (size >> 8) & 0xFF;
        volume[firstFile + 22] = (size >> 16) & 0xFF;
        EXPECT_EQ(Validate(volume), Rask_Private::FUL_FAILURE) << size;
    }
}

TEST_F(VolumeWalk, RefusesAVolumeThatIsNotAllThere) {
    const Bytes good = Volume(TestTables());
    Bytes noSignature = good;
    noSignature[40] = '-';
    EXPECT_EQ(Validate(noSignature), Rask_Private::FUL_BAD_VOLUME);
    Bytes longer = good;
    Put64(longer, 32, good.size() + 1);
    EXPECT_EQ(Validate(longer), Rask_Private::FUL_BAD_VOLUME);
    Bytes zero = good;
    Put64(zero, 32, 0);
    EXPECT_EQ(Validate(zero), Rask_Private::FUL_BAD_VOLUME);
    EXPECT_EQ(Validate(Bytes(good.begin(), good.begin() + 44)), Rask_Private::FUL_BAD_VOLUME);
}

TEST_F(VolumeWalk, AVolumeWithoutTheTablesFileHasNoTables) {
    EXPECT_EQ(Validate(sim::FirmwareVolumeBuilder(0x10000).Build()), Rask_Private::FUL_FAILURE);
    EXPECT_EQ(mFst, 0u);
}

// ------------------------------------------------ the search on the boards

class TableDiscovery : public FlashSim {};

TEST_F(TableDiscovery, FindsTheBoardsTablesAndHandsOutCopies) {
    Boot({{"board", "fwh"}});
    ASSERT_EQ(Open(0), Rask_Private::FUL_SUCCESS);
    Rask_Private::FlashDesc* h = Handle();

    unsigned size = 0;
    EXPECT_EQ(Rask_Private::FlashUDGetSegmentTbl(h, &size, nullptr),
              Rask_Private::FUL_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, h->FstCopy.size());
    Bytes fst(size + 8, 0xCC);
    ASSERT_EQ(Rask_Private::FlashUDGetSegmentTbl(h, &size,
                                                 reinterpret_cast<FLASH_SEGMENT_TBL*>(fst.data())),
              Rask_Private::FUL_SUCCESS);
    EXPECT_TRUE(std::equal(h->FstCopy.begin(), h->FstCopy.end(), fst.begin()));

    size = 0;
    EXPECT_EQ(Rask_Private::FlashUDGetBIOSAreaTbl(h, &size, nullptr),
              Rask_Private::FUL_BUFFER_TOO_SMALL);
    ASSERT_GT(size, 0u);
    unsigned room = size + 16;  // the rest of the host's buffer is zeroed
    Bytes fat(room, 0xCC);
    ASSERT_EQ(Rask_Private::FlashUDGetBIOSAreaTbl(h, &room, AsAreaTable(fat)),
              Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(std::string(fat.begin(), fat.begin() + 8), "AREA TBL");
    EXPECT_EQ(Get32(fat, 28), size);
    EXPECT_EQ(Bytes(fat.end() - 16, fat.end()), Bytes(16, 0));
    Rask_Private::g_lbPlatform = 0;
    EXPECT_EQ(Rask_Private::VerifyFATForRd(AsAreaTable(fat), h->FstCopy),
              Rask_Private::FUL_SUCCESS);

    FLASH_NOTIFY_TABLE fnt{};
    size = sizeof fnt;
    ASSERT_EQ(Rask_Private::FlashUDGetNotifyTbl(h, &size, &fnt), Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(std::string(fnt.HeaderSearch, 8), "NOTIFYBT");
    EXPECT_EQ(fnt.AccessType, 7u);
}

TEST_F(TableDiscovery, ABoardOfPlatform11HasNoNotifyTable) {
    Boot({{"board", "ich9-spi"}});
    ASSERT_EQ(Open(11), Rask_Private::FUL_SUCCESS);
    unsigned size = sizeof(FLASH_NOTIFY_TABLE);
    FLASH_NOTIFY_TABLE fnt{};
    EXPECT_EQ(Rask_Private::FlashUDGetNotifyTbl(Handle(), &size, &fnt), Rask_Private::FUL_BAD_FNT);
}

TEST_F(TableDiscovery, AVolumeWithoutAreaTableAnswersSizeZero) {
    Boot({{"board", "fwh"}, {"firmware.fault", "no-area-table"}});
    ASSERT_EQ(Open(0), Rask_Private::FUL_SUCCESS);
    unsigned size = 4096;
    Bytes fat(size);
    EXPECT_EQ(Rask_Private::FlashUDGetBIOSAreaTbl(Handle(), &size, AsAreaTable(fat)),
              Rask_Private::FUL_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 0u);
}

TEST_F(TableDiscovery, AVolumeTheWindowsCannotTrustIsNotFound) {
    const std::vector<std::pair<std::string, FUL_RETURN>> cases = {
        {"fvh-misplaced", Rask_Private::FUL_NO_BIOS_TABLES},
        {"wrong-file-system", Rask_Private::FUL_NO_BIOS_TABLES},
        {"volume-unaligned", Rask_Private::FUL_NO_BIOS_TABLES},
        {"no-tables-file", Rask_Private::FUL_NO_BIOS_TABLES},
        {"fst-one-entry", Rask_Private::FUL_NO_BIOS_TABLES},
        {"fnt-access-type", Rask_Private::FUL_NO_BIOS_TABLES},
        // Past the header check in the volume, refused once the whole
        // table is read.
        {"fst-partition-3", Rask_Private::FUL_BAD_FST},
        {"fst-start-above-limit", Rask_Private::FUL_BAD_FST},
    };
    for (const auto& [fault, expected] : cases) {
        Boot({{"board", "fwh"}, {"firmware.fault", fault}});
        EXPECT_EQ(Open(0), expected) << fault;
        EXPECT_EQ(Handle(), nullptr) << fault;
    }
    Boot({{"board", "fwh"}, {"firmware.tables", "0"}});
    EXPECT_EQ(Open(0), Rask_Private::FUL_NO_BIOS_TABLES);
}

TEST_F(TableDiscovery, ARangeOutsideItsSegmentIsTheHostChecksToRefuse) {
    Boot({{"board", "fwh"}, {"firmware.fault", "fat-range-outside-segment"}});
    ASSERT_EQ(Open(0), Rask_Private::FUL_SUCCESS);
    unsigned size = 0;
    Rask_Private::FlashUDGetBIOSAreaTbl(Handle(), &size, nullptr);
    Bytes fat(size);
    ASSERT_EQ(Rask_Private::FlashUDGetBIOSAreaTbl(Handle(), &size, AsAreaTable(fat)),
              Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(Rask_Private::VerifyFATForRd(AsAreaTable(fat), Handle()->FstCopy),
              Rask_Private::FUL_BAD_AREA_TABLE);
}

TEST_F(TableDiscovery, TheVolumeIsLookedForInTheTopTenWindowsOnly) {
    // The 4 MB part of the 16-bit board: its volume moved down to the
    // tenth window is found, one block lower it is not.
    Boot({{"board", "word16"}, {"firmware.volume", "0xFFF60000"}});
    EXPECT_EQ(Open(10), Rask_Private::FUL_SUCCESS);
    Close();
    Boot({{"board", "word16"}, {"firmware.volume", "0xFFF50000"}});
    EXPECT_EQ(Open(10), Rask_Private::FUL_NO_BIOS_TABLES);
}

}  // namespace
