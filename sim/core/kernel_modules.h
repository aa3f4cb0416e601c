// The modules the simulated Linux kernel has loaded at boot, as
// /sys/module/NAME shows them (hw::KernelModulePresent). The IPMI driver
// stack is the one that matters to a program: ipmi_msghandler (the message
// handler), ipmi_si (the system interface driver, which then owns the KCS
// interface) and ipmi_devintf (the character device /dev/ipmi0,
// sim/core/kernel_ipmi_device.h).
//
// Settings:
//   kernel.modules=      the modules loaded at boot, comma-separated, e.g.
//                        ipmi_si,ipmi_devintf (default none, so that a
//                        program finds the KCS ports free). As modprobe
//                        does, a module brings those it depends on:
//                        ipmi_si and ipmi_devintf load ipmi_msghandler.
//                        Any other name is a module that is simply there.
//                        ipmi_si loads only when it finds the BMC's system
//                        interface (sim/core/kernel_ipmi_device.h); otherwise it
//                        fails as the real one does ("Unable to find any
//                        System Interface(s)") and is not listed.
// The transfer-buffer driver's module (quorzel_mod, sim/bios/quorzel.h) is
// listed while it is loaded.
#ifndef SRVFW_SIM_CORE_KERNEL_MODULES_H
#define SRVFW_SIM_CORE_KERNEL_MODULES_H

#include <string>
#include <vector>

#include "sim/core/machine.h"

namespace sim {

namespace kernel_module {

inline constexpr const char* kMessageHandler = "ipmi_msghandler";
inline constexpr const char* kSystemInterface = "ipmi_si";
inline constexpr const char* kDeviceInterface = "ipmi_devintf";

}  // namespace kernel_module

// The modules kernel.modules asks for, with their dependencies, in the
// order modprobe would load them. Throws std::invalid_argument naming the
// setting for a name that cannot be a module's.
std::vector<std::string> BootModules(const Settings& settings);

}  // namespace sim

#endif
