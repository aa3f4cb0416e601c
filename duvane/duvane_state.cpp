#include "duvane/duvane_state.h"

namespace DirectFwUpdate_Private {

DirectFwUpdateState g_fw;
int g_fwdPlatform = 0;
int g_fwBmcType = 0;
int g_fwIpmiVersion = 0;
unsigned g_currentFile = 0;
unsigned g_numberOfFiles = 0;
FwFileType fileType = FW_FILE_HEX;
unsigned g_nextLoadSlot = 0;
unsigned g_nextCommitSlot = 0;

CfwFile* CurrentImage() {
    if (g_currentFile >= kImageSlots || !g_fw.loaded[g_currentFile]) return nullptr;
    return g_fw.files[g_currentFile].get();
}

bool IsRetryingPlatform(int platform) {
    return platform == 1 || platform == 10 || platform == 15;
}

}  // namespace DirectFwUpdate_Private
