// librask's SPI path against the simulated chipset's SPI controller and
// parts: the controller's setup at open, the part's identification, how a
// write goes out as cycles (64-byte chunks inside 256-byte pages, erased
// stretches left out, AAI words on the part without page program), the
// read cycles of the verify, the part's failure reports and the bounded
// waits.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "hw/hw.h"
#include "rask/flash_layer.h"
#include "rask/spi_register_layout.h"
#include "rask/spi_registers.h"
#include "sim/bios/bios_flash.h"
#include "tests/rask/flash_sim_fixture.h"
#include "tests/rask/request_log_filters.h"

namespace {

using namespace Rask_Private;

// One cycle the controller ran, as the "spi" log records it.
struct Cycle {
    std::string operation;
    std::uint64_t offset = 0;
    std::uint64_t bytes = 0;
};

bool operator==(const Cycle& a, const Cycle& b) {
    return a.operation == b.operation && a.offset == b.offset && a.bytes == b.bytes;
}

std::ostream& operator<<(std::ostream& out, const Cycle& c) {
    return out << c.operation << "@" << std::hex << c.offset << std::dec << "x" << c.bytes;
}

// Fills a block's worth of test data that holds no FFh byte, so that no
// stretch of it is left out.
std::vector<std::uint8_t> Pattern(std::size_t n) {
    std::vector<std::uint8_t> data(n);
    for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<std::uint8_t>((i * 7 + 1) & 0x7F);
    return data;
}

class SpiTest : public rask_test::FlashSim {
  protected:
    void OpenBoard(const std::string& board, int platform,
                   const rask_test::Setting& extra = {"spi.status", "0"}) {
        Boot({{"board", board}, extra});
        ASSERT_EQ(Open(platform), FUL_SUCCESS) << board;
    }

    // The cycles that did the work, without the status polls between them.
    std::vector<Cycle> WorkCycles() const {
        std::vector<Cycle> cycles;
        for (const auto& e : Log("spi")) {
            if (e.operation != "read-status") cycles.push_back({e.operation, e.address, e.value});
        }
        return cycles;
    }

    std::vector<sim::LogEntry> CyclesNamed(const std::string& operation) const {
        return rask_test::Named(Log("spi"), operation);
    }

    std::vector<std::uint8_t> Cells(std::uint32_t offset, std::size_t n) {
        const auto bytes = Machine().FindFlashPart(sim::kBiosFlashPart)->Cells().Bytes(offset, n);
        return {bytes.begin(), bytes.end()};
    }

    static std::uint32_t Pa(std::uint32_t offset) { return BOTTOM_OF_FLASH + offset; }

    static std::uint16_t OpType() { return hw::Read16(vspibar + OPTYPE_OFFSET); }

    double VirtualSeconds() { return static_cast<double>(Machine().Clock().NowNs()) / 1e9; }
};

// ------------------------------------------------------------------ setup

struct SetupCase {
    const char* board;
    int platform;
    rask_test::Setting extra;
    unsigned kind;
    std::array<std::uint8_t, 3> id;
};

TEST_F(SpiTest, SetupProgramsTheMenuAndIdentifiesThePart) {
    const SetupCase cases[] = {
        {"ich7-spi", 9, {"spi.status", "0"}, 0, {0xBF, 0x25, 0x41}},
        {"ich7-spi-intel", 9, {"spi.status", "0"}, 2, {0x89, 0x89, 0x11}},
        {"ich9-spi", 11, {"spi.status", "0"}, 1, {0x1F, 0x47, 0x00}},
        {"pch-spi", 15, {"spi.status", "0"}, 2, {0x89, 0x89, 0x13}},
        {"pch-spi-unknown", 15, {"spi.status", "0"}, 3, {0xEF, 0x40, 0x17}},
        // The Atmel part's manufacturer and type with another density.
        {"ich9-spi", 11, {"spi.fault.jedec_id", "0x1F4701"}, 3, {0x1F, 0x47, 0x01}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.board) + " " + c.extra.first + "=" + c.extra.second);
        OpenBoard(c.board, c.platform, c.extra);
        EXPECT_EQ(spi_flashtype, c.kind);
        EXPECT_EQ((std::array<std::uint8_t, 3>{spi_jedec_id[0], spi_jedec_id[1], spi_jedec_id[2]}),
                  c.id);

        // The part without page program takes its writes as AAI words.
        std::array<std::uint8_t, 8> menu{};
        for (unsigned i = 0; i < menu.size(); ++i) menu[i] = hw::Read8(vspibar + OPMENU_OFFSET + i);
        const std::uint8_t program = c.kind == 0 ? 0xAD : 0x02;
        EXPECT_EQ(menu,
                  (std::array<std::uint8_t, 8>{program, 0x03, 0xD8, 0x05, 0x04, 0x50, 0x01, 0x9F}));
        EXPECT_EQ(OpType(), 0x1A33);
        EXPECT_EQ(hw::Read8(vspibar + PREOP_OFFSET), 0x06);
        EXPECT_EQ(hw::Read32(vspibar + BBAR_OFFSET), 0u);

        // Identification is one JEDEC ID cycle of three bytes.
        Machine().Log().Clear();
        SetupSpiController();
        const auto ids = CyclesNamed("read-jedec-id");
        ASSERT_EQ(ids.size(), 1u);
        EXPECT_EQ(ids[0].value, 3u);
        EXPECT_EQ(WorkCycles().size(), 1u);
        Close();
    }
}

