// Interface entries: the selection cursor over lists and FRUs, and what a
// selected FRU tells about itself.
#include "orvel/entry_checks.h"
#include "orvel/orvel_public.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_strings.h"

namespace Orvel_Private {
namespace {

bool Matches(const FRU_LOCATOR& locator, FRU_TYPE type, std::uint8_t lun, std::uint8_t slaveAddress,
             std::uint8_t bus, std::uint8_t controllerAddress, std::uint8_t fruDeviceId) {
    return locator.mType == type && locator.mLun == lun && locator.mSlaveAddress == slaveAddress &&
           locator.mBus == bus && locator.mControllerAddress == controllerAddress &&
           locator.mFruDeviceId == fruDeviceId;
}

// Answers a question about the selected FRU.
template <typename T, typename Question>
std::uint32_t AskFru(const wchar_t* entry, T* answer, Question question) {
    return AnswerEntry(entry, Needs::Fru, answer,
                       [question] { return (g_Orvel->SelectedFru()->*question)(); });
}

}  // namespace
}  // namespace Orvel_Private

using namespace Orvel_Private;

std::uint32_t SelectList(EFI_FRU_INTERFACE*, int list) {
    CTrace trace = EntryTrace(L"SelectList");
    if (const std::uint32_t status = CheckEntry(Needs::Loaded, trace)) return status;
    COrvel& state = *g_Orvel;
    state.ResetFruSelection();
    switch (list) {
        case FRU_LIST_SYSTEM:
            state.mCurrentList = &state.mSystemList;
            break;
        case FRU_LIST_FILE:
            state.mCurrentList = &state.mFileList;
            break;
        default:
            state.mSelectedList = FRU_LIST_NONE;
            state.mCurrentList = nullptr;
            return EntryFailure(trace, ORVEL_ERROR_OUT_OF_RANGE, IDS_UNEXPECTED);
    }
    state.mSelectedList = static_cast<std::uint32_t>(list);
    return ORVEL_SUCCESS;
}

namespace Orvel_Public {

// The system list answers (known locations, FRUs read); the file list gives
// its number of FRUs twice.
u32 GetNumberOfFrus(Table, u32* first, u32* second) {
    CTrace trace = EntryTrace(L"GetNumberOfFrus");
    if (const u32 status = CheckEntry(Needs::List, trace)) return status;
    if (first == nullptr || second == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    const COrvel& state = *g_Orvel;
    if (state.mSelectedList == FRU_LIST_SYSTEM) {
        *first = state.mLocatorList.Count();
        *second = state.mSystemList.Count();
    } else {
        *first = *second = state.mFileList.Count();
    }
    return ORVEL_SUCCESS;
}

u32 SelectFru(Table, u32 index) {
    CTrace trace = EntryTrace(L"SelectFru");
    if (const u32 status = CheckEntry(Needs::List, trace)) return status;
    COrvel& state = *g_Orvel;
    state.ResetFruSelection();
    if (index >= state.mCurrentList->Count()) {
        return EntryFailure(trace, ORVEL_ERROR_OUT_OF_RANGE, IDS_UNEXPECTED);
    }
    state.mSelectedFru = index;
    return ORVEL_SUCCESS;
}

// The mBMC values are carried by a locator, not part of where it points.
u32 SelectFruByAddress(Table, FRU_TYPE type, u8 lun, u8 slaveAddress, u8 bus, u8 controllerAddress,
                       u8 fruDeviceId, u8, u16) {
    CTrace trace = EntryTrace(L"SelectFruByAddress");
    if (const u32 status = CheckEntry(Needs::List, trace)) return status;
    COrvel& state = *g_Orvel;
    state.ResetFruSelection();
    const OrderedList<CFru*>& list = *state.mCurrentList;
    for (u32 index = 0; index < list.Count(); ++index) {
        if (Matches(list[index]->GetDevLocator(), type, lun, slaveAddress, bus, controllerAddress,
                    fruDeviceId)) {
            state.mSelectedFru = index;
            return ORVEL_SUCCESS;
        }
    }
    return EntryFailure(trace, ORVEL_ERROR_OUT_OF_RANGE, IDS_FRU_NOT_FOUND, L"Error - Not Found");
}

u32 GetFruName(Table, const wchar_t** name) {
    return AskFru(L"GetFruName", name, &CFru::GetFruNameString);
}

u32 GetFruAddress(Table, FRU_TYPE* type, u8* lun, u8* slaveAddress, u8* bus, u8* controllerAddress,
                  u8* fruDeviceId, u8* mbmcSizeData, u16* mbmcSizeAddress) {
    CTrace trace = EntryTrace(L"GetFruAddress");
    if (type == nullptr || lun == nullptr || slaveAddress == nullptr || bus == nullptr ||
        controllerAddress == nullptr || fruDeviceId == nullptr || mbmcSizeData == nullptr ||
        mbmcSizeAddress == nullptr) {
        return ORVEL_ERROR_NOT_INITIALIZED;
    }
    *type = FRU_NVS_NONE;
    *lun = *slaveAddress = *bus = *controllerAddress = *fruDeviceId = *mbmcSizeData = 0;
    *mbmcSizeAddress = 0;
    if (const u32 status = CheckEntry(Needs::Fru, trace)) return status;
    const FRU_LOCATOR& locator = g_Orvel->SelectedFru()->GetDevLocator();
    *type = locator.mType;
    *lun = locator.mLun;
    *slaveAddress = locator.mSlaveAddress;
    *bus = locator.mBus;
    *controllerAddress = locator.mControllerAddress;
    *fruDeviceId = locator.mFruDeviceId;
    *mbmcSizeData = locator.mMbmcSizeData;
    *mbmcSizeAddress = locator.mMbmcSizeAddress;
    return ORVEL_SUCCESS;
}

u32 HasInternalUseArea(Table, bool* has) {
    return AskFru(L"HasInternalUseArea", has, &CFru::HasInternalArea);
}
u32 HasBoardArea(Table, bool* has) {
    return AskFru(L"HasBoardArea", has, &CFru::HasBoardArea);
}
u32 HasProductArea(Table, bool* has) {
    return AskFru(L"HasProductArea", has, &CFru::HasProductArea);
}
u32 HasChassisArea(Table, bool* has) {
    return AskFru(L"HasChassisArea", has, &CFru::HasChassisArea);
}
u32 HasMultiRecordArea(Table, bool* has) {
    return AskFru(L"HasMultiRecordArea", has, &CFru::HasMultiRecArea);
}

u32 GetNumberOfAreas(Table, u32* count) {
    return AskFru(L"GetNumberOfAreas", count, &CFru::GetNumberOfAreas);
}

}  // namespace Orvel_Public
