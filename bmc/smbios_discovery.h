// Where the KCS interface is, by the SMBIOS tables: the kernel's copies in
// sysfs where it offers them (every current kernel does; on many UEFI
// servers they are the only way to the tables), else the entry point in
// the F0000h segment and the structure table in physical memory; then the
// IPMI device information record (type 38) among the structures.
#ifndef SRVFW_BMC_SMBIOS_DISCOVERY_H
#define SRVFW_BMC_SMBIOS_DISCOVERY_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>

enum class SmbiosIpmiOutcome {
    kMemoryUnavailable,  // no tables in sysfs, and /dev/mem cannot be opened or mapped
    kNoEntryPoint,       // no "_SM_" or "_SM3_" entry point
    kNoIpmiRecord,       // no (readable) type 38 record in the table
    kNotKcs,             // the record names an interface we cannot drive
    kKcs,                // the record names a KCS interface at baseAddress
};

struct SmbiosIpmiInterface {
    SmbiosIpmiOutcome outcome;
    std::uint16_t baseAddress = 0;  // the data register; the I/O-space flag bit removed
    // Distance from the data register to the status/command register.
    std::uint8_t registerSpacing = 1;
    // What went wrong on the way, in words for a person; empty when nothing
    // did (a table without an IPMI record is no fault).
    std::wstring problem;
};

// Reads only inside what it maps, and releases every mapping and the memory
// device before it returns: nothing found there is needed afterwards. A
// mapping covers exactly what an entry point says (the table's stated
// length, page-rounded), so that a strict /dev/mem, which refuses RAM above
// the first MiB, is not asked for more.
SmbiosIpmiInterface FindSmbiosIpmiInterface();

// The walk over a structure table, on its own for the tests: `count`
// structures, or without a count up to the end-of-table structure. A
// structure or string set that runs off the table ends the walk as if no
// record had been found.
SmbiosIpmiInterface FindIpmiRecord(std::span<const std::uint8_t> table,
                                   std::optional<std::uint16_t> count);

#endif
