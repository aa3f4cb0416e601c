// Where the KCS interface is, by the SMBIOS table: its entry point in the
// F0000h segment and the IPMI device information record (type 38) among the
// structures.
#ifndef SRVFW_BMC_SMBIOS_DISCOVERY_H
#define SRVFW_BMC_SMBIOS_DISCOVERY_H

#include <cstdint>

enum class SmbiosIpmiOutcome {
    kMemoryUnavailable,  // /dev/mem cannot be opened or mapped
    kNoEntryPoint,       // no "_SM_" anchor in the F0000h segment
    kNoIpmiRecord,       // no (readable) type 38 record among the counted structures
    kNotKcs,             // the record names another system interface
    kKcs,                // the record names a KCS interface at baseAddress
};

struct SmbiosIpmiInterface {
    SmbiosIpmiOutcome outcome;
    std::uint16_t baseAddress = 0;  // the I/O-space flag bit removed
};

// Reads only inside its two mappings, which it releases before it returns:
// nothing found in them is needed afterwards. A structure or string set
// that runs off the mapped area ends the walk as if no record had been
// found.
SmbiosIpmiInterface FindSmbiosIpmiInterface();

#endif
