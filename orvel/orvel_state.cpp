#include "orvel/orvel_state.h"

#include "orvel/orvel_strings.h"
#include "orvel/orvel_text.h"

namespace Orvel_Private {

std::unique_ptr<COrvel> g_Orvel;

namespace {

template <typename T>
void DestroyAll(OrderedList<T*>& list) {
    while (T* item = list.RemoveLast()) delete item;
}

std::wstring DecimalText(std::uint8_t number) {
    return std::to_wstring(unsigned{number});
}

}  // namespace

void CFruProperties::SetIpmiVersion(std::uint8_t version) {
    mIpmiVersion = version;
    const wchar_t* text =
        GetOrvelString(version == 1 ? IDS_IPMI_VERSION_1 : IDS_IPMI_VERSION_OTHER);
    mIpmiVersionText = text != nullptr ? text : L"";
}

void CFruProperties::SetNumberOfFrus(std::uint8_t count) {
    mNumberOfFrus = count;
    mNumberOfFrusText = DecimalText(count);
}

void CFruProperties::SetNumberOfIpmiFrus(std::uint8_t count) {
    mNumberOfIpmiFrus = count;
    mNumberOfIpmiFrusText = DecimalText(count);
}

COrvel::~COrvel() {
    DestroyAll(mFileList);
    DestroyAll(mSystemList);
    DestroyAll(mLocatorList);
}

void COrvel::ResetFruSelection() {
    mSelectedFru = INVALID_SELECTION;
    ResetAreaSelection();
}

void COrvel::ResetAreaSelection() {
    mSelectedArea = FRU_AREA_NONE;
    ResetFieldSelection();
}

CFru* COrvel::SelectedFru() const {
    if (mCurrentList == nullptr || mSelectedFru >= mCurrentList->Count()) return nullptr;
    return (*mCurrentList)[mSelectedFru];
}

}  // namespace Orvel_Private
