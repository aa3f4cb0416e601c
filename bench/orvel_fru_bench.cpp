// The FRU model's hot paths on a full-size FRU (every area, custom fields,
// multi-records, 2 KB device): parse and rebuild of its image, load and
// save of its configuration file, and the IPMI requests that reading it
// from the simulated BMC takes against the least that 8-byte chunks allow
// (one request per 8 bytes of the FRU).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "bmc/message.h"
#include "orvel/fru.h"
#include "orvel/fru_access.h"
#include "sim/bmc/fru/fru_image_builder.h"
#include "sim/bmc/fru/fru_log.h"
#include "sim/bmc/fru/fru_storage.h"
#include "sim/core/machine.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using sim::fru::Area;
using sim::fru::Field;

Bytes FullSizeFru() {
    sim::fru::FruImageBuilder builder = sim::fru::SampleFru("baseboard", 2048);
    builder.Board({.manufacturer = Field::Text("Kestrel Server Works"),
                   .productName = Field::Text("KS2200 baseboard, dual socket, 24 DIMM"),
                   .serialNumber = Field::SixBitAscii("KSB23051712345"),
                   .partNumber = Field::Text("KS2200-BB-A01"),
                   .fruFileId = Field::Text("FRU 1.04"),
                   .custom = {Field::Text("REV A03"), Field::Text("ECO 4411"),
                              Field::Binary({0x00, 0x1E, 0x67, 0x4A, 0x10, 0x02})}});
    for (const Area area : {Area::kChassis, Area::kBoard, Area::kProduct}) {
        builder.AreaBytes(area, 512);  // the most an info area can hold
    }
    return builder.Build();
}

Orvel_Private::FruReader MemoryReader(const Bytes& image) {
    return [&image](std::uint16_t offset, std::span<std::uint8_t> bytes) -> std::uint32_t {
        if (offset + bytes.size() > image.size()) return 0xC0070028;
        std::copy_n(image.begin() + offset, bytes.size(), bytes.begin());
        return 0;
    };
}

void BM_ParseAndRebuild(benchmark::State& state) {
    const Bytes image = FullSizeFru();
    Bytes rebuilt;
    for (auto _ : state) {
        Orvel_Private::CFru fru;
        if (fru.ReadFruFromSystem(MemoryReader(image)) != 0) state.SkipWithError("parse failed");
        rebuilt.clear();
        fru.SerializeFru(rebuilt);
        benchmark::DoNotOptimize(rebuilt.data());
    }
    state.counters["image_bytes"] = static_cast<double>(image.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_ParseAndRebuild);

void BM_ConfigurationFileSaveAndLoad(benchmark::State& state) {
    const Bytes image = FullSizeFru();
    Orvel_Private::CFru fru;
    if (fru.ReadFruFromSystem(MemoryReader(image)) != 0) state.SkipWithError("parse failed");
    const std::string path =
        (std::filesystem::temp_directory_path() / "orvel_bench_fru.cfg").string();
    for (auto _ : state) {
        if (fru.SaveFRUToFile(path.c_str()) != 0) state.SkipWithError("save failed");
        Orvel_Private::CFru loaded;
        if (loaded.ReadFRUFromFile(path.c_str()) != 0) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(&loaded);
    }
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}
BENCHMARK(BM_ConfigurationFileSaveAndLoad);

// Requests per whole-FRU read against the least 8-byte chunks allow for the
// bytes the FRU occupies.
void BM_ReadWholeFruFromBmc(benchmark::State& state) {
    const Bytes image = FullSizeFru();
    sim::ResetMachine();
    sim::fru::FruDevice& device = *sim::TheMachine().Find<sim::FruStorage>()->Find("baseboard");
    Bytes cells(device.Size(), 0xFF);
    std::copy(image.begin(), image.end(), cells.begin());
    device.Fill(cells);
    BmcLibInitialize();
    const auto request = std::make_unique<BMC_MESSAGE>();
    const auto response = std::make_unique<BMC_MESSAGE>();
    int bmcType = BMC_TYPE_NONE;
    const Orvel_Private::FruAccess with{{*request, *response}, 0, bmcType};
    std::size_t requests = 0;
    for (auto _ : state) {
        sim::TheMachine().Log().Clear();
        Orvel_Private::CFru fru;
        if (fru.LoadFromSystem(with) != 0) state.SkipWithError("read failed");
        requests = sim::fru::LoggedAccesses(sim::TheMachine().Log(), "baseboard").size();
    }
    const double least = static_cast<double>((image.size() + 7) / 8);
    state.counters["requests"] = static_cast<double>(requests);
    state.counters["least_requests"] = least;
    state.counters["ratio"] = static_cast<double>(requests) / least;
}
BENCHMARK(BM_ReadWholeFruFromBmc)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
