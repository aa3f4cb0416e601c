// The texts of librask's failures, by public code.
#ifndef SRVFW_RASK_RASK_MESSAGES_H
#define SRVFW_RASK_RASK_MESSAGES_H

#include <cstddef>

#include "hw/hw.h"
#include "rask/flash_layer.h"

namespace Rask_Private {

// The public code of a flash-layer result.
unsigned PublicCode(FUL_RETURN result);

// The message of a public code, formatted into out (the memory device's
// path and the current errno where the text names them; the code itself
// in the unknown-error text). Always terminated.
void FormatRaskMessage(unsigned code, wchar_t* out, std::size_t capacity);

// The path every message names for the memory device, and the library's
// file name.
inline constexpr const char* kDriverPath = hw::kPhysicalMemoryDevice;
inline constexpr const char* kLibraryFile = "librask.so";

}  // namespace Rask_Private

#endif
