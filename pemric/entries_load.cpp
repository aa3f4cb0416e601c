// Interface entries that move records: the BMC's repository into the
// system set, an SDR file into the file set, the file set to the BMC and
// the system set to a file, and the repository's information alone.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bmc/display.h"
#include "bmc/message.h"
#include "bmc/wide_file.h"
#include "pemric/pemric_public.h"
#include "pemric/pemric_state.h"
#include "pemric/pemric_status.h"
#include "pemric/sdr_commit.h"
#include "pemric/sdr_file_writer.h"
#include "pemric/string_ids.h"

using namespace Pemric_Private;

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

void CannotOpen(const wchar_t* path) {
    SetLastError(FormatMessageText(gTexts, kMessageCannotOpenFile, path));
}

// The OEM data of the set's last OEM record, which holds the version the
// file's header quotes; null without one.
const unsigned char* LastOemData(const PEMRIC& set) {
    const OrderedList<CSdr*>& oem = set.lists->byType[kTypeOrderCount - 1];
    unsigned char* data = nullptr;
    if (oem.Count() == 0 || oem.Last()->GetOEMData(data) != PEMRIC_SUCCESS) return nullptr;
    return data;
}

unsigned WriteSetToFile(const wchar_t* path, const PEMRIC& set) {
    LastErrorSink sink;
    SdrFileSummary summary{set.totalBytes, SdrFileVersionText(gTexts, LastOemData(set))};
    if (const unsigned status = WriteSDRFIleHeader(path, gTexts, summary, &sink)) return status;
    for (const OrderedList<CSdr*>& list : set.lists->byType) {
        if (list.Count() == 0) continue;
        unsigned type = 0;
        list.First()->GetTypeAsInteger(type);
        if (const unsigned status = WriteCommentLine(path, gTexts, type, &sink)) return status;
        for (unsigned i = 0; i < list.Count(); ++i) {
            if (const unsigned status = list[i]->WriteRecordToFile(path)) return status;
        }
    }
    return WriteSDRFIleFooter(path, gTexts, &sink);
}

}  // namespace

Pemric_Public::u32 Pemric_Public::LoadConfigurationFromSystem(Table table) {
    CTrace trace = EntryTrace(L"LoadConfigurationFromSystem");
    int bmcType = BMC_TYPE_NONE;
    GetBmcType(&bmcType);
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    SelectionKeeper keeper(g_pSelected);
    table->SelectSysData(table);
    PEMRIC& set = *g_pSysData;
    set.loaded = false;
    set.modified = true;
    if (!set.StartNewLoad()) {
        trace.Failure(L"Uninitialized");
        return PEMRIC_NOT_INITIALIZED;
    }
    SdrReadSystem bmc = RepositoryAccess();
    if (const u32 status = bmc.LoadSdrProperties(set.properties)) return status;
    if (set.properties.recordCount == 0) {
        trace.Failure(L"No SDRs available");
        return PEMRIC_NO_SDRS;
    }
    unsigned total = 0;
    const u32 status =
        bmcType == BMC_TYPE_STANDARD || g_sdPlatform != kPlatformMbmc
            ? bmc.LoadSdrRecordsToList(*set.lists, set.properties, total)
            : bmc.LoadSdrRecordsToListMBMC(*set.lists, set.properties.recordCount, total);
    set.totalBytes = static_cast<std::uint16_t>(total);
    if (status != PEMRIC_SUCCESS) return status;
    set.loaded = true;
    // Blanks over the progress line the load left, as "\r%-79ls\r" of " ".
    const std::wstring blankLine = L"\r" + std::wstring(79, L' ') + L"\r";
    SelectedProgress().Message(blankLine.c_str());
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::LoadConfigurationFromFile(Table table, const wchar_t* path,
                                                            const wchar_t*) {
    CTrace trace = EntryTrace(L"LoadConfigurationFromFile");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    SelectionKeeper keeper(g_pSelected);
    table->SelectFileData(table);
    PEMRIC& set = *g_pFileData;
    if (!set.StartNewLoad()) {
        trace.Failure(L"Uninitialized");
        return PEMRIC_NOT_INITIALIZED;
    }
    set.loaded = false;
    OpenFile file(path != nullptr ? wfopen(path, L"r") : nullptr);
    if (file == nullptr) {
        trace.Failure(L"Error Writing File");
        CannotOpen(path != nullptr ? path : L"");
        return PEMRIC_FILE_OPEN_FAILED;
    }
    LastErrorSink sink;
    CSdrFileReader reader(file.get(), gTexts, sdrFileData, &sink);
    if (const u32 status = reader.ReadSdrRecordsFromFile(*set.lists)) return status;
    if (const u32 status = RepositoryAccess().LoadSdrProperties(set.properties)) return status;
    set.loaded = true;
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::CommitConfigurationToSystem(Table) {
    CTrace trace = EntryTrace(L"CommitConfigurationToSystem");
    int bmcType = BMC_TYPE_NONE;
    GetBmcType(&bmcType);
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    if (!g_pFileData->loaded) {
        trace.Failure(L"Not Loaded");
        return PEMRIC_NOT_LOADED;
    }
    std::vector<CommitRecord> records;
    if (const u32 status =
            GatherCommittedRecords(*g_pFileData->lists, g_pFileData->tags, records)) {
        SetLastError(gTexts.Text(kMessageCommitFailed));
        return status;
    }
    SdrReadSystem bmc = RepositoryAccess();
    LastErrorSink sink;
    SdrCommit commit(bmc, gTexts, SelectedProgress(), p_display, sink);
    return UsesClearAndAdd(bmcType, g_sdPlatform) ? commit.ClearAndAdd(records, bmcType)
                                                  : commit.WriteArea(records);
}

Pemric_Public::u32 Pemric_Public::SaveConfigurationToFile(Table table, const wchar_t* path,
                                                          const wchar_t*) {
    CTrace trace = EntryTrace(L"SaveConfigurationToFile");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    SelectedProgress().Message(gTexts.Text(kProgressSavingFile));
    SelectionKeeper keeper(g_pSelected);
    table->SelectSysData(table);
    if (!g_pSysData->loaded) {
        trace.Failure(L"Not Loaded");
        return PEMRIC_NOT_LOADED;
    }
    if (OpenFile(path != nullptr ? wfopen(path, L"w") : nullptr) == nullptr) {
        trace.Failure(L"Error Writing File");
        CannotOpen(path != nullptr ? path : L"");
        return PEMRIC_FILE_WRITE_ERROR;
    }
    return WriteSetToFile(path, *g_pSysData);
}

Pemric_Public::u32 Pemric_Public::LoadPropertiesFromSystem(Table table) {
    CTrace trace = EntryTrace(L"LoadPropertiesFromSystem");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    SelectionKeeper keeper(g_pSelected);
    table->SelectSysData(table);
    if (const u32 status = RepositoryAccess().LoadSdrProperties(g_pSysData->properties)) {
        return status;
    }
    g_pSysData->loaded = true;
    return PEMRIC_SUCCESS;
}
