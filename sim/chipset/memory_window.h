// The BIOS flash part as the processor sees it just below 4 GB: reads of
// the window read the part, and, for a part on the LPC or firmware-hub bus,
// writes are the part's command cycles; the firmware hub's block lock
// registers lie 4 MB below it.
#ifndef SRVFW_SIM_CHIPSET_MEMORY_WINDOW_H
#define SRVFW_SIM_CHIPSET_MEMORY_WINDOW_H

#include "sim/core/machine.h"
#include "sim/flash/flash_part.h"

namespace sim {

// Adds the window over the part; the machine's BiosRange is added already.
void AddMemoryWindow(Machine& machine, FlashPart& biosFlash);

}  // namespace sim

#endif
