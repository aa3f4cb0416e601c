// One BMC transaction over the simulated KCS interface, with a BMC that
// answers at once: port accesses per transaction against the least the KCS
// protocol needs, and the CPU time the host process spends per transaction
// outside the simulated BMC (host_cpu_us; bmc_cpu_us is the simulated
// BMC's share).
//
// Both are CPU time of this process. The BMC's share is not taken by timing
// each port access (a clock read costs about as much as the access, and a
// wall clock also counts the time the process waited for a processor): the
// accesses of one transaction are recorded and replayed straight to the
// simulated KCS interface, and that replay is timed as a whole.
//
// The least the protocol needs, for a request frame of n bytes and a
// response frame of m bytes:
//   write phase  n + 2 writes (WRITE_START, the bytes, WRITE_END), one
//                status read per control code or byte written, and one data
//                read per control code or byte the BMC answered with a dummy
//                byte in the output register (WRITE_START, WRITE_END and all
//                but the last data byte: this BMC, like real firmware, sets
//                OBF for each, and the flow must clear it)
//   read phase   per byte one status read, one data read and one READ
//                write; then the status read that shows idle and the read of
//                the dummy byte that ends the frame.
#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>
#include <vector>

#include "bmc/message.h"
#include "sim/bmc/bmc.h"
#include "sim/core/machine.h"

namespace {

constexpr std::uint16_t kKcsBase = 0x0CA2;
constexpr std::uint8_t kOemNetFn = 0x2E;
constexpr std::uint8_t kEchoCommand = 0x70;
constexpr std::size_t kFrameHeader = 2;     // netFn/LUN, command
constexpr std::size_t kResponseHeader = 3;  // and the completion code

double CpuNow() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Stands in front of the simulated KCS interface: counts the accesses and,
// while asked to, records them for a replay.
class CountingKcsPorts : public sim::PortHandler {
  public:
    explicit CountingKcsPorts(sim::Machine& machine)
        : mPorts(machine.Ports()), mKcs(*machine.Ports().HandlerOf(kKcsBase)) {
        mPorts.Release(kKcsBase, 2);
        mPorts.Claim(kKcsBase, 2, *this);
    }
    ~CountingKcsPorts() override {
        mPorts.Release(kKcsBase, 2);
        mPorts.Claim(kKcsBase, 2, mKcs);
    }
    std::uint8_t PortIn(std::uint16_t port) override {
        ++mAccesses;
        if (mRecording) mRecorded.push_back({port, false, 0});
        return mKcs.PortIn(port);
    }
    void PortOut(std::uint16_t port, std::uint8_t value) override {
        ++mAccesses;
        if (mRecording) mRecorded.push_back({port, true, value});
        mKcs.PortOut(port, value);
    }
    std::size_t Accesses() const { return mAccesses; }
    void Record(bool on) { mRecording = on; }

    // CPU seconds the simulated interface and BMC take to serve the recorded
    // accesses once, as the mean of `rounds` replays. A BMC that answers at
    // once makes every transaction the same sequence, each of which leaves
    // the interface idle, so the replays are served as the transaction was.
    double ReplaySeconds(std::size_t rounds) {
        const double start = CpuNow();
        for (std::size_t round = 0; round < rounds; ++round) {
            for (const Access& access : mRecorded) {
                if (access.write) {
                    mKcs.PortOut(access.port, access.value);
                } else {
                    benchmark::DoNotOptimize(mKcs.PortIn(access.port));
                }
            }
        }
        return (CpuNow() - start) / static_cast<double>(rounds);
    }

  private:
    struct Access {
        std::uint16_t port;
        bool write;
        std::uint8_t value;
    };
    sim::PortMap& mPorts;
    sim::PortHandler& mKcs;
    std::size_t mAccesses = 0;
    bool mRecording = false;
    std::vector<Access> mRecorded;
};

std::size_t MinimumAccesses(std::size_t requestFrame, std::size_t responseFrame) {
    const std::size_t writePhase = 2 * (requestFrame + 2) + (requestFrame + 1);
    const std::size_t readPhase = 3 * responseFrame + 2;
    return writePhase + readPhase;
}

void RoundTrips(benchmark::State& state, std::uint8_t netFn, std::uint8_t cmd,
                std::size_t requestBytes) {
    sim::Machine& machine = sim::ResetMachine();
    machine.Find<sim::Bmc>()->Commands().Register(
        kOemNetFn, kEchoCommand, [](const sim::ipmi::Request& request) {
            return sim::ipmi::Response{0x00, {request.data.begin(), request.data.end()}};
        });
    CountingKcsPorts ports(machine);
    auto request = std::make_unique<BMC_MESSAGE>();
    request->slaveAddress = kBmcSlaveAddress;
    request->netFn = netFn;
    request->cmd = cmd;
    request->dataLength = static_cast<std::uint32_t>(requestBytes);
    auto response = std::make_unique<BMC_MESSAGE>();

    std::size_t responseBytes = 0;
    const double cpuStart = CpuNow();
    for (auto _ : state) {
        if (ProcessMessage(request.get(), response.get(), 5000) != 0) {
            state.SkipWithError("no response");
            return;
        }
        responseBytes = response->dataLength;
    }
    const double cpuSeconds = CpuNow() - cpuStart;
    const std::size_t iterations = static_cast<std::size_t>(state.iterations());
    const double transactions = static_cast<double>(iterations);
    const double accesses = static_cast<double>(ports.Accesses()) / transactions;

    ports.Record(true);
    ProcessMessage(request.get(), response.get(), 5000);
    ports.Record(false);
    const double bmcSeconds = ports.ReplaySeconds(iterations);

    const double minimum = static_cast<double>(
        MinimumAccesses(kFrameHeader + requestBytes, kResponseHeader + responseBytes));
    state.counters["port_accesses"] = accesses;
    state.counters["minimum"] = minimum;
    state.counters["over_minimum"] = accesses / minimum;
    state.counters["host_cpu_us"] = (cpuSeconds / transactions - bmcSeconds) * 1e6;
    state.counters["bmc_cpu_us"] = bmcSeconds * 1e6;
}

void BM_GetDeviceId(benchmark::State& state) {
    RoundTrips(state, 0x06, 0x01, 0);
}
void BM_Echo64Bytes(benchmark::State& state) {
    RoundTrips(state, kOemNetFn, kEchoCommand, 64);
}

BENCHMARK(BM_GetDeviceId)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Echo64Bytes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
