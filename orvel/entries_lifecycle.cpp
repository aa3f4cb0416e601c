// Interface entries: starting and stopping the library, its language, the
// host's callbacks and the last-error text.
#include <array>
#include <cstring>
#include <new>

#include "bmc/debug_log.h"
#include "bmc/message.h"
#include "bmc/string_locale.h"
#include "orvel/entry_checks.h"
#include "orvel/last_error.h"
#include "orvel/orvel_globals.h"
#include "orvel/orvel_public.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_text.h"

namespace Orvel_Private {

// The password a host may hand over; nothing in this library reads it.
constexpr std::size_t kMaxPasswordLength = 16;
std::array<char, kMaxPasswordLength + 1> gPwd{};
bool mPasswordSet = false;

}  // namespace Orvel_Private

namespace Orvel_Public {

using namespace Orvel_Private;

u32 Initialize(Table table, int platform) {
    CTrace trace = EntryTrace(L"Initialize");
    BmcLibInitialize();
    ClearLastError();
    g_fdPlatform = platform;
    ReqMsg.reset(new (std::nothrow) BMC_MESSAGE{});
    RespMsg.reset(new (std::nothrow) BMC_MESSAGE{});
    if (ReqMsg == nullptr || RespMsg == nullptr) return ORVEL_ERROR_INITIALIZE;
    g_Orvel.reset(new (std::nothrow) COrvel);
    if (g_Orvel == nullptr) return ORVEL_ERROR_INITIALIZE;
    if (table != nullptr && table->SetLanguageLocale != nullptr &&
        table->SetLanguageLocale(table, L"en", L"us") != ORVEL_SUCCESS) {
        g_Orvel.reset();
        return ORVEL_ERROR_INITIALIZE;
    }
    g_fInitialized = true;
    return ORVEL_SUCCESS;
}

u32 DeInitialize(Table) {
    CTrace trace = EntryTrace(L"DeInitialize");
    if (g_Orvel != nullptr && !g_fInitialized) return ORVEL_ERROR_NOT_INITIALIZED;
    ReqMsg.reset();
    RespMsg.reset();
    g_Orvel.reset();
    g_fInitialized = false;
    g_pStringResource.reset();
    return ORVEL_SUCCESS;
}

u32 IsLoaded(Table, bool* loaded) {
    return AnswerEntry(L"IsLoaded", Needs::Initialized, loaded, [] { return g_Orvel->mLoaded; });
}

u32 IsModified(Table, bool* modified) {
    return AnswerEntry(L"IsModified", Needs::Loaded, modified, [] { return g_Orvel->mModified; });
}

// The text handed out stays intact until the second call after this one.
u32 GetLastErrorMessage(Table, const wchar_t** text) {
    CTrace trace = EntryTrace(L"GetLastErrorMessage");
    if (text == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    *text = nullptr;
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    const wchar_t* current = TakeLastError();
    if (current[0] != L'\0') *text = current;
    return ORVEL_SUCCESS;
}

// The old table stays in use unless the new one loads completely.
u32 SetLanguageLocale(Table, const wchar_t* language, const wchar_t* country) {
    CTrace trace = EntryTrace(L"SetLanguageLocale");
    switch (SwitchStringLocale(g_pStringResource, language, country, L"orvel/str/orvel.str")) {
        case LocaleSwitch::Switched:
            return ORVEL_SUCCESS;
        case LocaleSwitch::NoTable:
            trace.Failure(L"Memory Allocation Error");
            return ORVEL_ERROR_MEMORY;
        case LocaleSwitch::LoadFailed:
        case LocaleSwitch::CacheFailed:
            break;
    }
    trace.Failure(L"Error Initializing String Resource");
    return ORVEL_ERROR_STRING_TABLE;
}

u32 SetProgressCallback(Table, PROGRESS_CALLBACK callback) {
    CTrace trace = EntryTrace(L"SetProgressCallback");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    g_Orvel->mProgressCallback = callback;
    return ORVEL_SUCCESS;
}

u32 SetProgressCallbackInterval(Table, u32 interval) {
    CTrace trace = EntryTrace(L"SetProgressCallbackInterval");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    g_Orvel->mProgressInterval = interval;
    return ORVEL_SUCCESS;
}

u32 SetDebugLevel(Table, u32 level) {
    CTrace trace = EntryTrace(L"SetDebugLevel");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    SetLibDebugLevel(level);
    return ORVEL_SUCCESS;
}

u32 SetDisplayCallback(Table, ORVEL_DISPLAY_CALLBACK callback) {
    CTrace trace = EntryTrace(L"SetDisplayCallback");
    p_display = callback;
    return ORVEL_SUCCESS;
}

// A password longer than gPwd holds is refused whole: a cut password would
// silently be a different one.
u32 SetPwd(Table, const char* password, u32) {
    CTrace trace = EntryTrace(L"SetPwd");
    if (password == nullptr || strnlen(password, kMaxPasswordLength + 1) > kMaxPasswordLength) {
        trace.Failure(L"Password Too Long");
        return ORVEL_ERROR_OUT_OF_RANGE;
    }
    std::strcpy(gPwd.data(), password);
    mPasswordSet = true;
    return ORVEL_SUCCESS;
}

}  // namespace Orvel_Public
