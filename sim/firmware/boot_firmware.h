// What the simulated BIOS keeps in its flash for an update program: the
// boot firmware volume with the Flash Segment, Area and Notification
// Tables, and the Flash Flags Block with its notify field; and the software
// SMI through which the BIOS is told of a pending update on the boards
// whose tables have no notify field.
//
// Where it lies (physical addresses; the part ends at 4 GB): the top
// 128 KB is the boot block region (the two blocks top swap exchanges, the
// ROM ID in the last 32 bytes, the NVRAM block below the boot block), left
// as the BIOS flash service made it; the volume is the 64 KB block below
// it (top - 192 KB) and the flags block the one below that (top - 256 KB);
// everything under them is the main BIOS's (board_tables.h). Parts smaller
// than 512 KB, or not a multiple of 64 KB, carry no volume: a BIOS that
// small has no online update.
//
// The flags block: "FLAGSBLK" at its offset 0, the notify field at
// offset 10h, the rest erased. The notify field is used up bit by bit in
// pairs, lowest byte and bit first: clearing an even bit records a
// pending update, clearing the odd bit after it records it cleared; the
// first bit still 1 tells the state (even: none pending, odd: pending, no
// bit left: used up).
//
// The notify SMI (function A4h on port B2h), served on the SPI boards of
// the ICH9 layout (their tables have no notify field): the BIOS records the update as
// pending in the same field by clearing the first bit still 1 when it is
// an even one; when the field is used up it erases the flags block,
// restores its contents with a fresh field and then clears bit 0; when an
// update is pending already it changes nothing.
//
// Request log, component "firmware" (address: the flags block's physical
// address; value: the bit index, or the state as below):
//   operation "notify", detail "pending": bit `value` cleared
//   operation "notify", detail "already-pending": nothing written
//   operation "notify", detail "restored": the used-up block erased and
//                                          rewritten (then a "pending" line)
//   operation "notify", detail "no-flags-block": firmware.tables=0
//
// Settings (numbers decimal or 0x-hexadecimal):
//   firmware.tables=1           0: no volume and no flags block (a BIOS
//                               without online update)
//   firmware.fault=none         one malformation by name (flash_tables.h:
//                               fvh-misplaced, wrong-file-system,
//                               volume-unaligned, no-tables-file,
//                               bad-header-checksum, bad-file-checksum,
//                               no-notify-table, no-segment-table,
//                               no-area-table, fst-one-entry,
//                               fst-partition-3, fst-start-above-limit,
//                               fat-only-closing, fat-bad-signature,
//                               fat-closing-flags-1,
//                               fat-range-start-above-limit,
//                               fat-range-outside-segment,
//                               fat-size-mismatch, fat-area-size-mismatch,
//                               fnt-access-type)
//   firmware.volume=ADDR        physical base of the volume's 64 KB block
//                               (default: part top - 192 KB)
//   firmware.flags_block=ADDR   physical base of the flags block (default:
//                               part top - 256 KB)
//   firmware.notify=fresh       the notify field's start state: fresh (all
//                               FFh), pending (bit 0 cleared), none (one
//                               update recorded and cleared: bits 0 and 1
//                               cleared), used-up (all 00h)
//   firmware.notify_bytes=16    the notify field's length
//   firmware.notify_table=      1: the tables hold an FNT; 0: none. Default:
//                               none on a board whose straps boot from SPI
//                               (sim/chipset/board.h: ich7-spi,
//                               ich7-spi-intel, ich9-spi, pch-spi,
//                               pch-spi-unknown, or chipset.straps=spi),
//                               an FNT otherwise
//   firmware.notify_smi=        1: serve SMI A4h; default on an SPI board
//                               of the ICH9 layout (ich9-spi, pch-spi,
//                               pch-spi-unknown)
//
// An unknown fault name or notify state, or a volume or flags block that
// is not a 64 KB block inside the part, throws std::invalid_argument
// naming the setting.
#ifndef SRVFW_SIM_FIRMWARE_BOOT_FIRMWARE_H
#define SRVFW_SIM_FIRMWARE_BOOT_FIRMWARE_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/core/machine.h"
#include "sim/firmware/flash_tables.h"
#include "sim/flash/flash_part.h"

