// What a flash part is, as its datasheet describes it: its size, its JEDEC
// identity, the bus and command set it answers on, the most one program
// command takes, and the blocks each of its erase commands clears. The
// parts the simulated boards can carry are rows of data (flash_chips.cpp),
// so that a part is added with one row and the access paths that drive a
// part (the BIOS flash service, an SPI controller, a memory-mapped window)
// take its geometry and commands from the row instead of knowing chips.
#ifndef SRVFW_SIM_FLASH_FLASH_CHIP_H
#define SRVFW_SIM_FLASH_FLASH_CHIP_H

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace sim {

// How the part is wired to the chipset.
enum class FlashBus {
    kSpi,       // serial, behind the chipset's SPI controller
    kFwh,       // firmware hub and LPC memory cycles on the LPC bus
    kParallel,  // address and data lines, a boot ROM socket or a bus bridge
};

// The command set the part takes.
enum class FlashCommandSet {
    // Opcode, address, data; Page Program (02h) of up to a page, which wraps
    // within the page.
    kSpiPageProgram,
    // As above, but programming is Auto Address Increment (ADh) of one word
    // at a time; there is no Page Program.
    kSpiAaiWordProgram,
    // The classic memory-mapped command set: unlock cycles (AAh at 5555h,
    // 55h at 2AAAh), then the command; programs one byte at a time.
    kJedecByteProgram,
    // The same in its 16-bit form: the unlock cycles at word addresses 555h
    // and 2AAh; programs one word at a time.
    kJedecWordProgram,
    // Intel's command set, as firmware hubs and Intel's parallel parts take
    // it: commands written to any address of the part (20h D0h block erase,
    // 40h program, 70h read status, 50h clear status, FFh read array); one
    // byte at a time.
    kIntelByteProgram,
    // The same on a 16-bit bus: commands and data are words at even
    // addresses, and blocks lock and unlock by command (60h then 01h or
    // D0h).
    kIntelWordProgram,
};

// A run of equal erase blocks, from the lowest address up.
struct EraseRegion {
    std::uint32_t blockBytes = 0;
    std::uint32_t count = 0;
};

// One erase command and the blocks it clears. The opcode is the SPI opcode,
// or the last byte written in the memory-mapped sequence.
struct EraseCommand {
    std::uint8_t opcode = 0;
    std::vector<EraseRegion> regions;

    std::uint64_t Bytes() const;  // what all its blocks cover
};

struct FlashChip {
    std::string_view vendor;
    std::string_view name;
    std::uint8_t manufacturerId = 0;  // JEDEC manufacturer ID
    std::uint16_t deviceId = 0;       // as the part's ID command reads it
    std::uint32_t sizeBytes = 0;
    FlashBus bus = FlashBus::kSpi;
    FlashCommandSet commands = FlashCommandSet::kSpiPageProgram;
    std::uint32_t programBytes = 0;  // the most one program command takes
    std::vector<EraseCommand> erasers;
};

// Every part listed, the one the board carries by default first.
std::span<const FlashChip> FlashChips();

// The listed part that answers the ID command with these IDs.
const FlashChip* FindFlashChip(std::uint8_t manufacturerId, std::uint16_t deviceId);

// The part the board carries for a ROM of this size: the first listed part
// of that size, or, for a size no listed part has (a broken or unusual
// board a test asks for), an unlisted SPI part of that size whose ID reads
// as a missing part's (FFh, FFFFh).
FlashChip BoardFlashChip(std::uint32_t sizeBytes);

}  // namespace sim

#endif
