#include "tests/bmc/bmc_sim_fixture.h"

#include <algorithm>
#include <csignal>

namespace bmc_test {

void PrintTo(const PortAccess& access, std::ostream* os) {
    char text[32];
    std::snprintf(text, sizeof text, "%s %04X %02X", access.write ? "out" : "in", access.port,
                  access.value);
    *os << text;
}

std::unique_ptr<BMC_MESSAGE> Request(std::uint8_t netFn, std::uint8_t cmd, const Bytes& data,
                                     std::uint8_t slaveAddress, std::uint8_t lun) {
    auto request = std::make_unique<BMC_MESSAGE>();
    request->slaveAddress = slaveAddress;
    request->netFn = netFn;
    request->lun = lun;
    request->cmd = cmd;
    std::copy(data.begin(), data.end(), request->data);
    request->dataLength = static_cast<std::uint32_t>(data.size());
    return request;
}

Bytes DataOf(const BMC_MESSAGE& message) {
    return Bytes(message.data, message.data + message.dataLength);
}

sim::Machine& BmcSimTest::Boot(const std::map<std::string, std::string>& settings) {
    sim::Settings all;
    for (const auto& [key, value] : settings) all.Set(key, value);
    sim::Machine& machine = sim::ResetMachine(all);
    machine.Log().Clear();
    return machine;
}

std::vector<sim::ipmi::Exchange> BmcSimTest::Exchanges(const std::string& component) {
    std::vector<sim::ipmi::Exchange> exchanges;
    for (const sim::LogEntry& entry : Entries(component, component == "kcs" ? "request" : "send")) {
        if (auto exchange = sim::ipmi::LoggedExchange(entry)) exchanges.push_back(*exchange);
    }
    return exchanges;
}

std::vector<sim::ipmi::Exchange> BmcSimTest::KcsRequests(std::uint8_t netFn, std::uint8_t cmd) {
    std::vector<sim::ipmi::Exchange> matching;
    for (const sim::ipmi::Exchange& exchange : Exchanges("kcs")) {
        if (exchange.netFn == netFn && exchange.cmd == cmd) matching.push_back(exchange);
    }
    return matching;
}

std::vector<sim::LogEntry> BmcSimTest::Entries(const std::string& component,
                                               const std::string& operation) {
    std::vector<sim::LogEntry> entries;
    for (const sim::LogEntry& entry : Machine().Log().Of(component)) {
        if (entry.operation == operation) entries.push_back(entry);
    }
    return entries;
}

void BmcSimTest::RecordPorts() {
    Machine().Log().RecordPorts(true);
}

std::vector<PortAccess> BmcSimTest::PortAccesses() {
    std::vector<PortAccess> accesses;
    for (const sim::LogEntry& entry : Machine().Log().Of("port")) {
        accesses.push_back({entry.operation == "out", static_cast<std::uint16_t>(entry.address),
                            static_cast<std::uint8_t>(entry.value)});
    }
    return accesses;
}

std::vector<PortAccess> BmcSimTest::PortWrites() {
    std::vector<PortAccess> writes;
    for (const PortAccess& access : PortAccesses()) {
        if (access.write) writes.push_back(access);
    }
    return writes;
}

::testing::AssertionResult SigalrmAtDefaultAndNoAlarm() {
    struct sigaction current {};
    ::sigaction(SIGALRM, nullptr, &current);
    if (current.sa_handler != SIG_DFL) {
        return ::testing::AssertionFailure() << "SIGALRM has a handler installed";
    }
    if (sim::TheMachine().Clock().AlarmPending()) {
        return ::testing::AssertionFailure() << "an alarm is still pending";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace bmc_test
