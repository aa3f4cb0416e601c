#include "sim/bmc/fw/me_firmware.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace sim::me {

namespace {

constexpr char kSignature[] = "*OpCodeInfo*";
constexpr std::size_t kSignatureBytes = sizeof kSignature - 1;
constexpr std::size_t kBlockBytes = 72;
constexpr std::size_t kMajorAt = 40;
constexpr std::size_t kMinorAt = 42;
constexpr std::uint16_t kLargestMajor = 127;
constexpr std::uint16_t kLargestMinor = 0xFF;

std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

bool ChecksumHolds(std::span<const std::uint8_t> block) {
    unsigned sum = 0;
    for (std::size_t at = 0; at + 1 < block.size(); at += 2) sum += Word(block, at);
    return (sum & 0xFF) == 0;
}

std::filesystem::path WithSuffix(const std::filesystem::path& base, const char* suffix) {
    return base.string() + suffix;
}

}  // namespace

std::string FirmwareVersion::Text() const {
    char text[8];
    std::snprintf(text, sizeof text, "%X.%02X", major, minor);
    return text;
}

ImageVersion FindImageVersion(std::span<const std::uint8_t> image) {
    const auto* signature = reinterpret_cast<const std::uint8_t*>(kSignature);
    auto at = image.begin();
    while (true) {
        at = std::search(at, image.end(), signature, signature + kSignatureBytes);
        if (at == image.end()) return {};
        const auto offset = static_cast<std::size_t>(at - image.begin());
        // A signature too close to the end, or one whose block does not sum
        // right, is not a block: the search goes on past it.
        if (image.size() - offset >= kBlockBytes) {
            const auto block = image.subspan(offset, kBlockBytes);
            if (ChecksumHolds(block)) {
                ImageVersion found{true, std::nullopt, Word(block, kMajorAt),
                                   Word(block, kMinorAt)};
                if (found.major <= kLargestMajor && found.minor <= kLargestMinor) {
                    found.version = FirmwareVersion{static_cast<std::uint8_t>(found.major),
                                                    static_cast<std::uint8_t>(found.minor)};
                }
                return found;
            }
        }
        ++at;
    }
}

void RunningFirmware::Load(const std::filesystem::path& base) {
    if (std::ifstream in(WithSuffix(base, ".bin"), std::ios::binary); in) {
        image.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::ifstream text(WithSuffix(base, ".version"));
    unsigned major = 0;
    unsigned minor = 0;
    char dot = 0;
    if (text >> std::hex >> major >> dot >> minor && dot == '.' && major <= kLargestMajor &&
        minor <= kLargestMinor) {
        version =
            FirmwareVersion{static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor)};
    }
}

void RunningFirmware::Save(const std::filesystem::path& base) const {
    if (!version) return;
    std::ofstream out(WithSuffix(base, ".bin"), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    std::ofstream(WithSuffix(base, ".version"), std::ios::trunc) << version->Text() << "\n";
}

}  // namespace sim::me
