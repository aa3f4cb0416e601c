// Opening the flash device: the memory device, the chipset probe that
// decides between the LPC and the SPI path on the platforms whose chipset
// can boot from either, the SPI register block, and the handle whose
// regions PrepareMemoryRegions fills.
#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <new>
#include <optional>

#include "bmc/debug_log.h"
#include "hw/hw.h"
#include "hw/physical_memory_view.h"
#include "rask/flash_layer.h"
#include "rask/memory_region_release.h"
#include "rask/spi_register_layout.h"

namespace Rask_Private {

namespace {

// The LPC bridge (0:31.0) and its root complex base address register:
// bits 31:14 the base of the chipset's register block, bit 0 its enable.
constexpr int kLpcBus = 0, kLpcDevice = 31, kLpcFunction = 0;
constexpr int kRcbaRegister = 0xF0;
constexpr std::uint32_t kRcbaBaseMask = 0xFFFFC000;
constexpr std::uint32_t kRcbaEnable = 0x1;
constexpr std::uint32_t kAbsentFunction = 0xFFFFFFFF;

// Registers behind RCBA.
constexpr std::uint32_t kGeneralControlOffset = 0x3410;   // boot straps in bits 11:10
constexpr std::uint32_t kBackedUpControlOffset = 0x3414;  // top swap in bit 0

constexpr unsigned kBootStrapsShift = 10;
constexpr unsigned kBootStrapsMask = 0x3;
constexpr unsigned kStrapsLpc = 0x3;
constexpr unsigned kStrapsSpi = 0x1;

// The chipset's registers are mapped as the 64 KB that holds them.
constexpr std::uint32_t kRegisterWindow = 0x10000;

// The SPI layout of an SPI-capable platform.
SpiRegisterLayout LayoutOf(int platform) {
    if (platform == 9) return kOlderSpiLayout;
    return NewerSpiLayout(platform == 15 ? 0xFF800000 : 0xFFC00000);
}

// RCBA as the LPC bridge reports it; nothing when the bridge has not
// enabled the register block, since its registers then answer nowhere.
std::optional<std::uint32_t> ReadRcba() {
    hw::PciAccess* access = hw::PciOpen();
    if (access == nullptr) {
        Dbg(L"FlashUDOpen : PCI access could not be initialized.", 3);
        return std::nullopt;
    }
    std::optional<std::uint32_t> rcba;
    if (hw::PciDevice* lpc = hw::PciGetDevice(access, 0, kLpcBus, kLpcDevice, kLpcFunction)) {
        // All ones is what a configuration read of an absent function gives.
        const std::uint32_t value = hw::PciRead32(lpc, kRcbaRegister);
        if ((value & kRcbaEnable) != 0 && value != kAbsentFunction) rcba = value & kRcbaBaseMask;
    }
    hw::PciClose(access);
    if (!rcba) Dbg(L"FlashUDOpen : Root complex register block is not enabled.", 3);
    return rcba;
}

// The SPI register block, mapped as the 64 KB holding it; vspibar points at
// the block itself.
FUL_RETURN MapSpiRegisterBlock(int fd, std::uint32_t address) {
    SpiRegisterRegion = MemRegion{};
    SpiRegisterRegion.pa = address & ~(kRegisterWindow - 1);
    SpiRegisterRegion.bytes = kRegisterWindow;
    const FUL_RETURN mapped = lib_mmap(fd, &SpiRegisterRegion);
    if (mapped != FUL_SUCCESS) {
        Dbg(L"FlashUDOpen : Mapping of the SPI registers at 0x%08x failed.", 3, unsigned{address});
        return mapped;
    }
    vspibar = pa2va(&SpiRegisterRegion, address);
    return FUL_SUCCESS;
}

// The probe of the SPI-capable chipsets: top swap, the boot straps and, for
// an SPI flash, its controller.
FUL_RETURN ProbeChipset(int fd, int platform) {
    const std::optional<std::uint32_t> rcba = ReadRcba();
    if (!rcba) return FUL_DRIVER_LOAD;
    buc = *rcba + kBackedUpControlOffset;
    TopSwapBit = FlashUDGetTopSwapBit();
    flInterface = GetflInterface(*rcba + kGeneralControlOffset);
    if (flInterface == 0) {
        Dbg(L"FlashUDOpen : The chipset boots from neither LPC nor SPI flash.", 3);
        return FUL_DRIVER_LOAD;
    }
    if (flInterface != 2) return FUL_SUCCESS;
    const SpiRegisterLayout layout = LayoutOf(platform);
    ApplySpiRegisterLayout(layout);
    const FUL_RETURN mapped = MapSpiRegisterBlock(fd, *rcba + layout.blockOffset);
    if (mapped != FUL_SUCCESS) return mapped;
    SetupSpiController();
    return FUL_SUCCESS;
}

// Gives back what an open took before it failed: the SPI registers and the
// device, so that the host can try again.
FUL_RETURN AbandonOpen(int fd, FUL_RETURN result) {
    lib_munmap(&SpiRegisterRegion);
    vspibar = nullptr;
    hw::CloseDevice(fd);
    return result;
}

}  // namespace

unsigned GetflInterface(std::uint32_t address) {
    const int fd = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR);
    if (fd < 0) {
        Dbg(L"GetflInterface : open() failed, errno %d.", 3, errno);
        return 0;
    }
    const std::uint32_t window = address & ~(kRegisterWindow - 1);
    std::optional<std::uint32_t> control;
    if (auto view = hw::PhysicalMemoryView::Map(fd, window, kRegisterWindow,
                                                hw::PhysicalMemoryView::Access::kReadOnly)) {
        control = view->Read32(address - window);
    }
    hw::CloseDevice(fd);
    if (!control) {
        Dbg(L"GetflInterface : Mapping of the control register at 0x%08x failed.", 3,
            unsigned{address});
        return 0;
    }
    switch ((*control >> kBootStrapsShift) & kBootStrapsMask) {
        case kStrapsLpc:
            return 1;
        case kStrapsSpi:
            return 2;
        default:
            return 0;
    }
}

