// The library's state behind its interface table: the two data sets (the
// BMC's repository and an SDR file), which one is selected, and what both
// share: the platform, the last-error text, the host's display callback,
// the string table and the BMC message records.
#ifndef SRVFW_PEMRIC_PEMRIC_STATE_H
#define SRVFW_PEMRIC_PEMRIC_STATE_H

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "bmc/bmc_exchange.h"
#include "bmc/message.h"
#include "bmc/ordered_list.h"
#include "bmc/string_resource.h"
#include "include/pemric_interface.h"
#include "pemric/sdr_file_lines.h"
#include "pemric/sdr_file_reader.h"
#include "pemric/sdr_progress.h"
#include "pemric/sdr_read_system.h"
#include "pemric/sdr_record_lists.h"
#include "pemric/sdr_texts.h"

namespace Pemric_Private {

inline constexpr std::uint32_t kNothingSelected = 0x7FFFFFFF;

// One data set.
struct PEMRIC {
    PEMRIC() = default;
    ~PEMRIC();
    PEMRIC(const PEMRIC&) = delete;
    PEMRIC& operator=(const PEMRIC&) = delete;

    // Makes ready for a new load: new, empty record lists in place of the
    // old ones, whose records go, and with them the selection of a record
    // and the versions found in them. False, with the old lists kept and
    // the last-error text saying so, when none can be allocated.
    bool StartNewLoad();
    // The record list the selection works on.
    const OrderedList<CSdr*>& SelectedList() const { return lists->byType[recordListIndex]; }
    void ForgetRecordSelection();

    bool initialized = false;
    bool loaded = false;
    bool modified = false;
    std::uint32_t recordListIndex = 0;
    std::uint32_t selectedSdrIndex = kNothingSelected;
    CSdr* selectedSdr = nullptr;
    std::uint32_t selectedField = kNothingSelected;
    std::uint32_t selectedProperty = kNothingSelected;
    SDRPROPERTIES properties;
    // The count the SDR file's header gives (always 0), and the bytes of
    // the records read from the BMC, headers included.
    std::uint16_t fileRecordCount = 0;
    std::uint16_t totalBytes = 0;
    std::array<std::uint8_t, 2> fileHeaderBytes = {0xFF, 0x20};
    unsigned progressInterval = 1;
    std::unique_ptr<SdrRecordLists> lists = std::make_unique<SdrRecordLists>();
    // The tags a commit of the file set writes; owned strings.
    OrderedList<char*> tags;
    std::wstring version;
    std::wstring packageVersion;
    std::wstring language = L"en";
    std::wstring locale = L"us";
    unsigned numberOfSdrs = 0;
    PROGRESS_CALLBACK progressCallback = nullptr;
    // What GetSdrTags hands out for the selected record.
    std::wstring tagsText;
};

extern PEMRIC* g_pSelected;
extern std::unique_ptr<PEMRIC> g_pFileData;
extern std::unique_ptr<PEMRIC> g_pSysData;
extern int g_sdPlatform;
inline constexpr unsigned kErrorMessageLength = 256;
extern std::array<wchar_t, kErrorMessageLength> g_pszErrorMessage;
extern PEMRIC_DISPLAY_CALLBACK p_display;
extern _EFI_SDR_INTERFACE sdrInterface;
extern CSdrFileData sdrFileData;
// The string table both data sets use; records reach it through gTexts.
extern std::unique_ptr<CStringResource> g_pStringTable;
extern const CSdrTexts gTexts;
extern std::unique_ptr<BMC_MESSAGE> ReqMsg;
extern std::unique_ptr<BMC_MESSAGE> RespMsg;

// The last-error text, cut to what g_pszErrorMessage holds.
void SetLastError(const std::wstring& text);

// The sink the file and commit code give their texts to.
struct LastErrorSink : CLastErrorSink {
    void SetLastErrorMessage(const std::wstring& text) override { SetLastError(text); }
};

// The selected set's progress callback.
inline SdrProgress SelectedProgress() {
    return {g_pSelected != nullptr ? g_pSelected->progressCallback : nullptr};
}

// The repository access over the library's message records, reporting to
// the selected set's progress callback.
SdrReadSystem RepositoryAccess();

// Selects a data set for the life of an operation and puts the host's
// selection back at its end, on every way out.
class SelectionKeeper {
  public:
    explicit SelectionKeeper(PEMRIC* selecting) : mPrevious(g_pSelected) {
        g_pSelected = selecting;
    }
    ~SelectionKeeper() { g_pSelected = mPrevious; }
    SelectionKeeper(const SelectionKeeper&) = delete;
    SelectionKeeper& operator=(const SelectionKeeper&) = delete;

  private:
    PEMRIC* mPrevious;
};

}  // namespace Pemric_Private

#endif
