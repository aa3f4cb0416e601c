// The flash tables the simulated BIOS gives for its part: segments for the
// whole part and the areas a real BIOS of this kind names.
//
// Segments (tags): 1 main BIOS, partition 2, from the part's base to below
// the flags block; 2 flags block and volume, partition 2; 3 boot block
// region (the top 128 KB, which top swap exchanges), partition 1.
// Areas (each range a 64 KB block): 1 "Main BIOS" (the main segment but
// its top two blocks), 2 "Microcode" (the block above it), 3 "Setup
// Defaults" (the top block of the main segment), all in segment 1; 4 "Boot
// Block" (the top 128 KB, segment 3, which the host may read and not
// write). Versions are the ROM ID.
#ifndef SRVFW_SIM_FIRMWARE_BOARD_TABLES_H
#define SRVFW_SIM_FIRMWARE_BOARD_TABLES_H

#include <cstdint>
#include <optional>
#include <string>

#include "sim/firmware/flash_tables.h"

namespace sim {

inline constexpr std::uint32_t kMainSegmentTag = 1;
inline constexpr std::uint32_t kFirmwareSegmentTag = 2;
inline constexpr std::uint32_t kBootSegmentTag = 3;
inline constexpr std::uint32_t kBootRegionBytes = 0x20000;

struct BoardTablesPlan {
    std::uint64_t partBase = 0;  // physical
    std::uint32_t partBytes = 0;
    std::uint64_t flagsBlock = 0;  // physical; the lower of the two blocks
    std::string romId;
    std::optional<FlashNotifyTable> notify;
};

// Throws std::invalid_argument when the main segment would hold fewer than
// three blocks.
FlashTables BoardFlashTables(const BoardTablesPlan& plan);

}  // namespace sim

#endif
