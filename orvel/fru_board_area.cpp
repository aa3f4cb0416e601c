#include "orvel/fru_board_area.h"

#include <algorithm>
#include <ctime>

#include "orvel/area_text.h"
#include "orvel/last_error.h"
#include "orvel/orvel_strings.h"
#include "orvel/orvel_text.h"

namespace Orvel_Private {

namespace {

constexpr const wchar_t* kClass = L"CBoardInfoArea";
constexpr const wchar_t* kSetters[] = {L"SetManufacturer", L"SetProductName", L"SetSerialNumber",
                                       L"SetPartNumber", L"SetFruFileId"};
constexpr CInfoAreaLayout kLayout{
    .className = kClass,
    .areaByteCount = 1 + kMfgDateTimeLength,
    .itemOffset = 1,
    .itemLength = kMfgDateTimeLength,
    .firstField = FRU_FIELD_BOARD_MFG_DATE_TIME,
    .firstTitle = IDS_TITLE_MFG_DATE_TIME,
    .fieldSetters = kSetters,
    .reportsRefusals = true,
    .tooLongWords = L"FRU Data too long",
};

}  // namespace

CBoardInfoArea::CBoardInfoArea() : CFruInfoArea(kLayout) {}

const wchar_t* CBoardInfoArea::GetFieldValueFromIndex(std::uint32_t index) {
    if (index != 0) return CFruInfoArea::GetFieldValueFromIndex(index);
    CTrace trace(kClass, L"GetFieldValueFromIndex");
    // Zero minutes is the format's "unspecified", not 1996-01-01 00:00.
    const auto date = GetMfgDateTime();
    if (std::ranges::all_of(date, [](std::uint8_t byte) { return byte == 0; })) {
        return KeepAreaText(mText, trace,
                            [] { return FormatOrvelString(IDS_MFG_DATE_UNSPECIFIED); });
    }
    const std::time_t seconds = MfgDateTimeToUnixTime(date);
    std::tm utc{};
    if (::gmtime_r(&seconds, &utc) == nullptr) {
        trace.Failure(L"Invalid Mfg Date Time");
        SetLastErrorString(IDS_MFG_DATE_TIME_UNREADABLE);
        return nullptr;
    }
    return KeepAreaText(mText, trace, [&utc] {
        return FormatOrvelString(IDS_MFG_DATE_TIME, utc.tm_mon + 1, utc.tm_mday, utc.tm_year + 1900,
                                 utc.tm_hour, utc.tm_min, utc.tm_sec);
    });
}

bool CBoardInfoArea::SetFieldData(std::uint32_t index, const std::uint8_t* bytes,
                                  std::uint32_t length, FRU_FIELD_TYPE type) {
    if (index != 0) return CFruInfoArea::SetFieldData(index, bytes, length, type);
    CTrace trace(kClass, L"SetFieldData");
    if (bytes == nullptr || length != kMfgDateTimeLength) {
        trace.Failure(L"Invalid Mfg Date Time");
        SetLastErrorString(IDS_INVALID_MFG_DATE_TIME);
        return false;
    }
    std::copy_n(bytes, kMfgDateTimeLength, Item().begin());
    ContentChanged();
    return true;
}

}  // namespace Orvel_Private
