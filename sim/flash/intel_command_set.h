// Intel's command set for memory-mapped flash, as the part's own state
// machine: the firmware hub's 8-bit form (82802AB/AC) and the 16-bit form
// of the Advanced+ boot block parts (28F320C3), which adds block lock
// commands. The part decodes only what reaches it: the access path (the
// memory window) hands it one bus cycle at a time at a part offset and
// decides whether a cycle reaches it at all.
//
// Commands (the low byte of the bus's data): 20h D0h block erase, 40h or 10h
// then the data program, 70h read status, 50h clear status, FFh read array,
// 90h read identifier, and on the 16-bit part 60h then 01h (lock), D0h
// (unlock) or 2Fh (lock-down). Program and erase take virtual time, during
// which the status reads 00h (bit 7 clear: busy) and only 70h is taken.
// What the identifier mode reads: the 8-bit part the manufacturer at even
// offsets and the device at odd ones; the 16-bit part, at word 0, 1 and 2
// of each block, the manufacturer, the device and the block's lock state
// (bit 0 locked, bit 1 locked down).
#ifndef SRVFW_SIM_FLASH_INTEL_COMMAND_SET_H
#define SRVFW_SIM_FLASH_INTEL_COMMAND_SET_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/core/clock.h"
#include "sim/flash/block_locks.h"
#include "sim/flash/flash_part.h"

namespace sim {

namespace intel {

enum Command : std::uint8_t {
    kProgramAlternate = 0x10,
    kEraseSetup = 0x20,
    kProgramSetup = 0x40,
    kClearStatus = 0x50,
    kLockSetup = 0x60,
    kReadStatus = 0x70,
    kReadIdentifier = 0x90,
    kReadArray = 0xFF,
    // Second cycles.
    kLockBlock = 0x01,
    kLockDownBlock = 0x2F,
    kConfirm = 0xD0,  // erase confirm, and unlock after 60h
};

enum StatusBit : std::uint8_t {
    kReady = 0x80,
    kEraseError = 0x20,
    kProgramError = 0x10,
    kVppLow = 0x08,
    kLockedBlock = 0x02,
};
// What clear status clears: the error bits.
inline constexpr std::uint8_t kErrorBits = kEraseError | kProgramError | kVppLow | kLockedBlock;

}  // namespace intel

struct IntelTimings {
    std::uint64_t programNs = 6'000;      // one byte or word
    std::uint64_t eraseNs = 100'000'000;  // one block
};

// Part offsets at which the part misbehaves.
struct IntelFaults {
    std::vector<std::uint64_t> eraseFails;    // the block holding the offset
    std::vector<std::uint64_t> programFails;  // the byte or word holding it
    std::vector<std::uint64_t> eraseHangs;
    std::vector<std::uint64_t> programHangs;
    std::uint8_t statusStuck = 0;  // bits that always read 1
    bool vppLow = false;
};

// What the part made of one written cycle, for the request log; an empty
// operation is a setup cycle, logged with the cycle that completes it.
struct CommandCycle {
    std::string operation;
    std::string reason;  // empty when the part carried it out
};

class IntelCommandSet {
  public:
    enum class Mode { kArray, kStatus, kIdentifier };

    IntelCommandSet(FlashPart& part, BlockLocks& locks, const VirtualClock& clock,
                    IntelTimings timings, IntelFaults faults);

    // Whether the chip's command set is this one.
    static bool Takes(const FlashChip& chip);

    unsigned BusBytes() const { return mBusBytes; }
    // One bus cycle; offset is even on the 16-bit part.
    CommandCycle Write(std::uint64_t offset, std::uint16_t value);
    // The byte a read at the offset returns.
    std::uint8_t ReadByte(std::uint64_t offset) const;

    Mode CurrentMode() const { return mMode; }
    std::uint8_t Status() const;
    bool Busy() const;

    // "mode=status\nstatus=0x80\nhung=0\n": what survives a process. A
    // program or erase still running then has finished when the next
    // process looks; one that never finishes stays so.
    std::string FormatState() const;
    void ParseState(const std::string& text);

  private:
    enum class Setup { kNone, kProgram, kErase, kLock };

    CommandCycle Command(std::uint8_t command);
    CommandCycle Program(std::uint64_t offset, std::uint16_t value);
    CommandCycle Erase(std::uint64_t offset);
    CommandCycle Lock(std::uint64_t offset, std::uint8_t command);
    // What refuses a program or erase before it starts (programming
    // voltage, a write-locked block): sets the status bits and gives the
    // reason; empty when nothing does.
    std::string Refusal(std::size_t block, std::uint8_t errorBit);
    void Start(std::uint64_t durationNs, bool hangs);
    std::uint16_t IdentifierWord(std::uint64_t offset) const;

    FlashPart& mPart;
    BlockLocks& mLocks;
    const VirtualClock& mClock;
    IntelTimings mTimings;
    IntelFaults mFaults;
    unsigned mBusBytes = 1;
    Mode mMode = Mode::kArray;
    Setup mSetup = Setup::kNone;
    std::uint8_t mStatus = intel::kReady;
    std::uint64_t mBusyUntilNs = 0;
    bool mHung = false;
};

}  // namespace sim

#endif
