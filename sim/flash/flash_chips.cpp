// The flash parts the simulated boards can carry. Sizes, IDs and erase
// layouts are the manufacturers' datasheet values.
#include <algorithm>

#include "sim/flash/flash_chip.h"

namespace sim {

namespace {

constexpr std::uint32_t kKiB = 1024;
constexpr std::uint32_t kMiB = 1024 * kKiB;
constexpr std::uint32_t kSpiPageBytes = 256;
constexpr std::uint32_t kWordBytes = 2;
constexpr std::uint8_t kMissingManufacturer = 0xFF;
constexpr std::uint16_t kMissingDevice = 0xFFFF;
constexpr std::uint8_t kSpiBlockErase = 0xD8;
constexpr std::uint8_t kSpiSectorErase = 0x20;
constexpr std::uint32_t kSectorBytes = 4 * kKiB;
constexpr std::uint32_t kBlockBytes = 64 * kKiB;
// Intel's block erase is 20h then this confirm byte.
constexpr std::uint8_t kIntelEraseConfirm = 0xD0;

const std::vector<FlashChip>& Table() {
    static const std::vector<FlashChip> chips = {
        // The board's own part: ICH-era boards carry a 1 MiB SPI part.
        {"Macronix",
         "MX25L8005",
         0xC2,
         0x2014,
         1 * kMiB,
         FlashBus::kSpi,
         FlashCommandSet::kSpiPageProgram,
         kSpiPageBytes,
         {{0x20, {{4 * kKiB, 256}}}, {0xD8, {{64 * kKiB, 16}}}, {0xC7, {{1 * kMiB, 1}}}}},
        {"Winbond",
         "W25Q64.V",
         0xEF,
         0x4017,
         8 * kMiB,
         FlashBus::kSpi,
         FlashCommandSet::kSpiPageProgram,
         kSpiPageBytes,
         {{0x20, {{4 * kKiB, 2048}}},
          {0x52, {{32 * kKiB, 256}}},
          {0xD8, {{64 * kKiB, 128}}},
          {0xC7, {{8 * kMiB, 1}}}}},
        {"SST",
         "SST25VF080B",
         0xBF,
         0x258E,
         1 * kMiB,
         FlashBus::kSpi,
         FlashCommandSet::kSpiAaiWordProgram,
         kWordBytes,
         {{0x20, {{4 * kKiB, 256}}},
          {0x52, {{32 * kKiB, 32}}},
          {0xD8, {{64 * kKiB, 16}}},
          {0x60, {{1 * kMiB, 1}}}}},
        {"SST",
         "SST25VF016B",
         0xBF,
         0x2541,
         2 * kMiB,
         FlashBus::kSpi,
         FlashCommandSet::kSpiAaiWordProgram,
         kWordBytes,
         {{0x20, {{4 * kKiB, 512}}},
          {0x52, {{32 * kKiB, 64}}},
          {0xD8, {{64 * kKiB, 32}}},
          {0x60, {{2 * kMiB, 1}}}}},
        // Its sectors power up protected; a write of status bits 5:2 as all
        // zeros (ones) unprotects (protects) them all at once.
        {"Atmel",
         "AT25DF321",
         0x1F,
         0x4700,
         4 * kMiB,
         FlashBus::kSpi,
         FlashCommandSet::kSpiPageProgram,
         kSpiPageBytes,
         {{0x20, {{4 * kKiB, 1024}}},
          {0x52, {{32 * kKiB, 128}}},
          {0xD8, {{64 * kKiB, 64}}},
          {0x60, {{4 * kMiB, 1}}},
          {0xC7, {{4 * kMiB, 1}}}}},
        // Intel's S33 parts of the bottom parameter block build: uniform
        // 64 KB blocks for D8h (the 8 KB parameter blocks take their own
        // opcode, not modelled), status bits 5 and 6 report a failed erase
        // or program.
        {"Intel",
         "25F160S33",
         0x89,
         0x8911,
         2 * kMiB,
         FlashBus::kSpi,
         FlashCommandSet::kSpiPageProgram,
         kSpiPageBytes,
         {{0xD8, {{64 * kKiB, 32}}}, {0xC7, {{2 * kMiB, 1}}}}},
        {"Intel",
         "25F320S33",
         0x89,
         0x8912,
         4 * kMiB,
         FlashBus::kSpi,
         FlashCommandSet::kSpiPageProgram,
         kSpiPageBytes,
         {{0xD8, {{64 * kKiB, 64}}}, {0xC7, {{4 * kMiB, 1}}}}},
        {"Intel",
         "25F640S33",
         0x89,
         0x8913,
         8 * kMiB,
         FlashBus::kSpi,
         FlashCommandSet::kSpiPageProgram,
         kSpiPageBytes,
         {{0xD8, {{64 * kKiB, 128}}}, {0xC7, {{8 * kMiB, 1}}}}},
        {"SST",
         "SST49LF008A",
         0xBF,
         0x005A,
         1 * kMiB,
         FlashBus::kFwh,
         FlashCommandSet::kJedecByteProgram,
         1,
         {{0x30, {{4 * kKiB, 256}}}, {0x50, {{64 * kKiB, 16}}}}},
        // Bottom boot block: the small blocks at the lowest addresses.
        {"AMD",
         "Am29LV800BB",
         0x01,
         0x225B,
         1 * kMiB,
         FlashBus::kParallel,
         FlashCommandSet::kJedecWordProgram,
         kWordBytes,
         {{0x30, {{16 * kKiB, 1}, {8 * kKiB, 2}, {32 * kKiB, 1}, {64 * kKiB, 15}}},
          {0x10, {{1 * kMiB, 1}}}}},
        // Intel's firmware hub: uniform 64 KB blocks, each with its lock
        // register in the register space 4 MB below the part.
        {"Intel",
         "82802AC",
         0x89,
         0x00AC,
         1 * kMiB,
         FlashBus::kFwh,
         FlashCommandSet::kIntelByteProgram,
         1,
         {{kIntelEraseConfirm, {{64 * kKiB, 16}}}}},
        // Advanced+ Boot Block, bottom boot: eight 8 KB parameter blocks at
        // the lowest addresses, then 64 KB main blocks.
        {"Intel",
         "28F320C3B",
         0x89,
         0x88C5,
         4 * kMiB,
         FlashBus::kParallel,
         FlashCommandSet::kIntelWordProgram,
         kWordBytes,
         {{kIntelEraseConfirm, {{8 * kKiB, 8}, {64 * kKiB, 63}}}}},
    };
    return chips;
}

// The erase blocks of an unlisted part: the largest of the usual block
// sizes that divides it, or one block of the whole part.
EraseCommand UnlistedEraser(std::uint32_t sizeBytes) {
    if (sizeBytes == 0) return {kSpiBlockErase, {}};
    for (const auto& [opcode, block] :
         {std::pair{kSpiBlockErase, kBlockBytes}, std::pair{kSpiSectorErase, kSectorBytes}}) {
        if (sizeBytes % block == 0) return {opcode, {{block, sizeBytes / block}}};
    }
    return {kSpiBlockErase, {{sizeBytes, 1}}};
}

}  // namespace

std::uint64_t EraseCommand::Bytes() const {
    std::uint64_t bytes = 0;
    for (const EraseRegion& region : regions)
        bytes += std::uint64_t{region.blockBytes} * region.count;
    return bytes;
}

std::span<const FlashChip> FlashChips() {
    return Table();
}

const FlashChip* FindFlashChip(std::uint8_t manufacturerId, std::uint16_t deviceId) {
    const auto chips = FlashChips();
    const auto found = std::find_if(chips.begin(), chips.end(), [&](const FlashChip& chip) {
        return chip.manufacturerId == manufacturerId && chip.deviceId == deviceId;
    });
    return found == chips.end() ? nullptr : &*found;
}

FlashChip BoardFlashChip(std::uint32_t sizeBytes) {
    for (const FlashChip& chip : FlashChips()) {
        if (chip.sizeBytes == sizeBytes) return chip;
    }
    return {"",
            "unlisted",
            kMissingManufacturer,
            kMissingDevice,
            sizeBytes,
            FlashBus::kSpi,
            FlashCommandSet::kSpiPageProgram,
            kSpiPageBytes,
            {UnlistedEraser(sizeBytes)}};
}

}  // namespace sim
