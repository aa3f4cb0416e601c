// Bytes written into physical memory once the machine is built, after every
// component has laid out its tables: the way to give a program a malformed
// BIOS table, a second anchor or a damaged signature without a new setting
// for each.
//
//   memory.poke=ADDR:HEXBYTES,...   e.g. memory.poke=0xE00A0:FFFF
//
// The bytes go through the memory map as the processor's writes would (ROM
// ignores them, holes swallow them). Persistent regions are loaded from the
// state directory afterwards and keep what was saved there.
#ifndef SRVFW_SIM_CORE_MEMORY_POKES_H
#define SRVFW_SIM_CORE_MEMORY_POKES_H

#include "sim/core/machine.h"

namespace sim {

void ApplyMemoryPokes(Machine& machine);

}  // namespace sim

#endif
