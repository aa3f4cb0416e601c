// Firmware requests as a test writes them by hand: to the BMC's command
// table, or bridged on IPMB channel 0 to a satellite, where a controller
// that answers nothing shows as an empty receive message queue.
#ifndef SRVFW_TESTS_SIM_FW_REQUESTS_H
#define SRVFW_TESTS_SIM_FW_REQUESTS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bmc/fw/controller_firmware.h"
#include "sim/bmc/fw/fw_log.h"
#include "tests/sim/ipmi_frames.h"
#include "tests/sim/settings_of.h"

namespace simtest {

inline constexpr std::uint8_t kFirmwareNetFn = 0x08;
inline constexpr std::uint8_t kBmc = 0x20;
inline constexpr std::uint8_t kFrontPanel = 0x22;
inline constexpr std::uint8_t kHsc0 = 0xC0;
inline constexpr std::uint8_t kVitesseHsc = 0xC2;  // hsc1, the default Vitesse part
inline constexpr std::uint8_t kNotInMode = 0xD5;

inline sim::ControllerFirmware& Firmware() {
    return *sim::TheMachine().Find<sim::ControllerFirmware>();
}

inline sim::fw::FirmwareController& FirmwareAt(std::uint8_t address) {
    sim::fw::FirmwareController* controller = Firmware().Find(address);
    if (controller == nullptr) throw std::logic_error("no firmware at that address");
    return *controller;
}

// One request to the controller at address; Response::silent when it
// answered nothing.
inline sim::ipmi::Response Ask(std::uint8_t address, std::uint8_t netFn, std::uint8_t cmd,
                               const Bytes& data = {}) {
    if (address == kBmc) {
        return sim::TheMachine().Find<sim::Bmc>()->Process(
            {netFn, 0, cmd, data, sim::ipmi::Origin::kSystemInterface, 0});
    }
    IpmbRequest request;
    request.target = address;
    request.netFn = netFn;
    request.cmd = cmd;
    request.data = data;
    const sim::ipmi::Response sent = AskBmc(0x06, 0x34, request.SendMessageData(0));
    EXPECT_EQ(sent.completionCode, 0x00) << "Send Message";
    const sim::ipmi::Response got = AskBmc(0x06, 0x33);
    if (got.completionCode == 0x80) return sim::ipmi::Response::NoAnswer();
    if (got.completionCode != 0x00 || got.data.size() < 8) {
        ADD_FAILURE() << "Get Message answered " << int{got.completionCode};
        return sim::ipmi::Response::Code(0xFF);
    }
    EXPECT_EQ(got.data[3], address);
    EXPECT_EQ(got.data[5], cmd);
    return {got.data[6], Bytes(got.data.begin() + 7, got.data.end() - 1)};
}

inline sim::ipmi::Response FwCommand(std::uint8_t address, std::uint8_t cmd,
                                     const Bytes& data = {}) {
    return Ask(address, kFirmwareNetFn, cmd, data);
}

inline Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

inline Bytes U16(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
}

inline Bytes Joined(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

inline sim::ipmi::Response Enter(std::uint8_t address, const std::string& signature = "VARNO") {
    return FwCommand(address, 0x00, Text(signature));
}
inline sim::ipmi::Response Segment(std::uint8_t address, std::uint16_t segment) {
    return FwCommand(address, 0x05, U16(segment));
}
inline sim::ipmi::Response WriteAt(std::uint8_t address, std::uint16_t offset, const Bytes& bytes) {
    return FwCommand(address, 0x01, Joined(U16(offset), bytes));
}
inline sim::ipmi::Response ReadAt(std::uint8_t address, std::uint16_t offset, std::uint8_t count) {
    return FwCommand(address, 0x02, Joined(U16(offset), {count}));
}
inline sim::ipmi::Response CheckSum(std::uint8_t address, std::uint16_t first, std::uint16_t last) {
    return FwCommand(address, 0x03, Joined(U16(first), U16(last)));
}
inline sim::ipmi::Response DeviceId(std::uint8_t address) {
    return Ask(address, 0x06, 0x01);
}

// Bytes that differ from their neighbours and from erased (FFh) cells.
inline Bytes Pattern(std::size_t size, std::uint8_t seed = 0x11) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
    }
    return bytes;
}

inline Bytes MemoryBytes(std::uint8_t address, std::uint32_t at, std::size_t length) {
    const auto bytes = FirmwareAt(address).Memory().Read(at, length);
    return Bytes(bytes.begin(), bytes.end());
}

inline std::vector<sim::fw::LoggedCommand> FirmwareCommands(const std::string& operation = "") {
    std::vector<sim::fw::LoggedCommand> commands;
    for (auto& command : sim::fw::FirmwareLog(sim::TheMachine().Log())) {
        if (operation.empty() || command.operation == operation) commands.push_back(command);
    }
    return commands;
}

// Advances virtual time, as a host's wait would.
inline void Wait(std::uint64_t ms) {
    sim::TheMachine().Clock().Advance(ms * 1'000'000);
}

}  // namespace simtest

#endif
