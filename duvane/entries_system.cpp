// Interface entries that talk to the controllers: the running versions,
// the commit, the compatibility checks, the front panel lock and the BMC's
// restart; and the version list check.
#include <algorithm>
#include <cstdio>

#include "duvane/duvane_messages.h"
#include "duvane/duvane_public.h"
#include "duvane/duvane_state.h"
#include "duvane/duvane_status.h"
#include "duvane/version_support.h"

using namespace DirectFwUpdate_Private;

int DirectFwUpdate_Public::SelectDeviceAddress(Table, unsigned char slaveAddress) {
    CTrace trace = EntryTrace(L"SelectDeviceAddress");
    if (const int status = CheckInitialized(trace)) return status;
    // What the host printed belongs before anything this device's commands
    // show.
    std::fflush(stdout);
    g_fw.engine->SelectDeviceAddress(slaveAddress);
    g_fw.deviceAddressSelected = true;
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::LoadConfigurationFromSystem(Table) {
    CTrace trace = EntryTrace(L"LoadConfigurationFromSystem");
    if (const int status = CheckInitialized(trace)) return status;
    g_fw.systemLoaded = false;
    if (!g_fw.deviceAddressSelected) return DUVANE_NOT_SELECTED;
    const int status = g_fw.engine->LoadSystemVersions();
    g_fw.systemLoaded = status == DUVANE_SUCCESS;
    return status;
}

int DirectFwUpdate_Public::GetVersionFromSystem(Table, wchar_t* version) {
    CTrace trace = EntryTrace(L"GetVersionFromSystem");
    if (const int status = CheckInitialized(trace)) return status;
    if (!g_fw.systemLoaded) return DUVANE_SYSTEM_NOT_LOADED;
    if (!g_fw.deviceAreaSelected) return DUVANE_NOT_SELECTED;
    if (version == nullptr) return DUVANE_NOT_SELECTED;
    // Exactly DUVANE_VERSION_LENGTH characters, the last one always a zero.
    const std::wstring& running = g_fw.engine->SystemVersion();
    const std::size_t length = std::min<std::size_t>(running.size(), DUVANE_VERSION_LENGTH - 1);
    std::fill(std::copy_n(running.begin(), length, version), version + DUVANE_VERSION_LENGTH,
              L'\0');
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::SelectFwAreaforUpdate(Table, BmcFwArea area) {
    CTrace trace = EntryTrace(L"SelectFwAreaforUpdate");
    if (const int status = CheckInitialized(trace)) return status;
    if (area < BMC_FW_AREA_BOOT || area >= BMC_FW_AREA_COUNT) return DUVANE_NOT_SELECTED;
    g_fw.engine->SelectArea(area);
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::CommitConfigurationToSystem(Table) {
    CTrace trace = EntryTrace(L"CommitConfigurationToSystem");
    if (const int status = CheckInitialized(trace)) return status;
    const unsigned slot = g_nextCommitSlot++;
    if (slot >= kImageSlots || !g_fw.loaded[slot]) {
        trace.Failure(L"Not Loaded");
        return DUVANE_NO_IMAGE;
    }
    return g_fw.engine->UpdateSystem(*g_fw.files[slot]);
}

int DirectFwUpdate_Public::IsConfigurationFileForSystem(Table, bool& forSystem) {
    CTrace trace = EntryTrace(L"IsConfigurationFileForSystem");
    CfwFile* image = nullptr;
    if (const int status = CheckImage(trace, image)) return status;
    return g_fw.engine->IsConfigurationFileForSystem(*image, forSystem);
}

int DirectFwUpdate_Public::ReadEfsConfigurationFromSystem(Table) {
    CTrace trace = EntryTrace(L"ReadEfsConfigurationFromSystem");
    CfwFile* image = nullptr;
    if (const int status = CheckImage(trace, image)) return status;
    return g_fw.engine->ReadEfsConfigurationFromSystem(*image);
}

int DirectFwUpdate_Public::IsVersionSupported(Table, const wchar_t* version, const wchar_t** list,
                                              unsigned count, bool& supported) {
    CTrace trace = EntryTrace(L"IsVersionSupported");
    if (const int status = CheckInitialized(trace)) return status;
    if (list == nullptr && count != 0) {
        SetErrorMessage(28, L"");
        return DUVANE_BAD_VERSION_TEXT;
    }
    return DirectFwUpdate_Private::IsVersionSupported(
        version, std::span<const wchar_t* const>(list, list != nullptr ? count : 0), supported);
}

int DirectFwUpdate_Public::LockFrontPanel(Table, const bool& lock) {
    CTrace trace = EntryTrace(L"LockFrontPanel");
    if (const int status = CheckInitialized(trace)) return status;
    return g_fw.engine->LockFrontPanel(lock);
}

int DirectFwUpdate_Public::IsBmcInFwTransferMode(Table, bool& inTransferMode) {
    CTrace trace = EntryTrace(L"IsBmcInFwTransferMode");
    if (const int status = CheckInitialized(trace)) return status;
    inTransferMode = false;
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::BmcRefresh(Table) {
    CTrace trace = EntryTrace(L"BmcRefresh");
    if (const int status = CheckInitialized(trace)) return status;
    return g_fw.engine->BmcRefresh();
}
