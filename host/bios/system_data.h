// The read-only services of the BIOS library beside the flash: the SMBIOS
// entry point and structure table, and the platform ID.
#ifndef SRVFW_HOST_BIOS_SYSTEM_DATA_H
#define SRVFW_HOST_BIOS_SYSTEM_DATA_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/bios/library.h"

namespace srvfw {

// The entry point as long as its own length byte says.
std::vector<std::uint8_t> ReadSmbiosEntryPoint(BiosLibrary& library);
// The structure table as long as the entry point says.
std::vector<std::uint8_t> ReadSmbiosTable(BiosLibrary& library);

std::string ReadPlatformId(BiosLibrary& library);

}  // namespace srvfw

#endif
