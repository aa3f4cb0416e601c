// The BIOS flash part as the processor sees it just below 4 GB: the window
// [4 GB - part size, 4 GB) over the part's cells. Every access goes through
// the chipset's BiosRange: the address is decoded first (top swap exchanges
// the top two 64 KB blocks), and memory writes reach the part only while the
// BIOS write enable is set.
//
// What a write does depends on the part:
// - an SPI part (FlashBus::kSpi) is read through the window, as the chipset
//   fetches it over SPI, and writes are dropped, as a real chipset drops
//   them: the part is programmed only through the SPI controller;
// - a part on the LPC/firmware-hub bus or a parallel part that takes Intel's
//   command set (kIntelByteProgram, kIntelWordProgram) takes writes as its
//   command cycles (sim/flash/intel_command_set.h): 20h D0h block erase,
//   40h or 10h program, 70h read status, 50h clear status, FFh read array,
//   90h read identifier, and on the 16-bit part 60h 01h / D0h / 2Fh block
//   lock, unlock and lock-down. The 16-bit part takes commands and data as
//   words at even addresses; a 32-bit write is two word cycles, lower word
//   first; a byte cycle or an odd address reaches nothing. Wider writes to
//   the 8-bit part are carried out as byte cycles in address order;
// - any other part (the JEDEC command sets) is read only here.
//
// A firmware hub (FlashBus::kFwh) also answers in its register space 4 MB
// below the window: the block lock register of each 64 KB block lies at
// block base + 2 - 400000h (sim/chipset/fwh_lock_registers.h). Its writes
// are memory writes to the BIOS range too, gated by the write enable.
//
// Block locks: at power-on every block of these parts is write-locked (the
// firmware hub's lock registers read 01h, the 16-bit part powers up with all
// blocks locked); the simulated BIOS unlocks them at POST except the ones
// the settings name. Lock-down sticks until power-off: a locked-down block
// cannot be unlocked by register or command. A program or erase on a
// write-locked block fails at once with status bits 1 and 4 (program) or 1
// and 5 (erase) and leaves the cells as they were. A firmware hub block
// whose read lock is set reads 00h through the window, whatever it holds.
//
// Status register: bit 7 ready, bit 5 erase failed, bit 4 program failed
// (both together: a bad command sequence), bit 3 programming voltage low,
// bit 1 block locked; 50h clears bits 1, 3, 4 and 5. After a program or
// erase command the part answers status until FFh or 90h; while it is busy,
// bit 7 reads 0 and every command other than 70h is ignored.
//
// Settings (numbers decimal or 0x-hexadecimal; ADDR is a physical address
// in the window as the part sees it, after top swap; an ADDR outside the
// window is refused with std::invalid_argument naming the setting):
//   flash.program_us=6           one byte or word program, in virtual µs
//   flash.erase_ms=100           one block erase, in virtual ms
//   flash.locked=ADDR,...        blocks the BIOS leaves write-locked at POST
//   flash.locked_down=ADDR,...   blocks the BIOS locks down at POST (write
//                                lock and lock-down): they stay locked
// Faults:
//   flash.fault.erase=ADDR,...        erasing the block holding ADDR fails
//                                     (status bit 5), cells unchanged
//   flash.fault.program=ADDR,...      programming the byte (word) holding
//                                     ADDR fails (bit 4), cells unchanged
//   flash.fault.erase_hang=ADDR,...   that erase never finishes: bit 7
//                                     stays 0 for good, cells unchanged
//   flash.fault.program_hang=ADDR,... that program never finishes
//   flash.fault.status_stuck=MASK     these status bits always read 1
//   flash.fault.vpp_low=1             every program and erase fails with
//                                     bit 3 and bit 4 or 5, cells unchanged
//   A byte that reads back wrong: bios.fault.stuck_bits (the part's cells
//   are shared with the BIOS flash service, which sticks them).
//
// Request log, component "flash": one entry per command the part or the
// path was given, never one per plain read (a 64 KB read would flood the
// log, a status poll even more). address: the processor's physical address
// of the cycle; value: the byte or word written; width: the bus width (1
// or 2); detail: "offset=0xNNNNNN" (the part's offset the cycle reached,
// after top swap), followed by ": reason" when the part refused or failed.
// Operations:
//   "erase"        20h D0h (logged on the confirm cycle)
//   "program"      40h/10h and the data (logged on the data cycle)
//   "read-status", "clear-status", "read-array", "read-id"
//   "lock-command" 60h and 01h, D0h or 2Fh (16-bit part, on the 2nd cycle)
//   "bad-sequence" a setup cycle followed by a cycle that does not confirm
//                  it (status bits 4 and 5 set)
//   "ignored"      a cycle the part does not take: an unknown command, or
//                  any command but 70h while it is busy
//   "lock-register" a write to a firmware hub lock register (address: the
//                  register's; detail "offset=...: locked down" when
//                  lock-down kept it)
//   "dropped-write" a write that reached no part: detail "writes disabled"
//                  (BIOS write enable clear), "SPI part", "not a word
//                  cycle" or "no command set"
//
// State: the block locks, the command mode and the status register are kept
// in "memory-window.state" of the state directory, since a new process
// meets the same running machine (the locks reset only at power-on).
#ifndef SRVFW_SIM_CHIPSET_MEMORY_WINDOW_H
#define SRVFW_SIM_CHIPSET_MEMORY_WINDOW_H

