// Responses from a BMC that cannot be trusted, for the message layer: KCS
// response frames and Get Message replies of any length and content, or
// status and data registers that read whatever the input says. The layer
// must refuse what it cannot use without reading or writing past a buffer
// or waiting for ever, and never hand back more data than its record holds.
//
// Input: byte 0 chooses the request (bit 0: bridged to a satellite; bit 1:
// the firmware network function, 23 attempts) and the misbehaviour (bit 2:
// registers from the input; else frames from the input). Frames are given
// as a length byte and that many bytes, each the BMC's whole answer to one
// request.
//
// The KCS transport owns SIGALRM and leaves it at its default action, so
// libFuzzer's own SIGALRM time-out must be off:
//   fuzz_bmc_response -timeout=0 [corpus dir]
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <vector>

#include "bmc/debug_log.h"
#include "bmc/message.h"
#include "bmc/message_state.h"
#include "sim/core/machine.h"
#include "tests/bmc/scripted_kcs_bmc.h"

namespace {

constexpr std::uint16_t kKcsBase = 0x0CA2;

// Status and data registers that read the input's bytes in turn. Once the
// input is used up the status shows the error state with IBF clear and OBF
// set, so that no wait of the transport runs into its 15-second alarm.
class InputRegisters : public sim::PortHandler {
  public:
    InputRegisters(sim::Machine& machine, const std::uint8_t* data, std::size_t size)
        : mPorts(machine.Ports()), mData(data), mSize(size) {
        if (mPorts.HandlerOf(kKcsBase) != nullptr) mPorts.Release(kKcsBase, 2);
        mPorts.Claim(kKcsBase, 2, *this);
    }
    ~InputRegisters() override { mPorts.Release(kKcsBase, 2); }
    std::uint8_t PortIn(std::uint16_t port) override {
        if (mNext < mSize) return mData[mNext++];
        return port == kKcsBase ? 0x00 : 0xC1;
    }
    void PortOut(std::uint16_t, std::uint8_t) override {}

  private:
    sim::PortMap& mPorts;
    const std::uint8_t* mData;
    std::size_t mSize;
    std::size_t mNext = 0;
};

std::deque<std::vector<std::uint8_t>> FramesOf(const std::uint8_t* data, std::size_t size) {
    std::deque<std::vector<std::uint8_t>> frames;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = data[at++];
        const std::size_t available = std::min(length, size - at);
        frames.emplace_back(data + at, data + at + available);
        at += available;
    }
    return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // One machine for the whole run: building one costs far more than a
    // request. What the layer keeps between requests starts afresh.
    static sim::Machine& machine = sim::ResetMachine();
    machine.Log().Clear();
    SetLibDebugLevel(0);
    g_Mbmcsupport = SYSTEM_INTERFACE_KCS;
    sendSeq = 1;
    incTestCount = 0;
    const std::uint8_t choice = data[0];
    const bool bridged = (choice & 1) != 0;
    const bool firmware = (choice & 2) != 0;

    std::unique_ptr<sim::PortHandler> bmc;
    if ((choice & 4) != 0) {
        bmc = std::make_unique<InputRegisters>(machine, data + 1, size - 1);
    } else {
        bmc = std::make_unique<bmc_test::ScriptedKcsBmc>(machine, FramesOf(data + 1, size - 1));
    }

    auto request = std::make_unique<BMC_MESSAGE>();
    request->slaveAddress = bridged ? 0xC0 : kBmcSlaveAddress;
    request->netFn = firmware ? 0x08 : 0x06;
    request->cmd = 0x01;
    request->dataLength = 0;
    auto response = std::make_unique<BMC_MESSAGE>();
    const int status = ProcessMessage(request.get(), response.get(), 5000);
    if (response->dataLength > kBmcMessageDataSize) std::abort();
    if (status != 0 && !bridged && response->dataLength != 0) std::abort();
    return 0;
}
