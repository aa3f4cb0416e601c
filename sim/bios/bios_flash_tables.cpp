// What the BIOS leaves in memory for a program to find its flash service:
// the anchor in the F0000h segment and the information segment with
// FlashInfo, the BlockTable and the NvramTable.
#include <stdexcept>

#include "sim/bios/bios_flash.h"
#include "sim/bios/bios_flash_functions.h"

namespace sim {

namespace {

constexpr std::uint64_t kSegmentBytes = 0x10000;
constexpr std::uint64_t kAnchorSegmentEnd = BiosFlashConfig::kAnchorSegment + kSegmentBytes;
constexpr std::uint16_t kFlashInfoRevision = 0x0100;
constexpr std::uint16_t kFlashInfoBytes = 16;

class MemoryWriter {
  public:
    MemoryWriter(MemoryMap& memory, std::uint64_t base, std::uint64_t limit)
        : mMemory(memory), mBase(base), mLimit(limit) {}
    void Put(std::uint64_t offset, unsigned width, std::uint32_t value) {
        for (unsigned i = 0; i < width; ++i) {
            // The BIOS keeps its structures inside their segment.
            if (mBase + offset + i >= mLimit) return;
            mMemory.Write(mBase + offset + i, 1, (value >> (8 * i)) & 0xFF);
        }
    }

  private:
    MemoryMap& mMemory;
    std::uint64_t mBase;
    std::uint64_t mLimit;
};

}  // namespace

void BiosFlashService::WriteAnchor() {
    if (!mConfig.anchor) return;
    MemoryWriter anchor(mMachine.Memory(), mConfig.AnchorAddress(), kAnchorSegmentEnd);
    for (unsigned i = 0; i < 4; ++i) anchor.Put(i, 1, bios::kAnchorSignature[i]);
    anchor.Put(bios::kAnchorRequestDistance, 1, mConfig.requestDistance);
    anchor.Put(bios::kAnchorInfoPointer, 2, mConfig.infoPointer);
    anchor.Put(bios::kAnchorInfoSegment, 2, mConfig.infoSegment);
    anchor.Put(bios::kAnchorSmiPort, 2, mConfig.smiPort);
}

void BiosFlashService::WriteInformationSegment() {
    const BiosFlashLayout& layout = mConfig.layout;
    const std::uint64_t segment = mConfig.InfoSegmentAddress();
    const std::uint16_t blockTable = mConfig.BlockTableOffset();
    const std::uint16_t nvramTable = mConfig.NvramTableOffset();
    struct Extent {
        std::uint64_t offset, length;
    };
    const Extent extents[] = {
        {mConfig.infoPointer, 4},
        {mConfig.flashInfo, kFlashInfoBytes},
        {blockTable, 4 + 8 * layout.blocks.size()},
        {nvramTable, 2 + 8 * layout.nvram.size()},
    };
    MemoryMap& memory = mMachine.Memory();
    for (const Extent& extent : extents) {
        if (bios::IsRam(memory, segment + extent.offset, extent.length)) continue;
        // A segment where the machine has no memory at all gets RAM of its
        // own, as a BIOS would place it only where memory is.
        bool empty = true;
        for (const auto& [base, region] : memory.Regions()) {
            empty = empty && (base >= segment + kSegmentBytes || base + region.size <= segment);
        }
        if (!empty) {
            throw std::invalid_argument("bios.info_segment: the BIOS tables would not lie in RAM");
        }
        memory.AddRam("bios-info", segment, kSegmentBytes);
    }

    MemoryWriter info(memory, segment, UINT64_MAX);
    info.Put(mConfig.infoPointer, 4, mConfig.flashInfo);
    info.Put(mConfig.flashInfo + 0, 2, kFlashInfoRevision);
    info.Put(mConfig.flashInfo + 2, 2, kFlashInfoBytes);
    info.Put(mConfig.flashInfo + 6, 2, layout.romBytes / 1024);
    info.Put(mConfig.flashInfo + 10, 2, blockTable);
    info.Put(mConfig.flashInfo + 12, 2, nvramTable);

    info.Put(blockTable, 2, static_cast<std::uint32_t>(layout.blocks.size()));
    info.Put(blockTable + 2, 2, layout.bootBlocks);
    for (std::size_t i = 0; i < layout.blocks.size(); ++i) {
        info.Put(blockTable + 4 + 8 * i, 4, layout.blocks[i].address);
        info.Put(blockTable + 8 + 8 * i, 4, layout.blocks[i].size);
    }
    info.Put(nvramTable, 2, static_cast<std::uint32_t>(layout.nvram.size()));
    for (std::size_t i = 0; i < layout.nvram.size(); ++i) {
        const FlashBlock* block = layout.BlockAt(layout.nvram[i]);
        info.Put(nvramTable + 2 + 8 * i, 4, layout.nvram[i]);
        info.Put(nvramTable + 6 + 8 * i, 4, block == nullptr ? 0 : block->size);
    }
}

}  // namespace sim
