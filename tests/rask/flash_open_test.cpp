// Opening and closing the flash device: the memory device's errors, the
// chipset probe of the SPI-capable platforms and the SPI register block it
// maps, and what an open that fails or a close gives back.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hw/hw.h"
#include "hw/physical_memory_view.h"
#include "rask/flash_layer.h"
#include "tests/rask/bios_flash_cells.h"
#include "tests/rask/flash_sim_fixture.h"

namespace rask_test {
namespace {

using namespace Rask_Private;

constexpr sim::PciAddress kLpcBridge{0, 31, 0};

// Descriptors the open got from the simulated kernel and did not give back.
int DescriptorsLeftOpen(const std::vector<sim::LogEntry>& host) {
    int open = 0;
    for (const sim::LogEntry& entry : host) {
        if (entry.operation == "open" && entry.value == 0) ++open;
        if (entry.operation == "close") --open;
    }
    return open;
}

bool ReadsRcba(const std::vector<sim::LogEntry>& pci) {
    for (const sim::LogEntry& entry : pci) {
        if (entry.operation == "read" && entry.address == 0xF0 && entry.width == 4 &&
            entry.detail == "0:31.0") {
            return true;
        }
    }
    return false;
}

class FlashOpenTest : public FlashSim {};

struct OpenFailure {
    const char* name;
    std::vector<Setting> settings;
    int platform;
    FUL_RETURN expected;
};

class FlashOpenFailureTest : public FlashSim, public ::testing::WithParamInterface<OpenFailure> {};

// A failed open hands out no handle and keeps nothing: no mapping, no
// descriptor, so that the host can try again.
TEST_P(FlashOpenFailureTest, FailsWithItsCodeAndKeepsNothing) {
    const OpenFailure& c = GetParam();
    sim::Machine& machine = Boot(c.settings);
    const std::size_t views = machine.Views().Count();
    EXPECT_EQ(Open(c.platform), c.expected);
    EXPECT_EQ(Handle(), nullptr);
    EXPECT_EQ(machine.Views().Count(), views);
    EXPECT_EQ(DescriptorsLeftOpen(OpenLog("host")), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FlashOpenFailureTest,
    ::testing::Values(
        OpenFailure{"without_root", {{"host.fault.open", "/dev/mem:13"}}, 0, FUL_NOT_ROOT},
        OpenFailure{"device_busy", {{"host.fault.open", "/dev/mem:16"}}, 0, FUL_ALREADY_RUNNING},
        OpenFailure{"no_such_device", {{"host.fault.open", "/dev/mem:2"}}, 0, FUL_DRIVER_LOAD},
        OpenFailure{"straps_neither_lpc_nor_spi",
                    {{"board", "ich9-spi"}, {"chipset.straps", "pci"}},
                    11,
                    FUL_DRIVER_LOAD},
        OpenFailure{"no_flash_tables", {{"firmware.tables", "0"}}, 0, FUL_NO_BIOS_TABLES},
        // The volume search passes over a volume whose tables fail their
        // checks, and finds no other.
        OpenFailure{"segment_table_of_one_entry",
                    {{"firmware.fault", "fst-one-entry"}},
                    0,
                    FUL_NO_BIOS_TABLES},
        OpenFailure{"notify_table_of_wrong_access",
                    {{"firmware.fault", "fnt-access-type"}},
                    0,
                    FUL_NO_BIOS_TABLES},
        // Found, but its segments fail the prepare's check after the FST
        // was mapped.
        OpenFailure{
            "segment_of_partition_3", {{"firmware.fault", "fst-partition-3"}}, 0, FUL_BAD_FST},
        OpenFailure{"spi_board_without_tables",
                    {{"board", "pch-spi"}, {"firmware.tables", "0"}},
                    15,
                    FUL_NO_BIOS_TABLES}),
    NameOfCase<OpenFailure>);

// RCBA's enable bit left clear by the BIOS, or all ones as from a bridge
// that is not there: the probe fails without reaching any register behind
// it.
TEST_F(FlashOpenTest, RegisterBlockNotEnabledFailsTheProbe) {
    for (const bool absent : {false, true}) {
        sim::Machine& machine = Boot({{"board", "ich9-spi"}, {"chipset.rcba_enabled", "0"}});
        if (absent) machine.Pci().Find(kLpcBridge)->Preset(0xF0, 4, 0xFFFFFFFF);
        EXPECT_EQ(Open(11), FUL_DRIVER_LOAD) << absent;
        EXPECT_TRUE(ReadsRcba(OpenLog("pci"))) << absent;
        EXPECT_TRUE(Only(OpenLog("host"), "mmap").empty()) << absent;
    }
}

// The backed-up control register lies at RCBA + 3414h wherever RCBA is in
// its 64 KB; top swap set there before the open is what the open reads.
TEST_F(FlashOpenTest, TopSwapIsReadBehindRcba) {
    Boot({{"board", "ich9-spi"}, {"chipset.rcba", "0xFED10000"}});
    const int fd = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR);
    ASSERT_GE(fd, 0);
    {
        auto control = hw::PhysicalMemoryView::Map(fd, 0xFED13414, 1,
                                                   hw::PhysicalMemoryView::Access::kReadWrite);
        ASSERT_TRUE(control);
        ASSERT_TRUE(control->Write8(0, 0x01));
    }
    hw::CloseDevice(fd);
    ASSERT_EQ(Open(11), FUL_SUCCESS);
    EXPECT_EQ(buc, 0xFED13414u);
    EXPECT_EQ(TopSwapBit, 1u);
}

struct ProbeCase {
    const char* name;
    std::vector<Setting> settings;
    int platform;
    unsigned interface;
    std::uint32_t bottomOfFlash;
    unsigned spisOffset;
    std::uint32_t spiBlock;  // physical address of the SPI registers, 0 for LPC
};

class FlashProbeTest : public FlashSim, public ::testing::WithParamInterface<ProbeCase> {};

// The probe reads RCBA, takes the straps behind it and maps the SPI block
// of the platform's layout; the controller answers there, which the part's
// identification during the open shows.
TEST_P(FlashProbeTest, FindsTheInterfaceAndTheSpiBlock) {
    const ProbeCase& c = GetParam();
    Boot(c.settings);
    ASSERT_EQ(Open(c.platform), FUL_SUCCESS);
    EXPECT_TRUE(ReadsRcba(OpenLog("pci")));
    EXPECT_EQ(flInterface, c.interface);
    if (c.spiBlock == 0) {
        EXPECT_EQ(vspibar, nullptr);
        EXPECT_TRUE(OpenLog("spi").empty());
        return;
    }
    EXPECT_EQ(BOTTOM_OF_FLASH, c.bottomOfFlash);
    EXPECT_EQ(SPIS_OFFSET, c.spisOffset);
    EXPECT_EQ(SpiRegisterRegion.pa, c.spiBlock & 0xFFFF0000);
    EXPECT_EQ(vspibar, SpiRegisterRegion.va + (c.spiBlock & 0xFFFF));
    EXPECT_FALSE(Only(OpenLog("spi"), "read-jedec-id").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Boards, FlashProbeTest,
    ::testing::Values(
        ProbeCase{"older_spi", {{"board", "ich7-spi"}}, 9, 2, 0xFFE00000, 0x00, 0xFED1F020},
        ProbeCase{"newer_spi", {{"board", "ich9-spi"}}, 11, 2, 0xFFC00000, 0x90, 0xFED1F800},
        ProbeCase{"pch_spi", {{"board", "pch-spi"}}, 15, 2, 0xFF800000, 0x90, 0xFED1F800},
        // RCBA at 0000h of its 64 KB: the registers lie at RCBA + offset,
        // not at the offsets a block at C000h would give.
        ProbeCase{"rcba_low_in_its_64k",
                  {{"board", "ich9-spi"}, {"chipset.rcba", "0xFED10000"}},
                  11,
                  2,
                  0xFFC00000,
                  0x90,
                  0xFED13800},
        ProbeCase{"spi_chipset_booting_lpc",
                  {{"board", "ich7-spi"}, {"chipset.straps", "lpc"}},
                  9,
                  1,
                  0,
                  0,
                  0}),
    NameOfCase<ProbeCase>);

TEST_F(FlashOpenTest, DefaultPlatformProbesNoChipset) {
    Boot();
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    EXPECT_FALSE(ReadsRcba(OpenLog("pci")));
    EXPECT_EQ(flInterface, 0u);
    EXPECT_EQ(Handle()->Prepared, 1);
}

TEST_F(FlashOpenTest, NewerLayoutSetsEveryRegisterOffset) {
    Boot({{"board", "ich9-spi"}});
    ASSERT_EQ(Open(11), FUL_SUCCESS);
    const unsigned offsets[] = {SPIS_OFFSET,   SPIC_OFFSET,   SPIA_OFFSET,
                                SPID_OFFSET,   BBAR_OFFSET,   PREOP_OFFSET,
                                OPTYPE_OFFSET, OPMENU_OFFSET, PBR_OFFSET};
    const unsigned expected[] = {0x90, 0x91, 0x08, 0x10, 0xA0, 0x94, 0x96, 0x98, 0x78};
    for (std::size_t i = 0; i < std::size(offsets); ++i) EXPECT_EQ(offsets[i], expected[i]) << i;
}

TEST_F(FlashOpenTest, CloseLocksAndGivesEverythingBack) {
    sim::Machine& machine = Boot();
    const std::size_t views = machine.Views().Count();
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    const int fd = Handle()->Dev;
    EXPECT_EQ(Close(), FUL_SUCCESS);
    EXPECT_EQ(machine.Views().Count(), views);
    const auto closes = Only(Log("host"), "close");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].address, static_cast<std::uint64_t>(fd));
    // Locked: BIOS write enable is clear again.
    EXPECT_EQ(machine.Pci().Read(kLpcBridge, 0xDC, 1) & 1, 0u);
    EXPECT_EQ(FlashUDClose(nullptr), FUL_INVALID_PARAMETER);
}

// The firmware hub's lock registers cannot be mapped, so the close's lock
// fails: the close says so and still gives back the regions and the device.
TEST_F(FlashOpenTest, CloseWhoseLockFailsStillReleases) {
    sim::Machine& machine = Boot({{"host.fault.mmap", "0xFF800000:0x200000:12"}});
    const std::size_t views = machine.Views().Count();
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    EXPECT_EQ(Close(), FUL_FAILURE);
    EXPECT_EQ(machine.Views().Count(), views);
    EXPECT_EQ(Only(Log("host"), "close").size(), 1u);
}

TEST_F(FlashOpenTest, SecondPrepareTouchesNothing) {
    sim::Machine& machine = Boot();
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    EXPECT_EQ(PrepareMemoryRegions(Handle()), FUL_SUCCESS);
    EXPECT_TRUE(machine.Log().Entries().empty());
    EXPECT_EQ(PrepareMemoryRegions(nullptr), FUL_INVALID_PARAMETER);
}

TEST_F(FlashOpenTest, NullArgumentsAreRefused) {
    Boot();
    FlashDesc* handle = nullptr;
    EXPECT_EQ(FlashUDOpen(0, nullptr, false, &handle), FUL_INVALID_PARAMETER);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(FlashUDOpen(0, hw::kPhysicalMemoryDevice, false, nullptr), FUL_INVALID_PARAMETER);
    EXPECT_EQ(FlashUDSkipPrimaryCheck(nullptr, true), FUL_SUCCESS);
}

}  // namespace
}  // namespace rask_test
