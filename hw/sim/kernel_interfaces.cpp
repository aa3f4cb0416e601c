// The simulated kernel's sysfs tables, module list and IPMI device wait.
// Placeholders until the simulated server models them: no tables, no
// modules, nothing ever readable.
#include <cerrno>

#include "hw/hw.h"

namespace hw {

int ReadDmiTable(DmiTable, std::vector<std::uint8_t>&) {
    errno = ENOENT;
    return -1;
}

bool KernelModulePresent(const char*) {
    return false;
}

int WaitReadable(int, int) {
    return 0;
}

}  // namespace hw
