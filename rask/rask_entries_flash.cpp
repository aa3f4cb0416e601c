// The table entries that reach the flash: each needs the library object
// and an open flash device, forwards to the flash layer with the handle,
// and maps and records the flash layer's result.
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <vector>

#include "bmc/trace.h"
#include "rask/rask_object.h"
#include "rask/rask_public.h"
#include "rask/rask_status.h"

using namespace Rask_Private;

namespace {

enum class Record { kFailure, kNothing };

template <class Operation>
unsigned Forward(const wchar_t* name, Operation operation, Record record = Record::kFailure) {
    CTrace trace(L"Rask_Public", name);
    unsigned code = RASK_SUCCESS;
    if (C_Rask::GetInstance(code) == nullptr) {
        trace.Failure(L"Not initialized");
        return code;
    }
    if (C_Rask::sm_hDriverHandle == nullptr) {
        trace.Failure(L"Driver not open");
        return RASK_DRIVER_NOT_OPEN;
    }
    code = C_Rask::GetStatus(operation(C_Rask::sm_hDriverHandle));
    if (record == Record::kFailure) C_Rask::SetLastError(code);
    return code;
}

}  // namespace

unsigned Rask_Public::GetBiosAreaTbl(RASK_TABLE, unsigned* size, FLASH_AREA_TABLE* buffer) {
    return Forward(L"GetBiosAreaTbl",
                   [&](FlashDesc* h) { return FlashUDGetBIOSAreaTbl(h, size, buffer); });
}

unsigned Rask_Public::GetSegmentTbl(RASK_TABLE, unsigned* size, FLASH_SEGMENT_TBL* buffer) {
    return Forward(L"GetSegmentTbl",
                   [&](FlashDesc* h) { return FlashUDGetSegmentTbl(h, size, buffer); });
}

unsigned Rask_Public::ReadBiosMemory(RASK_TABLE, unsigned length, FLASH_AREA_TABLE* area,
                                     unsigned char* data) {
    return Forward(L"ReadBiosMemory",
                   [&](FlashDesc* h) { return FlashUDReadBIOSMemory(h, length, area, data); });
}

unsigned Rask_Public::WriteBiosMemory(RASK_TABLE, unsigned length, FLASH_AREA_TABLE* area,
                                      unsigned char* data) {
    return Forward(L"WriteBiosMemory",
                   [&](FlashDesc* h) { return FlashUDWriteBIOSMemory(h, length, area, data); });
}

unsigned Rask_Public::EraseBiosBlocks(RASK_TABLE, FLASH_AREA_TABLE* area) {
    return Forward(L"EraseBiosBlocks",
                   [&](FlashDesc* h) { return FlashUDEraseBIOSBlocks(h, area); });
}

unsigned Rask_Public::SetUpdateNotify(RASK_TABLE, const bool& set) {
    const bool on = set;
    return Forward(
        L"SetUpdateNotify",
        [&](FlashDesc* h) { return on ? FlashUDSetNotifyBit(h) : FlashUDResetNotifyBit(h); },
        Record::kNothing);
}

unsigned Rask_Public::GetSmbiosData(RASK_TABLE, SMB_DATA_TYPE type, unsigned length, char* out) {
    return Forward(L"GetSmbiosData",
                   [&](FlashDesc* h) { return FlashUDGetSmbiosData(h, type, length, out); });
}

unsigned Rask_Public::GetPlatformId(RASK_TABLE, unsigned maxChars, wchar_t* out) {
    CTrace trace(L"Rask_Public", L"GetPlatformId");
    unsigned code = RASK_SUCCESS;
    if (C_Rask::GetInstance(code) == nullptr) return code;
    if (C_Rask::sm_hDriverHandle == nullptr) {
        C_Rask::SetLastError(RASK_DRIVER_NOT_OPEN);
        return RASK_DRIVER_NOT_OPEN;
    }
    if (out == nullptr) {
        C_Rask::SetLastError(RASK_INVALID_PARAMETER);
        return RASK_INVALID_PARAMETER;
    }
    // One byte more than the characters asked for, zeroed, so that what
    // the driver leaves is always terminated.
    std::vector<char> narrow;
    try {
        narrow.assign(std::size_t{maxChars} + 1, '\0');
    } catch (const std::bad_alloc&) {
        C_Rask::SetLastError(RASK_OUT_OF_MEMORY);
        return RASK_OUT_OF_MEMORY;
    }
    const int result = FlashUDGetPlatformID(C_Rask::sm_hDriverHandle,
                                            static_cast<unsigned>(narrow.size()), narrow.data());
    if (result == 0 && maxChars > 0) {
        const std::size_t converted = std::mbstowcs(out, narrow.data(), maxChars);
        if (converted == static_cast<std::size_t>(-1)) {
            out[0] = L'\0';
        } else if (converted < maxChars) {
            out[converted] = L'\0';
        }
    }
    code = C_Rask::GetStatus(static_cast<FUL_RETURN>(result));
    C_Rask::SetLastError(code);
    return code;
}

unsigned Rask_Public::GetNotifyTbl(RASK_TABLE, unsigned* size, FLASH_NOTIFY_TABLE* buffer) {
    return Forward(L"GetNotifyTbl",
                   [&](FlashDesc* h) { return FlashUDGetNotifyTbl(h, size, buffer); });
}

unsigned Rask_Public::GetUpdateNotifyState(RASK_TABLE, RASK_NOTIFY_STATE& state) {
    return Forward(L"GetUpdateNotifyState",
                   [&](FlashDesc* h) { return FlashUDGetNotifyState(h, &state); });
}

unsigned Rask_Public::CheckBiosAreaForWrite(RASK_TABLE, unsigned length, FLASH_AREA_TABLE* area) {
    return Forward(L"CheckBiosAreaForWrite",
                   [&](FlashDesc* h) { return FlashUDCheckBIOSWrite(h, length, area); });
}

unsigned Rask_Public::GetFlashDeviceInfo(RASK_TABLE, RASK_FLASH_DEVICE_INFO& info) {
    return Forward(L"GetFlashDeviceInfo", [&](FlashDesc* h) {
        // The regions are known once the handle is prepared.
        if (const FUL_RETURN prepared = PrepareMemoryRegions(h)) return prepared;
        info = {};
        info.Platform = g_lbPlatform;
        info.Interface = static_cast<RASK_FLASH_INTERFACE>(flInterface);
        info.SpiFlashKind = spi_flashtype;
        std::memcpy(info.SpiJedecId, spi_jedec_id, sizeof info.SpiJedecId);
        info.TopSwap = static_cast<std::uint8_t>(TopSwapBit);
        info.BottomOfFlash = BOTTOM_OF_FLASH;
        info.PrimaryStart = h->PrimaryFlash.pa;
        info.PrimaryBytes = h->PrimaryFlash.bytes;
        info.SecondaryStart = h->SecondaryFlash.pa;
        info.SecondaryBytes = h->SecondaryFlash.bytes;
        return FUL_SUCCESS;
    });
}
