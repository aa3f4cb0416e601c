#include "sim/bmc/fw/fw_blocks.h"

#include <algorithm>

namespace sim::fw {

std::string_view Signature(BlockKind kind) {
    switch (kind) {
        case BlockKind::kBoot:
            return "*BootInfo*";
        case BlockKind::kOpCode:
            return "*OpCodeInfo*";
        case BlockKind::kPia:
            return "*PltfrmInfArea*";
        case BlockKind::kEfs:
            return "*EFS_Image*";
    }
    return {};
}

std::size_t BlockSize(BlockKind kind, std::uint8_t piaType) {
    switch (kind) {
        case BlockKind::kBoot:
            return kBootInfoSize;
        case BlockKind::kOpCode:
            return kOpCodeInfoSize;
        case BlockKind::kEfs:
            return kEfsSize;
        case BlockKind::kPia:
            if (piaType == 2) return kPiaType2Size;
            if (piaType == 3) return kPiaType3Size;
            return 0;
    }
    return 0;
}

bool BlockChecksumHolds(std::span<const std::uint8_t> block) {
    std::uint8_t low = 0;
    // Only the low byte of each word reaches the low byte of the sum.
    for (std::size_t at = 0; at < block.size(); at += 2)
        low = static_cast<std::uint8_t>(low + block[at]);
    return low == 0;
}

void SealBlock(std::span<std::uint8_t> block) {
    const std::size_t fix = block.size() - 2;
    block[fix] = 0;
    std::uint8_t low = 0;
    for (std::size_t at = 0; at < block.size(); at += 2)
        low = static_cast<std::uint8_t>(low + block[at]);
    block[fix] = static_cast<std::uint8_t>(-low);
}

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return ReadU16(bytes, at) | static_cast<std::uint32_t>(ReadU16(bytes, at + 2)) << 16;
}

void WriteU16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void WriteU32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
    WriteU16(bytes, at, static_cast<std::uint16_t>(value));
    WriteU16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::optional<FoundBlock> FindBlock(std::span<const std::uint8_t> bytes, BlockKind kind) {
    const std::string_view signature = Signature(kind);
    auto from = bytes.begin();
    while (true) {
        const auto hit = std::search(from, bytes.end(), signature.begin(), signature.end());
        if (hit == bytes.end()) return std::nullopt;
        const std::size_t at = static_cast<std::size_t>(hit - bytes.begin());
        const std::uint8_t piaType =
            at + offset::kPiaType < bytes.size() ? bytes[at + offset::kPiaType] : 0;
        const std::size_t size = BlockSize(kind, piaType);
        if (size != 0 && at + size <= bytes.size()) {
            const auto block = bytes.subspan(at, size);
            if (BlockChecksumHolds(block)) return FoundBlock{at, block};
        }
        from = hit + 1;
    }
}

BlockVersion VersionOf(const FoundBlock& block, BlockKind kind) {
    const auto bytes = block.bytes;
    switch (kind) {
        case BlockKind::kBoot:
            return {ReadU16(bytes, offset::kBootMajor), ReadU16(bytes, offset::kBootMinor)};
        case BlockKind::kOpCode:
            return {ReadU16(bytes, offset::kOpCodeMajor), ReadU16(bytes, offset::kOpCodeMinor)};
        case BlockKind::kPia:
            return {bytes[offset::kPiaMajor], bytes[offset::kPiaMinor]};
        case BlockKind::kEfs:
            return {ReadU16(bytes, offset::kEfsMajor), ReadU16(bytes, offset::kEfsMinor)};
    }
    return {};
}

}  // namespace sim::fw
