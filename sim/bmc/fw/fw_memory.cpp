#include "sim/bmc/fw/fw_memory.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace sim::fw {

std::string AreaName(BlockKind kind) {
    switch (kind) {
        case BlockKind::kBoot:
            return "boot";
        case BlockKind::kOpCode:
            return "opcode";
        case BlockKind::kPia:
            return "pia";
        case BlockKind::kEfs:
            return "efs";
    }
    return "?";
}

const MemoryArea* FirmwareMemory::Area(BlockKind kind) const {
    for (const MemoryArea& area : mAreas) {
        if (area.kind == kind) return &area;
    }
    return nullptr;
}

const MemoryArea* FirmwareMemory::AreaAt(std::uint32_t address) const {
    for (const MemoryArea& area : mAreas) {
        if (area.Contains(address)) return &area;
    }
    return nullptr;
}

void FirmwareMemory::Write(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), mBytes.begin() + address);
}

std::optional<FoundBlock> FirmwareMemory::Block(BlockKind kind) const {
    const MemoryArea* area = Area(kind);
    if (area == nullptr || area->start >= mBytes.size()) return std::nullopt;
    const std::size_t last = std::min<std::size_t>(area->end, mBytes.size() - 1);
    auto found = FindBlock(std::span(mBytes).subspan(area->start, last - area->start + 1), kind);
    if (found) found->at += area->start;
    return found;
}

std::optional<BlockVersion> FirmwareMemory::Version(BlockKind kind) const {
    const auto block = Block(kind);
    if (!block) return std::nullopt;
    return VersionOf(*block, kind);
}

bool FirmwareMemory::Load(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (bytes.size() != mBytes.size()) return false;
    mBytes = std::move(bytes);
    return true;
}

bool FirmwareMemory::Save(const std::filesystem::path& file) const {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(mBytes.data()),
              static_cast<std::streamsize>(mBytes.size()));
    return static_cast<bool>(out);
}

}  // namespace sim::fw
