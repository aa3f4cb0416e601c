// Top swap against the simulated chipset: the bit read at open and by
// FlashUDGetTopSwapBit, the bit set and cleared in the backed-up control
// register without its other bits, a chipset that keeps the bit locked,
// the address exchange of memory accesses, and areas in the top blocks read
// and written while the chipset swaps them.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "hw/hw.h"
#include "hw/physical_memory_view.h"
#include "rask/flash_layer.h"
#include "sim/bios/bios_flash.h"
#include "sim/chipset/bios_range.h"
#include "sim/firmware/board_tables.h"
#include "sim/firmware/flash_tables.h"
#include "tests/rask/debug_log_capture.h"
#include "tests/rask/flash_sim_fixture.h"
#include "tests/rask/request_log_filters.h"

namespace {

using namespace Rask_Private;

constexpr std::uint32_t kTopBlock = 0xFFFF0000;
constexpr std::uint32_t kBelowTopBlock = 0xFFFE0000;
constexpr std::uint32_t kBlock = 0x10000;

class TopSwapTest : public rask_test::FlashSim {
  protected:
    // RCBA as the BIOS programmed the LPC bridge.
    static std::uint32_t Rcba() {
        hw::PciAccess* pci = hw::PciOpen();
        const std::uint32_t value = hw::PciRead32(hw::PciGetDevice(pci, 0, 0, 31, 0), 0xF0);
        hw::PciClose(pci);
        return value & 0xFFFFC000;
    }

    // A chipset register behind RCBA, read or written as a test's probe.
    static std::optional<hw::PhysicalMemoryView> Register(std::uint32_t offset) {
        const int fd = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR);
        auto view = hw::PhysicalMemoryView::Map(fd, Rcba() + offset, 4,
                                                hw::PhysicalMemoryView::Access::kReadWrite);
        hw::CloseDevice(fd);
        return view;
    }
    static std::uint8_t BackedUpControl() { return Register(0x3414)->Read8(0).value_or(0xEE); }
    static void SetBackedUpControl(std::uint8_t value) {
        ASSERT_TRUE(Register(0x3414)->Write8(0, value));
    }

    bool ChipsetSwaps() { return Machine().Find<sim::BiosRange>()->TopSwap(); }

    sim::FlashArray& Cells() { return Machine().FindFlashPart(sim::kBiosFlashPart)->Cells(); }
    std::uint32_t PartOffset(std::uint32_t pa) {
        return static_cast<std::uint32_t>(pa - (0x100000000 - Cells().Size()));
    }
    std::vector<std::uint8_t> CellsAt(std::uint32_t pa, std::size_t n) {
        const auto bytes = Cells().Bytes(PartOffset(pa), n);
        return {bytes.begin(), bytes.end()};
    }

    // A host's area table of one area over these 64 KB blocks of the boot
    // block segment.
    static std::vector<std::uint8_t> BootArea(std::uint32_t start, std::uint64_t size) {
        return sim::AreaTableBytes({sim::FlashArea::Blocks(4, "Boot Block", "SRVBD011",
                                                           sim::kBootSegmentTag, start, size)});
    }
};

TEST_F(TopSwapTest, TheOpenAndTheGetReadBitZeroOfTheBackedUpControl) {
    Boot({{"board", "ich9-spi"}});
    SetBackedUpControl(0x01);
    ASSERT_EQ(Open(11), FUL_SUCCESS);
    EXPECT_EQ(TopSwapBit, 1u);

    SetBackedUpControl(0x20);
    EXPECT_EQ(FlashUDGetTopSwapBit(), 0u);
    SetBackedUpControl(0x21);
    EXPECT_EQ(FlashUDGetTopSwapBit(), 1u);
}

