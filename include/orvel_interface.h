// The FRU library's interface table, as a host compiles against it.
// liborvel.so.9 exports GetOrvelInterface (plain C name); every entry of the
// table takes the table's address first and returns a status code, 0 on
// success.
#ifndef SRVFW_INCLUDE_ORVEL_INTERFACE_H
#define SRVFW_INCLUDE_ORVEL_INTERFACE_H

#include <cstdint>

#include "include/progress_callback.h"

inline constexpr std::uint32_t EFI_FRU_INTERFACE_REVISION = 0x00020000;

// Kind of storage device holding a FRU.
enum FRU_TYPE : std::uint32_t {
    FRU_NVS_AT24CO2 = 0,    // EEPROM, Master Write-Read with two address bytes
    FRU_NVS_DS1624S = 1,    // EEPROM, Master Write-Read with command 17h
    FRU_NVS_IMBDEVICE = 2,  // logical FRU device: Read / Write FRU Data
    FRU_NVS_MBMC = 3,
    FRU_NVS_NONE = 4,  // no device: every access fails
};

enum FRU_LIST : std::uint32_t {
    FRU_LIST_NONE = 0,
    FRU_LIST_SYSTEM = 1,
    FRU_LIST_FILE = 2,
};

enum FRU_AREA : std::uint32_t {
    FRU_AREA_NONE = 0,
    FRU_AREA_COMMON = 1,
    FRU_AREA_INTERNAL = 2,
    FRU_AREA_CHASSIS = 3,
    FRU_AREA_BOARD = 4,
    FRU_AREA_PRODUCT = 5,
    FRU_AREA_MULTIREC = 6,
};

// The fixed fields of all areas; each area numbers its own from 0 in this
// order.
enum FRU_FIELD : std::uint32_t {
    FRU_FIELD_INTERNAL_USE_DATA = 1,
    FRU_FIELD_CHASSIS_TYPE = 2,
    FRU_FIELD_CHASSIS_PART_NUMBER = 3,
    FRU_FIELD_CHASSIS_SERIAL_NUMBER = 4,
    FRU_FIELD_BOARD_MFG_DATE_TIME = 5,
    FRU_FIELD_BOARD_MANUFACTURER = 6,
    FRU_FIELD_BOARD_PRODUCT_NAME = 7,
    FRU_FIELD_BOARD_SERIAL_NUMBER = 8,
    FRU_FIELD_BOARD_PART_NUMBER = 9,
    FRU_FIELD_BOARD_FRU_FILE_ID = 10,
    FRU_FIELD_PRODUCT_MANUFACTURER_NAME = 11,
    FRU_FIELD_PRODUCT_NAME = 12,
    FRU_FIELD_PRODUCT_PART_MODEL_NUMBER = 13,
    FRU_FIELD_PRODUCT_VERSION = 14,
    FRU_FIELD_PRODUCT_SERIAL_NUMBER = 15,
    FRU_FIELD_PRODUCT_ASSET_TAG = 16,
    FRU_FIELD_PRODUCT_FRU_FILE_ID = 17,
};

// The encoding of a text field: bits 7:6 of its type/length byte, in place.
enum FRU_FIELD_TYPE : std::uint8_t {
    FRU_FIELD_TYPE_BINARY = 0x00,
    FRU_FIELD_TYPE_BCD_PLUS = 0x40,
    FRU_FIELD_TYPE_6BIT_ASCII = 0x80,
    FRU_FIELD_TYPE_TEXT = 0xC0,  // 8-bit text: ASCII and Latin-1
};

struct EFI_FRU_INTERFACE;
using ORVEL_DISPLAY_CALLBACK = void (*)(const wchar_t* text);

