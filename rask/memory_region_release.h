// Giving back what PrepareMemoryRegions mapped and copied, without touching
// the flash's write protection: CleanupMemoryRegions locks first, the close
// locks on its own and must release even when locking failed.
#ifndef SRVFW_RASK_MEMORY_REGION_RELEASE_H
#define SRVFW_RASK_MEMORY_REGION_RELEASE_H

#include "rask/flash_layer.h"

namespace Rask_Private {

// Unmaps every region of the handle that is mapped, frees its copies and
// clears it, keeping Dev; prepared becomes 0.
void ReleaseMemoryRegions(FlashDesc* h);

}  // namespace Rask_Private

#endif