// --------------------------------------------------------------- chunking

TEST_F(SpiTest, PageProgramChunksNeverCrossAPage) {
    for (const auto& [board, platform] :
         {std::pair{"ich7-spi-intel", 9}, std::pair{"ich9-spi", 11}, std::pair{"pch-spi", 15}}) {
        SCOPED_TRACE(board);
        OpenBoard(board, platform);
        // 64 KB from 16 bytes below a page boundary, over two 64 KB blocks.
        constexpr std::uint32_t start = 0x0FFFF0;
        const std::vector<std::uint8_t> data = Pattern(0x10000);
        ASSERT_EQ(spi_EraseBlock(Pa(0x0F0000)), FUL_SUCCESS);
        ASSERT_EQ(spi_EraseBlock(Pa(0x100000)), FUL_SUCCESS);
        Machine().Log().Clear();

        ASSERT_EQ(spi_FlashDevWrite(data.data(), Pa(start), 0x10000), FUL_SUCCESS);

        const auto programs = CyclesNamed("page-program");
        ASSERT_FALSE(programs.empty());
        EXPECT_EQ(programs[0].address, start);
        EXPECT_EQ(programs[0].value, 16u);
        // 16 bytes up to the page, 4 chunks in each of the 255 whole pages,
        // and 240 bytes (4 chunks) of the last one: the fewest the rule allows.
        EXPECT_EQ(programs.size(), 1u + 255 * 4 + 4);
        std::uint64_t next = start;
        for (const auto& p : programs) {
            EXPECT_EQ(p.address, next);
            EXPECT_LE(p.value, 64u);
            EXPECT_EQ(p.address / 256, (p.address + p.value - 1) / 256) << std::hex << p.address;
            EXPECT_NE(p.detail.find("prefix=06"), std::string::npos) << p.detail;
            next = p.address + p.value;
        }
        EXPECT_EQ(next, start + 0x10000);
        EXPECT_EQ(Cells(start, data.size()), data);
        Close();
    }
}

// ------------------------------------------------------ erased stretches

struct StretchCase {
    const char* name;
    std::vector<std::uint8_t> data;
    std::vector<Cycle> programs;  // offsets from the start of the write
};

std::vector<std::uint8_t> Bytes(std::initializer_list<std::pair<std::size_t, std::uint8_t>> runs) {
    std::vector<std::uint8_t> data;
    for (const auto& [count, value] : runs) data.insert(data.end(), count, value);
    return data;
}

TEST_F(SpiTest, ErasedStretchesOfEightOrMoreAreLeftOut) {
    const StretchCase cases[] = {
        {"all FFh", Bytes({{4096, 0xFF}}), {}},
        {"eight FFh between data",
         Bytes({{10, 0x00}, {8, 0xFF}, {10, 0x11}}),
         {{"page-program", 0, 10}, {"page-program", 18, 10}}},
        {"seven FFh between data",
         Bytes({{10, 0x00}, {7, 0xFF}, {10, 0x11}}),
         {{"page-program", 0, 27}}},
        {"last seven bytes FFh", Bytes({{10, 0x00}, {7, 0xFF}}), {{"page-program", 0, 17}}},
        {"last eight bytes FFh", Bytes({{10, 0x00}, {8, 0xFF}}), {{"page-program", 0, 10}}},
        {"fewer than eight bytes, all FFh", Bytes({{5, 0xFF}}), {{"page-program", 0, 5}}},
        {"leading stretch", Bytes({{300, 0xFF}, {4, 0x22}}), {{"page-program", 300, 4}}},
    };
    constexpr std::uint32_t base = 0x010000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenBoard("ich9-spi", 11);
        ASSERT_EQ(spi_EraseBlock(Pa(base)), FUL_SUCCESS);
        Machine().Log().Clear();

        ASSERT_EQ(spi_FlashDevWrite(c.data.data(), Pa(base), static_cast<unsigned>(c.data.size())),
                  FUL_SUCCESS);

        std::vector<Cycle> programs;
        for (const auto& e : CyclesNamed("page-program")) {
            programs.push_back({e.operation, e.address - base, e.value});
        }
        EXPECT_EQ(programs, c.programs);
        EXPECT_EQ(Cells(base, c.data.size()), c.data);
        Close();
    }
}

