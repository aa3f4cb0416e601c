// The table a host reaches the library through, in slot order.
#include "duvane/duvane_public.h"
#include "duvane/duvane_state.h"
#include "include/export.h"

namespace DirectFwUpdate_Private {

_EFI_DUVANE_INTERFACE directFwUpdateInterface = {
    EFI_DUVANE_INTERFACE_REVISION,
    DirectFwUpdate_Public::Initialize,
    DirectFwUpdate_Public::DeInitialize,
    DirectFwUpdate_Public::LoadConfigurationFromSystem,
    DirectFwUpdate_Public::LoadConfigurationFromFile,
    DirectFwUpdate_Public::ReadEfsConfigurationFromSystem,
    DirectFwUpdate_Public::SelectFwAreaforUpdate,
    DirectFwUpdate_Public::CommitConfigurationToSystem,
    DirectFwUpdate_Public::SaveConfigurationToFile,
    DirectFwUpdate_Public::IsLoaded,
    DirectFwUpdate_Public::IsModified,
    DirectFwUpdate_Public::SetProgressCallback,
    DirectFwUpdate_Public::GetLastErrorMessage,
    DirectFwUpdate_Public::SetLanguageLocale,
    DirectFwUpdate_Public::SetDisplayCallback,
    DirectFwUpdate_Public::SelectDeviceAddress,
    DirectFwUpdate_Public::SelectDeviceArea,
    DirectFwUpdate_Public::GetVersionFromSystem,
    DirectFwUpdate_Public::GetVersionFromFile,
    DirectFwUpdate_Public::GetDeviceAddressFromFile,
    DirectFwUpdate_Public::GetDeviceNameFromFile,
    DirectFwUpdate_Public::IsVersionSupported,
    DirectFwUpdate_Public::IsConfigurationFileForSystem,
    DirectFwUpdate_Public::LockFrontPanel,
    DirectFwUpdate_Public::IsBmcInFwTransferMode,
    DirectFwUpdate_Public::GetBIOSPlatformIdFromFile,
    DirectFwUpdate_Public::GetPiaVersion,
    DirectFwUpdate_Public::BmcRefresh,
    DirectFwUpdate_Public::GetAreaRangeFromFile,
    DirectFwUpdate_Public::IsDeviceInFwTransferMode,
};

}  // namespace DirectFwUpdate_Private

extern "C" SRVFW_EXPORT _EFI_DUVANE_INTERFACE* GetDirectFwUpdateInterface() {
    return &DirectFwUpdate_Private::directFwUpdateInterface;
}
