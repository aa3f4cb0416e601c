// The firmware update library's interface table, as a host compiles
// against it. libduvane.so.9 exports GetDirectFwUpdateInterface (plain C
// name). Every entry takes the table's address first and returns a status:
// 0 on success, C00Axxxxh on failure, with a text for the failure behind
// GetLastErrorMessage.
//
// A host calls Initialize with its platform number, selects the controller
// (SelectDeviceAddress) and reads its running versions, loads an image file,
// asks whether the image is for this system, selects the areas to write
// and commits. Texts handed out stay owned by the library.
#ifndef SRVFW_INCLUDE_DUVANE_INTERFACE_H
#define SRVFW_INCLUDE_DUVANE_INTERFACE_H

#include <cstdint>

#include "include/progress_callback.h"

inline constexpr std::uint32_t EFI_DUVANE_INTERFACE_REVISION = 0x00010000;

// How LoadConfigurationFromFile reads an image.
enum FwFileType : int {
    FW_FILE_HEX = 0,        // hex record text file
    FW_FILE_BINARY = 1,     // raw binary image
    FW_FILE_ME_BINARY = 2,  // raw binary image of the management engine
};

// The areas SelectFwAreaforUpdate takes, in this order.
enum BmcFwArea : int {
    BMC_FW_AREA_BOOT = 0,
    BMC_FW_AREA_OPCODE = 1,
    BMC_FW_AREA_PIA = 2,
    BMC_FW_AREA_RMM = 3,  // written through the EFS range
    BMC_FW_AREA_EFS = 4,
    BMC_FW_AREA_COUNT = 5,
};

// The area whose version GetVersionFromSystem and GetVersionFromFile give.
enum EFWUPDATE_DEVICE_AREA : int {
    EFWUPDATE_DEVICE_AREA_OPCODE = 1,
    EFWUPDATE_DEVICE_AREA_PIA = 2,
    EFWUPDATE_DEVICE_AREA_BOOT = 3,
    EFWUPDATE_DEVICE_AREA_EFS = 4,
    EFWUPDATE_DEVICE_AREA_RMM = 5,  // the running system only
};

// The controllers' slave addresses.
inline constexpr unsigned char DUVANE_DEVICE_BMC = 0x20;
inline constexpr unsigned char DUVANE_DEVICE_FRONT_PANEL = 0x22;
inline constexpr unsigned char DUVANE_DEVICE_HSC0 = 0xC0;
inline constexpr unsigned char DUVANE_DEVICE_HSC1 = 0xC2;
inline constexpr unsigned char DUVANE_DEVICE_ME = 0x2C;  // bridged on channel 6

// A version text as GetVersionFromSystem copies it: 15 characters.
inline constexpr unsigned DUVANE_VERSION_LENGTH = 15;

struct _EFI_DUVANE_INTERFACE;
using DUVANE_DISPLAY_CALLBACK = void (*)(const wchar_t* text);

