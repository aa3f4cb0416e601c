// IPMB frames as a test writes them by hand, with checksums computed here,
// apart from the simulator's own code, so that a checksum both sides got
// wrong the same way cannot pass.
#ifndef SRVFW_TESTS_SIM_IPMI_FRAMES_H
#define SRVFW_TESTS_SIM_IPMI_FRAMES_H

#include <cstdint>
#include <numeric>
#include <span>
#include <vector>

#include "sim/bmc/bmc.h"
#include "sim/core/machine.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

inline bool SumsToZero(std::span<const std::uint8_t> bytes) {
    return std::accumulate(bytes.begin(), bytes.end(), 0u) % 256 == 0;
}

inline std::uint8_t ZeroingByte(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(256 - std::accumulate(bytes.begin(), bytes.end(), 0u) % 256);
}

struct IpmbRequest {
    std::uint8_t target = 0;
    std::uint8_t netFn = 0x06;
    std::uint8_t cmd = 0x01;
    std::uint8_t sequence = 5;
    Bytes data;
    std::uint8_t requester = 0x20;
    std::uint8_t requesterLun = 2;
    std::uint8_t targetLun = 0;

    // rsSA, netFn/rsLUN, checksum, rqSA, rqSeq/rqLUN, cmd, data, checksum
    Bytes Frame() const {
        Bytes frame = {target, static_cast<std::uint8_t>(netFn << 2 | targetLun)};
        frame.push_back(ZeroingByte(frame));
        frame.push_back(requester);
        frame.push_back(static_cast<std::uint8_t>(sequence << 2 | requesterLun));
        frame.push_back(cmd);
        frame.insert(frame.end(), data.begin(), data.end());
        frame.push_back(ZeroingByte(std::span(frame).subspan(3)));
        return frame;
    }
    // The data of Send Message: the channel byte, then the frame.
    Bytes SendMessageData(std::uint8_t channel) const {
        Bytes bytes = {channel};
        const Bytes frame = Frame();
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        return bytes;
    }
};

// One request to the machine's BMC, as an interface hands it over.
inline sim::ipmi::Response AskBmc(std::uint8_t netFn, std::uint8_t cmd, const Bytes& data = {}) {
    return sim::TheMachine().Find<sim::Bmc>()->Process(
        {netFn, 0, cmd, data, sim::ipmi::Origin::kSystemInterface, 0});
}

}  // namespace simtest

#endif
