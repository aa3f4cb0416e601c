// What the SDR fuzz targets share: the compiled string table, a scratch
// folder for the files they write, saving records the way a data set saves
// them, loading a file back, and the records of a load as plain values to
// compare. Any step that must not fail aborts, which the fuzzer reports.
#ifndef SRVFW_FUZZ_SDR_FILE_SESSION_H
#define SRVFW_FUZZ_SDR_FILE_SESSION_H

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bmc/debug_log.h"
#include "bmc/string_resource.h"
#include "pemric/pemric_status.h"
#include "pemric/sdr_file_reader.h"
#include "pemric/sdr_file_writer.h"
#include "pemric/string_ids.h"

namespace fuzz_sdr {

using namespace Pemric_Private;

inline void Check(bool holds) {
    if (!holds) std::abort();
}

inline std::unique_ptr<CStringResource> g_table;
inline std::string g_directory;

inline const CSdrTexts& Texts() {
    static const CSdrTexts texts(g_table);
    return texts;
}

// The writer takes paths relative to where the library runs, so the
// session moves into a folder of its own, removed when the process ends.
inline void StartSession() {
    // Every refused input would add a line to the debug log.
    SetLibDebugLevel(0);
    g_table = std::make_unique<CStringResource>();
    Check(g_table->Initialize(L"" PEMRIC_STRING_FILE, 0) == STR_SUCCESS);
    Check(g_table->CacheAll() == STR_SUCCESS);
    char directory[] = "/tmp/sdr-fuzz-XXXXXX";
    Check(::mkdtemp(directory) != nullptr);
    g_directory = directory;
    std::filesystem::current_path(g_directory);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(g_directory, ignored);
    });
}

inline std::string PathInSession(const char* name) {
    return g_directory + "/" + name;
}

// True when the file at path loads.
inline bool LoadFile(const std::string& path, SdrRecordLists& lists) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    Check(file != nullptr);
    CSdrFileData fileData;
    const unsigned status =
        CSdrFileReader(file, Texts(), fileData, nullptr).ReadSdrRecordsFromFile(lists);
    std::fclose(file);
    return status == PEMRIC_SUCCESS;
}

// What a save can write: a decoded record whose tags each fit on a line.
// The reader takes a longer line in parts and keeps the first part as the
// tag; the writer, adding the closing apostrophe, refuses a line the
// reader would split, so such a record's save fails instead.
inline bool Writable(CSdr& record) {
    unsigned fields = 0;
    if (record.GetNumberOfFields(fields) != PEMRIC_SUCCESS) return false;
    for (unsigned t = 0; t < record.Tags().Count(); ++t) {
        std::wstring tag;
        for (const char* c = record.Tags()[t]; *c != '\0'; ++c)
            tag += static_cast<unsigned char>(*c);
        const std::wstring line = FormatMessageText(Texts(), kFileKeywordText,
                                                    Texts().Text(kFileTagKeyword), tag.c_str());
        if (line.empty() || line.size() + 1 >= kFileLineBuffer) return false;
    }
    return true;
}

// Saves the writable records of lists, per type in the type order, to a
// new file and returns its path.
inline std::string SaveWritable(const SdrRecordLists& lists) {
    const wchar_t* name = L"saved.sdr";
    const std::string path = PathInSession("saved.sdr");
    std::filesystem::remove(path);
    Check(WriteSDRFIleHeader(name, Texts(), {}, nullptr) == PEMRIC_SUCCESS);
    for (const OrderedList<CSdr*>& list : lists.byType) {
        bool commented = false;
        for (unsigned i = 0; i < list.Count(); ++i) {
            if (!Writable(*list[i])) continue;
            if (!commented) {
                unsigned type = 0;
                list[i]->GetTypeAsInteger(type);
                Check(WriteCommentLine(name, Texts(), type, nullptr) == PEMRIC_SUCCESS);
                commented = true;
            }
            Check(list[i]->WriteRecordToFile(name) == PEMRIC_SUCCESS);
        }
    }
    Check(WriteSDRFIleFooter(name, Texts(), nullptr) == PEMRIC_SUCCESS);
    return path;
}

struct LoadedRecord {
    unsigned typeIndex;
    std::vector<unsigned char> bytes;
    std::vector<std::string> tags;
    bool writable;

    bool operator==(const LoadedRecord&) const = default;
};

inline LoadedRecord RecordOf(unsigned typeIndex, CSdr& record) {
    unsigned char raw[256] = {};
    unsigned char count = 0;
    record.WriteSDRToBuffer(raw, count);
    LoadedRecord loaded{typeIndex, {raw, raw + count}, {}, Writable(record)};
    for (unsigned t = 0; t < record.Tags().Count(); ++t) loaded.tags.emplace_back(record.Tags()[t]);
    return loaded;
}

// Every record of lists in the type order, or only the writable ones.
inline std::vector<LoadedRecord> RecordsOf(const SdrRecordLists& lists, bool writableOnly = false) {
    std::vector<LoadedRecord> records;
    for (unsigned index = 0; index < kTypeOrderCount; ++index) {
        const OrderedList<CSdr*>& list = lists.byType[index];
        for (unsigned i = 0; i < list.Count(); ++i) {
            LoadedRecord record = RecordOf(index, *list[i]);
            if (!writableOnly || record.writable) records.push_back(std::move(record));
        }
    }
    return records;
}

}  // namespace fuzz_sdr

#endif
