#include "duvane/version_support.h"

#include <cwchar>
#include <cwctype>
#include <optional>
#include <utility>

#include "duvane/duvane_messages.h"
#include "duvane/duvane_status.h"

namespace DirectFwUpdate_Private {

namespace {

using Version = std::pair<unsigned, unsigned>;

// One or two hexadecimal digits.
std::optional<unsigned> HexNumber(const wchar_t*& text) {
    unsigned value = 0;
    int digits = 0;
    while (digits < 2 && std::iswxdigit(*text)) {
        const wchar_t c = *text++;
        value = value * 16 + (std::iswdigit(c) ? c - L'0' : std::towupper(c) - L'A' + 10);
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    return value;
}

// "major.minor", leading blanks allowed; the text after it is the caller's.
std::optional<Version> ReadVersion(const wchar_t*& text) {
    while (std::iswspace(*text)) ++text;
    const auto major = HexNumber(text);
    if (!major || *text != L'.') return std::nullopt;
    ++text;
    const auto minor = HexNumber(text);
    if (!minor) return std::nullopt;
    return Version{*major, *minor};
}

// Whether `version` matches one entry; nullopt when the entry does not read.
std::optional<bool> MatchesEntry(const Version& version, const wchar_t* entry) {
    const bool range = std::wcschr(entry, L'-') != nullptr;
    const bool minimum = !range && std::wcschr(entry, L'+') != nullptr;
    const wchar_t* text = entry;
    const auto first = ReadVersion(text);
    if (!first) return std::nullopt;
    if (minimum) return version >= *first;
    if (!range) return version == *first;
    while (std::iswspace(*text)) ++text;
    if (*text != L'-') return std::nullopt;
    ++text;
    const auto last = ReadVersion(text);
    if (!last) return std::nullopt;
    return *first <= version && version <= *last;
}

}  // namespace

int IsVersionSupported(const wchar_t* version, std::span<const wchar_t* const> list,
                       bool& supported) {
    supported = false;
    const wchar_t* text = version;
    const auto parsed = text != nullptr ? ReadVersion(text) : std::nullopt;
    if (!parsed) {
        SetErrorMessage(28, version != nullptr ? version : L"");
        return DUVANE_BAD_VERSION_TEXT;
    }
    for (const wchar_t* entry : list) {
        const auto matches = entry != nullptr ? MatchesEntry(*parsed, entry) : std::nullopt;
        if (!matches) {
            SetErrorMessage(28, entry != nullptr ? entry : L"");
            return DUVANE_BAD_VERSION_TEXT;
        }
        if (*matches) {
            supported = true;
            return DUVANE_SUCCESS;
        }
    }
    return DUVANE_SUCCESS;
}

}  // namespace DirectFwUpdate_Private
