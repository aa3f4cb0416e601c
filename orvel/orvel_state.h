// The library-wide state object behind the interface table: the loaded
// FRUs, the selection cursor (list, FRU, area, field), the properties and
// the host's callbacks.
#ifndef SRVFW_ORVEL_ORVEL_STATE_H
#define SRVFW_ORVEL_ORVEL_STATE_H

#include <cstdint>
#include <memory>
#include <string>

#include "bmc/ordered_list.h"
#include "include/orvel_interface.h"
#include "orvel/fru.h"
#include "orvel/fru_defs.h"

namespace Orvel_Private {

class CFruProperties {
  public:
    // The version text is a copy of the text for 1.0 or for any other
    // version; each number's text is rebuilt when the number is set.
    void SetIpmiVersion(std::uint8_t version);
    void SetNumberOfFrus(std::uint8_t count);
    void SetNumberOfIpmiFrus(std::uint8_t count);

    const std::wstring& GetIpmiVersionText() const { return mIpmiVersionText; }
    const std::wstring& GetNumberOfFrusText() const { return mNumberOfFrusText; }
    const std::wstring& GetNumberOfIpmiFrusText() const { return mNumberOfIpmiFrusText; }

  private:
    std::uint8_t mIpmiVersion = 0;
    std::uint8_t mNumberOfFrus = 0;
    std::uint8_t mNumberOfIpmiFrus = 0;
    std::wstring mIpmiVersionText;
    std::wstring mNumberOfFrusText;
    std::wstring mNumberOfIpmiFrusText;
};

class COrvel {
  public:
    COrvel() = default;
    // Destroys every FRU and locator of the lists.
    ~COrvel();
    COrvel(const COrvel&) = delete;
    COrvel& operator=(const COrvel&) = delete;

    // Selecting at one level clears every level below it.
    void ResetFruSelection();
    void ResetAreaSelection();
    void ResetFieldSelection() { mSelectedField = INVALID_SELECTION; }

    // The selected FRU of the current list; null when none is selected.
    CFru* SelectedFru() const;

    bool mLoaded = false;
    bool mModified = false;  // no operation sets it
    bool mPropertiesLoaded = false;
    std::uint32_t mSelectedList = FRU_LIST_NONE;
    std::uint32_t mSelectedFru = INVALID_SELECTION;
    std::uint32_t mSelectedArea = FRU_AREA_NONE;
    std::uint32_t mSelectedField = INVALID_SELECTION;
    std::uint32_t mSelectedProperty = INVALID_SELECTION;
    CFruProperties mProperties;
    PROGRESS_CALLBACK mProgressCallback = nullptr;
    std::uint32_t mProgressInterval = 1;  // kept for the host; nothing paces by it
    OrderedList<CFru*> mFileList;
    OrderedList<CFru*> mSystemList;
    OrderedList<CFru*>* mCurrentList = nullptr;
    OrderedList<FRU_LOCATOR*> mLocatorList;  // no operation adds to it
};

extern std::unique_ptr<COrvel> g_Orvel;

}  // namespace Orvel_Private

#endif
