// FRU requests as a test writes them by hand: Read/Write FRU Data, Get FRU
// Inventory Area Info and Master Write-Read to the BMC's command table, or
// bridged to a satellite through Send Message and Get Message.
#ifndef SRVFW_TESTS_SIM_FRU_REQUESTS_H
#define SRVFW_TESTS_SIM_FRU_REQUESTS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bmc/fru/fru_storage.h"
#include "tests/sim/ipmi_frames.h"
#include "tests/sim/settings_of.h"

namespace simtest {

inline sim::FruStorage& ResetFru(SettingPairs settings = {}) {
    return *sim::ResetMachine(SettingsOf(settings)).Find<sim::FruStorage>();
}

inline sim::fru::FruDevice& FruDeviceNamed(const std::string& name) {
    sim::fru::FruDevice* device = sim::TheMachine().Find<sim::FruStorage>()->Find(name);
    if (device == nullptr) throw std::logic_error("no FRU device " + name);
    return *device;
}

// A machine whose only FRU device is the one logical device `device`
// describes ("dev:bmc:2:64", as fru.devices takes it), with the case's
// settings.
inline sim::fru::FruDevice& OnlyLogicalDevice(const std::string& device, SettingPairs extra = {}) {
    sim::Settings settings = SettingsOf(extra);
    settings.Set("fru.devices", device);
    settings.Set("fru.memories", "");
    sim::ResetMachine(settings);
    return FruDeviceNamed(device.substr(0, device.find(':')));
}

inline Bytes Contents(const sim::fru::FruDevice& device) {
    return Bytes(device.Contents().begin(), device.Contents().end());
}

// Bytes that differ from their neighbours and from erased (FFh) or zero
// cells: a byte read from the wrong place shows.
inline Bytes Pattern(std::size_t size, std::uint8_t seed = 0x11) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
    return bytes;
}

inline Bytes ReadFruRequest(std::uint8_t id, std::uint16_t offset, std::uint8_t count) {
    return {id, static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(offset >> 8), count};
}

inline Bytes WriteFruRequest(std::uint8_t id, std::uint16_t offset, const Bytes& data) {
    Bytes request = {id, static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(offset >> 8)};
    request.insert(request.end(), data.begin(), data.end());
    return request;
}

inline sim::ipmi::Response ReadFru(std::uint8_t id, std::uint16_t offset, std::uint8_t count) {
    return AskBmc(0x0A, 0x11, ReadFruRequest(id, offset, count));
}

inline sim::ipmi::Response WriteFru(std::uint8_t id, std::uint16_t offset, const Bytes& data) {
    return AskBmc(0x0A, 0x12, WriteFruRequest(id, offset, data));
}

// Master Write-Read: bus ID byte, slave address, read count, bytes to write.
inline sim::ipmi::Response MasterWriteRead(std::uint8_t bus, std::uint8_t slave, std::uint8_t count,
                                           const Bytes& written = {}) {
    Bytes request = {bus, slave, count};
    request.insert(request.end(), written.begin(), written.end());
    return AskBmc(0x06, 0x52, request);
}

// A request bridged to the satellite at address on channel: Send Message,
// then the response frame Get Message hands out, checked and unpacked.
inline sim::ipmi::Response AskSatellite(std::uint8_t channel, std::uint8_t address,
                                        std::uint8_t netFn, std::uint8_t cmd, const Bytes& data) {
    IpmbRequest request;
    request.target = address;
    request.netFn = netFn;
    request.cmd = cmd;
    request.data = data;
    const sim::ipmi::Response sent = AskBmc(0x06, 0x34, request.SendMessageData(channel));
    EXPECT_EQ(sent.completionCode, 0x00) << "Send Message";
    const sim::ipmi::Response got = AskBmc(0x06, 0x33);
    // channel, netFn/LUN, checksum, rsSA, seq/LUN, cmd, completion code,
    // data, checksum
    if (got.completionCode != 0x00 || got.data.size() < 8) {
        ADD_FAILURE() << "Get Message answered " << int{got.completionCode} << " with "
                      << got.data.size() << " bytes";
        return sim::ipmi::Response::Code(0xFF);
    }
    EXPECT_EQ(got.data[0], channel);
    EXPECT_EQ(got.data[1] >> 2, netFn + 1);
    EXPECT_EQ(got.data[3], address);
    EXPECT_EQ(got.data[5], cmd);
    EXPECT_TRUE(SumsToZero(std::span(got.data).subspan(3))) << "data checksum";
    return {got.data[6], Bytes(got.data.begin() + 7, got.data.end() - 1)};
}

inline std::vector<sim::fru::LoggedAccess> FruAccesses(const std::string& device = "") {
    return sim::fru::LoggedAccesses(sim::TheMachine().Log(), device);
}

}  // namespace simtest

#endif