FUL_RETURN FlashUDOpen(int platform, const char* path, bool /*skipPrimary*/, FlashDesc** out) {
    if (out == nullptr) return FUL_INVALID_PARAMETER;
    *out = nullptr;
    g_lbPlatform = platform;
    if (path == nullptr) return FUL_INVALID_PARAMETER;

    const int fd = hw::OpenDevice(path, O_RDWR);
    if (fd < 0) {
        switch (errno) {
            case EBUSY:
                Dbg(L"FlashUDOpen : open() failed: Driver is already opened by another process.",
                    3);
                return FUL_ALREADY_RUNNING;
            case EACCES:
                Dbg(L"FlashUDOpen : open() failed: Root privileges are required.", 3);
                return FUL_NOT_ROOT;
            default:
                Dbg(L"FlashUDOpen : open() failed, errno %d.", 3, errno);
                return FUL_DRIVER_LOAD;
        }
    }

    if (IsSpiCapablePlatform(platform)) {
        const FUL_RETURN probed = ProbeChipset(fd, platform);
        if (probed != FUL_SUCCESS) return AbandonOpen(fd, probed);
    }

    auto* handle = new (std::nothrow) FlashDesc;
    if (handle == nullptr) return AbandonOpen(fd, FUL_OUT_OF_MEMORY);
    handle->Dev = fd;
    handle->Prepared = 0;

    const FUL_RETURN prepared = PrepareMemoryRegions(handle);
    if (prepared != FUL_SUCCESS) {
        delete handle;
        return AbandonOpen(fd, prepared);
    }
    *out = handle;
    return FUL_SUCCESS;
}

FUL_RETURN FlashUDClose(FlashDesc* h) {
    if (h == nullptr) return FUL_INVALID_PARAMETER;
    FUL_RETURN result = FUL_SUCCESS;
    if (FlashUDLockFlash(h, 1) != FUL_SUCCESS) {
        Dbg(L"FlashUDClose : Locking the flash failed.", 1);
        result = FUL_FAILURE;
    }
    // The flash has been locked (or could not be): the regions go back
    // either way, since the handle goes with them.
    ReleaseMemoryRegions(h);
    if (hw::CloseDevice(h->Dev) != 0) {
        Dbg(L"Close failed for fd = %d! ", 3, h->Dev);
        result = FUL_INVALID_PARAMETER;
    }
    delete h;
    ResetFlashLayerState();
    return result;
}

FUL_RETURN FlashUDSkipPrimaryCheck(FlashDesc* /*h*/, bool /*flag*/) {
    return FUL_SUCCESS;
}

}  // namespace Rask_Private
