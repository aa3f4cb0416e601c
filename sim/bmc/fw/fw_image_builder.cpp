#include "sim/bmc/fw/fw_image_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sim::fw {

namespace {

constexpr std::uint32_t kBlockInArea = 0x40;
// Bytes of each area after its block that carry code, so that checksums and
// read-backs see more than erased flash; the rest of an area reads FFh.
constexpr std::uint32_t kCodeBytes = 0x1000;
constexpr std::size_t kHexRecordBytes = 32;

constexpr std::pair<const char*, Broken> kBrokenNames[] = {
    {"none", Broken::kNone},
    {"block-checksum", Broken::kBlockChecksum},
    {"no-opcode-info", Broken::kNoOpCodeInfo},
    {"address-zero", Broken::kDeviceAddressZero},
    {"line-checksum", Broken::kHexLineChecksum},
    {"no-end-record", Broken::kNoEndRecord},
};

void PutText(std::span<std::uint8_t> block, std::size_t at, const std::string& text,
             std::size_t width) {
    std::memcpy(block.data() + at, text.data(), std::min(text.size(), width));
}

// The stored end of an area: format 5 stores one past the last byte.
std::uint32_t StoredEnd(const ImageSpec& recipe, std::uint32_t end) {
    return recipe.blockFormat == 5 ? end + 1 : end;
}

std::vector<std::uint8_t> BlockBytes(const ImageSpec& recipe, const MemoryArea& area) {
    std::vector<std::uint8_t> block(BlockSize(area.kind, recipe.piaType) == 0
                                        ? kPiaType2Size
                                        : BlockSize(area.kind, recipe.piaType),
                                    0);
    const std::string_view signature = Signature(area.kind);
    std::memcpy(block.data(), signature.data(), signature.size());
    switch (area.kind) {
        case BlockKind::kBoot:
            block[offset::kFormat] = recipe.blockFormat;
            PutText(block, offset::kIdentification, recipe.identification,
                    kIdentificationBytes - 1);
            PutText(block, offset::kDeviceName, recipe.deviceName, kDeviceNameBytes);
            block[offset::kDeviceAddress] =
                recipe.broken == Broken::kDeviceAddressZero ? 0 : recipe.address;
            WriteU32(block, offset::kBootStart, area.start);
            WriteU32(block, offset::kBootEnd, StoredEnd(recipe, area.end));
            WriteU16(block, offset::kBootMajor, recipe.boot.major);
            WriteU16(block, offset::kBootMinor, recipe.boot.minor);
            break;
        case BlockKind::kOpCode:
            block[offset::kFormat] = recipe.blockFormat;
            WriteU32(block, offset::kOpCodeStart, area.start);
            WriteU32(block, offset::kOpCodeEnd, StoredEnd(recipe, area.end));
            WriteU16(block, offset::kOpCodeMajor, recipe.opCode.major);
            WriteU16(block, offset::kOpCodeMinor, recipe.opCode.minor);
            break;
        case BlockKind::kPia:
            block[offset::kPiaType] = recipe.piaType;
            block[offset::kPiaMajor] = static_cast<std::uint8_t>(recipe.pia.major);
            block[offset::kPiaMinor] = static_cast<std::uint8_t>(recipe.pia.minor);
            WriteU16(block, offset::kPiaProductId, recipe.productId);
            PutText(block, offset::kPiaPlatformId, recipe.platformId, kPlatformIdBytes);
            WriteU32(block, offset::kPiaStart, area.start);
            WriteU32(block, offset::kPiaEnd, area.end);
            break;
        case BlockKind::kEfs:
            PutText(block, offset::kEfsPlatformName, recipe.platformName, kPlatformIdBytes);
            WriteU32(block, offset::kEfsStart, area.start);
            WriteU32(block, offset::kEfsEnd, area.end);
            WriteU16(block, offset::kEfsMajor, recipe.efs.major);
            WriteU16(block, offset::kEfsMinor, recipe.efs.minor);
            break;
    }
    const std::size_t checked = BlockSize(area.kind, recipe.piaType);
    if (checked != 0) SealBlock(std::span(block).first(checked));
    if (area.kind == BlockKind::kBoot && recipe.broken == Broken::kBlockChecksum) {
        ++block[offset::kBootMajor];  // an even offset: the low byte of the sum moves
    }
    return block;
}

std::string HexLine(std::uint8_t type, std::uint16_t offset, std::span<const std::uint8_t> data) {
    std::uint8_t sum = static_cast<std::uint8_t>(data.size() + (offset >> 8) + offset + type);
    char head[16];
    std::snprintf(head, sizeof head, ":%02X%04X%02X", static_cast<unsigned>(data.size()), offset,
                  type);
    std::string line = head;
    char byte[4];
    for (const std::uint8_t value : data) {
        std::snprintf(byte, sizeof byte, "%02X", value);
        line += byte;
        sum = static_cast<std::uint8_t>(sum + value);
    }
    std::snprintf(byte, sizeof byte, "%02X", static_cast<std::uint8_t>(-sum));
    return line + byte + "\n";
}

std::vector<std::string> HexLines(std::span<const std::uint8_t> bytes) {
    std::vector<std::string> lines;
    std::optional<std::uint32_t> base;
    for (std::size_t at = 0; at < bytes.size(); at += kHexRecordBytes) {
        const auto piece = bytes.subspan(at, std::min(kHexRecordBytes, bytes.size() - at));
        if (std::all_of(piece.begin(), piece.end(), [](std::uint8_t b) { return b == 0xFF; })) {
            continue;
        }
        const auto upper = static_cast<std::uint32_t>(at >> 16);
        if (base != upper) {
            const std::uint8_t address[] = {static_cast<std::uint8_t>(upper >> 8),
                                            static_cast<std::uint8_t>(upper)};
            lines.push_back(HexLine(4, 0, address));
            base = upper;
        }
        lines.push_back(HexLine(0, static_cast<std::uint16_t>(at), piece));
    }
    lines.push_back(HexLine(1, 0, {}));
    return lines;
}

}  // namespace

