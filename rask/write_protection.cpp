// Write protection of the BIOS flash: the LPC bridge's BIOS write enable
// (and, on the older bridge, its firmware hub decode), and the flash's own
// block locks, which differ by platform: the SPI part's status register,
// the 16-bit part's lock commands, or the firmware hub's lock registers in
// the register space 4 MB below the flash.
#include <cstdint>
#include <optional>

#include "bmc/debug_log.h"
#include "hw/hw.h"
#include "hw/physical_memory_view.h"
#include "rask/flash_layer.h"
#include "rask/spi_registers.h"

namespace Rask_Private {

namespace {

constexpr int kBiosControlRegister = 0xDC;
constexpr int kOlderBiosControlRegister = 0x4E;  // platform 2's bridge
constexpr int kFwhDecodeRegister = 0xE3;
constexpr std::uint16_t kBiosWriteEnable = 0x0001;
constexpr std::uint8_t kFwhDecodeEnabled = 0x01;

constexpr unsigned kLockedBlocks = 32;
constexpr std::uint32_t kBlockBytes = 0x10000;
constexpr std::uint32_t kLockRegisterDistance = 0x400000;
constexpr std::uint32_t kLockRegisterOffset = 2;
constexpr std::uint32_t kWordPartLockBase = 0xFFE00000;  // platform 1

constexpr std::uint16_t kLockSetupCommand = 0x60;
constexpr std::uint16_t kUnlockConfirmCommand = 0xD0;
constexpr std::uint16_t kLockConfirmCommand = 0x01;
constexpr std::uint16_t kReadArrayCommand = 0xFF;

// The LPC bridge (0:31.0) through libpci, for one operation.
class LpcBridge {
  public:
    LpcBridge() : mAccess(hw::PciOpen()) {
        if (mAccess != nullptr) mDevice = hw::PciGetDevice(mAccess, 0, 0, 31, 0);
    }
    ~LpcBridge() {
        if (mAccess != nullptr) hw::PciClose(mAccess);
    }
    LpcBridge(const LpcBridge&) = delete;
    LpcBridge& operator=(const LpcBridge&) = delete;

    hw::PciDevice* Device() const { return mDevice; }

