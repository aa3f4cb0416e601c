// Interface entries: starting and stopping the library, its language, the
// host's callbacks and the last-error text.
#include <new>

#include "bmc/display.h"
#include "bmc/message.h"
#include "bmc/string_locale.h"
#include "duvane/duvane_messages.h"
#include "duvane/duvane_public.h"
#include "duvane/duvane_state.h"
#include "duvane/duvane_status.h"

namespace DirectFwUpdate_Private {

namespace {

constexpr const wchar_t* kStringFile = L"duvane/str/Duvane.str";
constexpr const wchar_t* kStringsUnavailable = L"Unable to initialize DUVANE list";

int LocaleFailure(LocaleSwitch result) {
    cbwprintf(p_display, L"\n*%ls*\n\n", kStringsUnavailable);
    switch (result) {
        case LocaleSwitch::NoTable:
            return DUVANE_STRINGS_NOT_CREATED;
        case LocaleSwitch::CacheFailed:
            return DUVANE_STRINGS_NOT_CACHED;
        case LocaleSwitch::LoadFailed:
        case LocaleSwitch::Switched:
            break;
    }
    return DUVANE_STRINGS_NOT_LOADED;
}

std::unique_ptr<CDuvane> NewEngine() {
    try {
        return std::make_unique<CDuvane>();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

int CheckInitialized(const CTrace& trace) {
    if (g_fw.initialized && g_fw.engine != nullptr) return DUVANE_SUCCESS;
    trace.Failure(L"Uninitialized");
    return DUVANE_NOT_INITIALIZED;
}

int CheckImage(const CTrace& trace, CfwFile*& image) {
    if (const int status = CheckInitialized(trace)) return status;
    image = CurrentImage();
    if (image != nullptr) return DUVANE_SUCCESS;
    trace.Failure(L"Not Loaded");
    return DUVANE_NO_IMAGE;
}

}  // namespace DirectFwUpdate_Private

using namespace DirectFwUpdate_Private;

int DirectFwUpdate_Public::Initialize(Table table, int platform) {
    CTrace trace = EntryTrace(L"Initialize");
    if (table != nullptr && table->DeInitialize != nullptr) {
        table->DeInitialize(table);
    } else {
        DeInitialize(table);
    }
    g_fw.engine = NewEngine();
    if (g_fw.engine == nullptr) {
        trace.Failure(L"Error Creating Engine");
        DeInitialize(table);
        return DUVANE_OUT_OF_MEMORY;
    }
    const LocaleSwitch loaded = SwitchStringLocale(gp_StringResource, L"en", L"us", kStringFile);
    if (loaded != LocaleSwitch::Switched) {
        trace.Failure(L"Error Initializing String Resource");
        DeInitialize(table);
        LocaleFailure(loaded);
        return DUVANE_STRINGS_NOT_LOADED;
    }
    g_fw.initialized = true;
    g_fwdPlatform = platform;
    int type = BMC_TYPE_NONE;
    int ipmiVersion = 0;
    const int status = GetBmcTypeVersion(&type, &ipmiVersion);
    g_fwBmcType = type;
    g_fwIpmiVersion = ipmiVersion;
    if (status != 0 || type == BMC_TYPE_NONE) {
        trace.Failure(L"BMC Not Identified");
        SetErrorMessage(14);
        return DUVANE_BMC_NOT_IDENTIFIED;
    }
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::DeInitialize(Table) {
    CTrace trace = EntryTrace(L"DeInitialize");
    // The slot counters stay: a slot is used once in the life of the process.
    g_fw = {};
    g_numberOfFiles = 0;
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::SetLanguageLocale(Table, const wchar_t* language,
                                             const wchar_t* country) {
    CTrace trace = EntryTrace(L"SetLanguageLocale");
    if (const int status = CheckInitialized(trace)) return status;
    if (language == nullptr || country == nullptr) return LocaleFailure(LocaleSwitch::LoadFailed);
    const LocaleSwitch result =
        SwitchStringLocale(gp_StringResource, language, country, kStringFile);
    if (result == LocaleSwitch::Switched) return DUVANE_SUCCESS;
    trace.Failure(L"Error Initializing String Resource");
    return LocaleFailure(result);
}

int DirectFwUpdate_Public::SetDisplayCallback(Table, DUVANE_DISPLAY_CALLBACK callback) {
    CTrace trace = EntryTrace(L"SetDisplayCallback");
    p_display = callback;
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::SetProgressCallback(Table, PROGRESS_CALLBACK& callback) {
    CTrace trace = EntryTrace(L"SetProgressCallback");
    if (const int status = CheckInitialized(trace)) return status;
    g_fw.progressCallback = callback;
    return DUVANE_SUCCESS;
}

int DirectFwUpdate_Public::GetLastErrorMessage(Table, wchar_t*& message) {
    CTrace trace = EntryTrace(L"GetLastErrorMessage");
    if (const int status = CheckInitialized(trace)) return status;
    message = g_pszErrorMessage.data();
    return DUVANE_SUCCESS;
}
