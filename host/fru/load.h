// Bringing a FRU into the library's lists, from the server or from a FRU
// configuration file, and saving one to a file.
#ifndef SRVFW_HOST_FRU_LOAD_H
#define SRVFW_HOST_FRU_LOAD_H

#include <filesystem>
#include <optional>

#include "host/fru/library.h"
#include "host/fru/locator.h"
#include "host/fru/snapshot.h"

namespace srvfw {

// Reads the FRU at the default location (the BMC's FRU device 0), or at the
// locator given, into the system list. Throws with the library's reason
// when it cannot be read.
FruHandle LoadFromSystem(FruLibrary& library, const std::optional<FruLocator>& locator);
// Reads a FRU configuration file into the file list; throws a file error.
FruHandle LoadFromFile(FruLibrary& library, const std::filesystem::path& file);
// Saves the FRU to a FRU configuration file; throws a file error.
void SaveToFile(FruLibrary& library, FruHandle fru, const std::filesystem::path& file);

}  // namespace srvfw

#endif
