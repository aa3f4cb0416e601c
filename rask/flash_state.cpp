// The flash layer's process-wide state: what the open found out about the
// chipset and the flash part, kept for every later operation of the
// process (a host drives one flash device at a time, from one thread).
#include "rask/flash_layer.h"
#include "rask/spi_register_layout.h"

namespace Rask_Private {

namespace {

// A part the library has not identified takes no SPI program path.
constexpr unsigned kUnknownSpiKind = 3;

}  // namespace

int g_lbPlatform = 0;
unsigned flInterface = 0;
std::uint32_t buc = 0;
unsigned TopSwapBit = 0;
volatile std::uint8_t* vspibar = nullptr;
MemRegion SpiRegisterRegion;
// The older SPI chipset's layout until an open says otherwise.
std::uint32_t BOTTOM_OF_FLASH = kOlderSpiLayout.bottomOfFlash;
unsigned SPIS_OFFSET = kOlderSpiLayout.spis, SPIC_OFFSET = kOlderSpiLayout.spic,
         SPIA_OFFSET = kOlderSpiLayout.spia, SPID_OFFSET = kOlderSpiLayout.spid,
         BBAR_OFFSET = kOlderSpiLayout.bbar, PREOP_OFFSET = kOlderSpiLayout.preop,
         OPTYPE_OFFSET = kOlderSpiLayout.optype, OPMENU_OFFSET = kOlderSpiLayout.opmenu,
         PBR_OFFSET = kOlderSpiLayout.pbr;
unsigned spi_flashtype = kUnknownSpiKind;
std::uint8_t spi_jedec_id[3] = {0, 0, 0};
int bFoundFAT = 0;

void ResetFlashLayerState() {
    // The SPI register block is the one mapping the state owns; a close
    // gives it back before it calls this, an open that failed half way too.
    if (SpiRegisterRegion.pages != 0) lib_munmap(&SpiRegisterRegion);
    g_lbPlatform = 0;
    flInterface = 0;
    buc = 0;
    TopSwapBit = 0;
    vspibar = nullptr;
    SpiRegisterRegion = MemRegion{};
    ApplySpiRegisterLayout(kOlderSpiLayout);
    spi_flashtype = kUnknownSpiKind;
    spi_jedec_id[0] = spi_jedec_id[1] = spi_jedec_id[2] = 0;
    bFoundFAT = 0;
}

void ApplySpiRegisterLayout(const SpiRegisterLayout& layout) {
    BOTTOM_OF_FLASH = layout.bottomOfFlash;
    SPIS_OFFSET = layout.spis;
    SPIC_OFFSET = layout.spic;
    SPIA_OFFSET = layout.spia;
    SPID_OFFSET = layout.spid;
    BBAR_OFFSET = layout.bbar;
    PREOP_OFFSET = layout.preop;
    OPTYPE_OFFSET = layout.optype;
    OPMENU_OFFSET = layout.opmenu;
    PBR_OFFSET = layout.pbr;
}

bool IsSpiCapablePlatform(int platform) {
    return platform == 9 || platform == 11 || platform == 15;
}

bool IsWordWidePlatform(int platform) {
    return platform == 1 || platform == 10;
}

}  // namespace Rask_Private
