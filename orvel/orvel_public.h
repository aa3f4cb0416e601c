// The entries of the interface table and the further entries the library
// exports by name. Each takes the table first and returns a status code.
#ifndef SRVFW_ORVEL_ORVEL_PUBLIC_H
#define SRVFW_ORVEL_ORVEL_PUBLIC_H

#include <cstdint>

#include "include/export.h"
#include "include/orvel_interface.h"

// Exported under its plain name, as hosts look it up.
extern "C" SRVFW_EXPORT std::uint32_t SelectList(EFI_FRU_INTERFACE* table, int list);

namespace Orvel_Public {

using Table = EFI_FRU_INTERFACE*;
using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;

// Lifecycle, language, callbacks and messages.
u32 Initialize(Table table, int platform);
u32 DeInitialize(Table table);
u32 IsLoaded(Table table, bool* loaded);
u32 IsModified(Table table, bool* modified);
u32 GetLastErrorMessage(Table table, const wchar_t** text);
u32 SetLanguageLocale(Table table, const wchar_t* language, const wchar_t* country);
u32 SetProgressCallback(Table table, PROGRESS_CALLBACK callback);
u32 SetProgressCallbackInterval(Table table, u32 interval);
u32 SetDebugLevel(Table table, u32 level);
u32 SetDisplayCallback(Table table, ORVEL_DISPLAY_CALLBACK callback);
u32 SetPwd(Table table, const char* password, u32 length);

// Loading, writing back and saving.
u32 LoadConfigurationFromSystem(Table table);
u32 LoadConfigurationFromFile(Table table, const wchar_t* file, const wchar_t* auxiliary);
u32 CommitConfigurationToSystem(Table table);
u32 WriteWholeFruToSystem(Table table);
u32 SaveConfigurationToFile(Table table, const wchar_t* file, const wchar_t* auxiliary);
u32 LoadFruAtAddress(Table table, FRU_TYPE type, u8 lun, u8 slaveAddress, u8 bus,
                     u8 controllerAddress, u8 fruDeviceId, u8 mbmcSizeData, u16 mbmcSizeAddress);
u32 AddFruToSystemList(Table table);
SRVFW_EXPORT u32 FindFruAtAddressAndChecksumHeader(Table table, FRU_TYPE type, u8 lun,
                                                   u8 slaveAddress, u8 bus, u8 controllerAddress,
                                                   u8 fruDeviceId);

// Lists and FRUs.
u32 GetNumberOfFrus(Table table, u32* first, u32* second);
u32 SelectFru(Table table, u32 index);
u32 SelectFruByAddress(Table table, FRU_TYPE type, u8 lun, u8 slaveAddress, u8 bus,
                       u8 controllerAddress, u8 fruDeviceId, u8 mbmcSizeData, u16 mbmcSizeAddress);
u32 GetFruName(Table table, const wchar_t** name);
u32 GetFruAddress(Table table, FRU_TYPE* type, u8* lun, u8* slaveAddress, u8* bus,
                  u8* controllerAddress, u8* fruDeviceId, u8* mbmcSizeData, u16* mbmcSizeAddress);

// Areas.
u32 HasInternalUseArea(Table table, bool* has);
u32 HasBoardArea(Table table, bool* has);
u32 HasProductArea(Table table, bool* has);
u32 HasChassisArea(Table table, bool* has);
u32 HasMultiRecordArea(Table table, bool* has);
u32 GetNumberOfAreas(Table table, u32* count);
u32 SelectAreaEnum(Table table, FRU_AREA area);
u32 SelectAreaInteger(Table table, u32 index);
u32 GetAreaName(Table table, const wchar_t** name);
u32 GetAreaData(Table table, u8* buffer, u32* size);
u32 SetAreaData(Table table, const u8* bytes, u32 length);
SRVFW_EXPORT u32 GetAreaSize(Table table, u32* size);
SRVFW_EXPORT u32 GetAssetTagLength(Table table, u32* length);

// Fields.
u32 GetNumberOfFields(Table table, u32* count);
u32 SelectFieldEnum(Table table, FRU_FIELD field);
u32 SelectFieldInteger(Table table, u32 index);
u32 GetFieldTitle(Table table, const wchar_t** title);
u32 GetMaxFieldSize(Table table, u32* size);
u32 GetFieldStringValue(Table table, const wchar_t** text);
u32 GetFieldDataValue(Table table, const u8** bytes, u32* length);
u32 SetFieldDataValue(Table table, const u8* bytes, u32 length);
u32 GetFieldEncoding(Table table, FRU_FIELD_TYPE* type);
u32 SetFieldStringValue(Table table, const wchar_t* text);

// Properties.
u32 LoadPropertiesFromSystem(Table table);
u32 GetNumberOfProperties(Table table, u32* count);
u32 SelectProperty(Table table, u32 index);
u32 GetPropertyTitle(Table table, const wchar_t** title);
u32 GetPropertyValue(Table table, const wchar_t** value);

}  // namespace Orvel_Public

#endif
