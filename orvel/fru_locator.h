// Where a FRU lives: the kind of storage device and the addresses that reach
// it through the BMC, and a display name.
#ifndef SRVFW_ORVEL_FRU_LOCATOR_H
#define SRVFW_ORVEL_FRU_LOCATOR_H

#include <cstdint>
#include <optional>
#include <string>

#include "include/orvel_interface.h"

namespace Orvel_Private {

using ::FRU_TYPE;

struct FRU_LOCATOR {
    std::uint8_t mSlaveAddress = 0x20;
    std::uint8_t mMbmcSizeData = 0xFF;  // carried for the configuration file only
    std::uint16_t mMbmcSizeAddress = 0;
    std::uint8_t mBus = 0xFF;  // FFh: none
    std::uint8_t mFruDeviceId = 0;
    std::uint8_t mControllerAddress = 0x20;
    std::uint8_t mLun = 0;
    FRU_TYPE mType = FRU_NVS_IMBDEVICE;
    std::optional<std::wstring> mName;

    // Replaces the name with a copy; null leaves it as it is.
    void SetName(const wchar_t* name);
};

}  // namespace Orvel_Private

#endif
