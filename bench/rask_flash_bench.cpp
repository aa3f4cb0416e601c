// Programming the BIOS flash through librask's flash layer against the
// simulated chipset and parts: SPI cycles per KB written against the least
// that 64-byte chunks inside 256-byte pages allow (data that fills every
// byte, and data whose pages are half erased space, which the library
// leaves out), status polls per program cycle, memory-mapped bus cycles per
// byte on the LPC byte path against its command sequence, and the host CPU
// per MB spent outside the simulated devices.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bmc/debug_log.h"
#include "hw/hw.h"
#include "rask/flash_layer.h"
#include "sim/core/machine.h"

namespace {

using namespace Rask_Private;

constexpr std::uint32_t kWriteBytes = 1 << 20;
constexpr std::uint32_t kBlockBytes = 0x10000;
constexpr double kKilobytes = kWriteBytes / 1024.0;
constexpr double kMegabytes = kWriteBytes / (1024.0 * 1024.0);

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Stands in front of every device region of the memory map (the chipset's
// registers, the flash window) and keeps the CPU time the simulated devices
// spend serving the accesses, and how many accesses each region took.
class TimedDevices {
  public:
    explicit TimedDevices(sim::Machine& machine) {
        std::vector<std::string> names;
        for (const auto& [base, region] : machine.Memory().Regions()) {
            if (region.kind == sim::MemoryRegion::Kind::kMmio) names.push_back(region.name);
        }
        for (const auto& name : names) {
            mWrapped.push_back(std::make_unique<Wrapped>(*machine.Memory().Find(name), *this));
        }
    }
    double Seconds() const { return mSeconds; }
    // Accesses to the region holding this address.
    std::uint64_t AccessesAt(std::uint64_t address) const {
        for (const auto& w : mWrapped) {
            if (w->region.Contains(address)) return w->accesses;
        }
        return 0;
    }

  private:
    struct Wrapped : sim::MmioHandler {
        Wrapped(sim::MemoryRegion& r, TimedDevices& o) : region(r), inner(*r.handler), owner(o) {
            region.handler = this;
        }
        ~Wrapped() override { region.handler = &inner; }
        Wrapped(const Wrapped&) = delete;
        Wrapped& operator=(const Wrapped&) = delete;
        std::uint32_t MmioRead(std::uint64_t offset, unsigned width) override {
            const double start = Now();
            const std::uint32_t value = inner.MmioRead(offset, width);
            owner.mSeconds += Now() - start;
            ++accesses;
            return value;
        }
        void MmioWrite(std::uint64_t offset, unsigned width, std::uint32_t value) override {
            const double start = Now();
            inner.MmioWrite(offset, width, value);
            owner.mSeconds += Now() - start;
            ++accesses;
        }
        sim::MemoryRegion& region;
        sim::MmioHandler& inner;
        TimedDevices& owner;
        std::uint64_t accesses = 0;
    };
    std::vector<std::unique_ptr<Wrapped>> mWrapped;
    double mSeconds = 0;
};

// A machine of this board, opened by the flash layer as librask opens it.
FlashDesc* OpenBoard(const std::string& board, int platform) {
    sim::Settings settings;
    settings.Set("board", board);
    ResetFlashLayerState();
    sim::ResetMachine(settings);
    FlashDesc* handle = nullptr;
    if (FlashUDOpen(platform, hw::kPhysicalMemoryDevice, false, &handle) != FUL_SUCCESS) {
        return nullptr;
    }
    return handle;
}

// Data without an FFh byte; with halfErased, the second half of every
// 256-byte page is FFh, as an image's padding is.
std::vector<std::uint8_t> Image(bool halfErased) {
    std::vector<std::uint8_t> data(kWriteBytes);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = halfErased && i % 256 >= 128 ? 0xFF : static_cast<std::uint8_t>(i % 251);
    }
    return data;
}

void SpiProgram(benchmark::State& state, const char* board, int platform, bool halfErased) {
    SetLibDebugLevel(0);
    const std::vector<std::uint8_t> data = Image(halfErased);
    // 64 bytes a cycle: 16 per KB; with half of each page erased, 8.
    const double leastPerKb = halfErased ? 8 : 16;
    double hostSeconds = 0;
    std::size_t programs = 0;
    std::size_t polls = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FlashDesc* handle = OpenBoard(board, platform);
        if (handle == nullptr) {
            state.SkipWithError("the open failed");
            break;
        }
        for (std::uint32_t b = 0; b < kWriteBytes; b += kBlockBytes) {
            spi_EraseBlock(BOTTOM_OF_FLASH + b);
        }
        sim::Machine& machine = sim::TheMachine();
        machine.Log().Clear();
        TimedDevices timed(machine);
        state.ResumeTiming();

        const double start = Now();
        const FUL_RETURN written = spi_FlashDevWrite(data.data(), BOTTOM_OF_FLASH, kWriteBytes);
        const double total = Now() - start;

        state.PauseTiming();
        if (written != FUL_SUCCESS) state.SkipWithError("the write failed");
        hostSeconds += total - timed.Seconds();
        for (const auto& e : machine.Log().Of("spi")) {
            if (e.operation == "page-program") ++programs;
            if (e.operation == "read-status") ++polls;
        }
        FlashUDClose(handle);
        state.ResumeTiming();
    }
    const double runs = static_cast<double>(state.iterations());
    const double perKb = static_cast<double>(programs) / runs / kKilobytes;
    state.counters["program_cycles_per_KB"] = perKb;
    state.counters["least_per_KB"] = leastPerKb;
    state.counters["cycles_over_least"] = perKb / leastPerKb;
    state.counters["status_polls_per_program"] =
        programs == 0 ? 0 : static_cast<double>(polls) / static_cast<double>(programs);
    state.counters["host_ms_per_MB"] = hostSeconds * 1000 / runs / kMegabytes;
}

