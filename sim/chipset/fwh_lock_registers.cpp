#include "sim/chipset/fwh_lock_registers.h"

#include "sim/chipset/flash_cycle_log.h"

namespace sim {

namespace {

constexpr std::uint8_t kFloating = 0xFF;

}  // namespace

std::optional<std::size_t> FwhLockRegisters::RegisterBlock(std::uint64_t offset) const {
    if (offset % kRegisterBlockBytes != kLockRegisterOffset) return std::nullopt;
    return mLocks.BlockAt(offset - kLockRegisterOffset);
}

std::uint32_t FwhLockRegisters::MmioRead(std::uint64_t offset, unsigned width) {
    std::uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        const auto block = RegisterBlock(offset + i);
        const std::uint8_t byte = block ? mLocks.Bits(*block) : kFloating;
        value |= std::uint32_t{byte} << (8 * i);
    }
    return value;
}

void FwhLockRegisters::MmioWrite(std::uint64_t offset, unsigned width, std::uint32_t value) {
    const FlashCycle cycle{mBase + offset, value, width};
    if (!mRange.WritesEnabled()) {
        LogDroppedWrite(mLog, cycle, "writes disabled");
        return;
    }
    bool reached = false;
    for (unsigned i = 0; i < width; ++i) {
        const auto block = RegisterBlock(offset + i);
        if (!block) continue;
        reached = true;
        const auto bits = static_cast<std::uint8_t>(value >> (8 * i));
        const bool taken = mLocks.Set(*block, bits);
        LogFlashCycle(mLog, "lock-register", {mBase + offset + i, bits, 1}, mLocks.Start(*block),
                      taken ? "" : "locked down");
    }
    if (!reached) LogDroppedWrite(mLog, cycle, "no register");
}

}  // namespace sim