namespace sim {

enum class NotifyState { kFresh, kPending, kNone, kUsedUp };

std::optional<NotifyState> NotifyStateByName(std::string_view name);
std::string_view NotifyStateName(NotifyState state);

struct BootFirmwareConfig {
    static constexpr std::uint32_t kBlockBytes = 0x10000;
    static constexpr std::uint32_t kNotifyFieldOffset = 0x10;  // in the flags block
    static constexpr char kFlagsSignature[] = "FLAGSBLK";

    bool tables = true;
    TablesFault fault = TablesFault::kNone;
    std::uint64_t partBase = 0;  // physical address of the part's first byte
    std::uint32_t partBytes = 0;
    std::uint64_t volume = 0;      // physical
    std::uint64_t flagsBlock = 0;  // physical
    NotifyState notify = NotifyState::kFresh;
    std::uint16_t notifyBytes = 16;
    bool notifyTable = true;
    bool notifySmi = false;
    std::string romId;  // the versions of the areas

    // From the machine's settings for this part; romId is read by the
    // caller from the part (the BIOS flash service put it there).
    static BootFirmwareConfig FromSettings(const Settings& settings, const FlashChip& chip);

    std::uint64_t NotifyField() const { return flagsBlock + kNotifyFieldOffset; }
    // Offsets in the part's cells.
    std::uint64_t CellOffset(std::uint64_t physical) const { return physical - partBase; }
};

// The tables this configuration describes (the board's layout).
FlashTables BootFirmwareTables(const BootFirmwareConfig& config);
// The volume's 64 KB block as it is laid into the flash, fault applied
// (kVolumeUnaligned: the volume starts 4 KB into the block).
std::vector<std::uint8_t> BootFirmwareVolumeBlock(const BootFirmwareConfig& config);
// The flags block with its notify field in the configured state.
std::vector<std::uint8_t> FlagsBlockBytes(const BootFirmwareConfig& config);

// Lays the volume block and the flags block into the cells, replacing what
// was there, as a BIOS build would; nothing when config.tables is off.
void LayBootFirmware(FlashArray& cells, const BootFirmwareConfig& config);
// Replaces cells from this physical address, as a programmer clip would.
void ReplaceCells(FlashArray& cells, const BootFirmwareConfig& config, std::uint64_t physical,
                  std::span<const std::uint8_t> bytes);

// The notify field's state as its bits tell it.
NotifyState ReadNotifyState(std::span<const std::uint8_t> field);
// The field's bytes for a state (kNone: bits 0 and 1 cleared).
std::vector<std::uint8_t> NotifyFieldBytes(NotifyState state, std::uint16_t length);

// The BIOS's notify service, served through the software SMI.
class BootFirmware : public Device {
  public:
    static constexpr std::uint8_t kNotifySmi = 0xA4;
    static constexpr std::uint16_t kSmiPort = 0xB2;

    BootFirmware(Machine& machine, FlashPart& biosFlash, BootFirmwareConfig config);
    std::string Name() const override { return "firmware"; }
    const BootFirmwareConfig& Config() const { return mConfig; }
    void Describe(std::ostream& out) const override;

    // The notify field as the flash holds it now (empty when there is no
    // flags block).
    std::vector<std::uint8_t> NotifyField() const;
    // What the SMI handler does.
    void RecordPendingUpdate();

  private:
    Machine& mMachine;
    FlashPart& mFlash;
    BootFirmwareConfig mConfig;
};

// Lays the volume and the flags block into the part's factory contents and
// serves the notify SMI. Called after the BIOS flash service has filled the
// part, before the machine loads its kept state.
void AddBootFirmware(Machine& machine, FlashPart& biosFlash);

}  // namespace sim

#endif
