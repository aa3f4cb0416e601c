// The management engine's running firmware: the image it last took from its
// staging area and the version that image carries, kept in the state
// directory as the engine keeps them in its flash.
//
// The version comes from the image's own OpCodeInfo block, the information
// block every controller's firmware carries: the signature "*OpCodeInfo*",
// 72 bytes whose 16-bit little-endian words sum to a value with a low byte
// of 0, the major version at offset 40 and the minor at 42 (u16 each). Get
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

struct RunningFirmware {
    std::vector<std::uint8_t> image;         // empty: none taken yet
    std::optional<FirmwareVersion> version;  // none: the settings' version

    void Load(const std::filesystem::path& base);
    void Save(const std::filesystem::path& base) const;
};

}  // namespace sim::me

#endif
