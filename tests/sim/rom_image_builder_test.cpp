// The ROM images the builder makes: what a flash utility checks in them is
// where the layout says, and nothing it looks for is anywhere else.
#include "sim/bios/rom_image_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using Image = std::vector<std::uint8_t>;

std::vector<std::size_t> Find(const Image& image, const std::string& text) {
    std::vector<std::size_t> found;
    for (auto it = image.begin();
         (it = std::search(it, image.end(), text.begin(), text.end())) != image.end(); ++it) {
        found.push_back(static_cast<std::size_t>(it - image.begin()));
    }
    return found;
}

std::uint32_t Le32(const Image& image, std::size_t offset) {
    std::uint32_t value = 0;
    std::memcpy(&value, image.data() + offset, 4);
    return value;
}

std::uint32_t BootSum(const Image& image, const sim::BiosFlashLayout& layout) {
    const auto region = layout.BootRegion();
    return sim::WordSum(
        std::span<const std::uint8_t>(image).subspan(region->offset, region->length));
}

struct LayoutCase {
    const char* name;
    sim::BiosFlashLayout layout;
    std::size_t bootOffset, bootLength;  // expected boot block region, by file offset
};

std::vector<LayoutCase> Layouts() {
    sim::BiosFlashLayout topDown;
    topDown.romBytes = 0x200000;
    topDown.blocks = {{0x1F0000, 0x8000}, {0x1F8000, 0x8000}, {0, 0x1F0000}, {0x1E0000, 0x10000}};
    topDown.bootBlocks = 2;  // the last two entries: 0 (1F0000h bytes) and 1E0000h
    return {
        {"1 MB of 64 KB blocks", sim::BiosFlashLayout::Uniform(0x100000, 0x10000), 0xF0000,
         0x10000},
        {"512 KB, two 16 KB boot blocks", sim::BiosFlashLayout::Uniform(0x80000, 0x4000, 2),
         0x78000, 0x8000},
        {"2 MB in table order of its own", topDown, 0, 0x200000},
    };
}

TEST(RomImageBuilder, BootBlockSumsToZeroAndTheRomIdIsAtItsPlace) {
    for (const LayoutCase& c : Layouts()) {
        SCOPED_TRACE(c.name);
        const auto region = c.layout.BootRegion();
        ASSERT_TRUE(region);
        EXPECT_EQ(region->offset, c.bootOffset);
        EXPECT_EQ(region->length, c.bootLength);

        const Image image = sim::RomImageBuilder(c.layout).RomId("XYZ12345").Build();
        ASSERT_EQ(image.size(), c.layout.romBytes);
        EXPECT_EQ(BootSum(image, c.layout), 0u);
        EXPECT_EQ(std::string(image.end() - 32, image.end() - 24), "XYZ12345");
        EXPECT_EQ(image[image.size() - 16], 0xEA);  // the reset vector's far jump

        const Image off = sim::RomImageBuilder(c.layout).BootBlockSum(1).Build();
        EXPECT_EQ(BootSum(off, c.layout), 1u);
    }
    const Image shortId = sim::RomImageBuilder(Layouts()[0].layout).RomId("AB").Build();
    EXPECT_EQ(std::string(shortId.end() - 32, shortId.end() - 24), "AB      ");
    const Image byDefault = sim::RomImageBuilder(Layouts()[0].layout).Build();
    EXPECT_EQ(std::string(byDefault.end() - 32, byDefault.end() - 24), sim::kDefaultRomId);
}

