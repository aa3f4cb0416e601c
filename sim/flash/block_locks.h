// The lock state of a flash part's erase blocks, as Intel's parts keep it:
// per block a write lock (program and erase refused), a lock-down that
// freezes the block's lock state until power-off, and, on a firmware hub, a
// read lock. A firmware hub shows the bits through its lock registers, the
// 16-bit boot block part through its lock commands; both act on this.
#ifndef SRVFW_SIM_FLASH_BLOCK_LOCKS_H
#define SRVFW_SIM_FLASH_BLOCK_LOCKS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/flash/flash_chip.h"

namespace sim {

enum BlockLockBit : std::uint8_t {
    kWriteLock = 0x01,
    kLockDown = 0x02,
    kReadLock = 0x04,
};
inline constexpr std::uint8_t kBlockLockBits = kWriteLock | kLockDown | kReadLock;

class BlockLocks {
  public:
    // The blocks of the chip's first erase command (its block erase), each
    // with the power-on state given.
    BlockLocks(const FlashChip& chip, std::uint8_t powerOn);

    std::size_t Count() const { return mBlocks.size(); }
    // The block holding a part offset; none past the part's end.
    std::optional<std::size_t> BlockAt(std::uint64_t offset) const;
    std::uint64_t Start(std::size_t block) const { return mBlocks[block].start; }
    std::uint64_t Bytes(std::size_t block) const { return mBlocks[block].bytes; }

    std::uint8_t Bits(std::size_t block) const { return mBlocks[block].bits; }
    bool WriteLocked(std::size_t block) const { return (Bits(block) & kWriteLock) != 0; }
    bool ReadLocked(std::size_t block) const { return (Bits(block) & kReadLock) != 0; }
    bool LockedDown(std::size_t block) const { return (Bits(block) & kLockDown) != 0; }

    // A new lock state, as the part takes it: a locked-down block keeps its
    // state (false), and lock-down, once set, cannot be cleared.
    bool Set(std::size_t block, std::uint8_t bits);

    // "01,01,00,...", one two-digit hex byte a block; Parse takes back only
    // a list of this part's length (false otherwise, nothing changed).
    std::string Format() const;
    bool Parse(const std::string& text);

  private:
    struct Block {
        std::uint64_t start = 0;
        std::uint64_t bytes = 0;
        std::uint8_t bits = 0;
    };
    std::vector<Block> mBlocks;
};

}  // namespace sim

#endif
