#include "sim/bios/bios_flash_layout.h"

#include <algorithm>

namespace sim {

namespace {

constexpr std::uint32_t kFirstMegabyte = 0x100000;

}  // namespace

BiosFlashLayout BiosFlashLayout::Uniform(std::uint32_t romBytes, std::uint32_t blockBytes,
                                         unsigned bootBlocks) {
    BiosFlashLayout layout;
    layout.romBytes = romBytes;
    layout.bootBlocks = bootBlocks;
    const std::uint32_t base = layout.BaseOffset();
    for (std::uint32_t offset = 0; blockBytes != 0 && offset < romBytes; offset += blockBytes) {
        layout.blocks.push_back({base + offset, std::min(blockBytes, romBytes - offset)});
    }
    if (layout.blocks.size() > bootBlocks) {
        layout.nvram.push_back(layout.blocks[layout.blocks.size() - bootBlocks - 1].address);
    }
    return layout;
}

std::uint32_t BiosFlashLayout::BaseOffset() const {
    return romBytes <= kFirstMegabyte ? kFirstMegabyte - romBytes : 0;
}

std::optional<ImageRange> BiosFlashLayout::ImageRangeOf(std::uint64_t address,
                                                        std::uint64_t length) const {
    const std::uint64_t base = BaseOffset();
    if (address < base || address - base > romBytes || length > romBytes - (address - base)) {
        return std::nullopt;
    }
    return ImageRange{address - base, length};
}

const FlashBlock* BiosFlashLayout::BlockAt(std::uint64_t address) const {
    for (const FlashBlock& block : blocks) {
        if (block.address == address) return &block;
    }
    return nullptr;
}

std::optional<ImageRange> BiosFlashLayout::BootRegion() const {
    if (bootBlocks == 0 || bootBlocks > blocks.size()) return std::nullopt;
    const std::size_t first = blocks.size() - bootBlocks;
    std::uint64_t length = 0;
    for (std::size_t i = first; i < blocks.size(); ++i) length += blocks[i].size;
    return ImageRangeOf(blocks[first].address, length);
}

std::uint32_t WordSum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        sum += std::uint32_t{bytes[i]} | std::uint32_t{bytes[i + 1]} << 8 |
               std::uint32_t{bytes[i + 2]} << 16 | std::uint32_t{bytes[i + 3]} << 24;
    }
    return sum;
}

}  // namespace sim
