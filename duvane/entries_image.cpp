// Interface entries: loading an image into its slot and what the current
// image says about itself.
#include <new>

#include "duvane/duvane_messages.h"
#include "duvane/duvane_public.h"
#include "duvane/duvane_state.h"
#include "duvane/duvane_status.h"

using namespace DirectFwUpdate_Private;

int DirectFwUpdate_Public::LoadConfigurationFromFile(Table, const wchar_t* path,
                                                     const wchar_t* displayName, FwFileType type) {
    CTrace trace = EntryTrace(L"LoadConfigurationFromFile");
    if (const int status = CheckInitialized(trace)) return status;
    if (type != FW_FILE_HEX && type != FW_FILE_BINARY && type != FW_FILE_ME_BINARY) {
        SetErrorMessage(73, static_cast<unsigned>(type));
        return DUVANE_NOT_SUPPORTED;
    }
    fileType = type;
    if (path == nullptr) {
        SetErrorMessage(0, displayName != nullptr ? displayName : L"");
        return DUVANE_FILE_OPEN_FAILED;
    }
    if (g_nextLoadSlot >= kImageSlots) {
        SetErrorMessage(74, kImageSlots);
        return DUVANE_NOT_SUPPORTED;
    }
    const unsigned slot = g_nextLoadSlot++;
    g_currentFile = slot;
    ++g_numberOfFiles;
    g_fw.files[slot].reset(new (std::nothrow) CfwFile(type, g_fwdPlatform));
    if (g_fw.files[slot] == nullptr) {
        SetErrorMessage(2);
        return DUVANE_OUT_OF_MEMORY;
    }
    const int status = g_fw.files[slot]->ProcessFile(path, displayName);
    g_fw.loaded[slot] = status == DUVANE_SUCCESS;
    return status;
}

int DirectFwUpdate_Public::IsLoaded(Table, bool& loaded) {
    CTrace trace = EntryTrace(L"IsLoaded");
    if (const int status = CheckInitialized(trace)) return status;
    loaded = CurrentImage() != nullptr;
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::IsModified(Table, bool& modified) {
    CTrace trace = EntryTrace(L"IsModified");
    if (const int status = CheckInitialized(trace)) return status;
    modified = g_fw.modified;
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::SaveConfigurationToFile(Table, const wchar_t*, const wchar_t*) {
    CTrace trace = EntryTrace(L"SaveConfigurationToFile");
    if (const int status = CheckInitialized(trace)) return status;
    return DUVANE_NOT_SUPPORTED;
}

int DirectFwUpdate_Public::SelectDeviceArea(Table, EFWUPDATE_DEVICE_AREA area) {
    CTrace trace = EntryTrace(L"SelectDeviceArea");
    if (const int status = CheckInitialized(trace)) return status;
    if (area < EFWUPDATE_DEVICE_AREA_OPCODE || area > EFWUPDATE_DEVICE_AREA_RMM) {
        return DUVANE_NOT_SELECTED;
    }
    g_fw.engine->SelectDeviceArea(area);
    // Every loaded image follows, so that an image loaded after the
    // selection answers for the same area.
    for (const auto& file : g_fw.files) {
        if (file != nullptr) file->SelectDeviceArea(area);
    }
    g_fw.deviceAreaSelected = true;
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::GetVersionFromFile(Table, wchar_t*& version) {
    CTrace trace = EntryTrace(L"GetVersionFromFile");
    CfwFile* image = nullptr;
    if (const int status = CheckImage(trace, image)) return status;
    if (!g_fw.deviceAreaSelected) return DUVANE_NOT_SELECTED;
    image->GetVersion(version);
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::GetDeviceAddressFromFile(Table, unsigned char& slaveAddress) {
    CTrace trace = EntryTrace(L"GetDeviceAddressFromFile");
    CfwFile* image = nullptr;
    if (const int status = CheckImage(trace, image)) return status;
    image->GetDeviceAddress(slaveAddress);
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::GetDeviceNameFromFile(Table, wchar_t*& name) {
    CTrace trace = EntryTrace(L"GetDeviceNameFromFile");
    CfwFile* image = nullptr;
    if (const int status = CheckImage(trace, image)) return status;
    image->GetDeviceName(name);
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::GetBIOSPlatformIdFromFile(Table, wchar_t*& platformId) {
    CTrace trace = EntryTrace(L"GetBIOSPlatformIdFromFile");
    CfwFile* image = nullptr;
    if (const int status = CheckImage(trace, image)) return status;
    image->GetBIOSPlatformId(platformId);
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::GetPiaVersion(Table, unsigned& piaVersion) {
    CTrace trace = EntryTrace(L"GetPiaVersion");
    CfwFile* image = nullptr;
    if (const int status = CheckImage(trace, image)) return status;
    image->GetPiaVersionFromFile(piaVersion);
    return DUVANE_SUCCESS;
}