#include <memory>
#include <optional>

#include "sim/chipset/bios_range.h"
#include "sim/chipset/flash_cycle_log.h"
#include "sim/chipset/fwh_lock_registers.h"
#include "sim/chipset/memory_window_settings.h"
#include "sim/core/machine.h"
#include "sim/flash/block_locks.h"
#include "sim/flash/flash_part.h"
#include "sim/flash/intel_command_set.h"

namespace sim {

class MemoryWindow : public Device, public MmioHandler {
  public:
    static constexpr std::uint64_t kTop = 0x100000000;

    // The range must be the machine's BiosRange; the config's addresses are
    // part offsets (MemoryWindowConfig::FromSettings).
    MemoryWindow(Machine& machine, FlashPart& part, const BiosRange& range,
                 MemoryWindowConfig config);
    MemoryWindow(const MemoryWindow&) = delete;
    MemoryWindow& operator=(const MemoryWindow&) = delete;
    ~MemoryWindow() override;

    std::string Name() const override { return "memory-window"; }
    void LoadState(const std::filesystem::path& dir) override;
    void SaveState(const std::filesystem::path& dir) const override;
    void Describe(std::ostream& out) const override;

    std::uint64_t Base() const { return mBase; }
    // Null for a part that takes no Intel commands.
    const IntelCommandSet* Commands() const { return mCommands.get(); }
    const BlockLocks& Locks() const { return mLocks; }

    std::uint32_t MmioRead(std::uint64_t offset, unsigned width) override;
    void MmioWrite(std::uint64_t offset, unsigned width, std::uint32_t value) override;

  private:
    // The part offset the flash sees for a processor address in the window.
    std::optional<std::uint64_t> PartOffset(std::uint64_t address) const;
    void Cycle(const FlashCycle& cycle, std::uint16_t data);
    void LockAtPost(const MemoryWindowConfig& config);

    Machine& mMachine;
    FlashPart& mPart;
    const BiosRange& mRange;
    std::uint64_t mBase;
    BlockLocks mLocks;
    std::unique_ptr<IntelCommandSet> mCommands;
    std::optional<FwhLockRegisters> mLockRegisters;
};

// Adds the window over the part; the machine's BiosRange is added already
// (std::logic_error otherwise). A part of no size has no window.
void AddMemoryWindow(Machine& machine, FlashPart& biosFlash);

}  // namespace sim

#endif
