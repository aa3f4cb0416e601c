// The firmware hub's register space, 4 MB below its memory window: one
// block lock register per 64 KB block at block base + 2 - 400000h (bit 0
// write lock, bit 1 lock-down, bit 2 read lock; bits 7:3 read 0). A write
// sets the three bits, except on a locked-down block, whose register keeps
// its value until power-off; lock-down, once written, cannot be cleared.
// The rest of the space (identification and input registers) is not
// modelled: it reads FFh and takes no writes. Writes reach the registers
// only while the chipset's BIOS write enable is set, as writes to the
// firmware hub's memory range do.
//
// Request log: "lock-register" for each register written (detail
// "offset=0xNNNNNN" of the block, ": locked down" when the register kept
// its value), "dropped-write" for a write that reached no register.
#ifndef SRVFW_SIM_CHIPSET_FWH_LOCK_REGISTERS_H
#define SRVFW_SIM_CHIPSET_FWH_LOCK_REGISTERS_H

#include <cstdint>

#include "sim/chipset/bios_range.h"
#include "sim/core/memory_map.h"
#include "sim/core/request_log.h"
#include "sim/flash/block_locks.h"

namespace sim {

class FwhLockRegisters : public MmioHandler {
  public:
    static constexpr std::uint64_t kBelowWindow = 0x400000;
    static constexpr std::uint64_t kRegisterBlockBytes = 0x10000;
    static constexpr std::uint64_t kLockRegisterOffset = 2;

    // base: the physical address of the space (the window's base - 4 MB).
    FwhLockRegisters(RequestLog& log, const BiosRange& range, BlockLocks& locks, std::uint64_t base)
        : mLog(log), mRange(range), mLocks(locks), mBase(base) {}

    std::uint32_t MmioRead(std::uint64_t offset, unsigned width) override;
    void MmioWrite(std::uint64_t offset, unsigned width, std::uint32_t value) override;

  private:
    // The block whose lock register is at this offset of the space.
    std::optional<std::size_t> RegisterBlock(std::uint64_t offset) const;

    RequestLog& mLog;
    const BiosRange& mRange;
    BlockLocks& mLocks;
    std::uint64_t mBase;
};

}  // namespace sim

#endif
