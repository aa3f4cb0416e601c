// Mapping physical ranges (lib_mmap, lib_munmap, pa2va) and the regions a
// prepared handle holds: the flash partitions the FST describes, the FST
// copy, the flags block with its notify field, and what a prepare that
// fails gives back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bmc/debug_log.h"
#include "hw/hw.h"
#include "hw/physical_memory_view.h"
#include "rask/flash_layer.h"
#include "tests/rask/bios_flash_cells.h"
#include "tests/rask/flash_sim_fixture.h"

namespace rask_test {
namespace {

using namespace Rask_Private;

constexpr std::uint32_t kBlock = 0x10000;

class RegionsTest : public FlashSim {
  protected:
    ~RegionsTest() override {
        if (mFd >= 0) hw::CloseDevice(mFd);
    }
    int MemoryDevice() {
        if (mFd < 0) mFd = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR);
        return mFd;
    }

  private:
    int mFd = -1;
};

struct MappingCase {
    std::uint32_t pa;
    std::uint32_t bytes;
    std::int32_t pages;
};

class MappingTest : public RegionsTest, public ::testing::WithParamInterface<MappingCase> {};

// The mapping starts at the page holding pa; va shows pa itself; the last
// byte translates and the one past it does not.
TEST_P(MappingTest, MapsWholePagesAndTranslatesInsideOnly) {
    const MappingCase& c = GetParam();
    Boot();
    MemRegion region;
    region.pa = c.pa;
    region.bytes = c.bytes;
    ASSERT_EQ(lib_mmap(MemoryDevice(), &region), FUL_SUCCESS);
    EXPECT_EQ(region.pages, c.pages);
    const auto lead = c.pa % hw::PhysicalMemoryView::PageSize();
    EXPECT_EQ(region.va, static_cast<volatile std::uint8_t*>(region.page_va) + lead);
    EXPECT_EQ(pa2va(&region, c.pa), region.va);
    EXPECT_EQ(pa2va(&region, c.pa + c.bytes - 1), region.va + c.bytes - 1);
    EXPECT_EQ(pa2va(&region, c.pa + c.bytes), nullptr);
    EXPECT_EQ(pa2va(&region, c.pa - 1), nullptr);

    const std::size_t views = Machine().Views().Count();
    EXPECT_EQ(lib_munmap(&region), 0);
    EXPECT_EQ(Machine().Views().Count(), views - 1);
    EXPECT_EQ(region.pages, 0);
    EXPECT_EQ(region.va, nullptr);
    EXPECT_EQ(region.page_va, nullptr);
    EXPECT_EQ(lib_munmap(&region), 0);  // given back already: nothing to do
}

INSTANTIATE_TEST_SUITE_P(Ranges, MappingTest,
                         ::testing::Values(MappingCase{0xF0000, 0x1000, 1},
                                           MappingCase{0xF0010, 0x20, 1},
                                           MappingCase{0xF0FF0, 0x20, 2},
                                           MappingCase{0xFFFF0000, 0x10000, 16}));

TEST_F(RegionsTest, RefusesWhatCannotBeMapped) {
    Boot({{"host.fault.mmap", "0xE0000:0x1000:1"}});
    MemRegion region;
    region.pa = 0xE0000;
    region.bytes = 0x100;
    EXPECT_EQ(lib_mmap(-1, &region), FUL_INVALID_PARAMETER);
    EXPECT_EQ(lib_mmap(MemoryDevice(), nullptr), FUL_INVALID_PARAMETER);
    EXPECT_EQ(lib_mmap(MemoryDevice(), &region), FUL_MAP_FAILED);
    EXPECT_EQ(region.pages, 0);
    EXPECT_EQ(region.va, nullptr);

    MemRegion empty;
    empty.pa = 0xF0000;
    EXPECT_EQ(lib_mmap(MemoryDevice(), &empty), FUL_INVALID_PARAMETER);
    // Past 4 GB: no table of the flash can name such a range.
    MemRegion pastTop;
    pastTop.pa = 0xFFFFF000;
    pastTop.bytes = 0x2000;
    EXPECT_EQ(lib_mmap(MemoryDevice(), &pastTop), FUL_INVALID_PARAMETER);
    EXPECT_EQ(lib_munmap(nullptr), FUL_INVALID_PARAMETER);
    EXPECT_EQ(pa2va(&empty, 0xF0000), nullptr);
}

// The default board: the boot block region is partition 1, the main BIOS
// and the firmware blocks below it partition 2; the flags block lies
// 256 KB below the top and holds the notify field at 10h.
TEST_F(RegionsTest, PreparedHandleHoldsTheFlashAndTheTables) {
    sim::Machine& machine = Boot();
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    const FlashDesc& h = *Handle();
    const std::uint32_t base = PartBase(machine);
    EXPECT_EQ(h.PrimaryFlash.pa, 0xFFFE0000u);
    EXPECT_EQ(h.PrimaryFlash.bytes, 0x20000u);
    EXPECT_EQ(h.SecondaryFlash.pa, base);
    EXPECT_EQ(h.SecondaryFlash.bytes, 0xFFFE0000u - base);

    const std::size_t fst = FindInPart(machine, "FLASHTBL");
    EXPECT_EQ(h.FstRegion.pa, base + fst);
    const std::vector<std::uint8_t> part = PartBytes(machine);
    ASSERT_EQ(h.FstCopy.size(), h.FstRegion.bytes);
    EXPECT_TRUE(std::equal(h.FstCopy.begin(), h.FstCopy.end(), part.begin() + fst));
    EXPECT_EQ(h.FntCopy.size(), FlshNotifyTblSize);

    EXPECT_EQ(h.FfbRegion.pa, 0xFFFC0000u);
    EXPECT_EQ(h.FfbRegion.bytes, kBlock);
    EXPECT_EQ(h.NotifyLength, 16u);
    EXPECT_EQ(h.NotifyField, h.FfbRegion.va + 0x10);
}

// The SPI boards keep no FNT: no notify field and no flags block mapped.
TEST_F(RegionsTest, SpiBoardHasNoNotifyField) {
    Boot({{"board", "pch-spi"}});
    ASSERT_EQ(Open(15), FUL_SUCCESS);
    EXPECT_EQ(Handle()->NotifyLength, 0u);
    EXPECT_EQ(Handle()->NotifyField, nullptr);
    EXPECT_EQ(Handle()->FfbRegion.pages, 0);
    EXPECT_TRUE(Handle()->FntCopy.empty());
    EXPECT_EQ(Handle()->PrimaryFlash.pa, 0xFFFE0000u);
}

// Every FST entry made partition 1: the secondary flash stays empty and
// unmapped, and no address translates into it.
TEST_F(RegionsTest, SegmentTableOfPartitionOneOnlyLeavesSecondaryEmpty) {
    sim::Machine& machine = Boot();
    const std::size_t fst = FindInPart(machine, "FLASHTBL");
    RewritePart(machine, [fst](std::vector<std::uint8_t>& bytes) {
        const std::uint32_t size = bytes[fst + 28] | bytes[fst + 29] << 8;
        for (std::size_t entry = fst + 32; entry + 32 <= fst + size; entry += 32) {
            PutLittleEndian(bytes, entry + 4, 1, 2);
        }
    });
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    const FlashDesc& h = *Handle();
    EXPECT_EQ(h.SecondaryFlash.pa, 0xFFFFFFFFu);
    EXPECT_EQ(h.SecondaryFlash.bytes, 0u);
    EXPECT_EQ(h.SecondaryFlash.pages, 0);
    MemRegion secondary = h.SecondaryFlash;
    EXPECT_EQ(pa2va(&secondary, 0xFFFFFFFF), nullptr);
    EXPECT_EQ(h.PrimaryFlash.pa, PartBase(machine));
    EXPECT_EQ(h.PrimaryFlash.bytes, BiosFlash(machine).Cells().Size());
}

// A notify field that would run past its flags block: the tables are
// refused before anything reads or programs the field.
TEST_F(RegionsTest, NotifyFieldOutsideItsBlockIsRefused) {
    sim::Machine& machine = Boot();
    const std::size_t fnt = FindInPart(machine, "NOTIFYBT");
    RewritePart(machine, [fnt](std::vector<std::uint8_t>& bytes) {
        PutLittleEndian(bytes, fnt + 56, 0xFFFCFFF8, 8);  // 8 bytes before the block's end
    });
    const std::size_t views = machine.Views().Count();
    EXPECT_EQ(Open(0), FUL_NO_BIOS_TABLES);
    EXPECT_EQ(machine.Views().Count(), views);
}

// Platform 1 maps its one part once: both regions show that mapping, and
// the close gives it back once.
TEST_F(RegionsTest, PlatformOneMapsOnePartForBothRegions) {
    sim::Machine& machine = Boot({{"board", "word16"}});
    const std::size_t views = machine.Views().Count();
    ASSERT_EQ(Open(1), FUL_SUCCESS);
    const FlashDesc& h = *Handle();
    EXPECT_EQ(h.PrimaryFlash.pa, PartBase(machine));
    EXPECT_EQ(h.PrimaryFlash.bytes, BiosFlash(machine).Cells().Size());
    EXPECT_EQ(h.SecondaryFlash.page_va, h.PrimaryFlash.page_va);
    EXPECT_EQ(h.SecondaryFlash.bytes, h.PrimaryFlash.bytes);
    const std::size_t mapped = Only(OpenLog("host"), "mmap").size();
    const std::size_t unmapped = Only(OpenLog("host"), "munmap").size();
    EXPECT_EQ(Close(), FUL_SUCCESS);
    EXPECT_EQ(machine.Views().Count(), views);
    // Every mapping given back once, none twice.
    EXPECT_EQ(Only(Log("host"), "munmap").size() + unmapped,
              Only(Log("host"), "mmap").size() + mapped);
}

// The diagnostic dump: the first 8 KB of each 64 KB block of the secondary
// flash, eight 32-bit values a line, in the debug log at level 3.
TEST_F(RegionsTest, PrintFlash2DumpsTheSecondaryFlash) {
    sim::Machine& machine = Boot();
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    const std::filesystem::path here = std::filesystem::current_path();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("rask_dump_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    const unsigned level = LIBDBG_DEBUG_LEVEL;
    LIBDBG_DEBUG_LEVEL = 3;
    const FUL_RETURN result = FlashUDPrintFlash2(Handle());
    LIBDBG_DEBUG_LEVEL = level;
    std::filesystem::current_path(here);
    ASSERT_EQ(result, FUL_SUCCESS);

    std::ifstream log(dir / "DBGLOG.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        if (line.rfind("0x", 0) == 0 || line.find("FlashUDPrintFlash2") != std::string::npos) {
            lines.push_back(line);
        }
    }
    std::filesystem::remove_all(dir);
    const std::uint32_t secondary = Handle()->SecondaryFlash.bytes;
    ASSERT_EQ(lines.size(), 1 + secondary / kBlock * (8192 / 32));
    EXPECT_EQ(lines[0],
              "FlashUDPrintFlash2 :  Actual Contents of Secondary Flash Memory (first 8192 bytes "
              "of each block): ");
    const std::vector<std::uint8_t> cells = CellsAt(machine, PartBase(machine) + kBlock, 32);
    std::string expected(128, '\0');
    const auto word = [&cells](int i) {
        return static_cast<unsigned>(cells[4 * i] | cells[4 * i + 1] << 8 | cells[4 * i + 2] << 16 |
                                     static_cast<unsigned>(cells[4 * i + 3]) << 24);
    };
    expected.resize(static_cast<std::size_t>(std::snprintf(
        expected.data(), expected.size(), "0x%8x: %8x - %8x - %8x - %8x - %8x - %8x - %8x - %8x",
        PartBase(machine) + kBlock, word(0), word(1), word(2), word(3), word(4), word(5), word(6),
        word(7))));
    EXPECT_EQ(lines[1 + 8192 / 32], expected);  // the first line of the second block
}

}  // namespace
}  // namespace rask_test
