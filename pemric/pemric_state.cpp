#include "pemric/pemric_state.h"

#include <algorithm>
#include <new>

namespace Pemric_Private {

PEMRIC* g_pSelected = nullptr;
std::unique_ptr<PEMRIC> g_pFileData;
std::unique_ptr<PEMRIC> g_pSysData;
int g_sdPlatform = 0;
std::array<wchar_t, kErrorMessageLength> g_pszErrorMessage = {};
PEMRIC_DISPLAY_CALLBACK p_display = nullptr;
CSdrFileData sdrFileData;
std::unique_ptr<CStringResource> g_pStringTable;
const CSdrTexts gTexts{g_pStringTable};
std::unique_ptr<BMC_MESSAGE> ReqMsg;
std::unique_ptr<BMC_MESSAGE> RespMsg;

PEMRIC::~PEMRIC() {
    while (char* tag = tags.RemoveLast()) delete[] tag;
}

void PEMRIC::ForgetRecordSelection() {
    selectedSdrIndex = kNothingSelected;
    selectedSdr = nullptr;
    selectedField = kNothingSelected;
    numberOfSdrs = 0;
}

bool PEMRIC::StartNewLoad() {
    SetLastError(L"Unable to initialize SDR list");
    std::unique_ptr<SdrRecordLists> fresh(new (std::nothrow) SdrRecordLists);
    if (fresh == nullptr) return false;
    ForgetRecordSelection();
    lists = std::move(fresh);
    version.clear();
    packageVersion.clear();
    SetLastError(L"");
    return true;
}

void SetLastError(const std::wstring& text) {
    const std::size_t length = std::min(text.size(), g_pszErrorMessage.size() - 1);
    std::copy_n(text.begin(), length, g_pszErrorMessage.begin());
    g_pszErrorMessage[length] = L'\0';
}

SdrReadSystem RepositoryAccess() {
    return SdrReadSystem({*ReqMsg, *RespMsg}, gTexts, SelectedProgress());
}

}  // namespace Pemric_Private
