#include "rask/rask_object.h"

#include <cwchar>
#include <new>

#include "bmc/trace.h"
#include "rask/rask_messages.h"
#include "rask/rask_status.h"

namespace Rask_Private {

C_Rask* C_Rask::sm_pThisBiosUpdate = nullptr;
int C_Rask::sm_nInstanceCount = 0;
FlashDesc* C_Rask::sm_hDriverHandle = nullptr;
int C_Rask::sm_nPlatform = 0;
bool C_Rask::sm_bSkipPrimaryUpdate = false;
unsigned C_Rask::sm_LastError = 0;
wchar_t* C_Rask::sm_pErrorMessage = nullptr;
wchar_t C_Rask::sm_pErrorMessageBuffer[C_Rask::kErrorMessageChars] = {};

namespace {

CTrace Trace(const wchar_t* name) {
    return CTrace(L"C_Rask", name);
}

}  // namespace

C_Rask* C_Rask::GetInstance(unsigned& code) {
    code = sm_pThisBiosUpdate != nullptr ? RASK_SUCCESS : RASK_NOT_INITIALIZED;
    return sm_pThisBiosUpdate;
}

C_Rask* C_Rask::CreateObject(unsigned& code) {
    CTrace trace = Trace(L"CreateObject");
    sm_pThisBiosUpdate = new (std::nothrow) C_Rask;
    if (sm_pThisBiosUpdate == nullptr) {
        trace.Failure(L"Out of memory");
        code = RASK_OUT_OF_MEMORY;
        return nullptr;
    }
    code = RASK_SUCCESS;
    return sm_pThisBiosUpdate;
}

unsigned C_Rask::DestroyObject(C_Rask*& object) {
    CTrace trace = Trace(L"DestroyObject");
    unsigned result = RASK_SUCCESS;
    if (object == nullptr) return result;
    if (sm_hDriverHandle != nullptr) result = object->Close();
    // The caller may pass sm_pThisBiosUpdate itself: take the object out
    // before either pointer is cleared, or the delete would see null.
    C_Rask* const doomed = object;
    object = nullptr;
    if (doomed == sm_pThisBiosUpdate) sm_pThisBiosUpdate = nullptr;
    delete doomed;
    return result;
}

unsigned C_Rask::GetStatus(FUL_RETURN result) {
    return PublicCode(result);
}

void C_Rask::SetLastError(unsigned code) {
    if (!IsRaskFailure(code) || sm_pErrorMessage != nullptr) return;
    sm_LastError = code;
    FormatRaskMessage(code, sm_pErrorMessageBuffer, kErrorMessageChars);
    sm_pErrorMessage = sm_pErrorMessageBuffer;
}

void C_Rask::SetLastError(unsigned code, const wchar_t* message) {
    if (!IsRaskFailure(code) || sm_pErrorMessage != nullptr || message == nullptr) return;
    sm_LastError = code;
    std::swprintf(sm_pErrorMessageBuffer, kErrorMessageChars, L"%ls", message);
    sm_pErrorMessageBuffer[kErrorMessageChars - 1] = L'\0';
    sm_pErrorMessage = sm_pErrorMessageBuffer;
}

unsigned C_Rask::TakeLastErrorMessage(wchar_t*& message) {
    if (sm_pErrorMessage == nullptr) return RASK_NO_ERROR;
    message = sm_pErrorMessage;
    sm_pErrorMessage = nullptr;
    sm_LastError = 0;
    return RASK_SUCCESS;
}

unsigned C_Rask::Rask_Open(const char* path) {
    CTrace trace = Trace(L"Rask_Open");
    if (sm_hDriverHandle != nullptr) return RASK_SUCCESS;
    FlashDesc* handle = nullptr;
    const FUL_RETURN result = FlashUDOpen(sm_nPlatform, path, sm_bSkipPrimaryUpdate, &handle);
    sm_hDriverHandle = result == FUL_SUCCESS ? handle : nullptr;
    const unsigned code = GetStatus(result);
    if (IsRaskFailure(code)) trace.Failure(L"FlashUDOpen failed");
    SetLastError(code);
    return code;
}

unsigned C_Rask::Close() {
    CTrace trace = Trace(L"Close");
    const FUL_RETURN result = FlashUDClose(sm_hDriverHandle);
    // The close releases the handle whatever it reports (a failed lock or
    // a failed close of the descriptor still frees it), so keeping the
    // pointer would leave a later Initialize believing the device open.
    sm_hDriverHandle = nullptr;
    if (result != FUL_SUCCESS) trace.Failure(L"FlashUDClose failed");
    return GetStatus(result);
}

}  // namespace Rask_Private