void BM_SpiProgramFullPages(benchmark::State& state) {
    SpiProgram(state, "pch-spi", 15, false);
}
void BM_SpiProgramHalfErasedPages(benchmark::State& state) {
    SpiProgram(state, "pch-spi", 15, true);
}

// The LPC byte path over 64 KB: each byte is the program command, the data,
// the read-status command, at least one status read, read-array and clear
// status: 6 bus cycles at the least.
void BM_LpcProgram(benchmark::State& state) {
    SetLibDebugLevel(0);
    constexpr std::uint32_t kBlock = 0xFFF20000;
    constexpr double kLeastPerByte = 6;
    std::vector<std::uint8_t> data(kBlockBytes);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 251);
    double hostSeconds = 0;
    std::uint64_t cycles = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FlashDesc* handle = OpenBoard("fwh", 9);
        if (handle == nullptr) {
            state.SkipWithError("the open failed");
            break;
        }
        sim::Machine& machine = sim::TheMachine();
        machine.FindFlashPart("bios-flash")->Cells().Erase(kBlock - 0xFFF00000, kBlockBytes);
        TimedDevices timed(machine);
        state.ResumeTiming();

        const double start = Now();
        const FUL_RETURN written = lpc_FlashDevWrite(data.data(), kBlock, kBlockBytes);
        const double total = Now() - start;

        state.PauseTiming();
        if (written != FUL_SUCCESS) state.SkipWithError("the write failed");
        hostSeconds += total - timed.Seconds();
        cycles += timed.AccessesAt(kBlock);
        FlashUDClose(handle);
        state.ResumeTiming();
    }
    const double runs = static_cast<double>(state.iterations());
    const double perByte = static_cast<double>(cycles) / runs / kBlockBytes;
    state.counters["bus_cycles_per_byte"] = perByte;
    state.counters["cycles_over_least"] = perByte / kLeastPerByte;
    state.counters["host_ms_per_MB"] = hostSeconds * 1000 / runs / (kBlockBytes / 1048576.0);
}

BENCHMARK(BM_SpiProgramFullPages)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SpiProgramHalfErasedPages)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LpcProgram)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
