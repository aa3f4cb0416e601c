// Interface entries for the repository's properties: its SDR version,
// record count, free space and timestamps, as titles and values.
#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <string>

#include "bmc/wide_format.h"
#include "pemric/pemric_public.h"
#include "pemric/pemric_state.h"
#include "pemric/pemric_status.h"
#include "pemric/string_ids.h"

using namespace Pemric_Private;

namespace {

// Properties 0..4, and 5 (whether the repository is full) only when it is.
constexpr unsigned kPropertyCount = 5;
constexpr unsigned kPropertyCountWhenFull = 6;
// A title-less copy of property 5 follows it.
constexpr unsigned kLastProperty = 6;

std::wstring Formatted(const wchar_t* format, ...) {
    std::array<wchar_t, SDR_PROPERTY_TEXT_LENGTH> text{};
    va_list arguments;
    va_start(arguments, format);
    FormatWideText(text, format, arguments);
    va_end(arguments);
    return text.data();
}

// A repository timestamp: none, one counted from the BMC's start (IPMI
// gives the values up to 20000000h that meaning), or a UTC date.
std::wstring DecodeTimeStamp(std::uint32_t seconds) {
    if (seconds == 0xFFFFFFFF) return gTexts.Text(kTextNoTimestamp);
    if (static_cast<std::int32_t>(seconds) <= 0x1FFFFFFF) {
        return gTexts.Text(kTextTimestampSinceStart);
    }
    const std::time_t time = seconds;
    std::tm utc{};
    if (gmtime_r(&time, &utc) == nullptr) return gTexts.Text(kTextNoTimestamp);
    return Formatted(gTexts.Text(kFormatTimestamp), utc.tm_mon + 1, utc.tm_mday, utc.tm_year + 1900,
                     utc.tm_hour, utc.tm_min, utc.tm_sec);
}

bool RepositoryFull(const SDRPROPERTIES& properties) {
    return properties.freeSpace == 0;
}

std::wstring PropertyTitle(unsigned index) {
    static constexpr unsigned kTitles[] = {kTitleRepositoryVersion, kTitleRecordCount,
                                           kTitleFreeSpace,         kTitleAdditionTime,
                                           kTitleEraseTime,         kTitleRepositoryFull};
    return index < std::size(kTitles) ? gTexts.Text(kTitles[index]) : L"";
}

std::wstring PropertyValue(unsigned index, const SDRPROPERTIES& properties) {
    switch (index) {
        case 0:
            return Formatted(L"%d.%d", properties.sdrVersion & 0x0F, properties.sdrVersion >> 4);
        case 1:
            return Formatted(L"%d", properties.recordCount);
        case 2:
            return Formatted(L"%d", properties.freeSpace);
        case 3:
            return DecodeTimeStamp(properties.additionTimestamp);
        case 4:
            return DecodeTimeStamp(properties.eraseTimestamp);
        default:
            return RepositoryFull(properties) ? gTexts.Text(kTextRepositoryFull) : L"";
    }
}

// The property's text into the host's buffer; a property past the last
// leaves the buffer as it is.
template <typename Text>
std::uint32_t CopyProperty(const wchar_t* name, wchar_t* buffer, Text text) {
    CTrace trace = EntryTrace(name);
    if (const std::uint32_t status = CheckEntry(Needs::Loaded, trace)) return status;
    const std::uint32_t index = g_pSelected->selectedProperty;
    if (index == kNothingSelected) {
        trace.Failure(L"Property Not Selected");
        return PEMRIC_PROPERTY_NOT_SELECTED;
    }
    if (index > kLastProperty || buffer == nullptr) return PEMRIC_SUCCESS;
    const std::wstring value = text(index);
    const std::size_t length = std::min<std::size_t>(value.size(), SDR_PROPERTY_TEXT_LENGTH - 1);
    std::wmemcpy(buffer, value.data(), length);
    buffer[length] = L'\0';
    return PEMRIC_SUCCESS;
}

}  // namespace

Pemric_Public::u32 Pemric_Public::GetNumberOfProperties(Table, unsigned& count) {
    CTrace trace = EntryTrace(L"GetNumberOfProperties");
    if (const u32 status = CheckEntry(Needs::Loaded, trace)) return status;
    count = RepositoryFull(g_pSelected->properties) ? kPropertyCountWhenFull : kPropertyCount;
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::SelectProperty(Table, unsigned index) {
    CTrace trace = EntryTrace(L"SelectProperty");
    if (const u32 status = CheckEntry(Needs::Loaded, trace)) return status;
    g_pSelected->selectedProperty = index;
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::GetPropertyTitle(Table, wchar_t*& buffer) {
    return CopyProperty(L"GetPropertyTitle", buffer, PropertyTitle);
}

Pemric_Public::u32 Pemric_Public::GetPropertyValue(Table, wchar_t*& buffer) {
    return CopyProperty(L"GetPropertyValue", buffer, [](unsigned index) {
        return PropertyValue(index, g_pSelected->properties);
    });
}
