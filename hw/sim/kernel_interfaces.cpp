// The simulated kernel's sysfs tables, module list and poll() on a device:
// the SMBIOS copies the kernel made at boot (sim/smbios/kernel_dmi_sysfs.h), the
// modules it has loaded (sim/core/kernel_modules.h, /sys/module), and waiting
// for a device such as the IPMI driver's to have input, which lets virtual
// time pass (sim/core/host_os.h).
#include <cerrno>
#include <string>

#include "hw/hw.h"
#include "sim/core/machine.h"
#include "sim/smbios/kernel_dmi_sysfs.h"

namespace hw {

int ReadDmiTable(DmiTable which, std::vector<std::uint8_t>& bytes) {
    sim::Machine& machine = sim::TheMachine();
    auto* tables = machine.Find<sim::DmiSysfs>();
    const sim::DmiFile file =
        which == DmiTable::kEntryPoint ? sim::DmiFile::kEntryPoint : sim::DmiFile::kStructureTable;
    const int error = tables == nullptr ? ENOENT : tables->Read(file, bytes);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

bool KernelModulePresent(const char* name) {
    if (name == nullptr) return false;
    sim::Machine& machine = sim::TheMachine();
    const bool present = machine.Host().ModuleLoaded(name);
    machine.Log().Add({"host", "sys-module", 0, present ? 1u : 0u, 0, name});
    return present;
}

int WaitReadable(int fd, int timeoutMs) {
    return sim::TheMachine().Host().WaitReadable(fd, timeoutMs);
}

}  // namespace hw
