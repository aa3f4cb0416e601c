// The boards the simulated server can be: which BIOS flash part it carries,
// how the chipset's boot straps route BIOS cycles, where the SPI controller's
// registers lie and where the BIOS put the root complex register block. A
// board is picked by name and each piece can be overridden, so that a test
// asks for "board=ich9-spi" and gets a consistent machine, or for one piece
// changed to meet a fault.
//
// Settings:
//   board=fwh               fwh (the default), word16, ich7-spi,
//                           ich7-spi-intel, ich9-spi, pch-spi,
//                           pch-spi-unknown
//   bios.chip=NAME          the BIOS flash part by its row name in
//                           sim/flash/flash_chips.cpp ("SST25VF016B",
//                           "AT25DF321"...); the ROM size (bios.rom_kb)
//                           follows the part unless set
//   chipset.straps=lpc      lpc, spi or pci: the boot BIOS straps, read back
//                           in GCS bits 11:10 (11b, 01b, 10b)
//   chipset.spi_layout=ich7 ich7: the SPI registers at RCBA + 3020h;
//                           ich9: at RCBA + 3800h (software sequencing at
//                           90h, FADDR 08h, FDATA 10h)
//   chipset.rcba=0xFED1C000 the root complex register block's base as the
//                           BIOS programmed it (16 KB aligned)
//   chipset.rcba_enabled=1  0: the BIOS left RCBA's enable bit clear, so the
//                           block is decoded nowhere
//
// | board           | part (row name)   | straps | SPI layout |
// | fwh             | 82802AC           | lpc    | ich7       |
// | word16          | 28F320C3B         | lpc    | ich7       |
// | ich7-spi        | SST25VF016B       | spi    | ich7       |
// | ich7-spi-intel  | 25F160S33         | spi    | ich7       |
// | ich9-spi        | AT25DF321         | spi    | ich9       |
// | pch-spi         | 25F640S33         | spi    | ich9       |
// | pch-spi-unknown | W25Q64.V          | spi    | ich9       |
//
// The LPC boards' bridge is of the older generation that also keeps BIOS
// control at 4Eh and firmware hub decode at E3h; the SPI boards' is not.
#ifndef SRVFW_SIM_CHIPSET_BOARD_H
#define SRVFW_SIM_CHIPSET_BOARD_H

#include <cstdint>
#include <string>

#include "sim/core/settings.h"
#include "sim/flash/flash_chip.h"

namespace sim {

// How the chipset routes the boot BIOS range (GCS bits 11:10).
enum class BootStraps { kLpc, kSpi, kPci };

// Where the SPI controller's registers lie behind RCBA, and their layout.
enum class SpiLayout {
    kIch7,  // RCBA + 3020h: SPIS 00h, SPIC 02h, SPIA 04h, SPID 08h, BBAR 50h,
            // PREOP 54h, OPTYPE 56h, OPMENU 58h, PBR 60h
    kIch9,  // RCBA + 3800h: FADDR 08h, FDATA 10h, SSFS 90h, SSFC 91h, PREOP
            // 94h, OPTYPE 96h, OPMENU 98h, BBAR A0h, PR0 74h
};

struct Board {
    std::string name;
    FlashChip chip;
    BootStraps straps = BootStraps::kLpc;
    SpiLayout spiLayout = SpiLayout::kIch7;
    std::uint32_t rcba = 0xFED1C000;
    bool rcbaEnabled = true;
    bool biosLock = false;     // chipset.bios_lock (sim/chipset/chipset.h)
    bool spiLockdown = false;  // chipset.spi_lockdown
    bool olderBridge = true;   // BIOS control also at 4Eh, FWH decode at E3h
};

// The board the settings describe. Throws std::invalid_argument naming the
// setting for an unknown board, part, strap or layout, or an RCBA that is
// not 16 KB aligned below 4 GB, or a flag that is neither 0 nor 1.
Board BoardFromSettings(const Settings& settings);

// The listed part of this row name, or null.
const FlashChip* FindFlashChipNamed(const std::string& name);

}  // namespace sim

#endif