// The backed-up control register of a chipset that keeps more in it than
// top swap (a disabled LAN controller, say, in bit 5): the simulated
// register keeps bit 0 only, so this stands in front of it, shows the other
// bits as set and records what the library writes.
class BackedUpControlWithOtherBits : public sim::MmioHandler {
  public:
    BackedUpControlWithOtherBits(sim::Machine& machine, std::uint8_t otherBits)
        : mRegion(*machine.Memory().Find("rcba")), mInner(*mRegion.handler), mOther(otherBits) {
        mRegion.handler = this;
    }
    ~BackedUpControlWithOtherBits() override { mRegion.handler = &mInner; }
    BackedUpControlWithOtherBits(const BackedUpControlWithOtherBits&) = delete;
    BackedUpControlWithOtherBits& operator=(const BackedUpControlWithOtherBits&) = delete;

    std::uint32_t MmioRead(std::uint64_t offset, unsigned width) override {
        const std::uint32_t value = mInner.MmioRead(offset, width);
        return offset == kOffset && width == 1 ? value | mOther : value;
    }
    void MmioWrite(std::uint64_t offset, unsigned width, std::uint32_t value) override {
        if (offset == kOffset) mWritten.push_back(value);
        mInner.MmioWrite(offset, width, value);
    }
    const std::vector<std::uint32_t>& Written() const { return mWritten; }

  private:
    static constexpr std::uint64_t kOffset = 0x3414;
    sim::MemoryRegion& mRegion;
    sim::MmioHandler& mInner;
    std::uint8_t mOther;
    std::vector<std::uint32_t> mWritten;
};

TEST_F(TopSwapTest, SettingAndClearingChangeOnlyTheTopSwapBit) {
    struct Case {
        bool swappedBefore;
        unsigned bit;
        std::uint32_t written;
    };
    const Case cases[] = {
        {false, 1, 0x21},
        {true, 0, 0x20},
        {true, 2, 0x20},  // any value but 1 clears it
        {true, 1, 0x21},
    };
    Boot({{"board", "ich9-spi"}});
    ASSERT_EQ(Open(11), FUL_SUCCESS);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.swappedBefore << " bit " << c.bit);
        SetBackedUpControl(c.swappedBefore ? 1 : 0);
        BackedUpControlWithOtherBits control(Machine(), 0x20);

        ASSERT_EQ(FlashUDSetTopSwapBit(Handle(), c.bit), FUL_SUCCESS);

        EXPECT_EQ(control.Written(), std::vector<std::uint32_t>{c.written});
        // The chipset swaps at once, and the library's accesses follow it.
        EXPECT_EQ(ChipsetSwaps(), (c.written & 1) != 0);
        EXPECT_EQ(TopSwapBit, c.written & 1);
    }
}

TEST_F(TopSwapTest, ABitTheChipsetKeepsLockedFailsTheSet) {
    Boot({{"board", "ich9-spi"}});
    ASSERT_EQ(Open(11), FUL_SUCCESS);
    // BIOS interface lock-down: the straps and top swap no longer change.
    ASSERT_TRUE(Register(0x3410)->Write32(0, Register(0x3410)->Read32(0).value_or(0) | 1));

    EXPECT_EQ(FlashUDSetTopSwapBit(Handle(), 1), FUL_FAILURE);
    EXPECT_EQ(TopSwapBit, 0u);
    EXPECT_FALSE(ChipsetSwaps());
}

TEST_F(TopSwapTest, ANullHandleIsRefused) {
    const rask_test::DebugLogCapture debugLog;
    EXPECT_EQ(FlashUDSetTopSwapBit(nullptr, 1), FUL_INVALID_PARAMETER);
    EXPECT_TRUE(debugLog.Has("FlashUDLockFlash : Invalid Flash Device handle!"));
}

TEST_F(TopSwapTest, APlatformWithoutTheRegisterHasNoTopSwapToSet) {
    Boot({{"board", "fwh"}});
    ASSERT_EQ(Open(0), FUL_SUCCESS);
    const int fd = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR);
    auto low = hw::PhysicalMemoryView::Map(fd, 0, 4, hw::PhysicalMemoryView::Access::kReadOnly);
    hw::CloseDevice(fd);
    ASSERT_TRUE(low);
    const std::uint32_t before = low->Read32(0).value_or(0);

    EXPECT_EQ(FlashUDSetTopSwapBit(Handle(), 1), FUL_FAILURE);
    EXPECT_EQ(FlashUDGetTopSwapBit(), 0u);

    EXPECT_EQ(low->Read32(0).value_or(~before), before);
    EXPECT_FALSE(ChipsetSwaps());
}

