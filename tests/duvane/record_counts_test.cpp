// Data records counted per area of a hex image, which the update's progress
// divides by.
#include <gtest/gtest.h>

#include "duvane/duvane_status.h"
#include "duvane/fw_file.h"
#include "image_fixture.h"

namespace duvane_test {
namespace {

using namespace DirectFwUpdate_Private;

// Boot, operational code, PIA, RMM (the EFS range), EFS.
using AreaCounts = std::array<unsigned, BMC_FW_AREA_COUNT>;

class RecordCountsTest : public ImageTest {
  protected:
    int Process(const Bytes& image) {
        return mFile.ProcessFile(WriteImage("image.hex", HexImage(image)).c_str(), nullptr);
    }

    AreaCounts Counts() const {
        AreaCounts counts{};
        for (int area = 0; area < BMC_FW_AREA_COUNT; ++area) {
            counts[area] = mFile.RecordCount(static_cast<BmcFwArea>(area));
        }
        return counts;
    }

    CfwFile mFile{FW_FILE_HEX, 0};
};

// HexImage writes one record per 32 bytes that are not all erased, so a
// block of 92 bytes at the start of its area is 3 records, 100 bytes 4,
// 72 bytes 3 and 112 bytes 4.
TEST_F(RecordCountsTest, EachAreaCountsTheDataRecordsThatStartInIt) {
    Bytes image = ErasedImage(0x14100);
    Place(image, 0x0000, BootInfoBlock({.start = 0x0000, .end = 0x0FFF}));
    Place(image, 0x0800, Bytes(32, 0x01));
    Place(image, 0x1000, PiaBlock({.start = 0x1000, .end = 0x17FF}));
    Place(image, 0x2000, OpCodeInfoBlock({.start = 0x2000, .end = 0x7FFF}));
    Place(image, 0x3000, Bytes(32, 0x02));
    // The last record of the area: its last byte is the area's end.
    Place(image, 0x7FE0, Bytes(32, 0x03));
    // Above 64 KiB: counted only if the extended address is followed.
    Place(image, 0x10000, EfsBlock({.start = 0x10000, .end = 0x13FFF}));
    // Outside every area.
    Place(image, 0x14000, Bytes(32, 0x04));
    ASSERT_EQ(Process(image), DUVANE_SUCCESS);
    EXPECT_EQ(Counts(), (AreaCounts{4, 5, 4, 4, 4}));
}

TEST_F(RecordCountsTest, ARecordInOverlappingAreasCountsForTheFirstInBootPiaOpCodeEfsOrder) {
    Bytes image = ErasedImage(0x8000);
    Place(image, 0x0000, BootInfoBlock({.start = 0x0000, .end = 0x1FFF}));
    Place(image, 0x1000, PiaBlock({.start = 0x1000, .end = 0x17FF}));
    Place(image, 0x2000, OpCodeInfoBlock({.start = 0x1000, .end = 0x7FFF}));
    ASSERT_EQ(Process(image), DUVANE_SUCCESS);
    EXPECT_EQ(Counts(), (AreaCounts{7, 3, 0, 0, 0}));
}

// Without a BootInfo block the boot range is empty at address 0; the
// record there is the operational code's.
TEST_F(RecordCountsTest, AnAreaTheImageLacksCountsNothing) {
    Bytes image = ErasedImage(0x1000);
    Place(image, 0x0000, OpCodeInfoBlock({.start = 0x0000, .end = 0x0FFF}));
    ASSERT_EQ(Process(image), DUVANE_SUCCESS);
    EXPECT_EQ(Counts(), (AreaCounts{0, 3, 0, 0, 0}));
}

TEST_F(RecordCountsTest, ARecordListWithoutEndOfFileCannotBeCounted) {
    const std::wstring path =
        WriteImage("image.hex", HexLines({HexRecord(0, 0, {1}), HexRecord(0, 1, {2})}));
    ASSERT_EQ(mFile.ReadHexFile(path.c_str(), nullptr), DUVANE_IMAGE_FORMAT);
    EXPECT_EQ(mFile.CalculateNoOfLines(), DUVANE_IMAGE_FORMAT);
}

}  // namespace
}  // namespace duvane_test