std::optional<Broken> BrokenNamed(const std::string& name) {
    for (const auto& [text, broken] : kBrokenNames) {
        if (name == text) return broken;
    }
    return std::nullopt;
}

std::string BrokenName(Broken broken) {
    for (const auto& [text, kind] : kBrokenNames) {
        if (kind == broken) return text;
    }
    return "?";
}

std::optional<ControllerKind> KindOfAddress(std::uint8_t address) {
    switch (address) {
        case 0x20:
            return ControllerKind::kBmc;
        case 0x22:
            return ControllerKind::kFrontPanel;
        case 0xC0:
        case 0xC2:
            return ControllerKind::kHotSwap;
        default:
            return std::nullopt;
    }
}

ImageSpec DefaultImageSpec(ControllerKind kind, std::uint8_t address, bool vitesse) {
    ImageSpec recipe;
    recipe.kind = kind;
    recipe.address = address;
    switch (kind) {
        case ControllerKind::kBmc:
            break;
        case ControllerKind::kFrontPanel:
            recipe.size = 0x10000;
            recipe.deviceName = "FP";
            recipe.identification = "SIMFP";
            break;
        case ControllerKind::kHotSwap:
            recipe.size = 0x20000;
            recipe.deviceName = vitesse ? "VSC" : "HSC";
            recipe.identification = "SIMHSC";
            break;
    }
    return recipe;
}

std::vector<MemoryArea> ImageAreas(const ImageSpec& recipe) {
    const std::uint32_t last = recipe.size - 1;
    switch (recipe.kind) {
        case ControllerKind::kBmc:
            return {{BlockKind::kBoot, 0, 0xFFFF},
                    {BlockKind::kOpCode, 0x10000, last - 0x20000},
                    {BlockKind::kPia, last - 0x1FFFF, last - 0x10000},
                    {BlockKind::kEfs, last - 0xFFFF, last}};
        case ControllerKind::kFrontPanel:
            return {{BlockKind::kBoot, 0, 0xFFF}, {BlockKind::kOpCode, 0x1000, last}};
        case ControllerKind::kHotSwap:
            return {{BlockKind::kBoot, 0, 0x3FFF},
                    {BlockKind::kOpCode, 0x4000, last - 0x4000},
                    {BlockKind::kPia, last - 0x3FFF, last}};
    }
    return {};
}

std::vector<std::uint8_t> BuildBinary(const ImageSpec& recipe) {
    std::vector<std::uint8_t> image(recipe.size, 0xFF);
    for (const MemoryArea& area : ImageAreas(recipe)) {
        if (area.kind == BlockKind::kOpCode && recipe.broken == Broken::kNoOpCodeInfo) continue;
        const std::vector<std::uint8_t> block = BlockBytes(recipe, area);
        const std::uint32_t at = area.start + kBlockInArea;
        std::copy(block.begin(), block.end(), image.begin() + at);
        const std::uint32_t codeEnd = std::min<std::uint32_t>(
            area.end + 1, at + static_cast<std::uint32_t>(block.size()) + kCodeBytes);
        for (std::uint32_t code = at + static_cast<std::uint32_t>(block.size()); code < codeEnd;
             ++code) {
            image[code] = static_cast<std::uint8_t>(code * 7 + static_cast<unsigned>(area.kind));
        }
    }
    return image;
}

std::string HexRecords(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::string& line : HexLines(bytes)) text += line;
    return text;
}

std::string BuildHex(const ImageSpec& recipe) {
    std::vector<std::string> lines = HexLines(BuildBinary(recipe));
    if (recipe.broken == Broken::kNoEndRecord) lines.pop_back();
    if (recipe.broken == Broken::kHexLineChecksum) {
        // The first data record's checksum, one off.
        for (std::string& line : lines) {
            if (line.compare(7, 2, "00") != 0) continue;
            const std::size_t at = line.size() - 3;
            const unsigned checksum = std::stoul(line.substr(at, 2), nullptr, 16);
            char fixed[4];
            std::snprintf(fixed, sizeof fixed, "%02X", (checksum + 1) & 0xFF);
            line.replace(at, 2, fixed);
            break;
        }
    }
    std::string text;
    for (const std::string& line : lines) text += line;
    return text;
}

}  // namespace sim::fw
