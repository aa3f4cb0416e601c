// Programming a 16 MB BIOS through the simulated flash service: the host CPU
// time tarvo spends outside the BIOS's calls per MB (what the program itself
// costs), and the number of BIOS calls per MB against the least the protocol
// allows (one per KB written, one per KB verified, one per block erased).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

#include "sim/bios/bios_flash.h"
#include "sim/bios/rom_image_builder.h"
#include "sim/core/machine.h"
#include "tarvo/tarvo.h"

namespace {

constexpr std::uint32_t kRomKb = 16 * 1024;
constexpr std::uint32_t kBlockKb = 64;
constexpr double kMegabytes = kRomKb / 1024.0;

// The run is one thread bound to the CPU, so its elapsed time is its CPU
// time; the steady clock is read without a system call, so timing each of
// the ~2000 BIOS calls per MB costs little beside what is measured.
double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Stands in front of the SMI port and keeps the CPU time the simulated BIOS
// spends serving each call.
class TimedSmiPort : public sim::PortHandler {
  public:
    TimedSmiPort(sim::Machine& machine, std::uint16_t port)
        : mPorts(machine.Ports()), mPort(port), mBios(*machine.Ports().HandlerOf(port)) {
        mPorts.Release(port, 1);
        mPorts.Claim(port, 1, *this);
    }
    ~TimedSmiPort() override {
        mPorts.Release(mPort, 1);
        mPorts.Claim(mPort, 1, mBios);
    }
    std::uint8_t PortIn(std::uint16_t port) override { return mBios.PortIn(port); }
    void PortOut(std::uint16_t port, std::uint8_t value) override {
        const double start = Now();
        mBios.PortOut(port, value);
        mSeconds += Now() - start;
    }
    double Seconds() const { return mSeconds; }

  private:
    sim::PortMap& mPorts;
    std::uint16_t mPort;
    sim::PortHandler& mBios;
    double mSeconds = 0;
};

sim::Machine& BootLargeServer() {
    sim::Settings settings;
    settings.Set("bios.rom_kb", std::to_string(kRomKb));
    settings.Set("bios.block_kb", std::to_string(kBlockKb));
    return sim::ResetMachine(settings);
}

void ProgramWholeFlash(benchmark::State& state, bool quiet) {
    const std::string image = "/tmp/tarvo_bench_" + std::to_string(::getpid()) + ".rom";
    double hostSeconds = 0;
    std::size_t calls = 0;
    std::size_t minimum = 0;
    for (auto _ : state) {
        state.PauseTiming();
        sim::Machine& machine = BootLargeServer();
        const auto* bios = machine.Find<sim::BiosFlashService>();
        const std::vector<std::uint8_t> bytes =
            sim::RomImageBuilder(bios->Layout()).RomId("SRVBD011").Build();
        std::ofstream(image, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        TimedSmiPort timed(machine, bios->Config().smiPort);
        const std::string input = "/i" + image;
        std::vector<const char*> argv = {"tarvo", "/pbn", input.c_str()};
        if (quiet) argv.push_back("/q");
        // Progress lines go where a terminal would not slow them down; the
        // benchmark's own report needs the console back afterwards.
        std::fflush(stdout);
        const int console = ::dup(STDOUT_FILENO);
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, STDOUT_FILENO);
        ::close(devNull);
        state.ResumeTiming();

        const double start = Now();
        const int code = tarvo::Run(static_cast<int>(argv.size()), argv.data());
        const double total = Now() - start;

        state.PauseTiming();
        std::fflush(stdout);
        ::dup2(console, STDOUT_FILENO);
        ::close(console);
        if (code != 0) state.SkipWithError("tarvo failed");
        hostSeconds += total - timed.Seconds();
        const std::size_t blocks = bios->Layout().blocks.size();
        calls += machine.Log().Of("bios").size();
        // Open, the ROM ID, close; then per pass what the protocol needs.
        minimum += 3 + blocks + 2 * kRomKb;
        state.ResumeTiming();
    }
    std::remove(image.c_str());
    const double runs = static_cast<double>(state.iterations());
    state.counters["host_ms_per_MB"] = hostSeconds * 1000 / runs / kMegabytes;
    state.counters["bios_calls_per_MB"] = static_cast<double>(calls) / runs / kMegabytes;
    state.counters["calls_over_minimum"] =
        static_cast<double>(calls) / static_cast<double>(minimum);
}

void BM_Program16MbQuiet(benchmark::State& state) {
    ProgramWholeFlash(state, true);
}
void BM_Program16MbWithProgress(benchmark::State& state) {
    ProgramWholeFlash(state, false);
}

BENCHMARK(BM_Program16MbQuiet)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Program16MbWithProgress)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
