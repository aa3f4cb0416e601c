// The table a host reaches the library through, in slot order.
#include "include/export.h"
#include "rask/rask_public.h"

namespace Rask_Private {

_EFI_RASK_IF raskInterface = {
    EFI_RASK_IF_REVISION,
    Rask_Public::Initialize,
    Rask_Public::DeInitialize,
    Rask_Public::LoadConfigurationFromSystem,
    Rask_Public::LoadConfigurationFromFile,
    Rask_Public::CommitConfigurationToSystem,
    Rask_Public::SaveConfigurationToFile,
    Rask_Public::IsLoaded,
    Rask_Public::IsModified,
    Rask_Public::SetProgressCallback,
    Rask_Public::GetLastErrorMessage,
    Rask_Public::SetLanguageLocale,
    Rask_Public::OpenRaskDriver,
    Rask_Public::GetBiosAreaTbl,
    Rask_Public::GetSegmentTbl,
    Rask_Public::ReadBiosMemory,
    Rask_Public::WriteBiosMemory,
    Rask_Public::EraseBiosBlocks,
    Rask_Public::SetUpdateNotify,
    Rask_Public::GetPlatformId,
    Rask_Public::GetSmbiosData,
    Rask_Public::SetDebugLevel,
    Rask_Public::SetFlashLocking,
    Rask_Public::SkipPrimaryCheck,
    Rask_Public::GetNotifyTbl,
    Rask_Public::GetUpdateNotifyState,
    Rask_Public::CheckBiosAreaForWrite,
    Rask_Public::GetFlashDeviceInfo,
};

}  // namespace Rask_Private

extern "C" SRVFW_EXPORT _EFI_RASK_IF* GetRaskInterface() {
    return &Rask_Private::raskInterface;
}
