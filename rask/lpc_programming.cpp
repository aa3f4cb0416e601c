// The update path's byte programming of a part on the LPC bus (a firmware
// hub), used on the SPI-capable platforms when the chipset's straps route
// the BIOS to LPC: Intel's command set, written through memory at the
// part's own physical addresses.
#include <cstdint>
#include <optional>

#include "bmc/debug_log.h"
#include "hw/hw.h"
#include "hw/physical_memory_view.h"
#include "rask/bounded_poll.h"
#include "rask/flash_layer.h"
#include "rask/memory_device.h"

namespace Rask_Private {

namespace {

constexpr std::uint8_t kProgramCommand = 0x40;
constexpr std::uint8_t kReadStatusCommand = 0x70;
constexpr std::uint8_t kClearStatusCommand = 0x50;
constexpr std::uint8_t kReadArrayCommand = 0xFF;
constexpr std::uint8_t kStatusReady = 0x80;
// Locked block, suspended, programming voltage low, program failed.
constexpr std::uint8_t kStatusProgramErrors = 0x1E;

// Programs one byte at offset of the mapped part. The part answers status
// until it is told otherwise, so read-array mode is set again whatever the
// outcome.
FUL_RETURN ProgramByte(hw::PhysicalMemoryView& part, std::uint64_t offset, std::uint8_t byte) {
    std::uint8_t status = 0;
    if (!part.Write8(offset, kProgramCommand) || !part.Write8(offset, byte) ||
        !part.Write8(offset, kReadStatusCommand)) {
        return FUL_FAILURE;
    }
    const FUL_RETURN waited = PollUntil(
        [&] {
            status = part.Read8(offset).value_or(0);
            return (status & kStatusReady) != 0;
        },
        kByteProgramTimeoutUs);
    if (!part.Write8(offset, kReadArrayCommand) || !part.Write8(offset, kClearStatusCommand)) {
        return FUL_FAILURE;
    }
    if (waited != FUL_SUCCESS) return waited;
    // The part says when it could not program the byte; reporting success
    // then would leave the failure to a verify that may not follow.
    if ((status & kStatusProgramErrors) != 0) {
        Dbg(L"lpc_FlashDevWrite : program status 0x%02x", 3, unsigned{status});
        return FUL_PROGRAM_STATUS;
    }
    return FUL_SUCCESS;
}

}  // namespace

FUL_RETURN lpc_FlashByteWrite(std::uint32_t pa, std::uint8_t byte) {
    return lpc_FlashDevWrite(&byte, pa, 1);
}

FUL_RETURN lpc_FlashDevWrite(const unsigned char* src, std::uint32_t pa, unsigned n) {
    if (n == 0) return FUL_SUCCESS;
    if (src == nullptr) return FUL_INVALID_PARAMETER;
    if (std::uint64_t{pa} + n > std::uint64_t{1} << 32) {
        Dbg(L"lpc_FlashDevWrite : 0x%08x (%u bytes) runs past 4 GB", 3, pa, n);
        return FUL_FAILURE;
    }
    const MemoryDevice device;
    if (device.Fd() < 0) {
        Dbg(L"lpc_FlashDevWrite : cannot open the memory device", 3);
        return FUL_DRIVER_LOAD;
    }
    std::optional<hw::PhysicalMemoryView> part =
        hw::PhysicalMemoryView::Map(device.Fd(), pa, n, hw::PhysicalMemoryView::Access::kReadWrite);
    if (!part) {
        Dbg(L"lpc_FlashDevWrite : cannot map 0x%08x (%u bytes)", 3, pa, n);
        return FUL_MAP_FAILED;
    }
    for (unsigned i = 0; i < n; ++i) {
        if (const FUL_RETURN r = ProgramByte(*part, i, src[i]); r != FUL_SUCCESS) {
            Dbg(L"lpc_FlashDevWrite : Flash write error detected at 0x%08x", 3, pa + i);
            return r;
        }
    }
    return FUL_SUCCESS;
}

}  // namespace Rask_Private
