// Top swap: the chipset's backed-up control bit that makes it exchange the
// top two 64 KB blocks of the BIOS range, so that the processor starts from
// the block below the top while a new boot block is written. Reads and
// writes through memory must then go to the other block to reach the cells
// a table names.
#include <cstdint>
#include <optional>

#include "bmc/debug_log.h"
#include "hw/hw.h"
#include "hw/physical_memory_view.h"
#include "rask/flash_layer.h"
#include "rask/memory_device.h"

namespace Rask_Private {

namespace {

constexpr std::uint8_t kTopSwap = 0x01;
// The chipset inverts address bit 16 for these 128 KB below 4 GB.
constexpr std::uint32_t kSwappedRangeStart = 0xFFFE0000;
constexpr std::uint32_t kSwappedAddressBit = 0x10000;

}  // namespace

bool g_verbose = false;

void SetVerbose() {
    g_verbose = true;
}

unsigned FlashUDGetTopSwapBit() {
    // Only the open of the platforms whose chipset has the register finds
    // its address; elsewhere there is no top swap to read.
    if (buc == 0) return 0;
    const MemoryDevice device;
    if (device.Fd() < 0) return 1;
    const auto control =
        hw::PhysicalMemoryView::Map(device.Fd(), buc, 1, hw::PhysicalMemoryView::Access::kReadOnly);
    if (!control) return 1;
    return control->Read8(0).value_or(kTopSwap) & kTopSwap;
}

FUL_RETURN FlashUDSetTopSwapBit(FlashDesc* h, unsigned bit) {
    if (h == nullptr) {
        Dbg(L"FlashUDLockFlash : Invalid Flash Device handle!", 1);
        return FUL_INVALID_PARAMETER;
    }
    // Without the register's address (a platform whose open does not probe
    // the chipset) the write would land in the memory at address 0.
    if (buc == 0) {
        Dbg(L"FlashUDSetTopSwapBit : this platform has no top swap", 3);
        return FUL_FAILURE;
    }
    auto control =
        hw::PhysicalMemoryView::Map(h->Dev, buc, 1, hw::PhysicalMemoryView::Access::kReadWrite);
    if (!control) return FUL_MAP_FAILED;
    // Only the top-swap bit changes: the register's other bits hold the
    // chipset's other backed-up settings.
    const std::uint8_t before = control->Read8(0).value_or(0);
    const auto wanted =
        static_cast<std::uint8_t>(bit == 1 ? before | kTopSwap : before & ~kTopSwap);
    if (!control->Write8(0, wanted)) return FUL_MAP_FAILED;
    const std::uint8_t after = control->Read8(0).value_or(static_cast<std::uint8_t>(~wanted));
    // The chipset decodes by the bit at once, so the operations that follow
    // must take the swap into account from now on, not from the next open.
    TopSwapBit = after & kTopSwap;
    if ((after & kTopSwap) != (wanted & kTopSwap)) {
        Dbg(L"FlashUDSetTopSwapBit : the chipset kept top swap at %u", 3, TopSwapBit);
        return FUL_FAILURE;
    }
    return FUL_SUCCESS;
}

std::uint32_t ApplyTopSwap(std::uint32_t address) {
    if (!IsSpiCapablePlatform(g_lbPlatform) || TopSwapBit != 1) return address;
    if (address >= kSwappedRangeStart) return address ^ kSwappedAddressBit;
    return address;
}

}  // namespace Rask_Private
