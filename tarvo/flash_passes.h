// What tarvo does to the flash: saving it to a file, the erase, write and
// verify sweeps over the BIOS's block table, and destroying the CMOS
// checksum.
#ifndef SRVFW_TARVO_FLASH_PASSES_H
#define SRVFW_TARVO_FLASH_PASSES_H

#include "tarvo/bios_flash.h"
#include "tarvo/options.h"
#include "tarvo/rom_image.h"

namespace tarvo {

enum FlashExitCode : int {
    kExitCreateOutput = 50,
    kExitWriteOutput = 51,
    kExitFlashErase = 67,
    kExitFlashWrite = 68,
    kExitFlashVerify = 69,
};

enum class Pass { kMain = 1, kBootBlock = 2 };

// Whether a pass touches the block at this flash address.
bool IsBlockSelected(Pass pass, std::uint32_t address, const Options& options,
                     const FlashLayout& layout, const std::vector<NonCriticalBlock>& nonCritical);

// "/o": the whole flash into a file. The file appears only when all of it was
// saved; a failure leaves no partial file and an older file of that name as
// it was.
int SaveFlash(const Options& options, BiosFlash& bios);

// The passes; on return, touched (when given) lists in table order the
// flash addresses of the blocks whose erase was asked for, the failing one
// included: the blocks a failure leaves erased, partly written or rewritten.
int ProgramFlash(const Options& options, BiosFlash& bios, RomImage& image,
                 std::vector<std::uint32_t>* touched = nullptr);

void DestroyCmosChecksum();

}  // namespace tarvo

#endif
