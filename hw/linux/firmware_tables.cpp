// The kernel's copies of the SMBIOS tables and its module list, as plain
// files of sysfs.
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>

#include "hw/hw.h"

namespace hw {

namespace {

const char* DmiTablePath(DmiTable which) {
    return which == DmiTable::kEntryPoint ? "/sys/firmware/dmi/tables/smbios_entry_point"
                                          : "/sys/firmware/dmi/tables/DMI";
}

}  // namespace

int ReadDmiTable(DmiTable which, std::vector<std::uint8_t>& bytes) {
    std::ifstream file(DmiTablePath(which), std::ios::binary);
    if (!file) {
        if (errno == 0) errno = ENOENT;
        return -1;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad()) {
        errno = EIO;
        return -1;
    }
    return 0;
}

bool KernelModulePresent(const char* name) {
    struct stat info {};
    const std::string path = std::string("/sys/module/") + name;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace hw
