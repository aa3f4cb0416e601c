// The memory device opened for the length of one operation, for the few
// flash-layer functions that are called without the handle's descriptor
// (the top-swap read during the open, the update path's byte writes).
#ifndef SRVFW_RASK_MEMORY_DEVICE_H
#define SRVFW_RASK_MEMORY_DEVICE_H

#include <fcntl.h>

#include "hw/hw.h"

namespace Rask_Private {

class MemoryDevice {
  public:
    MemoryDevice() : mFd(hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR)) {}
    ~MemoryDevice() {
        if (mFd >= 0) hw::CloseDevice(mFd);
    }
    MemoryDevice(const MemoryDevice&) = delete;
    MemoryDevice& operator=(const MemoryDevice&) = delete;

    // -1 when the device could not be opened.
    int Fd() const { return mFd; }

  private:
    int mFd;
};

}  // namespace Rask_Private

#endif
