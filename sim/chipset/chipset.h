// The chipset of the simulated board around its BIOS flash: the host
// bridge, the LPC bridge at 0:31.0 with its root complex register block
// (general control with the boot straps, the backed-up control register
// with top swap) and the SPI controller that reaches an SPI flash part.
#ifndef SRVFW_SIM_CHIPSET_CHIPSET_H
#define SRVFW_SIM_CHIPSET_CHIPSET_H

#include "sim/core/machine.h"
#include "sim/flash/flash_part.h"

namespace sim {

// Adds the chipset's devices; the machine's BiosRange is added already.
void AddChipset(Machine& machine, FlashPart& biosFlash);

}  // namespace sim

#endif
