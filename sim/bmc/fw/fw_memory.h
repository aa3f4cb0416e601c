// A controller's firmware memory: a byte image of its flash with the areas
// the firmware divides it into, each holding its information block
// (sim/bmc/fw/fw_blocks.h).
//
// Writes are simply stored: the controller's firmware erases a sector and
// programs it behind a WriteLowlvl, so the bytes a write carries are what
// a later read returns, whatever was there. A host gains nothing from
// modelling the erase here (a half-written area is what it meets anyway
// when an update stops), and a byte-exact store keeps the read-back and
// checksum answers plain to check.
//
// The memory is kept in the state directory as one raw file of its size;
// a file of another size is not loaded (the default image stays), so a
// changed size setting never runs a controller on a truncated image.
#ifndef SRVFW_SIM_BMC_FW_FW_MEMORY_H
#define SRVFW_SIM_BMC_FW_FW_MEMORY_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/bmc/fw/fw_blocks.h"

namespace sim::fw {

// One area of a controller's memory, inclusive at both ends.
struct MemoryArea {
    BlockKind kind = BlockKind::kBoot;
    std::uint32_t start = 0;
    std::uint32_t end = 0;

    bool Contains(std::uint32_t address) const { return address >= start && address <= end; }
    bool Overlaps(std::uint32_t first, std::uint32_t last) const {
        return first <= end && last >= start;
    }
};

// "boot", "opcode", "pia", "efs".
std::string AreaName(BlockKind kind);

class FirmwareMemory {
  public:
    FirmwareMemory(std::vector<std::uint8_t> bytes, std::vector<MemoryArea> areas)
        : mBytes(std::move(bytes)), mAreas(std::move(areas)) {}

    std::size_t Size() const { return mBytes.size(); }
    std::span<const std::uint8_t> Bytes() const { return mBytes; }
    const std::vector<MemoryArea>& Areas() const { return mAreas; }
    const MemoryArea* Area(BlockKind kind) const;
    // The area an address lies in, if any.
    const MemoryArea* AreaAt(std::uint32_t address) const;

    // Whether [address, address + length) lies inside the memory.
    bool Holds(std::uint64_t address, std::uint64_t length) const {
        return address + length <= mBytes.size();
    }
    void Write(std::uint32_t address, std::span<const std::uint8_t> bytes);
    std::span<const std::uint8_t> Read(std::uint32_t address, std::size_t length) const {
        return std::span(mBytes).subspan(address, length);
    }

    // The information block of an area, looked for inside that area only
    // (the firmware knows where its areas are).
    std::optional<FoundBlock> Block(BlockKind kind) const;
    std::optional<BlockVersion> Version(BlockKind kind) const;

    // True when the file was there, of the memory's size, and is now its
    // contents.
    bool Load(const std::filesystem::path& file);
    bool Save(const std::filesystem::path& file) const;

  private:
    std::vector<std::uint8_t> mBytes;
    std::vector<MemoryArea> mAreas;
};

}  // namespace sim::fw

#endif
