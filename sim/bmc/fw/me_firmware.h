// The management engine's running firmware: the image it last took from its
// staging area and the version that image carries, kept in the state
// directory as the engine keeps them in its flash.
//
// The version comes from the image's own OpCodeInfo block, the information
// block every controller's firmware carries (sim/bmc/fw/fw_blocks.h): the
// first one whose checksum holds, its major and minor versions. Get
// Device ID reports the major in bits 6:0 of its byte 2 and the minor byte
// as byte 3, so an image whose major is above 127 or whose minor is above
// FFh names a version the engine cannot report.
//
// State files: FILE.bin (the image, raw) and FILE.version ("2.15": the two
// bytes Get Device ID reports, in hexadecimal). A missing file leaves what
// the settings say.
#ifndef SRVFW_SIM_BMC_FW_ME_FIRMWARE_H
#define SRVFW_SIM_BMC_FW_ME_FIRMWARE_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim::me {

// Two version bytes as a controller reports them (Get Device ID: a major of
// 0..127 and a minor in BCD by convention).
struct FirmwareVersion {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;

    bool operator==(const FirmwareVersion&) const = default;
    // "2.15"
    std::string Text() const;
};

// What an image's OpCodeInfo block says of its version.
struct ImageVersion {
    bool found = false;                      // a block whose checksum holds
    std::optional<FirmwareVersion> version;  // none: it does not fit Get Device ID
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
};
ImageVersion FindImageVersion(std::span<const std::uint8_t> image);

// An engine image as its vendor's build makes one: size bytes (at least
// the block's end) of FFh with an OpCodeInfo block (format 6, the whole
// image as its area) at kMeImageBlockAt naming the version.
inline constexpr std::size_t kMeImageBlockAt = 0x40;
inline constexpr std::uint8_t kMeBlockFormat = 6;
std::vector<std::uint8_t> BuildMeImage(std::size_t size, FirmwareVersion version);

struct RunningFirmware {
    std::vector<std::uint8_t> image;         // empty: none taken yet
    std::optional<FirmwareVersion> version;  // none: the settings' version

    void Load(const std::filesystem::path& base);
    void Save(const std::filesystem::path& base) const;
};

}  // namespace sim::me

#endif
