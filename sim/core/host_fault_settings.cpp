#include "sim/core/host_fault_settings.h"

#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim {

namespace {

constexpr std::uint64_t kMaxErrno = 4095;

int Errno(const Settings& settings, const std::string& key) {
    return static_cast<int>(SettingNumber(settings, key, 0, kMaxErrno));
}

}  // namespace

void ApplyHostFaultSettings(Machine& machine) {
    const Settings& settings = machine.Config();
    machine.Host().SetStrictDevmem(SettingNumber(settings, "host.strict_devmem", 1, 1) != 0);
    HostFaults& faults = machine.Host().Faults();
    faults.ioplErrno = Errno(settings, "host.fault.iopl");
    faults.affinityErrno = Errno(settings, "host.fault.affinity");
    faults.mknodErrno = Errno(settings, "host.fault.mknod");
    faults.unmapErrno = Errno(settings, "host.fault.unmap");

    const std::string openKey = "host.fault.open";
    for (const SettingItem& item : SettingItems(settings, openKey)) {
        if (item.size() != 2) throw std::invalid_argument(openKey + ": expected PATH:ERRNO");
        faults.openErrno[item[0]] = static_cast<int>(SettingNumber(openKey, item[1], kMaxErrno));
    }
    const std::string mmapKey = "host.fault.mmap";
    for (const SettingItem& item : SettingItems(settings, mmapKey)) {
        if (item.size() != 3) {
            throw std::invalid_argument(mmapKey + ": expected ADDR:LENGTH:ERRNO");
        }
        faults.refusedMappings.push_back(
            {SettingNumber(mmapKey, item[0]), SettingNumber(mmapKey, item[1]),
             static_cast<int>(SettingNumber(mmapKey, item[2], kMaxErrno))});
    }
}

}  // namespace sim
