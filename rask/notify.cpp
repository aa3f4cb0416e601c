// Telling the BIOS that an update is pending. Flash bits only go from 1 to
// 0 when programmed, so the notify field in the Flash Flags Block is used
// up a bit pair at a time: clearing an even bit says "pending", clearing
// the odd bit after it withdraws it, and the first bit still 1 tells the
// state. A used-up field is renewed by erasing the block and programming
// back everything else it held. The boards whose BIOS keeps no field take
// a software SMI instead.
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

#include "bmc/debug_log.h"
#include "hw/hw.h"
#include "rask/flash_layer.h"

namespace Rask_Private {

namespace {

constexpr std::uint32_t kFlagsBlockBytes = 0x10000;
constexpr int kSmiIoPrivilege = 3;

// The index of the first bit still 1, counting bytes in order and bits 0
// to 7 within a byte; nothing when the field is used up.
std::optional<unsigned> FirstSetBit(const std::vector<std::uint8_t>& field) {
    for (std::size_t byte = 0; byte < field.size(); ++byte) {
        for (unsigned bit = 0; bit < 8; ++bit) {
            if ((field[byte] >> bit & 1) != 0) return static_cast<unsigned>(byte * 8 + bit);
        }
    }
    return std::nullopt;
}

FUL_RETURN ReadNotifyField(const FlashDesc* h, std::vector<std::uint8_t>& field) {
    try {
        field.assign(h->NotifyLength, 0);
    } catch (const std::bad_alloc&) {
        return FUL_OUT_OF_MEMORY;
    }
    if (FlashDevRead(field.data(), h->NotifyField, h->NotifyLength) != FUL_SUCCESS) {
        Dbg(L"set_notify_bit : Unable to read the notify field.", 3);
        return FUL_FFB_READ_FAILED;
    }
    return FUL_SUCCESS;
}

// Programs the field's byte with one more bit cleared and reads it back.
// FlashDevWrite gives a 16-bit part the word holding the byte, its other
// byte FFh, which leaves that byte as it is.
FUL_RETURN ClearNotifyBit(FlashDesc* h, const std::vector<std::uint8_t>& field, unsigned bit) {
    const unsigned byte = bit / 8;
    const unsigned char value = static_cast<unsigned char>(field[byte] & ~(1u << bit % 8));
    volatile std::uint8_t* at = h->NotifyField + byte;
    if (FlashDevWrite(&value, at, 1) != FUL_SUCCESS || FLASHVerify(&value, at, 1) != FUL_SUCCESS) {
        Dbg(L"set_notify_bit : Programming the notify field failed.", 3);
        return FUL_FAILURE;
    }
    return FUL_SUCCESS;
}

// Programs the saved block back over the flags block and verifies it.
bool RestoreFlagsBlock(FlashDesc* h, const std::vector<std::uint8_t>& saved) {
    volatile std::uint8_t* block = h->FfbRegion.va;
    return FlashDevWrite(saved.data(), block, kFlagsBlockBytes) == FUL_SUCCESS &&
           FLASHVerify(saved.data(), block, kFlagsBlockBytes) == FUL_SUCCESS;
}

// The field is used up: the whole flags block is saved, erased and
// programmed back with the field's bytes set to FFh. Whatever the erase
// did, the saved block goes back, since programming can only clear bits
// and so restores a block that is erased, half erased or untouched alike;
// only a block that could not be put back asks for a reset.
FUL_RETURN RenewNotifyField(FlashDesc* h) {
    Dbg(L"set_notify_bit : Erasing FFB Block.", 3);
    if (h->FfbRegion.va == nullptr || h->FfbRegion.bytes < kFlagsBlockBytes) {
        return FUL_FFB_READ_FAILED;
    }
    std::vector<std::uint8_t> saved;
    try {
        saved.assign(kFlagsBlockBytes, 0);
    } catch (const std::bad_alloc&) {
        return FUL_OUT_OF_MEMORY;
    }
    if (FlashDevRead(saved.data(), h->FfbRegion.va, kFlagsBlockBytes) != FUL_SUCCESS) {
        return FUL_FFB_READ_FAILED;
    }
    const FUL_RETURN erased = EraseBlock(h->FfbRegion.va);
    // After a failed erase the block goes back as it was, used-up field
    // included, so that the read-back can pass where the erase cleared
    // nothing.
    if (erased == FUL_SUCCESS) {
        // The field lies inside the block: the prepare checked it.
        const std::size_t field = static_cast<std::size_t>(h->NotifyField - h->FfbRegion.va);
        for (std::size_t i = 0; i < h->NotifyLength; ++i) saved[field + i] = 0xFF;
    }
    if (!RestoreFlagsBlock(h, saved)) {
        Dbg(L"set_notify_bit : Failure restoring FFB!!! Must reboot so BIOS can restore it.", 1);
        return FUL_FFB_NOT_RESTORED;
    }
    if (erased != FUL_SUCCESS) {
        Dbg(L"set_notify_bit : Erasing the FFB failed; its contents are restored.", 1);
        return FUL_FAILURE;
    }
    return FUL_SUCCESS;
}

}  // namespace

FUL_RETURN set_notify_bit(FlashDesc* h) {
    if (h == nullptr) return FUL_INVALID_PARAMETER;
    // Without a field there is nothing to clear, and renewing a field of
    // no bytes would never leave a bit to clear.
    if (h->NotifyLength == 0 || h->NotifyField == nullptr) return FUL_NOTIFY_UNSUPPORTED;
    // A renewed field has every bit at 1 again, so the second round finds
    // one; the bound only keeps a part that will not program from looping.
    for (int round = 0; round < 2; ++round) {
        std::vector<std::uint8_t> field;
        const FUL_RETURN read = ReadNotifyField(h, field);
        if (read != FUL_SUCCESS) return read;
        const std::optional<unsigned> bit = FirstSetBit(field);
        if (bit) {
            if (*bit % 2 == 1) return FUL_SUCCESS;  // an update is pending already
            return ClearNotifyBit(h, field, *bit);
        }
        const FUL_RETURN renewed = RenewNotifyField(h);
        if (renewed != FUL_SUCCESS) return renewed;
    }
    return FUL_FFB_NOT_RESTORED;
}

FUL_RETURN reset_notify_bit(FlashDesc* h) {
    if (h == nullptr) return FUL_INVALID_PARAMETER;
    if (h->NotifyLength == 0 || h->NotifyField == nullptr) return FUL_SUCCESS;
    std::vector<std::uint8_t> field;
    const FUL_RETURN read = ReadNotifyField(h, field);
    if (read != FUL_SUCCESS) return read;
    const std::optional<unsigned> bit = FirstSetBit(field);
    // Only a pending update (the first bit still 1 is odd) is withdrawn.
    if (!bit || *bit % 2 == 0) return FUL_SUCCESS;
    return ClearNotifyBit(h, field, *bit);
}

FUL_RETURN FlashUDSetNotifyBit(FlashDesc* h) {
    if (h == nullptr) {
        Dbg(L"set_notify_bit : Invalid Flash Device handle.", 3);
        return FUL_INVALID_PARAMETER;
    }
    const FUL_RETURN prepared = PrepareMemoryRegions(h);
    if (prepared != FUL_SUCCESS) return prepared;
    if (g_lbPlatform == 11 || g_lbPlatform == 15) {
        // The BIOS of these boards records the update itself, in the SMI.
        if (hw::Iopl(kSmiIoPrivilege) != 0) {
            Dbg(L"FlashUDSetNotifyBit : Raising the I/O privilege level failed.", 1);
            return FUL_NOT_ROOT;
        }
        hw::OutByte(kSoftwareSmiPort, kNotifySmiCommand);
        return FUL_SUCCESS;
    }
    if (g_lbPlatform == 9) {
        Dbg(L"FlashUDSetNotifyBit : This platform has no notify field.", 3);
        return FUL_NOTIFY_UNSUPPORTED;
    }
    return set_notify_bit(h);
}

FUL_RETURN FlashUDResetNotifyBit(FlashDesc* h) {
    if (h == nullptr) return FUL_INVALID_PARAMETER;
    const FUL_RETURN prepared = PrepareMemoryRegions(h);
    if (prepared != FUL_SUCCESS) return prepared;
    return reset_notify_bit(h);
}

FUL_RETURN FlashUDGetNotifyState(FlashDesc* h, RASK_NOTIFY_STATE* state) {
    if (h == nullptr || state == nullptr) return FUL_INVALID_PARAMETER;
    const FUL_RETURN prepared = PrepareMemoryRegions(h);
    if (prepared != FUL_SUCCESS) return prepared;
    if (h->NotifyLength == 0 || h->NotifyField == nullptr) {
        *state = RASK_NOTIFY_NO_FIELD;
        return FUL_SUCCESS;
    }
    std::vector<std::uint8_t> field;
    const FUL_RETURN read = ReadNotifyField(h, field);
    if (read != FUL_SUCCESS) return read;
    const std::optional<unsigned> bit = FirstSetBit(field);
    if (!bit) {
        *state = RASK_NOTIFY_USED_UP;
    } else {
        *state = *bit % 2 == 0 ? RASK_NOTIFY_NONE : RASK_NOTIFY_PENDING;
    }
    return FUL_SUCCESS;
}

}  // namespace Rask_Private