TEST_F(TopSwapTest, OnlyTheSwappingPlatformsExchangeTheTopTwoBlocks) {
    struct Case {
        int platform;
        unsigned bit;
        std::uint32_t address;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {11, 1, kTopBlock, kBelowTopBlock},
        {11, 1, kBelowTopBlock, kTopBlock},
        {9, 1, kTopBlock + 0x8000, kBelowTopBlock + 0x8000},  // inside the block too
        {15, 1, kBelowTopBlock + 0xFFFF, kTopBlock + 0xFFFF},
        {11, 1, kBelowTopBlock - kBlock, kBelowTopBlock - kBlock},  // below the swap
        {11, 0, kTopBlock, kTopBlock},
        {0, 1, kTopBlock, kTopBlock},
        {1, 1, kBelowTopBlock, kBelowTopBlock},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.platform << " " << c.bit << " " << std::hex << c.address);
        g_lbPlatform = c.platform;
        TopSwapBit = c.bit;
        EXPECT_EQ(ApplyTopSwap(c.address), c.expected);
    }
    ResetFlashLayerState();
}

TEST_F(TopSwapTest, WhileSwappedAnAreaReadsTheCellsItsTableNames) {
    Boot({{"board", "ich9-spi"}});
    ASSERT_EQ(Open(11), FUL_SUCCESS);
    // Blocks that tell each other apart.
    for (const auto& [pa, value] : {std::pair{kBelowTopBlock, std::uint8_t{0x11}},
                                    std::pair{kTopBlock, std::uint8_t{0x22}}}) {
        Cells().Erase(PartOffset(pa), kBlock);
        Cells().Program(PartOffset(pa), std::vector<std::uint8_t>(256, value));
    }
    ASSERT_EQ(FlashUDSetTopSwapBit(Handle(), 1), FUL_SUCCESS);
    std::vector<std::uint8_t> table = BootArea(kBelowTopBlock, 2 * kBlock);
    std::vector<std::uint8_t> data(2 * kBlock);

    ASSERT_EQ(FlashUDReadBIOSMemory(Handle(), static_cast<unsigned>(data.size()),
                                    reinterpret_cast<FLASH_AREA_TABLE*>(table.data()), data.data()),
              FUL_SUCCESS);

    EXPECT_EQ(data, CellsAt(kBelowTopBlock, 2 * kBlock));
}

TEST_F(TopSwapTest, WhileSwappedAWriteOfTheTopBlockGoesToItsCellsAndPassesItsVerify) {
    Boot({{"board", "ich9-spi"}});
    ASSERT_EQ(Open(11), FUL_SUCCESS);
    ASSERT_EQ(FlashUDSetTopSwapBit(Handle(), 1), FUL_SUCCESS);
    std::vector<std::uint8_t> table = BootArea(kTopBlock, kBlock);
    auto* area = reinterpret_cast<FLASH_AREA_TABLE*>(table.data());
    std::vector<std::uint8_t> data(kBlock);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 251);
    const std::vector<std::uint8_t> belowBefore = CellsAt(kBelowTopBlock, kBlock);
    Machine().Log().Clear();

    ASSERT_EQ(FlashUDEraseBIOSBlocks(Handle(), area), FUL_SUCCESS);
    ASSERT_EQ(FlashUDWriteBIOSMemory(Handle(), kBlock, area, data.data()), FUL_SUCCESS);

    // SPI addresses are the part's own: the swap is the memory decode's.
    std::vector<std::uint64_t> erased;
    for (const auto& e : rask_test::Named(Log("spi"), "block-erase")) erased.push_back(e.address);
    EXPECT_EQ(erased, std::vector<std::uint64_t>{PartOffset(kTopBlock)});
    EXPECT_EQ(CellsAt(kTopBlock, kBlock), data);
    EXPECT_EQ(CellsAt(kBelowTopBlock, kBlock), belowBefore);
}

}  // namespace