TEST(RomImageBuilder, RecordsAreWhereAskedAndNowhereElse) {
    const sim::BiosFlashLayout layout = sim::BiosFlashLayout::Uniform(0x100000, 0x10000);
    const Image plain = sim::RomImageBuilder(layout).Build();
    for (const char* signature : {"NALNCBLK", "NALBIOSC", "$BBM", "$ASF"}) {
        EXPECT_TRUE(Find(plain, signature).empty()) << signature;
    }

    const Image image = sim::RomImageBuilder(layout)
                            .NonCriticalBlock(0x20000, 0x10000)
                            .NonCriticalBlock(0x40010, 0x2345)
                            .NonCriticalBlock(0x40020, 0x100)
                            .SignatureRecord(0x30002, 0x00, 0x11223344)
                            .BootBlockMarker()
                            .Build();
    EXPECT_EQ(Find(image, "NALNCBLK"), (std::vector<std::size_t>{0x20000, 0x40010, 0x40020}));
    EXPECT_EQ(Le32(image, 0x20000 + 12), 0x10000u);
    EXPECT_EQ(Le32(image, 0x40010 + 12), 0x2345u);
    EXPECT_EQ(Find(image, "NALBIOSC"), (std::vector<std::size_t>{0x30002}));
    EXPECT_EQ(image[0x30002 - 3], 0x00);
    EXPECT_EQ(Le32(image, 0x30002 + 14), 0x11223344u);
    EXPECT_EQ(Find(image, "$BBM"), (std::vector<std::size_t>{0xF0000 + 0x20}));
    EXPECT_EQ(BootSum(image, layout), 0u);  // fixed after the marker went in
}

TEST(RomImageBuilder, EveryBlockHoldsDataOfItsOwn) {
    const sim::BiosFlashLayout layout = sim::BiosFlashLayout::Uniform(0x100000, 0x10000);
    const Image image = sim::RomImageBuilder(layout).Build();
    for (std::size_t a = 0; a < layout.blocks.size(); ++a) {
        for (std::size_t b = a + 1; b < layout.blocks.size(); ++b) {
            // Not even one kilobyte at the same place in two blocks is alike.
            for (std::size_t kb = 0; kb < 0x10000; kb += 0x400) {
                ASSERT_FALSE(std::equal(image.begin() + a * 0x10000 + kb,
                                        image.begin() + a * 0x10000 + kb + 0x400,
                                        image.begin() + b * 0x10000 + kb))
                    << a << " " << b << " " << kb;
            }
        }
    }
    EXPECT_NE(image, sim::RomImageBuilder(layout).Seed(2).Build());
    EXPECT_EQ(image, sim::RomImageBuilder(layout).Build());
}

TEST(RomImageBuilder, RefusesRecordsItCannotPlace) {
    const sim::BiosFlashLayout layout = sim::BiosFlashLayout::Uniform(0x80000, 0x10000);
    sim::BiosFlashLayout noBoot = layout;
    noBoot.bootBlocks = 0;
    sim::RomImageBuilder builder(layout);
    EXPECT_THROW(builder.NonCriticalBlock(0x80000 - 8, 1), std::invalid_argument);
    EXPECT_THROW(builder.SignatureRecord(0x7FFF0, 0), std::invalid_argument);
    EXPECT_THROW(builder.SignatureRecord(2, 0), std::invalid_argument);
    EXPECT_THROW(builder.NonCriticalBlock(0x70000, 1), std::invalid_argument);  // adjusting word
    EXPECT_THROW(builder.BootBlockMarker(0x10000 - 2), std::invalid_argument);
    EXPECT_THROW(sim::RomImageBuilder(noBoot).BootBlockMarker(), std::invalid_argument);
    EXPECT_THROW(builder.RomId("123456789"), std::invalid_argument);
}

TEST(BiosFlashLayout, FlashAddressesMapToTheImageInsideTheRomOnly) {
    const auto small = sim::BiosFlashLayout::Uniform(0x80000, 0x10000);
    const auto large = sim::BiosFlashLayout::Uniform(0x200000, 0x10000);
    EXPECT_EQ(small.BaseOffset(), 0x80000u);
    EXPECT_EQ(large.BaseOffset(), 0u);
    EXPECT_EQ(sim::BiosFlashLayout::Uniform(0x100000, 0x10000).BaseOffset(), 0u);
    EXPECT_EQ(small.ImageRangeOf(0xFFC00, 1024)->offset, 0x7FC00u);
    EXPECT_FALSE(small.ImageRangeOf(0x7FFFF, 1));
    EXPECT_FALSE(small.ImageRangeOf(0xFFC01, 1024));
    EXPECT_FALSE(small.ImageRangeOf(0xFFFFFFFF, 0xFFFFFFFF));
    EXPECT_EQ(large.ImageRangeOf(0x1FFC00, 1024)->offset, 0x1FFC00u);
    EXPECT_EQ(small.nvram, (std::vector<std::uint32_t>{0xE0000}));
    EXPECT_EQ(small.blocks.back(), (sim::FlashBlock{0xF0000, 0x10000}));
}

}  // namespace
