// Numbers that name the FRU's fixed fields across all areas.
#ifndef SRVFW_ORVEL_FRU_DEFS_H
#define SRVFW_ORVEL_FRU_DEFS_H

#include <cstdint>

#include "include/orvel_interface.h"

namespace Orvel_Private {

// "No such item" for field indices and selections.
inline constexpr std::uint32_t INVALID_SELECTION = 0xFFFFFFFF;

// FRU_FIELD, the numbers of the fixed fields, is the host's: see the
// interface table.
using ::FRU_FIELD;

}  // namespace Orvel_Private

#endif
