// Runs the message layer against a freshly built simulated server and reads
// back what its KCS interface, BMC, IPMB satellites and session endpoint
// were asked.
#ifndef SRVFW_TESTS_BMC_BMC_SIM_FIXTURE_H
#define SRVFW_TESTS_BMC_BMC_SIM_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bmc/message.h"
#include "sim/bmc/bmc.h"
#include "sim/bmc/ipmi.h"
#include "sim/core/machine.h"
#include "tests/bmc/scratch_dir.h"

namespace bmc_test {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kDataPort = 0x0CA2;
inline constexpr std::uint16_t kStatusPort = 0x0CA3;
inline constexpr std::uint64_t kNsPerSecond = 1'000'000'000;

// One port access as the machine recorded it.
struct PortAccess {
    bool write;
    std::uint16_t port;
    std::uint8_t value;
    bool operator==(const PortAccess&) const = default;
};
void PrintTo(const PortAccess& access, std::ostream* os);
inline PortAccess Out(std::uint16_t port, std::uint8_t value) {
    return {true, port, value};
}
inline PortAccess In(std::uint16_t port, std::uint8_t value) {
    return {false, port, value};
}

// A request record for the layer (64 KiB, so on the heap).
std::unique_ptr<BMC_MESSAGE> Request(std::uint8_t netFn, std::uint8_t cmd, const Bytes& data = {},
                                     std::uint8_t slaveAddress = kBmcSlaveAddress,
                                     std::uint8_t lun = 0);
inline std::unique_ptr<BMC_MESSAGE> Response() {
    return std::make_unique<BMC_MESSAGE>();
}
Bytes DataOf(const BMC_MESSAGE& message);

// Runs in a directory of its own, where the layer's debug log goes.
class BmcSimTest : public ScratchDirTest {
  protected:
    // A fresh server with these settings; the request log starts empty.
    sim::Machine& Boot(const std::map<std::string, std::string>& settings = {});
    sim::Machine& Machine() { return sim::TheMachine(); }
    sim::Bmc& Bmc() { return *Machine().Find<sim::Bmc>(); }

    // Whole requests a component received ("kcs", "libipmi"), in order.
    std::vector<sim::ipmi::Exchange> Exchanges(const std::string& component);
    // The KCS requests of one command.
    std::vector<sim::ipmi::Exchange> KcsRequests(std::uint8_t netFn, std::uint8_t cmd);
    std::vector<sim::LogEntry> Entries(const std::string& component, const std::string& operation);

    // Port accesses are recorded from here on.
    void RecordPorts();
    std::vector<PortAccess> PortAccesses();
    std::vector<PortAccess> PortWrites();

    double VirtualSeconds() { return Machine().Clock().NowNs() / double(kNsPerSecond); }
};

// The ends every wait of the KCS transport must leave behind.
::testing::AssertionResult SigalrmAtDefaultAndNoAlarm();

}  // namespace bmc_test

#endif
