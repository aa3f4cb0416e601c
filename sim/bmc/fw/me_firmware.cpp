#include "sim/bmc/fw/me_firmware.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "sim/bmc/fw/fw_blocks.h"

namespace sim::me {

namespace {

constexpr std::uint16_t kLargestMajor = 127;
constexpr std::uint16_t kLargestMinor = 0xFF;

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
    const auto block = fw::FindBlock(image, fw::BlockKind::kOpCode);
    if (!block) return {};
    const fw::BlockVersion named = fw::VersionOf(*block, fw::BlockKind::kOpCode);
    ImageVersion found{true, std::nullopt, named.major, named.minor};
    if (named.major <= kLargestMajor && named.minor <= kLargestMinor) {
        found.version = FirmwareVersion{static_cast<std::uint8_t>(named.major),
                                        static_cast<std::uint8_t>(named.minor)};
    }
    return found;
}

std::vector<std::uint8_t> BuildMeImage(std::size_t size, FirmwareVersion version) {
    std::vector<std::uint8_t> image(std::max(size, kMeImageBlockAt + fw::kOpCodeInfoSize), 0xFF);
    const auto block = std::span(image).subspan(kMeImageBlockAt, fw::kOpCodeInfoSize);
    const std::string_view signature = fw::Signature(fw::BlockKind::kOpCode);
    std::fill(block.begin(), block.end(), 0x00);
    std::copy(signature.begin(), signature.end(), block.begin());
    block[fw::offset::kFormat] = kMeBlockFormat;
    fw::WriteU32(block, fw::offset::kOpCodeStart, 0);
    fw::WriteU32(block, fw::offset::kOpCodeEnd, static_cast<std::uint32_t>(image.size() - 1));
    fw::WriteU16(block, fw::offset::kOpCodeMajor, version.major);
    fw::WriteU16(block, fw::offset::kOpCodeMinor, version.minor);
    fw::SealBlock(block);
    return image;
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
