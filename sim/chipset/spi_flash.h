// What an SPI flash part does with the bytes it is sent while its chip
// select is low: the chipset's SPI controller hands it one whole transfer
// (opcode, any address bytes, any data) and reads back what the part drove
// on its data-out line during the clocks that followed. Commands that change
// the part (program, erase, write status, write enable) take effect when
// chip select rises at the end of the transfer, as the parts' datasheets
// say; extra whole bytes after what a command takes are ignored, so an
// opcode sent with address bytes it does not need still executes.
//
// The part's own data-out line is not driven while it is still taking an
// opcode or address: it floats high and reads FFh. While the controller
// reads, it drives its own data-out low, so a part that still wants address
// bytes then takes 00h.
//
// Commands: 03h read, 0Bh fast read, 05h read status, 9Fh JEDEC ID (three
// bytes, then FFh), 06h/04h write enable/disable, 01h write status (after
// 06h, or 50h on SST parts), the row's erase opcodes (D8h 64 KB...), and on
// page-program parts 02h page program (wrapping inside its 256-byte page,
// the last 256 bytes sent when more are), on SST parts 02h byte program and
// ADh auto-address-increment word program (ADh A23-A0 D0 D1, then ADh D0 D1
// for each further word; 04h ends it; only 05h and 04h are taken between).
// While a program, erase or status write is in progress (status bit 0) only
// 05h is answered.
//
// Status registers, bit 0 busy and bit 1 write enable on every part:
//   SST       bits 5:2 BP3-BP0 (64 KB at the top, doubling per step), bit 6
//             AAI, bit 7 BPL
//   Atmel     bits 3:2 SWP (00b none protected, 11b all); written bits 5:2
//             all 0 or all 1 unprotect or protect every sector; bit 5 EPE;
//             bit 7 SPRL (while set, protection does not change)
//   Intel S33 bits 4:2 BP2-BP0, bit 5 erase failed, bit 6 program failed
//             (cleared when the next program or erase starts), bit 7 SRWD
//   others    bits 4:2 BP2-BP0 (the top 1/64 at 001b, doubling, all at 111b),
//             bit 5 TB (from the bottom), bits 7:6 kept
// A program or erase that touches a protected byte is refused: nothing
// changes but the write-enable latch, which clears.
//
// Times are the machine's virtual time; a program or erase in progress ends
// with the process (the clock starts anew in the next). The settings and
// faults (spi.*) are listed in sim/chipset/chipset.h.
#ifndef SRVFW_SIM_CHIPSET_SPI_FLASH_H
#define SRVFW_SIM_CHIPSET_SPI_FLASH_H

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/core/clock.h"
#include "sim/core/settings.h"
#include "sim/flash/flash_part.h"

namespace sim {

struct SpiFlashTimes {
    std::uint64_t programNs = 200'000;
    std::uint64_t wordNs = 10'000;
    std::uint64_t eraseNs = 25'000'000;
    std::uint64_t writeStatusNs = 15'000'000;
};

struct SpiFlashFaults {
    std::vector<std::uint32_t> erase;    // offsets whose erase fails
    std::vector<std::uint32_t> program;  // offsets whose program fails
    std::vector<std::uint32_t> hang;     // offsets whose program or erase never ends
    bool stuckBusy = false;              // write in progress from the start
    std::optional<std::array<std::uint8_t, 3>> jedecId;
};

// What the settings say of the SPI part, read whether or not the board
// carries one, so that a setting that cannot be understood is refused on
// every board. Throws std::invalid_argument naming the setting.
struct SpiFlashSettings {
    std::uint8_t status = 0;  // at POST
    SpiFlashTimes times;
    SpiFlashFaults faults;

    static SpiFlashSettings FromSettings(const Settings& settings);
};

class SpiFlash {
  public:
    // The status register's families, as the parts' datasheets lay it out.
    enum class StatusKind { kSst, kAtmel, kIntelS33, kBlockProtect };

    SpiFlash(FlashPart& part, VirtualClock& clock, const SpiFlashSettings& settings);

    // One transfer: the bytes sent, then readCount clocks more; returns what
    // the part drove during those readCount clocks.
    std::vector<std::uint8_t> Transfer(std::span<const std::uint8_t> sent, std::size_t readCount);

    std::uint8_t Status() const;
    bool Busy() const;
    const FlashPart& Part() const { return mPart; }

    // What survives from one process to the next: the status register's
    // kept bits and, on Atmel parts, the sectors' protection.
    std::uint8_t KeptStatus() const { return mStatus; }
    void RestoreStatus(std::uint8_t status);

  private:
    void Execute(std::span<const std::uint8_t> bytes);
    void Answer(std::span<const std::uint8_t> bytes, std::span<std::uint8_t> out) const;
    void WriteStatus(std::uint8_t value);
    bool StartWrite(std::uint32_t offset, std::uint32_t length, std::uint64_t ns,
                    const std::vector<std::uint32_t>& failures, std::uint8_t intelFailed);
    void Program(std::uint32_t offset, std::span<const std::uint8_t> data, std::uint64_t ns);
    void PageProgram(std::uint32_t offset, std::span<const std::uint8_t> data);
    void AaiWord(std::span<const std::uint8_t> bytes);
    void Erase(std::uint8_t opcode, std::span<const std::uint8_t> bytes);
    bool Protected(std::uint32_t offset, std::uint32_t length) const;
    void StartBusy(std::uint64_t ns, bool hangs);
    bool Faulted(const std::vector<std::uint32_t>& offsets, std::uint32_t offset,
                 std::uint32_t length) const;

    FlashPart& mPart;
    VirtualClock& mClock;
    StatusKind mKind;
    SpiFlashTimes mTimes;
    SpiFlashFaults mFaults;
    // The kept bits: protection (Atmel's SWP for its sectors), locks, error
    // flags.
    std::uint8_t mStatus = 0;
    bool mWriteEnabled = false;
    bool mWriteStatusEnabled = false;  // SST's 50h
    bool mAai = false;
    std::uint32_t mAaiNext = 0;
    std::uint64_t mBusyUntilNs = 0;
    bool mHung = false;
};

}  // namespace sim

#endif
