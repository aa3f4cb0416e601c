// Where the SPI register block and its registers lie behind RCBA on the two
// SPI chipset generations the library drives, and the lowest flash address
// their SPI addresses count from.
#ifndef SRVFW_RASK_SPI_REGISTER_LAYOUT_H
#define SRVFW_RASK_SPI_REGISTER_LAYOUT_H

#include <cstdint>

namespace Rask_Private {

struct SpiRegisterLayout {
    std::uint32_t blockOffset;  // from RCBA
    std::uint32_t bottomOfFlash;
    unsigned spis, spic, spia, spid, bbar, preop, optype, opmenu, pbr;
};

// Platform 9: the block at RCBA + 3020h, a 2 MB flash. The process-wide
// offsets start with these values.
inline constexpr SpiRegisterLayout kOlderSpiLayout = {0x3020, 0xFFE00000, 0x00, 0x02, 0x04, 0x08,
                                                      0x50,   0x54,       0x56, 0x58, 0x60};

// Platforms 11 (a 4 MB flash) and 15 (8 MB): the block at RCBA + 3800h.
inline constexpr SpiRegisterLayout NewerSpiLayout(std::uint32_t bottomOfFlash) {
    return {0x3800, bottomOfFlash, 0x90, 0x91, 0x08, 0x10, 0xA0, 0x94, 0x96, 0x98, 0x78};
}

// The process-wide offsets and BOTTOM_OF_FLASH take the layout's values.
void ApplySpiRegisterLayout(const SpiRegisterLayout& layout);

}  // namespace Rask_Private

#endif
