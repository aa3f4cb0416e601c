#include "orvel/fru_internal_use_area.h"

#include <algorithm>
#include <cwchar>

#include "orvel/area_text.h"
#include "orvel/orvel_text.h"

namespace Orvel_Private {

namespace {

constexpr const wchar_t* kClass = L"CInternalUseArea";

std::wstring HexText(std::span<const std::uint8_t> bytes) {
    std::wstring text;
    for (const std::uint8_t byte : bytes) {
        wchar_t digits[4];
        std::swprintf(digits, std::size(digits), text.empty() ? L"%02X" : L" %02X", byte);
        text += digits;
    }
    return text;
}

}  // namespace

bool CInternalUseArea::SetData(std::span<const std::uint8_t> bytes, bool modified) {
    CTrace trace(kClass, L"SetData");
    if (bytes.size() > mData.size()) {
        trace.Failure(L"Internal Area Too Big");
        return false;
    }
    std::ranges::copy(bytes, mData.begin());
    mLength = static_cast<std::uint32_t>(bytes.size());
    if (modified) mModified = true;
    return true;
}

std::span<const std::uint8_t> CInternalUseArea::GetData() const {
    CTrace trace(kClass, L"GetData");
    return {mData.data(), mLength};
}

std::uint32_t CInternalUseArea::GetLength() const {
    CTrace trace(kClass, L"GetLength");
    return mLength;
}

bool CInternalUseArea::IsValid() const {
    CTrace trace(kClass, L"IsValid");
    return true;
}

std::uint32_t CInternalUseArea::GetNumberOfFields() const {
    CTrace trace(kClass, L"GetNumberOfFields");
    return mLength > 0 ? 1 : 0;
}

std::uint32_t CInternalUseArea::GetFieldIndexFromEnum(std::uint32_t field) const {
    CTrace trace(kClass, L"GetFieldIndexFromEnum");
    return field == FRU_FIELD_INTERNAL_USE_DATA ? 0 : INVALID_SELECTION;
}

const wchar_t* CInternalUseArea::GetFieldTitleFromIndex(std::uint32_t index) const {
    CTrace trace(kClass, L"GetFieldTitleFromIndex");
    return index < GetNumberOfFields() ? GetOrvelString(IDS_TITLE_INTERNAL_USE) : nullptr;
}

const wchar_t* CInternalUseArea::GetFieldValueFromIndex(std::uint32_t index) {
    CTrace trace(kClass, L"GetFieldValueFromIndex");
    if (index >= GetNumberOfFields()) return NoSuchField(trace);
    return KeepAreaText(mText, trace, [this] { return HexText({mData.data(), mLength}); });
}

bool CInternalUseArea::IsModified() const {
    CTrace trace(kClass, L"IsModified");
    return mModified;
}

void CInternalUseArea::ResetIsModified() {
    CTrace trace(kClass, L"ResetIsModified");
    mModified = false;
}

}  // namespace Orvel_Private
