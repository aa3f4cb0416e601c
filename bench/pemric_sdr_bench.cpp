// The SDR record model's hot paths, each reported per record: making and
// decoding one record of each type, as every read from the BMC or a file
// does, and saving and loading the SDR file of a 200-record repository
// (the "per_record" counter is the time of one record's share).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bmc/debug_log.h"
#include "bmc/string_resource.h"
#include "pemric/pemric_status.h"
#include "pemric/sdr_factory.h"
#include "pemric/sdr_file_reader.h"
#include "pemric/sdr_file_writer.h"
#include "sim/bmc/sdr/sdr_record_builder.h"

namespace {

using namespace Pemric_Private;
using sim::sdr::Record;

constexpr unsigned kRepositoryRecords = 200;

const CSdrTexts& Texts() {
    static const std::unique_ptr<CStringResource> table = [] {
        // The debug log stays closed, as in a host that did not ask for it.
        SetLibDebugLevel(0);
        auto loaded = std::make_unique<CStringResource>();
        if (loaded->Initialize(L"" PEMRIC_STRING_FILE, 0) != STR_SUCCESS ||
            loaded->CacheAll() != STR_SUCCESS) {
            std::abort();
        }
        return loaded;
    }();
    static const CSdrTexts texts(table);
    return texts;
}

// A record made and decoded from bytes, with its raw copy, as a load keeps
// it; null when the model refuses it.
std::unique_ptr<CSdr> DecodedRecord(Record& bytes) {
    CSdr* made = nullptr;
    if (CreateSDRTypeObject(bytes[3], made, Texts()) != PEMRIC_SUCCESS) return nullptr;
    std::unique_ptr<CSdr> record(made);
    if (record->DecodeSDR(bytes.data()) != PEMRIC_SUCCESS ||
        record->CopyrawSDR(bytes.data()) != PEMRIC_SUCCESS) {
        return nullptr;
    }
    return record;
}

void BM_DecodeRecord(benchmark::State& state, std::uint8_t type) {
    Record bytes = sim::sdr::BuildRecord(type, 1);
    for (auto _ : state) {
        CSdr* record = nullptr;
        if (CreateSDRTypeObject(type, record, Texts()) != PEMRIC_SUCCESS ||
            record->DecodeSDR(bytes.data()) != PEMRIC_SUCCESS) {
            delete record;
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(record);
        delete record;
    }
    state.counters["record_bytes"] = static_cast<double>(bytes.size());
}

// A server's repository is mostly sensors: in every 20 records, 8 full and
// 3 compact sensors and one record of each other type.
constexpr std::array<std::uint8_t, 20> kRepositoryMix = {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
                                                         0x01, 0x02, 0x02, 0x02, 0x03, 0x08, 0x09,
                                                         0x10, 0x11, 0x12, 0x13, 0x14, 0xC0};

// Fills lists with the repository's records; false when one is refused.
bool Repository(SdrRecordLists& lists) {
    for (unsigned i = 0; i < kRepositoryRecords; ++i) {
        const std::uint8_t type = kRepositoryMix[i % kRepositoryMix.size()];
        Record bytes = sim::sdr::BuildRecord(type, i);
        sim::sdr::SetRecordId(bytes, static_cast<std::uint16_t>(i + 1));
        std::unique_ptr<CSdr> record = DecodedRecord(bytes);
        if (record == nullptr || lists.byType[TypeOrderIndex(type)].Add(record.get()) == nullptr) {
            return false;
        }
        record.release();
    }
    return true;
}

// Writes lists as a new SDR file at path (relative to the current folder,
// as the writer takes it): the header, then per type its comment and
// records, then the end line.
bool Save(const SdrRecordLists& lists, const std::wstring& path) {
    const std::filesystem::path file(path);
    std::filesystem::remove(file);
    if (WriteSDRFIleHeader(path.c_str(), Texts(), {}, nullptr) != PEMRIC_SUCCESS) return false;
    for (const OrderedList<CSdr*>& list : lists.byType) {
        if (list.Count() == 0) continue;
        unsigned type = 0;
        list[0]->GetTypeAsInteger(type);
        if (WriteCommentLine(path.c_str(), Texts(), type, nullptr) != PEMRIC_SUCCESS) return false;
        for (unsigned i = 0; i < list.Count(); ++i) {
            if (list[i]->WriteRecordToFile(path.c_str()) != PEMRIC_SUCCESS) return false;
        }
    }
    return WriteSDRFIleFooter(path.c_str(), Texts(), nullptr) == PEMRIC_SUCCESS;
}

unsigned RecordCount(const SdrRecordLists& lists) {
    unsigned count = 0;
    for (const OrderedList<CSdr*>& list : lists.byType) count += list.Count();
    return count;
}

bool Load(const std::filesystem::path& path, SdrRecordLists& lists) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return false;
    CSdrFileData fileData;
    const unsigned status =
        CSdrFileReader(file, Texts(), fileData, nullptr).ReadSdrRecordsFromFile(lists);
    std::fclose(file);
    return status == PEMRIC_SUCCESS && RecordCount(lists) == kRepositoryRecords;
}

// Runs in a new folder of its own, where the writer's relative path lands,
// and removes it afterwards.
class InScratchFolder {
  public:
    InScratchFolder() : mWas(std::filesystem::current_path()) {
        std::string name =
            (std::filesystem::temp_directory_path() / "pemric-bench-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) std::abort();
        mFolder = name;
        std::filesystem::current_path(mFolder);
    }
    ~InScratchFolder() {
        std::filesystem::current_path(mWas);
        std::error_code ignored;
        std::filesystem::remove_all(mFolder, ignored);
    }
    InScratchFolder(const InScratchFolder&) = delete;
    InScratchFolder& operator=(const InScratchFolder&) = delete;

  private:
    std::filesystem::path mWas;
    std::filesystem::path mFolder;
};

const std::wstring kFileName = L"pemric_bench_repository.sdr";

void CountPerRecord(benchmark::State& state) {
    state.counters["per_record"] =
        benchmark::Counter(kRepositoryRecords, benchmark::Counter::kIsIterationInvariantRate |
                                                   benchmark::Counter::kInvert);
    state.counters["file_bytes"] =
        static_cast<double>(std::filesystem::file_size(std::filesystem::path(kFileName)));
}

void BM_SaveFile(benchmark::State& state) {
    const InScratchFolder folder;
    SdrRecordLists lists;
    if (!Repository(lists)) state.SkipWithError("a record was refused");
    for (auto _ : state) {
        if (!Save(lists, kFileName)) state.SkipWithError("save failed");
    }
    CountPerRecord(state);
}
BENCHMARK(BM_SaveFile)->Unit(benchmark::kMillisecond);

void BM_LoadFile(benchmark::State& state) {
    const InScratchFolder folder;
    SdrRecordLists saved;
    if (!Repository(saved) || !Save(saved, kFileName)) state.SkipWithError("save failed");
    for (auto _ : state) {
        SdrRecordLists loaded;
        if (!Load(std::filesystem::path(kFileName), loaded)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(&loaded);
    }
    CountPerRecord(state);
}
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond);

// One decode benchmark per record type, named for it.
[[maybe_unused]] const bool kDecodeRegistered = [] {
    for (const std::uint8_t type : sim::sdr::BuildableTypes()) {
        if (TypeOrderIndex(type) == kTypeOrderCount) continue;
        char name[32];
        std::snprintf(name, sizeof name, "BM_DecodeRecord/type%02X", unsigned{type});
        benchmark::RegisterBenchmark(name, BM_DecodeRecord, type);
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
