// The library object behind librask's table: one per process, counted by
// Initialize and DeInitialize, holding the flash device handle and the
// pending last-error message. Its state is static so that every entry
// reaches it without a pointer from the host.
#ifndef SRVFW_RASK_RASK_OBJECT_H
#define SRVFW_RASK_RASK_OBJECT_H

#include "rask/flash_layer.h"

namespace Rask_Private {

class C_Rask {
  public:
    virtual ~C_Rask() = default;

    // The object and code 0, or null and C00E0019h.
    static C_Rask* GetInstance(unsigned& code);
    // A new object and code 0, or null and C00E0003h.
    static C_Rask* CreateObject(unsigned& code);
    // Closes the device if it is open, deletes the object, nulls the
    // pointer; the close's result.
    static unsigned DestroyObject(C_Rask*& object);

    static unsigned GetStatus(FUL_RETURN result);
    // Records a failure's code and its message unless a message is pending
    // already: the first failure after the last read is the one reported.
    static void SetLastError(unsigned code);
    static void SetLastError(unsigned code, const wchar_t* message);
    // The pending message, handed out once; C00E001Dh when there is none.
    static unsigned TakeLastErrorMessage(wchar_t*& message);

    // Opens the flash device unless it is open; the mapped and recorded code.
    unsigned Rask_Open(const char* path);
    unsigned Close();

    static C_Rask* sm_pThisBiosUpdate;
    static int sm_nInstanceCount;
    static FlashDesc* sm_hDriverHandle;
    static int sm_nPlatform;
    static bool sm_bSkipPrimaryUpdate;
    static unsigned sm_LastError;
    static wchar_t* sm_pErrorMessage;
    static constexpr unsigned kErrorMessageChars = 256;
    static wchar_t sm_pErrorMessageBuffer[kErrorMessageChars];
};

}  // namespace Rask_Private

#endif
