// Reading, erasing and programming the areas a host's table names, on the
// simulated boards: what comes back, what the flash holds afterwards, and
// what went over the bus (memory-mapped command cycles, SPI cycles).
#include <gtest/gtest.h>

#include <string>

#include "rask/flash_layer.h"
#include "sim/bios/bios_flash.h"
#include "sim/firmware/board_tables.h"
#include "tests/rask/flash_sim_fixture.h"
#include "tests/rask/table_test_bytes.h"

namespace {

using namespace rask_test;
using Rask_Private::FUL_RETURN;

// Two ranges in the main segment: a whole 64 KB block and 256 bytes of
// the next, so both a full block and a short range are walked.
constexpr std::uint32_t kAreaStart = 0xFFF80000;
constexpr std::uint32_t kAreaBytes = 0x10100;

sim::FlashArea TestArea(std::uint32_t start = kAreaStart, std::uint64_t bytes = kAreaBytes) {
    return sim::FlashArea::Blocks(7, "Test Area", "SRVBD010", sim::kMainSegmentTag, start, bytes);
}

// Data without a run of erased bytes, so every byte is programmed.
Bytes Pattern(std::size_t bytes) {
    Bytes data(bytes);
    for (std::size_t i = 0; i < bytes; ++i) data[i] = static_cast<std::uint8_t>(i % 251);
    return data;
}

class Walks : public FlashSim {
  protected:
    sim::FlashArray& Cells() { return Machine().FindFlashPart(sim::kBiosFlashPart)->Cells(); }

    Bytes CellsAt(std::uint32_t address, std::size_t bytes) {
        const std::size_t offset = address - (0x100000000 - Cells().Size());
        const auto span = Cells().Bytes(offset, bytes);
        return Bytes(span.begin(), span.end());
    }

    std::vector<sim::LogEntry> Entries(const std::string& component,
                                       const std::string& operation) const {
        std::vector<sim::LogEntry> matching;
        for (const auto& entry : Log(component)) {
            if (entry.operation == operation) matching.push_back(entry);
        }
        return matching;
    }

    FUL_RETURN Read(Bytes& table, Bytes& buffer) {
        return Rask_Private::FlashUDReadBIOSMemory(Handle(), static_cast<unsigned>(buffer.size()),
                                                   AsAreaTable(table), buffer.data());
    }
    FUL_RETURN Erase(Bytes& table) {
        return Rask_Private::FlashUDEraseBIOSBlocks(Handle(), AsAreaTable(table));
    }
    FUL_RETURN Write(Bytes& table, Bytes& data) {
        return Rask_Private::FlashUDWriteBIOSMemory(Handle(), static_cast<unsigned>(data.size()),
                                                    AsAreaTable(table), data.data());
    }
};

// ---------------------------------------------------------------- reading

TEST_F(Walks, ReadCopiesEachRangeToItsPlaceInTheBuffer) {
    Boot({{"board", "fwh"}});
    ASSERT_EQ(Open(0), Rask_Private::FUL_SUCCESS);
    Bytes table = sim::AreaTableBytes({TestArea()});
    Bytes buffer(kAreaBytes, 0xCC);
    ASSERT_EQ(Read(table, buffer), Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(buffer, CellsAt(kAreaStart, kAreaBytes));
    // One read-array command at the start of each range, nothing else.
    const auto commands = Log("flash");
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].operation, "read-array");
    EXPECT_EQ(commands[0].address, kAreaStart);
    EXPECT_EQ(commands[1].address, kAreaStart + 0x10000);
}

TEST_F(Walks, ReadWantsABufferForEveryRange) {
    Boot({{"board", "fwh"}});
    ASSERT_EQ(Open(0), Rask_Private::FUL_SUCCESS);
    Bytes table = sim::AreaTableBytes({TestArea()});
    Bytes buffer(kAreaBytes - 1);
    EXPECT_EQ(Read(table, buffer), Rask_Private::FUL_BUFFER_TOO_SMALL);
    Bytes none;
    EXPECT_EQ(Rask_Private::FlashUDReadBIOSMemory(Handle(), 0, AsAreaTable(table), buffer.data()),
              Rask_Private::FUL_INVALID_PARAMETER);
    EXPECT_EQ(Rask_Private::FlashUDReadBIOSMemory(Handle(), 16, nullptr, buffer.data()),
              Rask_Private::FUL_INVALID_PARAMETER);
    EXPECT_EQ(Rask_Private::FlashUDReadBIOSMemory(nullptr, 16, AsAreaTable(table), buffer.data()),
              Rask_Private::FUL_INVALID_PARAMETER);
}

