// Interface entries: starting and stopping the library, its language, the
// host's callbacks, the last-error text and the choice of data set.
#include <new>

#include "bmc/debug_log.h"
#include "bmc/string_locale.h"
#include "pemric/pemric_public.h"
#include "pemric/pemric_state.h"
#include "pemric/pemric_status.h"

namespace Pemric_Private {

namespace {

constexpr const wchar_t* kStringFile = L"pemric/str/Pemric.str";
constexpr const wchar_t* kStringFileMissing = L"Unable to open Pemric.str file.";

// A data set as Initialize leaves it: nothing selected or loaded, the
// defaults, initialised.
std::unique_ptr<PEMRIC> NewDataSet() {
    std::unique_ptr<PEMRIC> set(new (std::nothrow) PEMRIC);
    if (set != nullptr) set->initialized = true;
    return set;
}

// Loads the table for the language and locale; the old one stays in use
// unless the new one loads whole.
bool LoadStringTable(const wchar_t* language, const wchar_t* locale) {
    SetLastError(kStringFileMissing);
    if (SwitchStringLocale(g_pStringTable, language, locale, kStringFile) !=
        LocaleSwitch::Switched) {
        return false;
    }
    SetLastError(L"");
    return true;
}

}  // namespace

std::uint32_t CheckEntry(Needs needs, const CTrace& trace) {
    if (g_pFileData == nullptr || g_pSysData == nullptr || !g_pFileData->initialized ||
        !g_pSysData->initialized) {
        trace.Failure(L"Uninitialized");
        return PEMRIC_NOT_INITIALIZED;
    }
    if (needs == Needs::Loaded && !g_pSelected->loaded) {
        trace.Failure(L"Not Loaded");
        return PEMRIC_NOT_LOADED;
    }
    return PEMRIC_SUCCESS;
}

}  // namespace Pemric_Private

using namespace Pemric_Private;

Pemric_Public::u32 Pemric_Public::Initialize(Table table, int platform) {
    CTrace trace = EntryTrace(L"Initialize");
    BmcLibInitialize();
    if ((g_pFileData != nullptr || g_pSysData != nullptr) && table != nullptr &&
        table->DeInitialize != nullptr) {
        table->DeInitialize(table);
    }
    ReqMsg.reset(new (std::nothrow) BMC_MESSAGE{});
    RespMsg.reset(new (std::nothrow) BMC_MESSAGE{});
    g_pFileData = NewDataSet();
    g_sdPlatform = platform;
    g_pSysData = NewDataSet();
    if (g_pFileData == nullptr || g_pSysData == nullptr || ReqMsg == nullptr ||
        RespMsg == nullptr) {
        trace.Failure(L"Error Loading PEMRIC");
        g_pFileData.reset();
        g_pSysData.reset();
        return PEMRIC_CREATE_FAILED;
    }
    g_pSelected = g_pFileData.get();
    if (!LoadStringTable(g_pFileData->language.c_str(), g_pFileData->locale.c_str())) {
        trace.Failure(L"Uninitialized");
        return PEMRIC_NOT_INITIALIZED;
    }
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::DeInitialize(Table) {
    CTrace trace = EntryTrace(L"DeInitialize");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    g_pSelected = nullptr;
    g_pFileData.reset();
    g_pSysData.reset();
    g_pStringTable.reset();
    ReqMsg.reset();
    RespMsg.reset();
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::IsLoaded(Table, bool& loaded) {
    CTrace trace = EntryTrace(L"IsLoaded");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    loaded = g_pSelected->loaded;
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::IsModified(Table, bool& modified) {
    CTrace trace = EntryTrace(L"IsModified");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    modified = g_pSelected->modified;
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::SetProgressCallback(Table, PROGRESS_CALLBACK callback) {
    CTrace trace = EntryTrace(L"SetProgressCallback");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    g_pFileData->progressCallback = callback;
    g_pSysData->progressCallback = callback;
    return PEMRIC_SUCCESS;
}

// Kept for the host; progress is reported at every step.
Pemric_Public::u32 Pemric_Public::SetProgressCallbackInterval(Table, unsigned interval) {
    CTrace trace = EntryTrace(L"SetProgressCallbackInterval");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    g_pFileData->progressInterval = interval;
    g_pSysData->progressInterval = interval;
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::SetLanguageLocale(Table, wchar_t* language, wchar_t* locale) {
    CTrace trace = EntryTrace(L"SetLanguageLocale");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    if (language == nullptr || locale == nullptr) {
        trace.Failure(L"Language Or Locale Missing");
        return PEMRIC_LANGUAGE_MISSING;
    }
    // Two characters each, as the string file's folder names them.
    const std::wstring newLanguage = std::wstring(language).substr(0, 2);
    const std::wstring newLocale = std::wstring(locale).substr(0, 2);
    for (PEMRIC* set : {g_pFileData.get(), g_pSysData.get()}) {
        set->language = newLanguage;
        set->locale = newLocale;
    }
    if (!LoadStringTable(newLanguage.c_str(), newLocale.c_str())) {
        trace.Failure(L"Error Initializing String Resource");
        return PEMRIC_NOT_INITIALIZED;
    }
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::SetDebugLevel(Table, unsigned level) {
    CTrace trace = EntryTrace(L"SetDebugLevel");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    SetLibDebugLevel(level);
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::SetDisplayCallback(Table, PEMRIC_DISPLAY_CALLBACK callback) {
    CTrace trace = EntryTrace(L"SetDisplayCallback");
    p_display = callback;
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::GetLastErrorMessage(Table, wchar_t*& text) {
    CTrace trace = EntryTrace(L"GetLastErrorMessage");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    text = g_pszErrorMessage.data();
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::SelectSysData(Table) {
    CTrace trace = EntryTrace(L"SelectSysData");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    g_pSelected = g_pSysData.get();
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::SelectFileData(Table) {
    CTrace trace = EntryTrace(L"SelectFileData");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    g_pSelected = g_pFileData.get();
    return PEMRIC_SUCCESS;
}
