// The library's process-wide state behind its interface table: the loaded
// images, the engine, what the host has selected and its callbacks.
#ifndef SRVFW_DUVANE_DUVANE_STATE_H
#define SRVFW_DUVANE_DUVANE_STATE_H

#include <array>
#include <memory>

#include "duvane/duvane_engine.h"
#include "duvane/fw_file.h"
#include "include/duvane_interface.h"
#include "include/progress_callback.h"

namespace DirectFwUpdate_Private {

inline constexpr unsigned kImageSlots = 25;

struct DirectFwUpdateState {
    std::array<std::unique_ptr<CfwFile>, kImageSlots> files;
    std::unique_ptr<CDuvane> engine;
    bool initialized = false;
    std::array<bool, kImageSlots> loaded{};
    bool systemLoaded = false;
    bool modified = false;  // no entry changes an image
    bool deviceAreaSelected = false;
    bool deviceAddressSelected = false;
    PROGRESS_CALLBACK progressCallback = nullptr;
};

extern DirectFwUpdateState g_fw;
extern _EFI_DUVANE_INTERFACE directFwUpdateInterface;
extern int g_fwdPlatform;
extern int g_fwBmcType;
extern int g_fwIpmiVersion;
extern unsigned g_currentFile;
extern unsigned g_numberOfFiles;
extern FwFileType fileType;
// These two outlive DeInitialize: a slot is loaded and committed once in
// the life of the process.
extern unsigned g_nextLoadSlot;
extern unsigned g_nextCommitSlot;

// The image of the current slot, null when it holds none that loaded.
CfwFile* CurrentImage();

// Platforms whose staging commands retry a busy engine.
bool IsRetryingPlatform(int platform);
// The platform with an RMM area, written through the EFS range.
inline constexpr int kRmmPlatform = 15;

}  // namespace DirectFwUpdate_Private

#endif
