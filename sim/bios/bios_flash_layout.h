// The geometry of the BIOS flash as the BIOS publishes it: the ROM size, the
// block table in the order the BIOS wants blocks processed (its last entries
// are the boot block), and the NVRAM blocks. The BIOS flash service serves
// requests against it and the ROM image builder lays images out by it, so
// both sides of a test agree on one description.
//
// Flash addresses are the BIOS's: file offset + base offset, where the base
// offset is 100000h - ROM size for a ROM of at most 1 MB (the ROM then ends
// at the top of the first megabyte, as the processor sees it) and 0 for a
// larger one.
#ifndef SRVFW_SIM_BIOS_BIOS_FLASH_LAYOUT_H
#define SRVFW_SIM_BIOS_BIOS_FLASH_LAYOUT_H

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim {

// The ROM ID of the BIOS this simulated server ships with: the first five
// characters name the board family, the last three the version.
inline constexpr char kDefaultRomId[] = "SRVBD010";

struct FlashBlock {
    std::uint32_t address = 0;  // flash address
    std::uint32_t size = 0;     // bytes
    bool operator==(const FlashBlock&) const = default;
};

// A range of the ROM image, by file offset.
struct ImageRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct BiosFlashLayout {
    std::uint32_t romBytes = 0;
    std::vector<FlashBlock> blocks;    // in table order
    unsigned bootBlocks = 0;           // the last bootBlocks entries form the boot block
    std::vector<std::uint32_t> nvram;  // flash addresses of the NVRAM blocks

    // Blocks of blockBytes covering the ROM in ascending order, the top
    // bootBlocks of them the boot block and the one below it (if any) the
    // NVRAM block, as a BIOS of this kind usually lays out its part.
    static BiosFlashLayout Uniform(std::uint32_t romBytes, std::uint32_t blockBytes,
                                   unsigned bootBlocks = 1);

    std::uint32_t BaseOffset() const;

    // The image range of a flash range, when it lies wholly inside the ROM.
    std::optional<ImageRange> ImageRangeOf(std::uint64_t address, std::uint64_t length) const;

    // The block table entry that starts at this flash address.
    const FlashBlock* BlockAt(std::uint64_t address) const;

    // The boot block region by file offset: from the address of entry
    // (count - bootBlocks) for the sum of the sizes of the last bootBlocks
    // entries. Empty when the table names no boot block, names more boot
    // blocks than it has entries, or the region is not inside the ROM.
    std::optional<ImageRange> BootRegion() const;
};

// The 32-bit sum (modulo 2^32) of the little-endian 32-bit words of the
// bytes; a trailing part shorter than a word does not count.
std::uint32_t WordSum(std::span<const std::uint8_t> bytes);

// The checksum of a transfer buffer in a flash request: the bitwise NOT of
// its word sum.
inline std::uint32_t TransferChecksum(std::span<const std::uint8_t> bytes) {
    return ~WordSum(bytes);
}

}  // namespace sim

#endif
