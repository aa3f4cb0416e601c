// A flash part on the board: what it is (a row of the chip table), its
// cells, and the file in the state directory that keeps them. The machine
// owns its parts; the access paths that reach one (the BIOS flash service
// now; the chipset's SPI controller and the memory-mapped window below
// 4 GB later) hold it and none owns it, so that what one programs the
// others read.
#ifndef SRVFW_SIM_FLASH_FLASH_PART_H
#define SRVFW_SIM_FLASH_FLASH_PART_H

#include <filesystem>
#include <string>

#include "sim/flash/flash_array.h"
#include "sim/flash/flash_chip.h"

namespace sim {

class FlashPart {
  public:
    // Erased cells of the chip's size, kept in "STATE_NAME.bin".
    FlashPart(FlashChip chip, std::string stateName)
        : mChip(std::move(chip)), mStateName(std::move(stateName)), mCells(mChip.sizeBytes) {}
    FlashPart(const FlashPart&) = delete;
    FlashPart& operator=(const FlashPart&) = delete;

    const FlashChip& Chip() const { return mChip; }
    const std::string& StateName() const { return mStateName; }
    FlashArray& Cells() { return mCells; }
    const FlashArray& Cells() const { return mCells; }

    // A kept file of another size is ignored: the board was given a part of
    // another size since.
    void LoadState(const std::filesystem::path& dir);
    bool SaveState(const std::filesystem::path& dir) const;

  private:
    std::filesystem::path StateFile(const std::filesystem::path& dir) const;

    FlashChip mChip;
    std::string mStateName;
    FlashArray mCells;
};

}  // namespace sim

#endif
