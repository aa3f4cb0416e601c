// The entries of the interface table, in slot order, and the checks they
// share.
#ifndef SRVFW_DUVANE_DUVANE_PUBLIC_H
#define SRVFW_DUVANE_DUVANE_PUBLIC_H

#include "bmc/trace.h"
#include "duvane/fw_file.h"
#include "include/duvane_interface.h"

namespace DirectFwUpdate_Public {

using Table = _EFI_DUVANE_INTERFACE*;

int Initialize(Table table, int platform);
int DeInitialize(Table table);
int LoadConfigurationFromSystem(Table table);
int LoadConfigurationFromFile(Table table, const wchar_t* path, const wchar_t* displayName,
                              FwFileType type);
int ReadEfsConfigurationFromSystem(Table table);
int SelectFwAreaforUpdate(Table table, BmcFwArea area);
int CommitConfigurationToSystem(Table table);
int SaveConfigurationToFile(Table table, const wchar_t* path, const wchar_t* displayName);
int IsLoaded(Table table, bool& loaded);
int IsModified(Table table, bool& modified);
int SetProgressCallback(Table table, PROGRESS_CALLBACK& callback);
int GetLastErrorMessage(Table table, wchar_t*& message);
int SetLanguageLocale(Table table, const wchar_t* language, const wchar_t* country);
int SetDisplayCallback(Table table, DUVANE_DISPLAY_CALLBACK callback);
int SelectDeviceAddress(Table table, unsigned char slaveAddress);
int SelectDeviceArea(Table table, EFWUPDATE_DEVICE_AREA area);
int GetVersionFromSystem(Table table, wchar_t* version);
int GetVersionFromFile(Table table, wchar_t*& version);
int GetDeviceAddressFromFile(Table table, unsigned char& slaveAddress);
int GetDeviceNameFromFile(Table table, wchar_t*& name);
int IsVersionSupported(Table table, const wchar_t* version, const wchar_t** list, unsigned count,
                       bool& supported);
int IsConfigurationFileForSystem(Table table, bool& forSystem);
int LockFrontPanel(Table table, const bool& lock);
int IsBmcInFwTransferMode(Table table, bool& inTransferMode);
int GetBIOSPlatformIdFromFile(Table table, wchar_t*& platformId);
int GetPiaVersion(Table table, unsigned& piaVersion);
int BmcRefresh(Table table);
// Beyond the 27 entries (duvane_interface.h says what a host gets from them).
int GetAreaRangeFromFile(Table table, EFWUPDATE_DEVICE_AREA area, unsigned& start, unsigned& end);
int IsDeviceInFwTransferMode(Table table, bool& inTransferMode);

}  // namespace DirectFwUpdate_Public

namespace DirectFwUpdate_Private {

inline CTrace EntryTrace(const wchar_t* name) {
    return CTrace(L"DirectFwUpdate", name);
}
// 0 when the library is initialised, else C00A0008h with the entry's
// debug line.
int CheckInitialized(const CTrace& trace);
// As CheckInitialized, then C00A000Eh when the current slot holds no
// loaded image; else `image` is that image.
int CheckImage(const CTrace& trace, CfwFile*& image);

}  // namespace DirectFwUpdate_Private

#endif