// -------------------------------------------------------------------- AAI

TEST_F(SpiTest, AaiWordsFollowTheFirstWithoutAddressAndEndWithWriteDisable) {
    OpenBoard("ich7-spi", 9);
    ASSERT_EQ(spi_EraseBlock(Pa(0x020000)), FUL_SUCCESS);
    Machine().Log().Clear();
    const std::vector<std::uint8_t> data = {1, 2, 3, 4, 5, 6};

    ASSERT_EQ(spi_FlashDevWrite(data.data(), Pa(0x020100), 6), FUL_SUCCESS);

    const auto all = Log("spi");
    std::vector<std::pair<std::string, std::string>> work;
    for (const auto& e : all) {
        if (e.operation != "read-status") work.emplace_back(e.operation, e.detail);
    }
    ASSERT_EQ(work.size(), 4u);
    EXPECT_EQ(work[0].first, "aai-word-program");
    EXPECT_NE(work[0].second.find("type=write-addr"), std::string::npos) << work[0].second;
    EXPECT_NE(work[0].second.find("prefix=06"), std::string::npos) << work[0].second;
    for (int i : {1, 2}) {
        EXPECT_EQ(work[i].first, "aai-word-program");
        EXPECT_EQ(work[i].second.rfind("type=write", 0), 0u) << work[i].second;
        EXPECT_EQ(work[i].second.find("write-addr"), std::string::npos) << work[i].second;
        EXPECT_EQ(work[i].second.find("prefix"), std::string::npos) << work[i].second;
    }
    EXPECT_EQ(work[3].first, "write-disable");
    EXPECT_EQ(all.front().address, 0x020100u);
    EXPECT_EQ(Cells(0x020100, 6), data);
    EXPECT_EQ(OpType(), 0x1A33);  // the menu as the setup left it
}

TEST_F(SpiTest, AaiAtAnOddOffsetPadsWithFFhAndLeavesTheNeighboursAlone) {
    OpenBoard("ich7-spi", 9);
    ASSERT_EQ(spi_EraseBlock(Pa(0x020000)), FUL_SUCCESS);
    const std::uint8_t before = 0x5A;
    ASSERT_EQ(spi_FlashByteWrite(Pa(0x020200), before), FUL_SUCCESS);
    const std::uint8_t after = 0xA5;
    ASSERT_EQ(spi_FlashByteWrite(Pa(0x020204), after), FUL_SUCCESS);
    Machine().Log().Clear();
    const std::vector<std::uint8_t> data = {0x10, 0x20, 0x30};

    ASSERT_EQ(spi_FlashDevWrite(data.data(), Pa(0x020201), 3), FUL_SUCCESS);

    const auto words = CyclesNamed("aai-word-program");
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].address, 0x020200u);
    EXPECT_EQ(Cells(0x020200, 5), (std::vector<std::uint8_t>{before, 0x10, 0x20, 0x30, after}));
}

TEST_F(SpiTest, AaiEndsWithWriteDisableEvenWhenAWordNeverFinishes) {
    OpenBoard("ich7-spi", 9, {"spi.fault.hang", "0x020302"});
    Machine().FindFlashPart(sim::kBiosFlashPart)->Cells().Erase(0x020000, 0x10000);
    Machine().Log().Clear();
    const std::vector<std::uint8_t> data = Pattern(8);

    EXPECT_EQ(spi_FlashDevWrite(data.data(), Pa(0x020300), 8), FUL_TIMEOUT);

    const auto work = WorkCycles();
    ASSERT_FALSE(work.empty());
    EXPECT_EQ(work.back().operation, "write-disable");
    EXPECT_EQ(CyclesNamed("aai-word-program").size(), 2u);  // none after the one that hung
}

