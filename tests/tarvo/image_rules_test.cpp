// Rules over image bytes and block tables that need no BIOS: the signature
// patch, block selection, and the progress display's arithmetic.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "tarvo/console.h"
#include "tarvo/flash_passes.h"
#include "tarvo/rom_image.h"

namespace tarvo {
namespace {

std::uint32_t WordSum(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        std::uint32_t word;
        std::memcpy(&word, &bytes[i], 4);
        sum += word;
    }
    return sum;
}

// A chunk with a "NALBIOSC" record at signature offset s (s = 8k + 2).
std::vector<std::uint8_t> ChunkWithSignature(std::size_t s, std::uint8_t flag,
                                             std::uint32_t compensation) {
    std::vector<std::uint8_t> chunk(4096);
    for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<std::uint8_t>(i * 13);
    std::memcpy(&chunk[s], "NALBIOSC", 8);
    chunk[s - 3] = flag;
    std::memcpy(&chunk[s + 14], &compensation, 4);
    return chunk;
}

TEST(SignaturePatch, SetsTheFlagAndKeepsTheWordSum) {
    struct Case {
        std::uint8_t oldFlag;
        std::uint32_t compensation, expected;
    } cases[] = {
        {0x00, 0x5A000000, 0x48000000},  // lowered by 12000000h
        {0x12, 0x00000000, 0x00000000},  // already left: nothing changes
        {0x20, 0x00000010, 0x0E000010},  // raised: the flag went down
        {0x00, 0x01000000, 0xEF000000},  // wraps modulo 2^32
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> chunk = ChunkWithSignature(0x102, c.oldFlag, c.compensation);
        const std::uint32_t before = WordSum(chunk);
        PatchSignature(chunk, 0x12);
        EXPECT_EQ(chunk[0x102 - 3], 0x12);
        std::uint32_t compensation;
        std::memcpy(&compensation, &chunk[0x102 + 14], 4);
        EXPECT_EQ(compensation, c.expected);
        EXPECT_EQ(WordSum(chunk), before);
    }
}

TEST(SignaturePatch, OnlyTheFirstRecordOfAChunkAndOnlyOnTheGrid) {
    std::vector<std::uint8_t> chunk = ChunkWithSignature(0x42, 0, 0);
    std::memcpy(&chunk[0x202], "NALBIOSC", 8);
    chunk[0x202 - 3] = 0;
    PatchSignature(chunk, 0x12);
    EXPECT_EQ(chunk[0x42 - 3], 0x12);
    EXPECT_EQ(chunk[0x202 - 3], 0x00);

    // A record off the 8-byte grid (signature at 8k + 3) is not one.
    std::vector<std::uint8_t> off = ChunkWithSignature(0x43, 0, 0);
    const std::vector<std::uint8_t> copy = off;
    PatchSignature(off, 0x12);
    EXPECT_EQ(off, copy);

    // The record's fields may reach the chunk's very end, never past it.
    std::vector<std::uint8_t> tail(64, 0);
    std::memcpy(&tail[64 - 22], "NALBIOSC", 8);
    PatchSignature(tail, 0x12);
    EXPECT_EQ(tail[64 - 25], 0x12);
}

// Table of blocks: 8 blocks of 64 KB in a 512 KB ROM (base 80000h), the last
// one the boot block, the seventh NVRAM.
FlashLayout SmallLayout() {
    FlashLayout layout;
    layout.romSize = 512 * 1024;
    layout.baseOffset = 0x80000;
    for (std::uint32_t i = 0; i < 8; ++i) layout.blocks.push_back({0x80000 + i * 0x10000, 0x10000});
    layout.bootBlockCount = 1;
    layout.nvramAddresses = {0xE0000};
    return layout;
}

std::vector<int> Selected(Pass pass, const Options& options,
                          const std::vector<NonCriticalBlock>& nonCritical) {
    const FlashLayout layout = SmallLayout();
    std::vector<int> selected;
    for (std::size_t i = 0; i < layout.blocks.size(); ++i) {
        if (IsBlockSelected(pass, layout.blocks[i].address, options, layout, nonCritical)) {
            selected.push_back(static_cast<int>(i));
        }
    }
    return selected;
}

TEST(BlockSelection, MainAndBootBlockPasses) {
    // Non-critical blocks: #0 covers blocks 2-3, #1 covers block 5.
    const std::vector<NonCriticalBlock> nc = {{0x20000, 0x20000}, {0x50000, 0x100}};
    struct Case {
        const char* name;
        Options options;
        std::vector<int> main, boot;
    };
    auto with = [](auto change) {
        Options options;
        change(options);
        return options;
    };
    const Case cases[] = {
        {"defaults: main BIOS only", Options{}, {0, 1, 4}, {}},
        {"boot block and NVRAM",
         with([](Options& o) { o.programBootBlock = o.programNvram = true; }),
         {0, 1, 4, 6},
         {7}},
        {"all non-critical only",
         with([](Options& o) { o.programMainBios = false, o.nonCriticalSelected = true; }),
         {2, 3, 5},
         {}},
        {"non-critical #1 only",
         with([](Options& o) {
             o.programMainBios = false, o.nonCriticalSelected = true, o.blockNumbers = {1};
         }),
         {5},
         {}},
        {"main and non-critical #0",
         with([](Options& o) { o.nonCriticalSelected = true, o.blockNumbers = {0}; }),
         {0, 1, 2, 3, 4},
         {}},
        {"nothing but NVRAM",
         with([](Options& o) { o.programMainBios = false, o.programNvram = true; }),
         {6},
         {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Selected(Pass::kMain, c.options, nc), c.main) << c.name;
        EXPECT_EQ(Selected(Pass::kBootBlock, c.options, nc), c.boot) << c.name;
    }
}

TEST(BlockSelection, SelectedNonCriticalBlockWinsOverBootBlockAndNvram) {
    // A non-critical block over the NVRAM block and the boot block.
    const std::vector<NonCriticalBlock> nc = {{0x60000, 0x20000}};
    Options options;
    options.programMainBios = false;
    options.nonCriticalSelected = true;
    EXPECT_EQ(Selected(Pass::kMain, options, nc), (std::vector<int>{6, 7}));
    EXPECT_TRUE(Selected(Pass::kBootBlock, options, nc).empty());
}

TEST(Progress, LinesAndPercentages) {
    struct Case {
        std::uint32_t base, position, total;
        const char* line;
    } cases[] = {
        {0, 0x1000, 0x100000, "0x00001000 (0%) \r"},
        {0x80000, 0xC0000, 0x80000, "0x000C0000 (50%) \r"},
        // 64 MB: the product overflows 32 bits, the percentage must not.
        {0, 0x3F00000, 0x4000000, "0x03F00000 (98%) \r"},
    };
    for (const Case& c : cases) {
        Progress progress(" Writing flash ......... ", false);
        testing::internal::CaptureStdout();
        progress.Start(c.base);
        progress.Show(c.position, c.total);
        progress.Done();
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  std::string(" Writing flash ......... \r Writing flash ......... ") + c.line +
                      " Writing flash ......... done              \n");
    }
    Progress quiet(" Writing flash ......... ", true);
    testing::internal::CaptureStdout();
    quiet.Start(0);
    quiet.Show(1024, 2048);
    quiet.Done();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(ErrorReport, LongMessagesAreNeverCut) {
    const std::string name(300, 'x');
    testing::internal::CaptureStdout();
    ReportError("Cannot open %s\n", name.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nERROR: Cannot open " + name + "\n\n\n");
}

}  // namespace
}  // namespace tarvo
