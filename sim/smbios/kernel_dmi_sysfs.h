// The SMBIOS tables as the simulated Linux kernel exports them in sysfs:
// /sys/firmware/dmi/tables/smbios_entry_point and .../DMI (hw::ReadDmiTable).
//
// At boot the kernel looks for the tables as Linux 6.1's dmi_scan.c does:
//   - on a UEFI machine (smbios.efi=1) it takes the entry points the EFI
//     system table names, the 64-bit one first;
//   - otherwise it reads F0000h-FFFFFh and tries each 16-byte boundary for
//     "_SM3_" (length byte 24..32, its bytes summing to 0), and only when
//     none is found, for "_SM_" (length byte 30..32, checksum) with a valid
//     "_DMI_" (15 bytes, checksum) 16 bytes above it, or a bare "_DMI_"
//     (legacy DMI: the exported entry point is then those 15 bytes).
//   An entry point that passes its checks but whose table cannot be read
//   (length 0) does not count, and the search goes on.
// smbios_entry_point is a copy of the entry point's bytes, as long as its
// length byte says, taken at boot. DMI is the structure table from the
// stated address: as long as the 32-bit entry point states, or the 64-bit
// one's maximum size, but trimmed, as the kernel trims it, to the end of
// the last structure its walk reached: the counted structures (32-bit
// entry point), or through the end-of-table structure, type 127 (64-bit).
// The table is mapped, not copied: a read shows the memory as it is then.
// Memory pokes (sim/core/memory_pokes.h) are made before the kernel boots, so
// both files show them.
//
// Settings:
//   kernel.dmi_sysfs=1   0: the kernel exports no tables (older kernels);
//                        both files are missing (ENOENT)
// Without a valid entry point the kernel exports nothing either.
//
// Request log, component "dmi_sysfs": "read" with value = the bytes
// returned (0 on a failure), detail = "smbios_entry_point" or "DMI", and
// " ENOENT" appended when the file is missing.
#ifndef SRVFW_SIM_SMBIOS_KERNEL_DMI_SYSFS_H
#define SRVFW_SIM_SMBIOS_KERNEL_DMI_SYSFS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/core/machine.h"

namespace sim {

// The two files the kernel exports for the SMBIOS tables.
enum class DmiFile { kEntryPoint, kStructureTable };

class DmiSysfs : public Device {
  public:
    explicit DmiSysfs(Machine& machine);

    std::string Name() const override { return "dmi_sysfs"; }
    void Describe(std::ostream& out) const override;

    bool Available() const { return mFound.has_value(); }
    // 0 and the file's bytes, or an errno.
    int Read(DmiFile which, std::vector<std::uint8_t>& bytes);

    struct Found {
        std::uint64_t entryPointAddress = 0;
        std::vector<std::uint8_t> entryPoint;  // as copied at boot
        std::uint64_t tableAddress = 0;
        std::uint32_t tableLength = 0;  // trimmed
        std::string kind;               // "SMBIOS 3.0.0", "SMBIOS 2.7", "legacy DMI 2.0"
    };
    const std::optional<Found>& Tables() const { return mFound; }

  private:
    std::vector<std::uint8_t> ReadMemory(std::uint64_t address, std::size_t length);
    std::optional<Found> TrySmbios3(std::uint64_t address, const std::vector<std::uint8_t>& buf);
    std::optional<Found> TryLegacy(std::uint64_t address, const std::vector<std::uint8_t>& buf);
    bool Walk(Found& found, std::uint16_t count);
    void Scan();

    Machine& mMachine;
    bool mExported;
    std::optional<Found> mFound;
};

}  // namespace sim

#endif
