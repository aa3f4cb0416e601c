// The table a host reaches the library through, in slot order.
#include "orvel/orvel_public.h"

namespace Orvel_Private {

using namespace Orvel_Public;

EFI_FRU_INTERFACE ORVELInterface = {
    EFI_FRU_INTERFACE_REVISION,
    Initialize,
    DeInitialize,
    LoadConfigurationFromSystem,
    LoadConfigurationFromFile,
    CommitConfigurationToSystem,
    SaveConfigurationToFile,
    IsLoaded,
    IsModified,
    GetLastErrorMessage,
    SetLanguageLocale,
    SetProgressCallback,
    SetProgressCallbackInterval,
    SetDebugLevel,
    SetDisplayCallback,
    LoadFruAtAddress,
    ::SelectList,
    GetNumberOfFrus,
    SelectFru,
    SelectFruByAddress,
    GetFruName,
    GetFruAddress,
    HasInternalUseArea,
    HasBoardArea,
    HasProductArea,
    HasChassisArea,
    HasMultiRecordArea,
    GetNumberOfAreas,
    SelectAreaEnum,
    SelectAreaInteger,
    GetAreaName,
    GetNumberOfFields,
    SelectFieldEnum,
    SelectFieldInteger,
    GetFieldTitle,
    GetMaxFieldSize,
    GetFieldStringValue,
    GetFieldDataValue,
    SetFieldDataValue,
    AddFruToSystemList,
    LoadPropertiesFromSystem,
    GetNumberOfProperties,
    SelectProperty,
    GetPropertyTitle,
    GetPropertyValue,
    GetAreaData,
    SetAreaData,
    SetPwd,
    GetFieldEncoding,
    SetFieldStringValue,
    WriteWholeFruToSystem,
};

}  // namespace Orvel_Private

extern "C" SRVFW_EXPORT EFI_FRU_INTERFACE* GetOrvelInterface() {
    return &Orvel_Private::ORVELInterface;
}
