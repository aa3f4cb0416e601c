// The tables a host asks for: copies of the FAT (from the flash), the FST
// (the handle's copy, checked when it was made) and the FNT (the handle's
// copy), each into the host's buffer of *size bytes.
#include <cstring>

#include "bmc/debug_log.h"
#include "rask/flash_layer.h"

namespace Rask_Private {

namespace {

// A size too small for the table (or no table at all) is answered with
// the size needed, so that the host can ask again with a buffer to fit.
FUL_RETURN CheckRoom(unsigned* size, std::uint32_t needed, bool present) {
    if (!present || *size < needed) {
        *size = needed;
        return FUL_BUFFER_TOO_SMALL;
    }
    return FUL_SUCCESS;
}

FUL_RETURN CopyOut(unsigned size, void* buffer, const std::vector<std::uint8_t>& table) {
    std::memset(buffer, 0, size);
    std::memcpy(buffer, table.data(), table.size());
    return FUL_SUCCESS;
}

FUL_RETURN Prepare(FlashDesc* h, unsigned* size) {
    if (h == nullptr || size == nullptr) return FUL_INVALID_PARAMETER;
    return PrepareMemoryRegions(h);
}

}  // namespace

FUL_RETURN FlashUDGetBIOSAreaTbl(FlashDesc* h, unsigned* size, FLASH_AREA_TABLE* buffer) {
    if (const FUL_RETURN r = Prepare(h, size); r != FUL_SUCCESS) return r;
    const std::uint32_t fatBytes = bFoundFAT ? h->FatRegion.bytes : 0;
    if (const FUL_RETURN r =
            CheckRoom(size, fatBytes, bFoundFAT != 0 && h->FatRegion.va != nullptr);
        r != FUL_SUCCESS) {
        return r;
    }
    if (buffer == nullptr) return FUL_INVALID_PARAMETER;
    std::memset(buffer, 0, *size);
    if (FlashDevRead(reinterpret_cast<unsigned char*>(buffer), h->FatRegion.va, fatBytes) !=
        FUL_SUCCESS) {
        Dbg(L"FlashUDGetBIOSAreaTbl : Reading the FAT from the flash failed.", 3);
        return FUL_FAT_READ_FAILED;
    }
    return FUL_SUCCESS;
}

FUL_RETURN FlashUDGetSegmentTbl(FlashDesc* h, unsigned* size, FLASH_SEGMENT_TBL* buffer) {
    if (const FUL_RETURN r = Prepare(h, size); r != FUL_SUCCESS) return r;
    const auto needed = static_cast<std::uint32_t>(h->FstCopy.size());
    if (const FUL_RETURN r = CheckRoom(size, needed, true); r != FUL_SUCCESS) return r;
    if (buffer == nullptr) {
        Dbg(L"FlashUDGetSegmentTbl : In File Emulation Mode, FST.bin file is missing", 3);
        return FUL_INVALID_PARAMETER;
    }
    return CopyOut(*size, buffer, h->FstCopy);
}

FUL_RETURN FlashUDGetNotifyTbl(FlashDesc* h, unsigned* size, FLASH_NOTIFY_TABLE* buffer) {
    if (const FUL_RETURN r = Prepare(h, size); r != FUL_SUCCESS) return r;
    // The platforms whose BIOS is told of an update by an SMI keep no FNT.
    if (h->FntCopy.empty()) {
        Dbg(L"FlashUDGetNotifyTbl : This platform has no Flash Notification Table.", 3);
        return FUL_BAD_FNT;
    }
    const auto needed = static_cast<std::uint32_t>(h->FntCopy.size());
    if (const FUL_RETURN r = CheckRoom(size, needed, true); r != FUL_SUCCESS) return r;
    if (buffer == nullptr) return FUL_INVALID_PARAMETER;
    return CopyOut(*size, buffer, h->FntCopy);
}

}  // namespace Rask_Private