struct _EFI_DUVANE_INTERFACE {
    std::uint32_t Revision;
    int (*Initialize)(_EFI_DUVANE_INTERFACE*, int platform);
    int (*DeInitialize)(_EFI_DUVANE_INTERFACE*);
    // The selected controller's running versions.
    int (*LoadConfigurationFromSystem)(_EFI_DUVANE_INTERFACE*);
    // Reads an image into the next of 25 slots, which becomes current.
    int (*LoadConfigurationFromFile)(_EFI_DUVANE_INTERFACE*, const wchar_t* path,
                                     const wchar_t* displayName, FwFileType type);
    // Compares the BMC's EFS platform name with the current image's.
    int (*ReadEfsConfigurationFromSystem)(_EFI_DUVANE_INTERFACE*);
    int (*SelectFwAreaforUpdate)(_EFI_DUVANE_INTERFACE*, BmcFwArea area);
    // Writes the next loaded image's selected areas and verifies them.
    int (*CommitConfigurationToSystem)(_EFI_DUVANE_INTERFACE*);
    // Not supported: C00A000Ah.
    int (*SaveConfigurationToFile)(_EFI_DUVANE_INTERFACE*, const wchar_t* path,
                                   const wchar_t* displayName);
    int (*IsLoaded)(_EFI_DUVANE_INTERFACE*, bool& loaded);
    int (*IsModified)(_EFI_DUVANE_INTERFACE*, bool& modified);
    // Called with PROGRESS_MESSAGE and a text, or PROGRESS_PERCENT, a label
    // and the percentage.
    int (*SetProgressCallback)(_EFI_DUVANE_INTERFACE*, PROGRESS_CALLBACK& callback);
    int (*GetLastErrorMessage)(_EFI_DUVANE_INTERFACE*, wchar_t*& message);
    int (*SetLanguageLocale)(_EFI_DUVANE_INTERFACE*, const wchar_t* language,
                             const wchar_t* country);
    int (*SetDisplayCallback)(_EFI_DUVANE_INTERFACE*, DUVANE_DISPLAY_CALLBACK callback);
    int (*SelectDeviceAddress)(_EFI_DUVANE_INTERFACE*, unsigned char slaveAddress);
    int (*SelectDeviceArea)(_EFI_DUVANE_INTERFACE*, EFWUPDATE_DEVICE_AREA area);
    // Copies DUVANE_VERSION_LENGTH characters into the host's buffer.
    int (*GetVersionFromSystem)(_EFI_DUVANE_INTERFACE*, wchar_t* version);
    // Null when the image has no block for the selected area.
    int (*GetVersionFromFile)(_EFI_DUVANE_INTERFACE*, wchar_t*& version);
    int (*GetDeviceAddressFromFile)(_EFI_DUVANE_INTERFACE*, unsigned char& slaveAddress);
    int (*GetDeviceNameFromFile)(_EFI_DUVANE_INTERFACE*, wchar_t*& name);
    // Whether the version matches an entry of the list: "1.05", a range
    // "1.00-1.09" or a minimum "1.06+", each number hexadecimal.
    int (*IsVersionSupported)(_EFI_DUVANE_INTERFACE*, const wchar_t* version, const wchar_t** list,
                              unsigned count, bool& supported);
    int (*IsConfigurationFileForSystem)(_EFI_DUVANE_INTERFACE*, bool& forSystem);
    int (*LockFrontPanel)(_EFI_DUVANE_INTERFACE*, const bool& lock);
    // Always false.
    int (*IsBmcInFwTransferMode)(_EFI_DUVANE_INTERFACE*, bool& inTransferMode);
    int (*GetBIOSPlatformIdFromFile)(_EFI_DUVANE_INTERFACE*, wchar_t*& platformId);
    // The current image's PIA type: 2 or 3.
    int (*GetPiaVersion)(_EFI_DUVANE_INTERFACE*, unsigned& piaVersion);
    // Restarts the BMC's firmware (into transfer mode and out) and waits.
    int (*BmcRefresh)(_EFI_DUVANE_INTERFACE*);

    // Beyond the 27 entries above, for a host that shows what an update
    // will write and how it ended; the revision stays, and a library that
    // does not give an entry leaves it null.

    // The current image's address range of an area (inclusive, as the
    // update writes it); C00A0013h when the image has no block for it.
    int (*GetAreaRangeFromFile)(_EFI_DUVANE_INTERFACE*, EFWUPDATE_DEVICE_AREA area, unsigned& start,
                                unsigned& end);
    // Whether the selected controller is in firmware transfer mode now (its
    // Get Device ID answer), so that a host can tell after a failed update
    // whether the controller was left in it.
    int (*IsDeviceInFwTransferMode)(_EFI_DUVANE_INTERFACE*, bool& inTransferMode);
};

extern "C" _EFI_DUVANE_INTERFACE* GetDirectFwUpdateInterface();

#endif
