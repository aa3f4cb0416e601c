// The table a host reaches the library through, in slot order.
#include "include/export.h"
#include "pemric/pemric_public.h"
#include "pemric/pemric_state.h"

namespace Pemric_Private {

_EFI_SDR_INTERFACE sdrInterface = {
    EFI_SDR_INTERFACE_REVISION,
    Pemric_Public::Initialize,
    Pemric_Public::DeInitialize,
    Pemric_Public::LoadConfigurationFromSystem,
    Pemric_Public::LoadConfigurationFromFile,
    Pemric_Public::CommitConfigurationToSystem,
    Pemric_Public::SaveConfigurationToFile,
    Pemric_Public::IsLoaded,
    Pemric_Public::IsModified,
    Pemric_Public::SetProgressCallback,
    Pemric_Public::SetProgressCallbackInterval,
    Pemric_Public::SetLanguageLocale,
    Pemric_Public::SetDebugLevel,
    Pemric_Public::SetDisplayCallback,
    Pemric_Public::SetTag,
    Pemric_Public::ClearTag,
    Pemric_Public::GetVersionFromFile,
    Pemric_Public::GetVersionFromSystem,
    Pemric_Public::GetPackageVersionFromFile,
    Pemric_Public::GetPackageVersionFromSystem,
    Pemric_Public::GetNumberOfSdrs,
    Pemric_Public::SelectSdr,
    Pemric_Public::GetTypeAsInteger,
    Pemric_Public::GetTypeAsString,
    Pemric_Public::GetName,
    Pemric_Public::ConvertTypeToString,
    Pemric_Public::GetNumberOfFields,
    Pemric_Public::SelectField,
    Pemric_Public::GetFieldTitle,
    Pemric_Public::GetFieldValue,
    Pemric_Public::GetFieldLocation,
    Pemric_Public::LoadPropertiesFromSystem,
    Pemric_Public::GetNumberOfProperties,
    Pemric_Public::SelectProperty,
    Pemric_Public::GetPropertyTitle,
    Pemric_Public::GetPropertyValue,
    Pemric_Public::GetLastErrorMessage,
    Pemric_Public::SelectSysData,
    Pemric_Public::SelectFileData,
    Pemric_Public::SelectSdrList,
    Pemric_Public::GetSdrData,
    Pemric_Public::GetSdrTags,
    Pemric_Public::IsSdrCommitted,
};

}  // namespace Pemric_Private

extern "C" SRVFW_EXPORT _EFI_SDR_INTERFACE* GetPemricInterface() {
    return &Pemric_Private::sdrInterface;
}
