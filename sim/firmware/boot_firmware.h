// What the simulated BIOS keeps in its flash for an update program: the
// boot firmware volume with the Flash Segment, Area and Notification
// Tables, and the Flash Flags Block with its notify field; and the software
// SMI through which the BIOS is told of a pending update on the boards
// whose tables have no notify field.
#ifndef SRVFW_SIM_FIRMWARE_BOOT_FIRMWARE_H
#define SRVFW_SIM_FIRMWARE_BOOT_FIRMWARE_H

#include "sim/core/machine.h"
#include "sim/flash/flash_part.h"

namespace sim {

// Lays the volume and the flags block into the part's factory contents and
// serves the notify SMI. Called after the BIOS flash service has filled the
// part, before the machine loads its kept state.
void AddBootFirmware(Machine& machine, FlashPart& biosFlash);

}  // namespace sim

#endif
