#include "tests/host/fake_library/fake_duvane.h"

#include <string>

namespace {

FakeDuvaneScript gScript;
_EFI_DUVANE_INTERFACE gTable{};
PROGRESS_CALLBACK* gProgress = nullptr;
unsigned char gDevice = 0;
int gArea = 0;
std::wstring gLastError;

int Failed(std::uint32_t status) {
    gLastError = gScript.lastError;
    return static_cast<int>(status);
}
int Called(const std::string& call) {
    gScript.calls.push_back(call);
    return 0;
}

int Initialize(_EFI_DUVANE_INTERFACE*, int) {
    return Called("Initialize");
}
int DeInitialize(_EFI_DUVANE_INTERFACE*) {
    return Called("DeInitialize");
}
int LoadConfigurationFromSystem(_EFI_DUVANE_INTERFACE*) {
    Called("LoadConfigurationFromSystem " + std::to_string(gDevice));
    return gScript.running.contains(gDevice) ? 0 : Failed(0xC00A0019);
}
int LoadConfigurationFromFile(_EFI_DUVANE_INTERFACE*, const wchar_t*, const wchar_t*,
                              FwFileType type) {
    Called("LoadConfigurationFromFile " + std::to_string(type));
    return gScript.loadStatus == 0 ? 0 : Failed(gScript.loadStatus);
}
int SelectFwAreaforUpdate(_EFI_DUVANE_INTERFACE*, BmcFwArea area) {
    return Called("SelectFwAreaforUpdate " + std::to_string(area));
}
int CommitConfigurationToSystem(_EFI_DUVANE_INTERFACE*) {
    Called("CommitConfigurationToSystem");
    for (const std::wstring& phase : gScript.phases) {
        (*gProgress)(PROGRESS_PERCENT, phase.c_str(), 50, 0);
        (*gProgress)(PROGRESS_PERCENT, phase.c_str(), 100, 0);
    }
    return gScript.commitStatus == 0 ? 0 : Failed(gScript.commitStatus);
}
int SetProgressCallback(_EFI_DUVANE_INTERFACE*, PROGRESS_CALLBACK& callback) {
    gProgress = &callback;
    return 0;
}
int GetLastErrorMessage(_EFI_DUVANE_INTERFACE*, wchar_t*& message) {
    message = gLastError.data();
    return 0;
}
int SetDisplayCallback(_EFI_DUVANE_INTERFACE*, DUVANE_DISPLAY_CALLBACK) {
    return 0;
}
int SelectDeviceAddress(_EFI_DUVANE_INTERFACE*, unsigned char address) {
    gDevice = address;
    return 0;
}
int SelectDeviceArea(_EFI_DUVANE_INTERFACE*, EFWUPDATE_DEVICE_AREA area) {
    gArea = area;
    return 0;
}
int GetVersionFromSystem(_EFI_DUVANE_INTERFACE*, wchar_t* version) {
    const std::wstring running = gScript.running[gDevice][gArea];
    running.copy(version, DUVANE_VERSION_LENGTH);
    version[std::min<std::size_t>(running.size(), DUVANE_VERSION_LENGTH)] = L'\0';
    return 0;
}
int GetVersionFromFile(_EFI_DUVANE_INTERFACE*, wchar_t*& version) {
    const auto found = gScript.imageVersions.find(gArea);
    version = found == gScript.imageVersions.end() ? nullptr : found->second.data();
    return 0;
}
int GetDeviceAddressFromFile(_EFI_DUVANE_INTERFACE*, unsigned char& address) {
    address = gScript.imageDevice;
    return 0;
}
int GetDeviceNameFromFile(_EFI_DUVANE_INTERFACE*, wchar_t*& name) {
    name = gScript.imageName.data();
    return 0;
}
int IsVersionSupported(_EFI_DUVANE_INTERFACE*, const wchar_t* version, const wchar_t** list,
                       unsigned count, bool& supported) {
    supported = false;
    for (unsigned entry = 0; entry < count; ++entry)
        supported |= std::wstring(list[entry]) == version;
    return 0;
}
int IsConfigurationFileForSystem(_EFI_DUVANE_INTERFACE*, bool& forSystem) {
    Called("IsConfigurationFileForSystem");
    forSystem = gScript.forSystem;
    if (!forSystem) gLastError = gScript.lastError;
    return 0;
}
int GetBIOSPlatformIdFromFile(_EFI_DUVANE_INTERFACE*, wchar_t*& platformId) {
    static std::wstring platform = L"SIMPLATFORM";
    platformId = platform.data();
    return 0;
}
int GetPiaVersion(_EFI_DUVANE_INTERFACE*, unsigned& piaVersion) {
    piaVersion = 2;
    return 0;
}
int GetAreaRangeFromFile(_EFI_DUVANE_INTERFACE*, EFWUPDATE_DEVICE_AREA area, unsigned& start,
                         unsigned& end) {
    const auto found = gScript.imageRanges.find(area);
    if (found == gScript.imageRanges.end()) return static_cast<int>(0xC00A0013);
    start = found->second.first;
    end = found->second.second;
    return 0;
}
int IsDeviceInFwTransferMode(_EFI_DUVANE_INTERFACE*, bool& inTransferMode) {
    inTransferMode = gScript.inTransferMode;
    return Called("IsDeviceInFwTransferMode");
}

}  // namespace

extern "C" __attribute__((visibility("default"))) _EFI_DUVANE_INTERFACE*
GetDirectFwUpdateInterface() {
    gTable = _EFI_DUVANE_INTERFACE{};
    gTable.Revision = EFI_DUVANE_INTERFACE_REVISION;
    gTable.Initialize = Initialize;
    gTable.DeInitialize = DeInitialize;
    gTable.LoadConfigurationFromSystem = LoadConfigurationFromSystem;
    gTable.LoadConfigurationFromFile = LoadConfigurationFromFile;
    gTable.SelectFwAreaforUpdate = SelectFwAreaforUpdate;
    gTable.CommitConfigurationToSystem = CommitConfigurationToSystem;
    gTable.SetProgressCallback = SetProgressCallback;
    gTable.GetLastErrorMessage = GetLastErrorMessage;
    gTable.SetDisplayCallback = SetDisplayCallback;
    gTable.SelectDeviceAddress = SelectDeviceAddress;
    gTable.SelectDeviceArea = SelectDeviceArea;
    gTable.GetVersionFromSystem = GetVersionFromSystem;
    gTable.GetVersionFromFile = GetVersionFromFile;
    gTable.GetDeviceAddressFromFile = GetDeviceAddressFromFile;
    gTable.GetDeviceNameFromFile = GetDeviceNameFromFile;
    gTable.IsVersionSupported = IsVersionSupported;
    gTable.IsConfigurationFileForSystem = IsConfigurationFileForSystem;
    gTable.GetBIOSPlatformIdFromFile = GetBIOSPlatformIdFromFile;
    gTable.GetPiaVersion = GetPiaVersion;
    if (gScript.withExtraEntries) {
        gTable.GetAreaRangeFromFile = GetAreaRangeFromFile;
        gTable.IsDeviceInFwTransferMode = IsDeviceInFwTransferMode;
    }
    return &gTable;
}

extern "C" __attribute__((visibility("default"))) FakeDuvaneScript* FakeDuvaneScriptOf() {
    return &gScript;
}