// The slots in table order. Texts and bytes handed out stay owned by the
// library.
struct EFI_FRU_INTERFACE {
    std::uint32_t Revision;
    std::uint32_t (*Initialize)(EFI_FRU_INTERFACE*, int platform);
    std::uint32_t (*DeInitialize)(EFI_FRU_INTERFACE*);
    std::uint32_t (*LoadConfigurationFromSystem)(EFI_FRU_INTERFACE*);
    std::uint32_t (*LoadConfigurationFromFile)(EFI_FRU_INTERFACE*, const wchar_t* file,
                                               const wchar_t* auxiliary);
    std::uint32_t (*CommitConfigurationToSystem)(EFI_FRU_INTERFACE*);
    std::uint32_t (*SaveConfigurationToFile)(EFI_FRU_INTERFACE*, const wchar_t* file,
                                             const wchar_t* auxiliary);
    std::uint32_t (*IsLoaded)(EFI_FRU_INTERFACE*, bool* loaded);
    std::uint32_t (*IsModified)(EFI_FRU_INTERFACE*, bool* modified);
    std::uint32_t (*GetLastErrorMessage)(EFI_FRU_INTERFACE*, const wchar_t** text);
    std::uint32_t (*SetLanguageLocale)(EFI_FRU_INTERFACE*, const wchar_t* language,
                                       const wchar_t* country);
    std::uint32_t (*SetProgressCallback)(EFI_FRU_INTERFACE*, PROGRESS_CALLBACK callback);
    std::uint32_t (*SetProgressCallbackInterval)(EFI_FRU_INTERFACE*, std::uint32_t interval);
    std::uint32_t (*SetDebugLevel)(EFI_FRU_INTERFACE*, std::uint32_t level);
    std::uint32_t (*SetDisplayCallback)(EFI_FRU_INTERFACE*, ORVEL_DISPLAY_CALLBACK callback);
    std::uint32_t (*LoadFruAtAddress)(EFI_FRU_INTERFACE*, FRU_TYPE type, std::uint8_t lun,
                                      std::uint8_t slaveAddress, std::uint8_t bus,
                                      std::uint8_t controllerAddress, std::uint8_t fruDeviceId,
                                      std::uint8_t mbmcSizeData, std::uint16_t mbmcSizeAddress);
    std::uint32_t (*SelectList)(EFI_FRU_INTERFACE*, int list);
    std::uint32_t (*GetNumberOfFrus)(EFI_FRU_INTERFACE*, std::uint32_t* first,
                                     std::uint32_t* second);
    std::uint32_t (*SelectFru)(EFI_FRU_INTERFACE*, std::uint32_t index);
    std::uint32_t (*SelectFruByAddress)(EFI_FRU_INTERFACE*, FRU_TYPE type, std::uint8_t lun,
                                        std::uint8_t slaveAddress, std::uint8_t bus,
                                        std::uint8_t controllerAddress, std::uint8_t fruDeviceId,
                                        std::uint8_t mbmcSizeData, std::uint16_t mbmcSizeAddress);
    std::uint32_t (*GetFruName)(EFI_FRU_INTERFACE*, const wchar_t** name);
    std::uint32_t (*GetFruAddress)(EFI_FRU_INTERFACE*, FRU_TYPE* type, std::uint8_t* lun,
                                   std::uint8_t* slaveAddress, std::uint8_t* bus,
                                   std::uint8_t* controllerAddress, std::uint8_t* fruDeviceId,
                                   std::uint8_t* mbmcSizeData, std::uint16_t* mbmcSizeAddress);
    std::uint32_t (*HasInternalUseArea)(EFI_FRU_INTERFACE*, bool* has);
    std::uint32_t (*HasBoardArea)(EFI_FRU_INTERFACE*, bool* has);
    std::uint32_t (*HasProductArea)(EFI_FRU_INTERFACE*, bool* has);
    std::uint32_t (*HasChassisArea)(EFI_FRU_INTERFACE*, bool* has);
    std::uint32_t (*HasMultiRecordArea)(EFI_FRU_INTERFACE*, bool* has);
    std::uint32_t (*GetNumberOfAreas)(EFI_FRU_INTERFACE*, std::uint32_t* count);
    std::uint32_t (*SelectAreaEnum)(EFI_FRU_INTERFACE*, FRU_AREA area);
    std::uint32_t (*SelectAreaInteger)(EFI_FRU_INTERFACE*, std::uint32_t index);
    std::uint32_t (*GetAreaName)(EFI_FRU_INTERFACE*, const wchar_t** name);
    std::uint32_t (*GetNumberOfFields)(EFI_FRU_INTERFACE*, std::uint32_t* count);
    std::uint32_t (*SelectFieldEnum)(EFI_FRU_INTERFACE*, FRU_FIELD field);
    std::uint32_t (*SelectFieldInteger)(EFI_FRU_INTERFACE*, std::uint32_t index);
    std::uint32_t (*GetFieldTitle)(EFI_FRU_INTERFACE*, const wchar_t** title);
    std::uint32_t (*GetMaxFieldSize)(EFI_FRU_INTERFACE*, std::uint32_t* size);
    std::uint32_t (*GetFieldStringValue)(EFI_FRU_INTERFACE*, const wchar_t** text);
    std::uint32_t (*GetFieldDataValue)(EFI_FRU_INTERFACE*, const std::uint8_t** bytes,
                                       std::uint32_t* length);
    std::uint32_t (*SetFieldDataValue)(EFI_FRU_INTERFACE*, const std::uint8_t* bytes,
                                       std::uint32_t length);
    std::uint32_t (*AddFruToSystemList)(EFI_FRU_INTERFACE*);
    std::uint32_t (*LoadPropertiesFromSystem)(EFI_FRU_INTERFACE*);
    std::uint32_t (*GetNumberOfProperties)(EFI_FRU_INTERFACE*, std::uint32_t* count);
    std::uint32_t (*SelectProperty)(EFI_FRU_INTERFACE*, std::uint32_t index);
    std::uint32_t (*GetPropertyTitle)(EFI_FRU_INTERFACE*, const wchar_t** title);
    std::uint32_t (*GetPropertyValue)(EFI_FRU_INTERFACE*, const wchar_t** value);
    // Size: in, the buffer's capacity; out, the bytes written.
    std::uint32_t (*GetAreaData)(EFI_FRU_INTERFACE*, std::uint8_t* buffer, std::uint32_t* size);
    std::uint32_t (*SetAreaData)(EFI_FRU_INTERFACE*, const std::uint8_t* bytes,
                                 std::uint32_t length);
    std::uint32_t (*SetPwd)(EFI_FRU_INTERFACE*, const char* password, std::uint32_t length);
    // The three slots after SetPwd, added in this revision's last three
    // places (null in earlier builds of the library, so a host checks them):
    //
    // The selected chassis, board or product text field's encoding; the
    // chassis type and the manufacturing date are no text fields
    // (C0070030h).
    std::uint32_t (*GetFieldEncoding)(EFI_FRU_INTERFACE*, FRU_FIELD_TYPE* type);
    // Sets the selected text field from text: in the field's own encoding
    // when that holds the text exactly, otherwise as 8-bit text (Latin-1).
    // Characters outside Latin-1 and control characters are refused
    // (C0070027h, with the reason as the last-error text).
    std::uint32_t (*SetFieldStringValue)(EFI_FRU_INTERFACE*, const wchar_t* text);
    // Writes the selected FRU, from either list, whole to the device its
    // location names: every area it has, then the common header, whether
    // or not anything was edited and without reading what the device holds.
    // This puts back a FRU saved to a file even when the device's own copy
    // can no longer be read.
    std::uint32_t (*WriteWholeFruToSystem)(EFI_FRU_INTERFACE*);
};

extern "C" EFI_FRU_INTERFACE* GetOrvelInterface();
using GET_ORVEL_INTERFACE = EFI_FRU_INTERFACE* (*)();

#endif
