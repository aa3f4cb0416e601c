#include "orvel/fru_chassis_area.h"

#include "orvel/area_text.h"
#include "orvel/orvel_strings.h"
#include "orvel/orvel_text.h"

namespace Orvel_Private {

namespace {

constexpr const wchar_t* kClass = L"CChassisInfoArea";
constexpr const wchar_t* kSetters[] = {L"SetPartNumber", L"SetSerialNumber"};
constexpr CInfoAreaLayout kLayout{
    .className = kClass,
    .areaByteCount = 1,
    .itemOffset = 0,
    .itemLength = 1,
    .firstField = FRU_FIELD_CHASSIS_TYPE,
    .firstTitle = IDS_TITLE_CHASSIS_TYPE,
    .fieldSetters = kSetters,
    .reportsRefusals = false,
    .tooLongWords = L"FRU Data too long",
};

}  // namespace

CChassisInfoArea::CChassisInfoArea() : CFruInfoArea(kLayout) {}

const wchar_t* CChassisInfoArea::GetFieldValueFromIndex(std::uint32_t index) {
    if (index != 0) return CFruInfoArea::GetFieldValueFromIndex(index);
    CTrace trace(kClass, L"GetFieldValueFromIndex");
    return GetChassisString();
}

bool CChassisInfoArea::SetFieldData(std::uint32_t index, const std::uint8_t* bytes,
                                    std::uint32_t length, FRU_FIELD_TYPE type) {
    if (index != 0) return CFruInfoArea::SetFieldData(index, bytes, length, type);
    CTrace trace(kClass, L"SetFieldData");
    if (bytes == nullptr || length != 1 || bytes[0] < kMinChassisType ||
        bytes[0] > kMaxChassisType) {
        trace.Failure(L"Invalid Chassis Type");
        return false;
    }
    Item()[0] = bytes[0];
    ContentChanged();
    return true;
}

const wchar_t* CChassisInfoArea::GetChassisString() {
    CTrace trace(kClass, L"GetChassisString");
    const std::uint8_t type = GetChassisType();
    const unsigned number = GetChassisTypeStringNumber(type);
    return KeepAreaText(mText, trace, [type, number] {
        if (number == IDS_CHASSIS_TYPE_UNNAMED) return FormatOrvelString(number, unsigned{type});
        const wchar_t* name = GetOrvelString(number);
        return std::wstring(name != nullptr ? name : L"");
    });
}

unsigned CChassisInfoArea::GetChassisTypeStringNumber(std::uint8_t type) {
    CTrace trace(kClass, L"GetChassisTypeStringNumber");
    if (type < kMinChassisType || type > kMaxChassisType) return IDS_CHASSIS_TYPE_UNNAMED;
    return IDS_CHASSIS_TYPE_NAME_BASE + type;
}

}  // namespace Orvel_Private
