// The table entries that start and stop the library, hand out the last
// error, and the ones the library answers without the flash.
#include <cstring>

#include "bmc/debug_log.h"
#include "bmc/trace.h"
#include "rask/rask_messages.h"
#include "rask/rask_object.h"
#include "rask/rask_public.h"
#include "rask/rask_status.h"

using namespace Rask_Private;

unsigned Rask_Public::Initialize(RASK_TABLE, int platform, const bool& skipPrimaryUpdate) {
    CTrace trace(L"Rask_Public", L"Initialize");
    unsigned result = RASK_SUCCESS;
    if (C_Rask::sm_pThisBiosUpdate == nullptr) {
        C_Rask* object = C_Rask::CreateObject(result);
        if (object == nullptr) return result;
        C_Rask::sm_nPlatform = platform;
        C_Rask::sm_bSkipPrimaryUpdate = skipPrimaryUpdate;
        result = object->Rask_Open(kDriverPath);
    }
    // A failed open leaves the object without a device and uncounted, so
    // that OpenRaskDriver can try again.
    if (!IsRaskFailure(result)) ++C_Rask::sm_nInstanceCount;
    return result;
}

unsigned Rask_Public::DeInitialize(RASK_TABLE) {
    CTrace trace(L"Rask_Public", L"DeInitialize");
    // Without a counted Initialize there is nothing to undo but the object
    // a failed open left: it holds no device, and no other DeInitialize
    // would ever free it. The count never goes below 0.
    if (C_Rask::sm_nInstanceCount == 0) {
        if (C_Rask::sm_hDriverHandle == nullptr) C_Rask::DestroyObject(C_Rask::sm_pThisBiosUpdate);
        return RASK_SUCCESS;
    }
    if (--C_Rask::sm_nInstanceCount > 0) return RASK_SUCCESS;
    return C_Rask::DestroyObject(C_Rask::sm_pThisBiosUpdate);
}

unsigned Rask_Public::OpenRaskDriver(RASK_TABLE) {
    CTrace trace(L"Rask_Public", L"OpenRaskDriver");
    unsigned code = RASK_SUCCESS;
    C_Rask* object = C_Rask::GetInstance(code);
    if (object == nullptr) return code;
    return object->Rask_Open(kDriverPath);
}

unsigned Rask_Public::GetLastErrorMessage(RASK_TABLE, wchar_t*& message) {
    // The message lives in static storage, so it can be read even after
    // the DeInitialize whose close failed.
    return C_Rask::TakeLastErrorMessage(message);
}

unsigned Rask_Public::SetDebugLevel(RASK_TABLE, unsigned level) {
    // The library's level and the flash layer's are one variable; both
    // were always set.
    SetLibDebugLevel(level);
    SetLibDebugLevel(level);
    return RASK_SUCCESS;
}

unsigned Rask_Public::SetFlashLocking(const bool& lock) {
    CTrace trace(L"Rask_Public", L"SetFlashLocking");
    // The host's bool is read as the byte it passed: anything but 0 or 1
    // is refused rather than guessed at.
    unsigned char value = 0;
    std::memcpy(&value, &lock, 1);
    if (value > 1) return RASK_LOCKING_FAILED;
    const FUL_RETURN result = FlashUDLockFlash(C_Rask::sm_hDriverHandle, value);
    return result == FUL_SUCCESS ? RASK_SUCCESS : RASK_LOCKING_FAILED;
}

unsigned Rask_Public::SkipPrimaryCheck(RASK_TABLE, const bool&) {
    return RASK_SUCCESS;
}

unsigned Rask_Public::IsLoaded(RASK_TABLE, bool& loaded) {
    loaded = false;
    return RASK_SUCCESS;
}

unsigned Rask_Public::IsModified(RASK_TABLE, bool& modified) {
    modified = false;
    return RASK_SUCCESS;
}

// The library keeps no configuration, takes no progress callback and has
// no texts of other languages.
unsigned Rask_Public::LoadConfigurationFromSystem(RASK_TABLE) {
    return RASK_UNSUPPORTED;
}

unsigned Rask_Public::LoadConfigurationFromFile(RASK_TABLE, const wchar_t*, const wchar_t*) {
    return RASK_UNSUPPORTED;
}

unsigned Rask_Public::CommitConfigurationToSystem(RASK_TABLE) {
    return RASK_UNSUPPORTED;
}

unsigned Rask_Public::SaveConfigurationToFile(RASK_TABLE, const wchar_t*, const wchar_t*) {
    return RASK_UNSUPPORTED;
}

unsigned Rask_Public::SetProgressCallback(RASK_TABLE, const PROGRESS_CALLBACK&) {
    return RASK_UNSUPPORTED;
}

unsigned Rask_Public::SetLanguageLocale(RASK_TABLE, const wchar_t*, const wchar_t*) {
    return RASK_UNSUPPORTED;
}