  private:
    hw::PciAccess* mAccess;
    hw::PciDevice* mDevice = nullptr;
};

bool UnlocksBlocks(int platform) {
    return platform == 1 || platform == 2 || IsSpiCapablePlatform(platform);
}

std::uint32_t BlockLockBase(int platform) {
    if (platform == 9) return 0xFFE00000;
    if (platform == 15) return 0xFF800000;
    return 0xFFC00000;
}

void LogBlockAccess(std::uint32_t address, unsigned value) {
    Dbg(L"Doing the Lock/Unlock on the block at address - %x value is  -  %x", 1, address, value);
}

// The SPI part's status register written as 0 (no block protected), for
// lock and unlock alike: this platform's parts keep their protection in
// the status register, and the chipset's write enable is what guards them.
// The write takes the part milliseconds, so the library waits for it and
// then looks at what the part kept.
FUL_RETURN WriteSpiStatusUnprotected() {
    if (!SpiControllerUsable(L"SetFlashBlockAccess")) return FUL_FAILURE;
    SpiWrite8(SPID_OFFSET, 0);
    StartSpiCycle(SpicData(1) | kSpicSecondPrefix | kSpicAtomic | SpicOpcode(kMenuWriteStatus));
    std::uint8_t status = 0;
    if (const FUL_RETURN ready = WaitSpiPartReady(status); ready != FUL_SUCCESS) return ready;
    if ((status & kSpiStatusBlockProtect) != 0) {
        Dbg(L"SetFlashBlockAccess : SPI part kept its protection, status = 0x%02x", 1,
            unsigned{status});
        return FUL_FAILURE;
    }
    return FUL_SUCCESS;
}

// The 16-bit part's blocks lock and unlock by command at the block.
FUL_RETURN LockByCommand(int fd, int op) {
    const std::uint16_t confirm = op == 0 ? kUnlockConfirmCommand : kLockConfirmCommand;
    for (unsigned k = 0; k < kLockedBlocks; ++k) {
        const std::uint32_t block = kWordPartLockBase + k * kBlockBytes;
        auto view =
            hw::PhysicalMemoryView::Map(fd, block, 2, hw::PhysicalMemoryView::Access::kReadWrite);
        if (!view) return FUL_MAP_FAILED;
        if (!view->Write16(0, kLockSetupCommand) || !view->Write16(0, confirm) ||
            !view->Write16(0, kReadArrayCommand)) {
            return FUL_FAILURE;
        }
        LogBlockAccess(block, confirm);
    }
    return FUL_SUCCESS;
}

// The firmware hub's lock register of each block: 0 unlocks, 1 locks.
FUL_RETURN WriteLockRegisters(int fd, int op, std::uint32_t base) {
    for (unsigned k = 0; k < kLockedBlocks; ++k) {
        const std::uint32_t reg =
            base + k * kBlockBytes + kLockRegisterOffset - kLockRegisterDistance;
        auto view =
            hw::PhysicalMemoryView::Map(fd, reg, 4, hw::PhysicalMemoryView::Access::kReadWrite);
        if (!view) return FUL_MAP_FAILED;
        if (!view->Write8(0, static_cast<std::uint8_t>(op))) return FUL_FAILURE;
        LogBlockAccess(reg, static_cast<unsigned>(op));
    }
    return FUL_SUCCESS;
}

}  // namespace

FUL_RETURN SetFlashWriteProtLevel2(int level) {
    const LpcBridge bridge;
    if (bridge.Device() == nullptr) {
        Dbg(L"SetFlashWriteProtLevel2 : LPC bridge not found", 1);
        return FUL_FAILURE;
    }
    const bool older = g_lbPlatform == 2;
    const int reg = older ? kOlderBiosControlRegister : kBiosControlRegister;
    std::uint16_t value = older ? 0 : hw::PciRead16(bridge.Device(), reg);
    hw::Iopl(3);
    if (level == 0) {
        value |= kBiosWriteEnable;
    } else {
        value &= static_cast<std::uint16_t>(~kBiosWriteEnable);
    }
    hw::PciWrite16(bridge.Device(), reg, value);
    if (hw::PciRead16(bridge.Device(), reg) != value) {
        Dbg(L"SetFlashWriteProtLevel2 : Write to PCI at 0x%x failed...", 1, unsigned(reg));
        return FUL_FAILURE;
    }
    return FUL_SUCCESS;
}

FUL_RETURN SetFlashWriteProtLevel1(const void* mode) {
    const LpcBridge bridge;
    if (bridge.Device() == nullptr) {
        Dbg(L"SetFlashWriteProtLevel1 : LPC bridge not found", 1);
        return FUL_FAILURE;
    }
    hw::Iopl(1);
    if ((hw::PciRead8(bridge.Device(), kFwhDecodeRegister) & kFwhDecodeEnabled) != 0) {
        return FUL_SUCCESS;
    }
    std::uint8_t value = 0x00;
    if (mode == nullptr) {
        value = 0xFF;
    } else if (*static_cast<const int*>(mode) == 1) {
        value = 0xFE;
    }
    hw::PciWrite8(bridge.Device(), kFwhDecodeRegister, value);
    if (hw::PciRead8(bridge.Device(), kFwhDecodeRegister) != value) {
        Dbg(L"SetFlashWriteProtLevel1 : Write to PCI at 0xE3 failed", 1);
        return FUL_FAILURE;
    }
    return FUL_SUCCESS;
}

FUL_RETURN SetFlashBlockAccess(FlashDesc* h, int op, std::uint32_t base) {
    if (h == nullptr) return FUL_INVALID_PARAMETER;
    if (g_lbPlatform == 9 && flInterface == 2) return WriteSpiStatusUnprotected();
    if (g_lbPlatform == 1) return LockByCommand(h->Dev, op);
    return WriteLockRegisters(h->Dev, op, base);
}

FUL_RETURN FlashBlocksControl(FlashDesc* h, int op, std::uint32_t base, int /*unused*/) {
    if (SetFlashBlockAccess(h, op, base) != FUL_SUCCESS) {
        Dbg(L"FlashBlocksControl : SetFlashBlockAccess failed to do the operations at address %x",
            1, base);
        return FUL_FAILURE;
    }
    return FUL_SUCCESS;
}

FUL_RETURN FlashUDLockFlash(FlashDesc* h, int lock) {
    if (h == nullptr) {
        Dbg(L"FlashUDLockFlash : Invalid Flash Device handle!", 1);
        return FUL_INVALID_PARAMETER;
    }
    const int platform = g_lbPlatform;
    const std::uint32_t base = BlockLockBase(platform);
    if (lock == 1) {
        if (!IsWordWidePlatform(platform) && FlashBlocksControl(h, 1, base, 0) != FUL_SUCCESS) {
            Dbg(L"FlashUDLockFlash : FlashBlocksControl Lock failed", 1);
            return FUL_FAILURE;
        }
        if (SetFlashWriteProtLevel2(1) != FUL_SUCCESS) {
            Dbg(L"FlashUDLockFlash : SetFlashWriteProtLevel2 write to PCI failed while Locking", 1);
            return FUL_FAILURE;
        }
        return FUL_SUCCESS;
    }
    if (lock != 0) return FUL_SUCCESS;
    if (platform == 2 && SetFlashWriteProtLevel1(nullptr) != FUL_SUCCESS) {
        Dbg(L"FlashUDLockFlash : SetFlashWriteProtLevel1 write to PCI failed while Unlocking", 1);
        return FUL_FAILURE;
    }
    if (SetFlashWriteProtLevel2(0) != FUL_SUCCESS) {
        Dbg(L"FlashUDLockFlash : SetFlashWriteProtLevel2 write to PCI failed while Unlocking", 1);
        return FUL_FAILURE;
    }
    if (UnlocksBlocks(platform) && FlashBlocksControl(h, 0, base, 0) != FUL_SUCCESS) {
        Dbg(L"FlashUDLockFlash : FlashBlocksControl Unlock failed", 1);
        return FUL_FAILURE;
    }
    return FUL_SUCCESS;
}

}  // namespace Rask_Private
