#include <unistd.h>

#include <string>

#include "tests/host/fake_library/fake_table.h"

namespace {

FakeScript gScript;
FAKE_TABLE gTable{};
bool gHasLastError = false;

std::uint32_t Answer(const std::string& call) {
    gScript.calls.push_back(call);
    const std::string entry = call.substr(0, call.find(' '));
    for (const auto& [name, status] : gScript.statuses) {
        if (name == entry) {
            gHasLastError = status != 0 && !gScript.lastError.empty();
            return status;
        }
    }
    return 0;
}

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; text != nullptr && *text != 0; ++text) narrow += static_cast<char>(*text);
    return narrow;
}

std::uint32_t Initialize(FAKE_TABLE*, int platform) {
    char folder[4096] = {};
    const std::string where = getcwd(folder, sizeof folder) != nullptr ? folder : "?";
    return Answer("Initialize " + std::to_string(platform) + " in " + where);
}
std::uint32_t DeInitialize(FAKE_TABLE*) {
    return Answer("DeInitialize");
}
std::uint32_t GetLastErrorMessage(FAKE_TABLE*, const wchar_t** text) {
    gScript.calls.push_back("GetLastErrorMessage");
    *text = gHasLastError ? gScript.lastError.c_str() : nullptr;
    gHasLastError = false;
    return 0;
}
std::uint32_t SetLanguageLocale(FAKE_TABLE*, const wchar_t* language, const wchar_t* country) {
    return Answer("SetLanguageLocale " + Narrow(language) + " " + Narrow(country));
}
std::uint32_t SetProgressCallback(FAKE_TABLE*, PROGRESS_CALLBACK callback) {
    return Answer(std::string("SetProgressCallback ") + (callback != nullptr ? "set" : "null"));
}
std::uint32_t SetDebugLevel(FAKE_TABLE*, std::uint32_t level) {
    return Answer("SetDebugLevel " + std::to_string(level));
}
std::uint32_t SetDisplayCallback(FAKE_TABLE*, FAKE_DISPLAY_CALLBACK callback) {
    return Answer(std::string("SetDisplayCallback ") + (callback != nullptr ? "set" : "null"));
}
std::uint32_t Work(FAKE_TABLE*, int amount) {
    return Answer("Work " + std::to_string(amount));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) FAKE_TABLE* GetFakeInterface() {
    gTable =
        FAKE_TABLE{gScript.revision,    Initialize,         DeInitialize,
                   GetLastErrorMessage, SetLanguageLocale,  SetProgressCallback,
                   SetDebugLevel,       SetDisplayCallback, gScript.withoutWork ? nullptr : Work};
    return &gTable;
}

extern "C" __attribute__((visibility("default"))) FakeScript* FakeScriptOf() {
    return &gScript;
}
