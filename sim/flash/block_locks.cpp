#include "sim/flash/block_locks.h"

#include <cstdio>
#include <sstream>

namespace sim {

BlockLocks::BlockLocks(const FlashChip& chip, std::uint8_t powerOn) {
    if (chip.erasers.empty()) return;
    std::uint64_t start = 0;
    for (const EraseRegion& region : chip.erasers.front().regions) {
        for (std::uint32_t i = 0; i < region.count; ++i) {
            mBlocks.push_back({start, region.blockBytes, powerOn});
            start += region.blockBytes;
        }
    }
}

std::optional<std::size_t> BlockLocks::BlockAt(std::uint64_t offset) const {
    for (std::size_t block = 0; block < mBlocks.size(); ++block) {
        const Block& candidate = mBlocks[block];
        if (offset >= candidate.start && offset - candidate.start < candidate.bytes) return block;
    }
    return std::nullopt;
}

bool BlockLocks::Set(std::size_t block, std::uint8_t bits) {
    if (LockedDown(block)) return false;
    mBlocks[block].bits = bits & kBlockLockBits;
    return true;
}

std::string BlockLocks::Format() const {
    std::string text;
    for (const Block& block : mBlocks) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X", block.bits);
        if (!text.empty()) text += ',';
        text += byte;
    }
    return text;
}

bool BlockLocks::Parse(const std::string& text) {
    std::vector<std::uint8_t> bits;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        char* end = nullptr;
        const unsigned long value = std::strtoul(item.c_str(), &end, 16);
        if (item.empty() || *end != '\0' || value > kBlockLockBits) return false;
        bits.push_back(static_cast<std::uint8_t>(value));
    }
    if (bits.size() != mBlocks.size()) return false;
    for (std::size_t block = 0; block < bits.size(); ++block) mBlocks[block].bits = bits[block];
    return true;
}

}  // namespace sim