// ------------------------------------------------------------ read cycles

TEST_F(SpiTest, ReadCyclesCarryTheAddressAndPutTheMenuTypeBack) {
    OpenBoard("pch-spi", 15);
    constexpr std::uint32_t offset = 0x7F0010;
    Machine().Log().Clear();
    std::vector<std::uint8_t> read(150);

    ASSERT_EQ(spi_FlashDevRead(read.data(), Pa(offset), 150), FUL_SUCCESS);

    const auto reads = CyclesNamed("read");
    ASSERT_EQ(reads.size(), 3u);
    const std::uint64_t sizes[] = {64, 64, 22};
    for (std::size_t i = 0; i < reads.size(); ++i) {
        EXPECT_EQ(reads[i].address, offset + 64 * i);
        EXPECT_EQ(reads[i].value, sizes[i]);
        EXPECT_NE(reads[i].detail.find("type=read-addr"), std::string::npos) << reads[i].detail;
    }
    EXPECT_EQ(read, Cells(offset, 150));
    EXPECT_EQ(OpType(), 0x1A33);
}

// ----------------------------------------------- the part's own failures

struct FailureCase {
    const char* name;
    rask_test::Setting fault;
    bool erase;  // else a program
    FUL_RETURN expected;
};

TEST_F(SpiTest, TheIntelPartsFailureBitsFailTheOperation) {
    constexpr std::uint32_t block = 0x030000;
    const FailureCase cases[] = {
        {"program", {"spi.fault.program", "0x030040"}, false, FUL_PROGRAM_STATUS},
        {"erase", {"spi.fault.erase", "0x030000"}, true, FUL_SPI_ERASE_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenBoard("pch-spi", 15, c.fault);
        const std::vector<std::uint8_t> data = Pattern(128);
        const FUL_RETURN result =
            c.erase ? spi_EraseBlock(Pa(block)) : spi_FlashDevWrite(data.data(), Pa(block), 128);
        EXPECT_EQ(result, c.expected);
        Close();
    }
}

TEST_F(SpiTest, AnUnknownPartIsNeitherErasedNorProgrammed) {
    OpenBoard("pch-spi-unknown", 15);
    const std::vector<std::uint8_t> before = Cells(0x040000, 256);
    const std::vector<std::uint8_t> data(256, 0x00);

    EXPECT_EQ(spi_EraseBlock(Pa(0x040000)), FUL_SPI_ERASE_FAILED);
    EXPECT_EQ(spi_FlashDevWrite(data.data(), Pa(0x040000), 256), FUL_PROGRAM_STATUS);
    EXPECT_EQ(spi_FlashByteWrite(Pa(0x040000), 0), FUL_PROGRAM_STATUS);

    EXPECT_TRUE(Log("spi").empty());
    EXPECT_EQ(Cells(0x040000, 256), before);
}

TEST_F(SpiTest, AddressesOffTheFlashSendNoCycle) {
    OpenBoard("ich9-spi", 11);
    std::vector<std::uint8_t> buffer(32, 0);

    EXPECT_EQ(spi_FlashDevWrite(buffer.data(), BOTTOM_OF_FLASH - 16, 32), FUL_FAILURE);
    EXPECT_EQ(spi_EraseBlock(BOTTOM_OF_FLASH - 0x10000), FUL_FAILURE);
    EXPECT_EQ(spi_FlashDevRead(buffer.data(), 0xFFFFFFF0, 32), FUL_FAILURE);

    EXPECT_TRUE(Log("spi").empty());
}

TEST_F(SpiTest, AWriteWithoutAnSpiControllerFails) {
    Boot({{"board", "fwh"}});
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    const std::uint8_t data[16] = {};
    EXPECT_EQ(spi_FlashDevWrite(data, 0xFFF00000, sizeof data), FUL_FAILURE);
    EXPECT_EQ(spi_EraseBlock(0xFFF00000), FUL_FAILURE);
}

// ----------------------------------------------------------- time-outs

TEST_F(SpiTest, APartThatStaysBusyTimesOutAfterTheEraseBound) {
    const FailureCase cases[] = {
        {"program", {"spi.fault.hang", "0x050000"}, false, FUL_TIMEOUT},
        {"erase", {"spi.fault.hang", "0x050000"}, true, FUL_TIMEOUT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenBoard("ich9-spi", 11, c.fault);
        const std::vector<std::uint8_t> data = Pattern(64);
        const double start = VirtualSeconds();
        const FUL_RETURN result = c.erase ? spi_EraseBlock(Pa(0x050000))
                                          : spi_FlashDevWrite(data.data(), Pa(0x050000), 64);
        const double waited = VirtualSeconds() - start;
        EXPECT_EQ(result, c.expected);
        EXPECT_GE(waited, kSpiBusyTimeoutUs / 1e6);
        EXPECT_LT(waited, kSpiBusyTimeoutUs / 1e6 + 0.5);
        Close();
    }
}

TEST_F(SpiTest, ACycleThatNeverFinishesTimesOut) {
    // The controller mapped as the open maps it on platform 9, without the
    // open's own cycles, so that the first cycle is the one that hangs.
    Boot({{"board", "ich7-spi"}, {"spi.fault.cycle_hang", "1"}});
    hw::PciAccess* pci = hw::PciOpen();
    const std::uint32_t rcba = hw::PciRead32(hw::PciGetDevice(pci, 0, 0, 31, 0), 0xF0) & ~1u;
    hw::PciClose(pci);
    g_lbPlatform = 9;
    flInterface = 2;
    spi_flashtype = 1;
    ApplySpiRegisterLayout(kOlderSpiLayout);
    const int fd = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR);
    SpiRegisterRegion.pa = (rcba + kOlderSpiLayout.blockOffset) & ~0xFFFFu;
    SpiRegisterRegion.bytes = 0x10000;
    ASSERT_EQ(lib_mmap(fd, &SpiRegisterRegion), FUL_SUCCESS);
    vspibar = pa2va(&SpiRegisterRegion, rcba + kOlderSpiLayout.blockOffset);
    hw::CloseDevice(fd);
    // The menu as the open leaves it, written without a cycle.
    for (unsigned i = 0; i < kSpiOpcodeMenu.size(); ++i) {
        hw::Write8(vspibar + OPMENU_OFFSET + i, kSpiOpcodeMenu[i]);
    }
    hw::Write16(vspibar + OPTYPE_OFFSET, 0x1A33);
    const std::vector<std::uint8_t> data = Pattern(64);
    const double start = VirtualSeconds();

    EXPECT_EQ(spi_FlashDevWrite(data.data(), Pa(0x060000), 64), FUL_TIMEOUT);

    const double waited = VirtualSeconds() - start;
    EXPECT_GE(waited, kSpiCycleTimeoutUs / 1e6);
    EXPECT_LT(waited, kSpiCycleTimeoutUs / 1e6 + 0.5);
    const auto cycles = Log("spi");
    ASSERT_EQ(cycles.size(), 1u);
    EXPECT_NE(cycles[0].detail.find("hang"), std::string::npos) << cycles[0].detail;
    // The stuck controller leaves the part unidentified.
    EXPECT_EQ(GetSPIFlashVendor(), 3u);
}

// ------------------------------------------------ a locked opcode menu

TEST_F(SpiTest, AMenuTheBiosLockedIsNeverUsed) {
    // The BIOS's own menu holds other opcodes where the library expects its
    // own (a 4 KB sector erase where the status write would be).
    Boot({{"board", "ich9-spi"}, {"chipset.spi_lockdown", "1"}});
    const std::vector<std::uint8_t> before = Cells(0, 0x400000);
    ASSERT_EQ(Open(11), FUL_SUCCESS);
    EXPECT_EQ(spi_flashtype, 3u);
    std::vector<std::uint8_t> buffer(64, 0);

    EXPECT_EQ(spi_EraseBlock(Pa(0)), FUL_FAILURE);
    EXPECT_EQ(spi_FlashDevWrite(buffer.data(), Pa(0), 64), FUL_FAILURE);
    EXPECT_EQ(spi_FlashDevRead(buffer.data(), Pa(0), 64), FUL_FAILURE);

    EXPECT_TRUE(Log("spi").empty());
    EXPECT_EQ(Cells(0, 0x400000), before);
}

TEST_F(SpiTest, OnPlatformNineALockedMenuFailsTheOpenAndChangesNothing) {
    Boot({{"board", "ich7-spi"}, {"chipset.spi_lockdown", "1"}});
    const std::vector<std::uint8_t> before = Cells(0, 0x200000);
    Machine().Log().Clear();

    EXPECT_EQ(Open(9), FUL_FAILURE);

    EXPECT_EQ(Cells(0, 0x200000), before);
}

}  // namespace
