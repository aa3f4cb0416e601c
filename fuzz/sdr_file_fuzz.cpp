// Feeds arbitrary bytes to the SDR file reader as the contents of a file.
//
// A file that loads must save and load again into the same records: the
// same types in the same order, the same raw bytes and the same tags. Any
// difference aborts. Records that do not decode are kept by a load but
// cannot be written, so an input holding one is only loaded.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "bmc/debug_log.h"
#include "bmc/string_resource.h"
#include "pemric/pemric_status.h"
#include "pemric/sdr_file_reader.h"
#include "pemric/sdr_file_writer.h"

namespace {

using namespace Pemric_Private;

std::string g_directory;
std::string g_inputPath;
std::string g_savedPath;
std::unique_ptr<CStringResource> g_table;

void RemoveDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(g_directory, ignored);
}

void Check(bool holds) {
    if (!holds) std::abort();
}

struct LoadedRecord {
    unsigned typeIndex;
    std::vector<unsigned char> bytes;
    std::vector<std::string> tags;
    bool decoded;
};

bool Load(const std::string& path, SdrRecordLists& lists) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    Check(file != nullptr);
    CSdrFileData fileData;
    const unsigned status =
        CSdrFileReader(file, CSdrTexts(g_table), fileData, nullptr).ReadSdrRecordsFromFile(lists);
    std::fclose(file);
    return status == PEMRIC_SUCCESS;
}

std::vector<LoadedRecord> Records(const SdrRecordLists& lists) {
    std::vector<LoadedRecord> records;
    for (unsigned index = 0; index < kTypeOrderCount; ++index) {
        const OrderedList<CSdr*>& list = lists.byType[index];
        for (unsigned i = 0; i < list.Count(); ++i) {
            unsigned char raw[256] = {};
            unsigned char count = 0;
            list[i]->WriteSDRToBuffer(raw, count);
            LoadedRecord record{index, {raw, raw + count}, {}, false};
            for (unsigned t = 0; t < list[i]->Tags().Count(); ++t) {
                record.tags.emplace_back(list[i]->Tags()[t]);
            }
            unsigned fields = 0;
            record.decoded = list[i]->GetNumberOfFields(fields) == PEMRIC_SUCCESS;
            records.push_back(record);
        }
    }
    return records;
}

bool operator==(const LoadedRecord& a, const LoadedRecord& b) {
    return a.typeIndex == b.typeIndex && a.bytes == b.bytes && a.tags == b.tags;
}

void Save(const SdrRecordLists& lists) {
    const CSdrTexts texts(g_table);
    const wchar_t* path = L"saved.sdr";
    std::filesystem::remove(g_savedPath);
    Check(WriteSDRFIleHeader(path, texts, {}, nullptr) == PEMRIC_SUCCESS);
    for (const OrderedList<CSdr*>& list : lists.byType) {
        if (list.Count() == 0) continue;
        unsigned type = 0;
        list[0]->GetTypeAsInteger(type);
        Check(WriteCommentLine(path, texts, type, nullptr) == PEMRIC_SUCCESS);
        for (unsigned i = 0; i < list.Count(); ++i) {
            Check(list[i]->WriteRecordToFile(path) == PEMRIC_SUCCESS);
        }
    }
    Check(WriteSDRFIleFooter(path, texts, nullptr) == PEMRIC_SUCCESS);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every refused input would add a line to the debug log.
    SetLibDebugLevel(0);
    g_table = std::make_unique<CStringResource>();
    Check(g_table->Initialize(L"" PEMRIC_STRING_FILE, 0) == STR_SUCCESS);
    Check(g_table->CacheAll() == STR_SUCCESS);
    char directory[] = "/tmp/sdr-file-fuzz-XXXXXX";
    if (::mkdtemp(directory) == nullptr) std::abort();
    g_directory = directory;
    g_inputPath = g_directory + "/input.sdr";
    g_savedPath = g_directory + "/saved.sdr";
    // The writer takes paths relative to where the library runs.
    std::filesystem::current_path(g_directory);
    std::atexit(RemoveDirectory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* input = std::fopen(g_inputPath.c_str(), "wb");
    Check(input != nullptr);
    Check(std::fwrite(data, 1, size, input) == size);
    Check(std::fclose(input) == 0);

    SdrRecordLists first;
    if (!Load(g_inputPath, first)) return 0;
    const std::vector<LoadedRecord> records = Records(first);
    for (const LoadedRecord& record : records) {
        if (!record.decoded) return 0;
    }
    Save(first);
    SdrRecordLists again;
    Check(Load(g_savedPath, again));
    Check(Records(again) == records);
    return 0;
}
