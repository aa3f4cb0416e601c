// A BMC operational-code update against the simulated BMC, the engine
// driven as a commit drives it: the firmware requests and the bytes they
// carry, against the least the block size allows (one write per block of
// the area, one segment set per 64 KiB for the writes and again for the
// check, one range checksum per 64 KiB, enter and exit), and the host CPU
// it takes outside the simulated waits.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "bmc/debug_log.h"
#include "bmc/message.h"
#include "duvane/duvane_engine.h"
#include "sim/bmc/fw/fw_image_builder.h"
#include "sim/bmc/fw/fw_log.h"
#include "sim/core/machine.h"
#include "tests/common/files.h"

namespace {

using DirectFwUpdate_Private::CDuvane;
using DirectFwUpdate_Private::CfwFile;

constexpr std::uint64_t kSegment = 0x10000;

void BM_BmcOperationalCodeUpdate(benchmark::State& state) {
    sim::ResetMachine({});
    SetLibDebugLevel(0);
    test_support::TempDir scratch{"duvane-bench"};
    sim::fw::ImageSpec recipe = sim::fw::DefaultImageSpec(sim::fw::ControllerKind::kBmc, 0x20);
    recipe.opCode = {2, 0x01};
    const auto file = scratch.Path() / "bmc.bin";
    test_support::WriteBytes(file, sim::fw::BuildBinary(recipe));
    CfwFile image{FW_FILE_BINARY, 0};
    if (image.ProcessFile(file.wstring().c_str(), nullptr) != 0) {
        state.SkipWithError("the image did not load");
        return;
    }
    const auto range = image.Range(BMC_FW_AREA_OPCODE);
    const std::uint64_t areaBytes = std::uint64_t{range.end} - range.start + 1;
    std::size_t requests = 0;
    std::uint64_t written = 0;
    for (auto _ : state) {
        sim::TheMachine().Log().Clear();
        CDuvane engine;
        engine.SelectArea(BMC_FW_AREA_OPCODE);
        if (engine.UpdateSystem(image) != 0) state.SkipWithError("the update failed");
        const auto logged = sim::fw::FirmwareLog(sim::TheMachine().Log());
        requests = logged.size();
        written = 0;
        for (const auto& command : logged) {
            if (command.operation == "write") written += command.Number("length");
        }
    }
    const std::uint64_t block = 0x4000;
    const std::uint64_t segments = (areaBytes + kSegment - 1) / kSegment;
    // enter, block size, the writes, two segment walks, the checksums, exit
    const double least = 2.0 + 1 + static_cast<double>((areaBytes + block - 1) / block) +
                         2.0 * static_cast<double>(segments) + static_cast<double>(segments);
    state.counters["area_bytes"] = static_cast<double>(areaBytes);
    state.counters["firmware_requests"] = static_cast<double>(requests);
    state.counters["least_requests"] = least;
    state.counters["ratio_to_least"] = static_cast<double>(requests) / least;
    state.counters["bytes_written_per_area_byte"] =
        static_cast<double>(written) / static_cast<double>(areaBytes);
    state.counters["cpu_per_MiB"] = benchmark::Counter(
        static_cast<double>(areaBytes) / (1 << 20),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BmcOperationalCodeUpdate)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
