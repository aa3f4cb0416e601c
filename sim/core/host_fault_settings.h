// Faults of the simulated Linux taken from the settings, so that a program
// run in another process (a simulated build against a state directory) meets
// them too:
//
//   host.fault.open=PATH:ERRNO,...          every open of PATH fails
//   host.fault.mmap=ADDR:LENGTH:ERRNO,...   mappings of the memory device
//                                           touching the range fail
//   host.fault.iopl=ERRNO    host.fault.affinity=ERRNO
//   host.fault.mknod=ERRNO   host.fault.unmap=ERRNO
// and the one setting of the kernel's memory device that is not a fault:
//   host.strict_devmem=1     0: no System RAM check (sim/core/host_os.h)
#ifndef SRVFW_SIM_CORE_HOST_FAULT_SETTINGS_H
#define SRVFW_SIM_CORE_HOST_FAULT_SETTINGS_H

#include "sim/core/machine.h"

namespace sim {

void ApplyHostFaultSettings(Machine& machine);

}  // namespace sim

#endif
