// A full read of a 200-record SDR repository from the simulated BMC: the
// requests it takes per record against the least the library's scheme
// allows (per record one reservation, the 5-byte header, then one Get SDR
// per 16 bytes of the body), and against one Get SDR per record, the least
// any reader needs; and the time per record, the simulated KCS transport
// included.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bmc/debug_log.h"
#include "bmc/message.h"
#include "pemric/sdr_read_system.h"
#include "sim/bmc/sdr/sdr_log.h"
#include "sim/bmc/sdr/sdr_record_builder.h"
#include "sim/bmc/sdr/sdr_repository.h"
#include "sim/core/machine.h"

namespace {

constexpr std::size_t kRecords = 200;

// The eleven types the library knows, in turn.
std::vector<sim::sdr::Record> Repository() {
    std::vector<std::uint8_t> types;
    for (const std::uint8_t type : sim::sdr::BuildableTypes()) {
        if (type != sim::sdr::kUnknownType) types.push_back(type);
    }
    std::vector<sim::sdr::Record> records;
    for (std::size_t i = 0; i < kRecords; ++i) {
        records.push_back(sim::sdr::BuildRecord(types[i % types.size()], i));
    }
    sim::sdr::NumberRecords(records);
    return records;
}

void BM_ReadWholeRepository(benchmark::State& state) {
    sim::Settings settings;
    settings.Set("sdr.initial", "empty");
    settings.Set("sdr.capacity", "65534");
    sim::ResetMachine(settings);
    const std::vector<sim::sdr::Record> records = Repository();
    if (sim::TheMachine().Find<sim::SdrRepository>()->Replace(records)) {
        state.SkipWithError("repository refused the records");
        return;
    }
    SetLibDebugLevel(0);
    BmcLibInitialize();
    const auto request = std::make_unique<BMC_MESSAGE>();
    const auto response = std::make_unique<BMC_MESSAGE>();
    std::unique_ptr<CStringResource> noTable;
    const Pemric_Private::CSdrTexts texts(noTable);
    std::size_t requests = 0;
    for (auto _ : state) {
        sim::TheMachine().Log().Clear();
        Pemric_Private::SdrReadSystem repository({*request, *response}, texts, {});
        Pemric_Private::SdrRecordLists lists;
        unsigned total = 0;
        if (repository.LoadSdrRecordsToList(lists, {.recordCount = kRecords}, total) != 0) {
            state.SkipWithError("read failed");
        }
        requests = sim::sdr::LoggedRequests(sim::TheMachine().Log()).size();
    }
    double least = 0;
    for (const sim::sdr::Record& record : records) {
        least += 2 + static_cast<double>((record.size() - 5 + 15) / 16);
    }
    state.counters["requests_per_record"] = static_cast<double>(requests) / kRecords;
    state.counters["scheme_least_per_record"] = least / kRecords;
    state.counters["ratio_to_scheme"] = static_cast<double>(requests) / least;
    state.counters["ratio_to_one_per_record"] = static_cast<double>(requests) / kRecords;
    state.counters["cpu_per_record"] = benchmark::Counter(
        static_cast<double>(kRecords),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReadWholeRepository)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
