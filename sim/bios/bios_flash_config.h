// What the simulated BIOS flash service is: where it puts its anchor and
// tables, the flash layout, the installed ROM ID and the faults it shows.
// All of it comes from the machine's settings when the machine is built, so
// that simctl, the tests and a simulated program in another process see the
// same BIOS.
//
// Settings (numbers decimal or 0x-hexadecimal; lists separated by commas):
//   bios.rom_kb=                 ROM size in KB (0 is allowed: a broken BIOS);
//                                by default the size of the board's part
//                                (sim/chipset/board.h)
//   bios.block_kb=64             block size of the default uniform layout
//   bios.blocks=ADDR:SIZE,...    explicit block table in table order
//                                (replaces the uniform layout; entries may
//                                lie outside the ROM to model a broken BIOS)
//   bios.boot_blocks=1           the last N table entries are the boot block
//   bios.nvram=ADDR,...          NVRAM block addresses; default: the block
//                                below the boot block of the uniform layout;
//                                an empty value lists none
//   bios.rom_id=SRVBD010         ROM ID of the default flash content
//                                (at most 8 characters, padded with blanks)
//   bios.anchor=1                0: no "$ASF" anchor at all
//   bios.anchor_offset=0x7F30    anchor offset in the F0000h segment
//   bios.request_distance=0x10   anchor to request block, in bytes
//   bios.info_segment=0xE000     information segment, in paragraphs
//   bios.info_pointer=0x40       offset of the FlashInfo pointer in it
//   bios.flash_info=0x80         offset of FlashInfo in it
//   bios.block_table=            offset of the BlockTable (default: after
//                                FlashInfo)
//   bios.nvram_table=            offset of the NvramTable (default: after the
//                                BlockTable)
//   bios.smi_port=0xB2           SMI command port
//   bios.open_status=0           what FLASH_OPEN answers: 0 opens, 2 ("was
//                                already open") opens too, any other value
//                                refuses (1 is the BIOS's own refusal)
//   bios.close_status=0          what FLASH_CLOSE answers; non-zero leaves
//                                the service open
// Faults, lists of ADDR[:VALUE]; a fault hits a request whose flash range
// (address, length) contains ADDR:
//   bios.fault.read=ADDR[:STATUS]          FLASH_READ fails (status 08h)
//   bios.fault.read_checksum=ADDR[:XOR]    FLASH_READ answers status 0 with
//                                          its checksum field XORed (by 1)
//   bios.fault.erase=ADDR[:STATUS]         FLASH_ERASE fails, block unchanged
//   bios.fault.write=ADDR[:STATUS]         FLASH_WRITE fails, nothing written
//   bios.fault.stuck_bits=ADDR[:MASK]      the flash byte at ADDR has the MASK
//                                          bits (01h) stuck at 1: programming
//                                          cannot clear them
//   bios.fault.signal=ADDR[:SIGNAL]        the first FLASH_WRITE of the 1 KB
//                                          holding ADDR, once done, raises
//                                          SIGNAL (2, SIGINT; 15 SIGTERM, 1
//                                          SIGHUP...) in the process, as a
//                                          user's Ctrl-C, kill or hang-up at
//                                          that moment would: once per
//                                          process
#ifndef SRVFW_SIM_BIOS_BIOS_FLASH_CONFIG_H
#define SRVFW_SIM_BIOS_BIOS_FLASH_CONFIG_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bios/bios_flash_layout.h"
#include "sim/core/settings.h"

namespace sim {

struct FlashFault {
    std::uint32_t address = 0;  // flash address
    std::uint32_t value = 0;    // status, checksum XOR or stuck-bit mask
};

struct BiosFlashFaults {
    std::vector<FlashFault> read;
    std::vector<FlashFault> readChecksum;
    std::vector<FlashFault> erase;
    std::vector<FlashFault> write;
    std::vector<FlashFault> stuckBits;
    std::vector<FlashFault> signal;  // value: the signal number
};

struct BiosFlashConfig {
    static constexpr std::uint64_t kAnchorSegment = 0xF0000;

    BiosFlashLayout layout;
    std::string romId = kDefaultRomId;  // always 8 characters
    bool anchor = true;
    std::uint16_t anchorOffset = 0x7F30;
    std::uint8_t requestDistance = 0x10;
    std::uint16_t infoSegment = 0xE000;
    std::uint16_t infoPointer = 0x40;
    std::uint16_t flashInfo = 0x80;
    std::uint16_t blockTable = 0;  // 0: right after FlashInfo
    std::uint16_t nvramTable = 0;  // 0: right after the BlockTable
    std::uint16_t smiPort = 0xB2;
    std::uint8_t openStatus = 0;
    std::uint8_t closeStatus = 0;
    BiosFlashFaults faults;

    // Throws std::invalid_argument naming the setting that cannot be
    // understood or cannot be built (a ROM larger than 65535 KB, a ROM ID
    // longer than 8 characters, an anchor that does not fit the segment).
    static BiosFlashConfig FromSettings(const Settings& settings);

    std::uint64_t AnchorAddress() const { return kAnchorSegment + anchorOffset; }
    std::uint64_t RequestAddress() const { return AnchorAddress() + requestDistance; }
    std::uint64_t InfoSegmentAddress() const { return std::uint64_t{infoSegment} * 16; }
    std::uint16_t BlockTableOffset() const;
    std::uint16_t NvramTableOffset() const;
};

}  // namespace sim

#endif
