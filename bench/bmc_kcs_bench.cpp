// One BMC transaction over the simulated KCS interface, with a BMC that
// answers at once: port accesses per transaction against the least the KCS
// protocol needs, and the host CPU time the message layer spends per
// transaction outside the simulated BMC.
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

#include <chrono>
#include <ctime>
#include <memory>

#include "bmc/message.h"
#include "sim/bmc/bmc.h"
#include "sim/core/machine.h"

namespace {

constexpr std::uint16_t kKcsBase = 0x0CA2;
constexpr std::uint8_t kOemNetFn = 0x2E;
constexpr std::uint8_t kEchoCommand = 0x70;
constexpr std::size_t kFrameHeader = 2;     // netFn/LUN, command
constexpr std::size_t kResponseHeader = 3;  // and the completion code

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuNow() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Stands in front of the simulated KCS interface: counts the accesses and
// keeps the time the simulated BMC spends serving them.
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
        const double start = Now();
        const std::uint8_t value = mKcs.PortIn(port);
        mSimSeconds += Now() - start;
        return value;
    }
    void PortOut(std::uint16_t port, std::uint8_t value) override {
        ++mAccesses;
        const double start = Now();
        mKcs.PortOut(port, value);
        mSimSeconds += Now() - start;
    }
    std::size_t Accesses() const { return mAccesses; }
    double SimSeconds() const { return mSimSeconds; }

  private:
    sim::PortMap& mPorts;
    sim::PortHandler& mKcs;
    std::size_t mAccesses = 0;
    double mSimSeconds = 0;
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
            break;
        }
        responseBytes = response->dataLength;
    }
    const double cpuSeconds = CpuNow() - cpuStart;
    const double transactions = static_cast<double>(state.iterations());
    const double minimum = static_cast<double>(
        MinimumAccesses(kFrameHeader + requestBytes, kResponseHeader + responseBytes));
    const double accesses = static_cast<double>(ports.Accesses()) / transactions;
    state.counters["port_accesses"] = accesses;
    state.counters["minimum"] = minimum;
    state.counters["over_minimum"] = accesses / minimum;
    state.counters["host_cpu_us"] = (cpuSeconds - ports.SimSeconds()) * 1e6 / transactions;
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
