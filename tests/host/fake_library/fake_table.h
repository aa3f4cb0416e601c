// The table of a library that exists only for the frame's tests: the entries
// every library's table has, one entry of work, and a script the test sets
// through the library itself to make any entry fail.
#ifndef SRVFW_TESTS_HOST_FAKE_LIBRARY_FAKE_TABLE_H
#define SRVFW_TESTS_HOST_FAKE_LIBRARY_FAKE_TABLE_H

#include <cstdint>
#include <string>
#include <vector>

#include "include/progress_callback.h"

struct FAKE_TABLE;
using FAKE_DISPLAY_CALLBACK = void (*)(const wchar_t* text);

struct FAKE_TABLE {
    std::uint32_t Revision;
    std::uint32_t (*Initialize)(FAKE_TABLE*, int platform);
    std::uint32_t (*DeInitialize)(FAKE_TABLE*);
    std::uint32_t (*GetLastErrorMessage)(FAKE_TABLE*, const wchar_t** text);
    std::uint32_t (*SetLanguageLocale)(FAKE_TABLE*, const wchar_t* language,
                                       const wchar_t* country);
    std::uint32_t (*SetProgressCallback)(FAKE_TABLE*, PROGRESS_CALLBACK callback);
    std::uint32_t (*SetDebugLevel)(FAKE_TABLE*, std::uint32_t level);
    std::uint32_t (*SetDisplayCallback)(FAKE_TABLE*, FAKE_DISPLAY_CALLBACK callback);
    std::uint32_t (*Work)(FAKE_TABLE*, int amount);
};

inline constexpr std::uint32_t kFakeTableRevision = 0x00010000;

// What the fake does: the revision its table says, whether its table lacks
// the Work entry, the status each entry returns (by entry name, 0 when
// absent), the text its last-error entry hands out after a failure, and
// every call it took, one line each ("Initialize 7 in /res").
struct FakeScript {
    std::uint32_t revision = kFakeTableRevision;
    bool withoutWork = false;
    std::vector<std::pair<std::string, std::uint32_t>> statuses;
    std::wstring lastError;
    std::vector<std::string> calls;
};

extern "C" FAKE_TABLE* GetFakeInterface();
extern "C" FakeScript* FakeScriptOf();

#endif