TEST_F(Walks, TheBootBlockMayBeReadButNotWritten) {
    Boot({{"board", "fwh"}});
    ASSERT_EQ(Open(0), Rask_Private::FUL_SUCCESS);
    Bytes table = sim::AreaTableBytes({sim::FlashArea::Blocks(
        4, "Boot Block", "V", sim::kBootSegmentTag, 0xFFFE0000, sim::kBootRegionBytes)});
    Bytes buffer(sim::kBootRegionBytes);
    ASSERT_EQ(Read(table, buffer), Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(buffer, CellsAt(0xFFFE0000, sim::kBootRegionBytes));

    Bytes data = Pattern(sim::kBootRegionBytes);
    EXPECT_EQ(Erase(table), Rask_Private::FUL_BAD_AREA_TABLE);
    EXPECT_EQ(Write(table, data), Rask_Private::FUL_BAD_AREA_TABLE);
    EXPECT_TRUE(Entries("flash", "erase").empty());
    EXPECT_TRUE(Entries("flash", "program").empty());
    EXPECT_EQ(CellsAt(0xFFFE0000, sim::kBootRegionBytes), buffer);
}

// ------------------------------------------------ memory-mapped programming

TEST_F(Walks, EraseAndWriteThroughMemoryOnTheFirmwareHub) {
    Boot({{"board", "fwh"}});
    ASSERT_EQ(Open(0), Rask_Private::FUL_SUCCESS);
    Bytes table = sim::AreaTableBytes({TestArea()});
    ASSERT_EQ(Erase(table), Rask_Private::FUL_SUCCESS);
    const auto erases = Entries("flash", "erase");
    ASSERT_EQ(erases.size(), 2u);
    EXPECT_EQ(erases[0].address, kAreaStart);
    EXPECT_EQ(erases[1].address, kAreaStart + 0x10000);
    // The short range's erase takes its whole block.
    EXPECT_EQ(CellsAt(kAreaStart, 0x20000), Bytes(0x20000, 0xFF));

    Machine().Log().Clear();
    Bytes data = Pattern(kAreaBytes);
    ASSERT_EQ(Write(table, data), Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(CellsAt(kAreaStart, kAreaBytes), data);
    const auto programs = Entries("flash", "program");
    ASSERT_EQ(programs.size(), kAreaBytes);
    EXPECT_EQ(programs.front().address, kAreaStart);
    EXPECT_EQ(programs.back().address, kAreaStart + kAreaBytes - 1);
    EXPECT_TRUE(Entries("flash", "erase").empty());
}

TEST_F(Walks, AWriteThatDoesNotVerifyFails) {
    // A cell stuck at 1 inside the second range keeps the byte from taking
    // the pattern's value there.
    Boot({{"board", "fwh"}, {"bios.fault.stuck_bits", "0x90010:0x01"}});
    ASSERT_EQ(Open(0), Rask_Private::FUL_SUCCESS);
    Bytes table = sim::AreaTableBytes({TestArea()});
    ASSERT_EQ(Erase(table), Rask_Private::FUL_SUCCESS);
    Bytes data = Pattern(kAreaBytes);
    data[0x10010] = 0x10;  // bit 0 clear where the cell sticks at 1
    EXPECT_EQ(Write(table, data), Rask_Private::FUL_FAILURE);
}

TEST_F(Walks, ATableWithOneBadRangeChangesNothing) {
    Boot({{"board", "fwh"}});
    ASSERT_EQ(Open(0), Rask_Private::FUL_SUCCESS);
    const Bytes before = CellsAt(kAreaStart, kAreaBytes);
    // The second range does not fit the data: the first must not have been
    // erased or written when that is found.
    Bytes table = sim::AreaTableBytes({TestArea()});
    Bytes data = Pattern(0x10080);
    EXPECT_EQ(Write(table, data), Rask_Private::FUL_FAILURE);
    EXPECT_EQ(Rask_Private::FlashUDCheckBIOSWrite(Handle(), static_cast<unsigned>(data.size()),
                                                  AsAreaTable(table)),
              Rask_Private::FUL_FAILURE);
    // A second range past its segment.
    sim::FlashArea area = TestArea();
    area.ranges[1].blockStart = 0xFFFC0000;
    area.ranges[1].blockLimit = 0xFFFC00FF;
    Bytes outside = sim::AreaTableBytes({area});
    EXPECT_EQ(Erase(outside), Rask_Private::FUL_BAD_AREA_TABLE);
    EXPECT_TRUE(Log("flash").empty());
    EXPECT_EQ(CellsAt(kAreaStart, kAreaBytes), before);
}

TEST_F(Walks, TheWriteCheckWritesNothing) {
    Boot({{"board", "fwh"}});
    ASSERT_EQ(Open(0), Rask_Private::FUL_SUCCESS);
    Bytes table = sim::AreaTableBytes({TestArea()});
    EXPECT_EQ(Rask_Private::FlashUDCheckBIOSWrite(Handle(), kAreaBytes, AsAreaTable(table)),
              Rask_Private::FUL_SUCCESS);
    EXPECT_TRUE(Log("flash").empty());
}

TEST_F(Walks, The16BitPartTakesWordCycles) {
    Boot({{"board", "word16"}});
    ASSERT_EQ(Open(10), Rask_Private::FUL_SUCCESS);
    Bytes table = sim::AreaTableBytes({TestArea(0xFFF00000, 0x100)});
    ASSERT_EQ(Erase(table), Rask_Private::FUL_SUCCESS);
    Bytes data = Pattern(0x100);
    ASSERT_EQ(Write(table, data), Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(CellsAt(0xFFF00000, 0x100), data);
    const auto programs = Entries("flash", "program");
    ASSERT_EQ(programs.size(), 0x80u);
    for (const auto& program : programs) EXPECT_EQ(program.width, 2u);
}

// ------------------------------------------------------------- SPI parts

TEST_F(Walks, EraseAndWriteThroughTheSpiControllerInPages) {
    Boot({{"board", "ich9-spi"}});
    ASSERT_EQ(Open(11), Rask_Private::FUL_SUCCESS);
    constexpr std::uint32_t kBottom = 0xFFC00000;
    // 16 bytes below a page boundary: the first cycle carries 16 bytes.
    constexpr std::uint32_t kStart = kAreaStart + 0x10000 - 0x10;
    Bytes table = sim::AreaTableBytes({TestArea()});
    ASSERT_EQ(Erase(table), Rask_Private::FUL_SUCCESS);
    const auto erases = Entries("spi", "block-erase");
    ASSERT_EQ(erases.size(), 2u);
    EXPECT_EQ(erases[0].address, kAreaStart - kBottom);
    EXPECT_EQ(erases[1].address, kAreaStart + 0x10000 - kBottom);

    sim::FlashArea area = TestArea();
    area.ranges = {{1, 0, 0xFFFF, sim::kMainSegmentTag, kStart, kStart + 0xFFFF}};
    area.size = 0x10000;
    Bytes shifted = sim::AreaTableBytes({area});
    Machine().Log().Clear();
    Bytes data = Pattern(0x10000);
    ASSERT_EQ(Write(shifted, data), Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(CellsAt(kStart, 0x10000), data);
    const auto programs = Entries("spi", "page-program");
    ASSERT_FALSE(programs.empty());
    EXPECT_EQ(programs.front().address, kStart - kBottom);
    EXPECT_EQ(programs.front().value, 16u);
    std::uint64_t next = kStart - kBottom;
    for (const auto& program : programs) {
        EXPECT_EQ(program.address, next);
        EXPECT_LE(program.value, 64u);
        EXPECT_EQ(program.address / 256, (program.address + program.value - 1) / 256);
        next = program.address + program.value;
    }
    EXPECT_EQ(next, kStart - kBottom + 0x10000);
    // Kind 1 is read back through memory, not through read cycles.
    EXPECT_TRUE(Entries("spi", "read").empty());
}

TEST_F(Walks, TheIntelSpiPartIsReadBackThroughReadCycles) {
    Boot({{"board", "pch-spi"}});
    ASSERT_EQ(Open(15), Rask_Private::FUL_SUCCESS);
    constexpr std::uint32_t kBottom = 0xFF800000;
    Bytes table = sim::AreaTableBytes({TestArea()});
    ASSERT_EQ(Erase(table), Rask_Private::FUL_SUCCESS);
    Machine().Log().Clear();
    Bytes data = Pattern(kAreaBytes);
    ASSERT_EQ(Write(table, data), Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(CellsAt(kAreaStart, kAreaBytes), data);
    const auto reads = Entries("spi", "read");
    ASSERT_FALSE(reads.empty());
    std::uint64_t readBytes = 0;
    for (const auto& read : reads) {
        readBytes += read.value;
        EXPECT_NE(read.detail.find("type=read-addr"), std::string::npos) << read.detail;
    }
    EXPECT_EQ(readBytes, kAreaBytes);
    EXPECT_EQ(reads.front().address, kAreaStart - kBottom);
}

TEST_F(Walks, TheIntelSpiPartsWriteThatDoesNotVerifyFails) {
    Boot({{"board", "pch-spi"}, {"bios.fault.stuck_bits", "0x780010:0x01"}});
    ASSERT_EQ(Open(15), Rask_Private::FUL_SUCCESS);
    Bytes table = sim::AreaTableBytes({TestArea()});
    ASSERT_EQ(Erase(table), Rask_Private::FUL_SUCCESS);
    Bytes data = Pattern(kAreaBytes);
    data[0x10] = 0x10;
    EXPECT_EQ(Write(table, data), Rask_Private::FUL_FAILURE);
}

TEST_F(Walks, AnSpiPartTheLibraryDoesNotKnowIsNotWritten) {
    Boot({{"board", "pch-spi-unknown"}});
    ASSERT_EQ(Open(15), Rask_Private::FUL_SUCCESS);
    Bytes table = sim::AreaTableBytes({TestArea()});
    Bytes data = Pattern(kAreaBytes);
    EXPECT_EQ(Write(table, data), Rask_Private::FUL_FAILURE);
    EXPECT_TRUE(Entries("spi", "page-program").empty());
}

TEST_F(Walks, AllErasedDataIssuesNoProgramCycle) {
    Boot({{"board", "ich9-spi"}});
    ASSERT_EQ(Open(11), Rask_Private::FUL_SUCCESS);
    Bytes table = sim::AreaTableBytes({TestArea()});
    ASSERT_EQ(Erase(table), Rask_Private::FUL_SUCCESS);
    Machine().Log().Clear();
    Bytes data(kAreaBytes, 0xFF);
    ASSERT_EQ(Write(table, data), Rask_Private::FUL_SUCCESS);
    EXPECT_TRUE(Entries("spi", "page-program").empty());
}

// --------------------------------------------------------------- top swap

TEST_F(Walks, WithTopSwapTheTopBlocksAreReachedWhereTheTableNamesThem) {
    Boot({{"board", "ich9-spi"}});
    ASSERT_EQ(Open(11), Rask_Private::FUL_SUCCESS);
    ASSERT_EQ(Rask_Private::FlashUDSetTopSwapBit(Handle(), 1), Rask_Private::FUL_SUCCESS);
    Machine().Log().Clear();
    Bytes table = sim::AreaTableBytes(
        {sim::FlashArea::Blocks(4, "Boot Block", "V", sim::kBootSegmentTag, 0xFFFF0000, 0x10000)});
    Bytes buffer(0x10000);
    ASSERT_EQ(Read(table, buffer), Rask_Private::FUL_SUCCESS);
    // The cells of the top block, which the processor sees at FFFE0000h
    // while the chipset swaps.
    EXPECT_EQ(buffer, CellsAt(0xFFFF0000, 0x10000));
    EXPECT_NE(buffer, CellsAt(0xFFFE0000, 0x10000));
    const auto commands = Log("flash");
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front().address, 0xFFFE0000u);

    // A write goes to the same cells through the SPI controller, and its
    // read-back through memory reads them at the swapped address.
    Machine().Log().Clear();
    ASSERT_EQ(Erase(table), Rask_Private::FUL_SUCCESS);
    Bytes data = Pattern(0x10000);
    ASSERT_EQ(Write(table, data), Rask_Private::FUL_SUCCESS);
    EXPECT_EQ(CellsAt(0xFFFF0000, 0x10000), data);
    EXPECT_EQ(Entries("spi", "block-erase").front().address, 0xFFFF0000u - 0xFFC00000u);
}

TEST_F(Walks, WithTopSwapARangeOverBothTopBlocksIsNotReadPastTheFlash) {
    // One range record over the whole boot block region: swapped, its start
    // lands on the top block and its end would lie past 4 GB.
    Boot({{"board", "ich9-spi"}});
    ASSERT_EQ(Open(11), Rask_Private::FUL_SUCCESS);
    ASSERT_EQ(Rask_Private::FlashUDSetTopSwapBit(Handle(), 1), Rask_Private::FUL_SUCCESS);
    sim::FlashArea area =
        sim::FlashArea::Blocks(4, "Boot Block", "V", sim::kBootSegmentTag, 0xFFFE0000, 0x10000);
    area.ranges[0].areaLimit = sim::kBootRegionBytes - 1;
    area.ranges[0].blockLimit = 0xFFFFFFFF;
    Bytes table = sim::AreaTableBytes({area});
    Bytes buffer(sim::kBootRegionBytes, 0xCC);
    EXPECT_EQ(Read(table, buffer), Rask_Private::FUL_FAILURE);
    EXPECT_EQ(buffer, Bytes(sim::kBootRegionBytes, 0xCC));
}

}  // namespace
