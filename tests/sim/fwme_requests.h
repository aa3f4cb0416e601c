// Requests to the management engine's staging commands as a test writes them
// by hand, straight to the engine's controller (the bridged path through the
// BMC has a test of its own), its log entries, and images with an
// OpCodeInfo block whose checksum is computed here, apart from the
// simulator's code.
#ifndef SRVFW_TESTS_SIM_FWME_REQUESTS_H
#define SRVFW_TESTS_SIM_FWME_REQUESTS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bmc/fw/me_staging.h"
#include "tests/sim/ipmi_frames.h"
#include "tests/sim/settings_of.h"

namespace simtest {

inline constexpr std::uint64_t kNsPerMs = 1000000;

inline sim::ManagementEngine& Engine() {
    return *sim::TheMachine().Find<sim::ManagementEngine>();
}

// A fresh machine with the settings; its engine.
inline sim::ManagementEngine& ResetEngine(SettingPairs settings = {}) {
    sim::ResetMachine(SettingsOf(settings));
    return Engine();
}

inline sim::ipmi::Response AskMe(std::uint8_t netFn, std::uint8_t cmd, const Bytes& data = {}) {
    sim::ipmi::Controller* engine = sim::TheMachine().Find<sim::Bmc>()->Ipmb().Find(6, 0x2C);
    return engine->Handle({netFn, 0, cmd, data, sim::ipmi::Origin::kIpmb, 0x20});
}

inline std::uint8_t Staging(std::uint8_t cmd, const Bytes& data = {}) {
    return AskMe(0x30, cmd, data).completionCode;
}

inline std::uint8_t ResetMe(std::uint8_t target) {
    return Staging(0xDF, {target});
}
inline std::uint8_t Erase() {
    return Staging(0xA0);
}
inline std::uint8_t OpenArea(std::uint8_t area = 1, std::uint8_t second = 0) {
    return Staging(0xA1, {area, second});
}
inline std::uint8_t WriteArea(std::uint8_t sequence, const Bytes& bytes) {
    Bytes data = {sequence};
    data.insert(data.end(), bytes.begin(), bytes.end());
    return Staging(0xA2, data);
}
inline std::uint8_t CloseArea(std::uint32_t length, std::uint16_t checksum) {
    return Staging(
        0xA3, {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
               static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24),
               static_cast<std::uint8_t>(checksum), static_cast<std::uint8_t>(checksum >> 8)});
}

// Get Device ID bytes 2 and 3: the transfer-mode bit with the major
// version, and the minor version.
inline std::pair<std::uint8_t, std::uint8_t> MeFirmwareBytes() {
    const sim::ipmi::Response response = AskMe(0x06, 0x01);
    EXPECT_EQ(response.completionCode, 0x00);
    if (response.data.size() < 4) return {0, 0};
    return {response.data[2], response.data[3]};
}

inline bool MeInTransferMode() {
    return MeFirmwareBytes().first & 0x80;
}

// Reset into transfer mode and erase the staging area, letting the erase's
// virtual time pass.
inline void ResetAndErase() {
    ASSERT_EQ(ResetMe(1), 0x00);
    std::uint8_t code = Erase();
    for (int poll = 0; code != 0x00 && poll < 100; ++poll) {
        sim::TheMachine().Clock().Advance(1000 * kNsPerMs);
        code = Erase();
    }
    ASSERT_EQ(code, 0x00);
}

// The checksum a host sends with an image: the words of the image summed
// (an odd last byte as the high byte of its word), negated.
inline std::uint16_t HostChecksum(const Bytes& image) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        sum += i + 1 < image.size() ? image[i] + 256u * image[i + 1] : 256u * image[i];
    }
    return static_cast<std::uint16_t>(-sum);
}

// Writes the image one byte a request, as the update library does, with
// sequence numbers from 1; the first code other than 00h, or 00h.
inline std::uint8_t WriteImage(const Bytes& image) {
    std::uint8_t sequence = 1;
    for (const std::uint8_t byte : image) {
        if (const std::uint8_t code = WriteArea(sequence++, {byte}); code != 0x00) return code;
    }
    return 0x00;
}

// Open, write, close with the right length and checksum; the close's code.
inline std::uint8_t StageImage(const Bytes& image) {
    if (const std::uint8_t code = OpenArea(); code != 0x00) return code;
    if (const std::uint8_t code = WriteImage(image); code != 0x00) return code;
    return CloseArea(static_cast<std::uint32_t>(image.size()), HostChecksum(image));
}

// An ME image of size bytes of filler with an OpCodeInfo block at offset
// at: signature, version major at 40 and minor at 42, one byte set so that
// the block's words sum to a low byte of 0 (or of 1 when broken).
inline Bytes MeImage(std::size_t size, std::size_t at, std::uint16_t major, std::uint16_t minor,
                     bool broken = false) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    Bytes block(72, 0x00);
    const std::string signature = "*OpCodeInfo*";
    std::copy(signature.begin(), signature.end(), block.begin());
    block[16] = 6;
    block[40] = static_cast<std::uint8_t>(major);
    block[41] = static_cast<std::uint8_t>(major >> 8);
    block[42] = static_cast<std::uint8_t>(minor);
    block[43] = static_cast<std::uint8_t>(minor >> 8);
    unsigned sum = 0;
    for (std::size_t i = 0; i < block.size(); i += 2) sum += block[i] + 256u * block[i + 1];
    block[70] = static_cast<std::uint8_t>(256 - sum % 256 + (broken ? 1 : 0));
    std::copy(block.begin(), block.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
    return image;
}

inline std::vector<sim::vendor::LoggedRequest> MeRequests(const std::string& operation = "") {
    return sim::vendor::LoggedRequests(sim::TheMachine().Log(), "me", operation);
}

}  // namespace simtest

#endif
