// Finding the BIOS's flash interface: the "$ASF" anchor in the F0000h
// segment, the FlashInfo record and its block and NVRAM tables in the
// information segment the anchor names, and the ROM ID of the BIOS in the
// flash. Everything read from BIOS memory is checked before it is used: a
// table that claims more than was mapped of its segment is refused, not
// followed.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "tarvo/bios_flash.h"
#include "tarvo/flash_request_block.h"

namespace tarvo {

namespace {

constexpr std::uint64_t kBiosSegment = 0xF0000;
constexpr std::size_t kLastAnchorOffset = 65530;

// The anchor record.
constexpr std::size_t kAnchorRequestDistance = 4;
constexpr std::size_t kAnchorInfoPointer = 8;
constexpr std::size_t kAnchorInfoSegment = 10;
constexpr std::size_t kAnchorSmiPort = 12;
constexpr std::size_t kAnchorLength = 14;

// FlashInfo and the tables.
constexpr std::size_t kInfoRomSizeKb = 6;
constexpr std::size_t kInfoBlockTable = 10;
constexpr std::size_t kInfoNvramTable = 12;
constexpr std::size_t kInfoLength = 14;
constexpr std::size_t kTableEntry = 8;

// The ROM ID sits 32 bytes below the top of the ROM, so at this offset of
// the ROM's last kilobyte.
constexpr std::size_t kRomIdInLastKb = kKilobyte - kRomIdFromTop;

// Reads of the information segment. The checks before them say why a table
// is refused, so the view refuses none of these reads; one it did refuse
// (read as 0) is remembered, and the tables are then refused all the same.
class SegmentReader {
  public:
    explicit SegmentReader(const hw::PhysicalMemoryView& segment) : mSegment(segment) {}
    std::uint16_t Read16(std::uint64_t offset) { return Taken(mSegment.Read16(offset)); }
    std::uint32_t Read32(std::uint64_t offset) { return Taken(mSegment.Read32(offset)); }
    bool Inside(std::uint64_t offset, std::uint64_t length) const {
        return mSegment.Contains(offset, length);
    }
    bool Refused() const { return mRefused; }

  private:
    template <class T>
    T Taken(std::optional<T> value) {
        if (!value) mRefused = true;
        return value.value_or(0);
    }
    const hw::PhysicalMemoryView& mSegment;
    bool mRefused = false;
};

int InvalidFlashInfo(const char* what) {
    ReportError("BIOS flash information is invalid: %s", what);
    return kExitFlashInfoInvalid;
}

}  // namespace

bool FlashLayout::IsBootBlock(std::uint32_t address) const {
    for (std::size_t i = blocks.size() - bootBlockCount; i < blocks.size(); ++i) {
        if (blocks[i].address == address) return true;
    }
    return false;
}

bool FlashLayout::IsNvram(std::uint32_t address) const {
    return std::find(nvramAddresses.begin(), nvramAddresses.end(), address) != nvramAddresses.end();
}

std::uint32_t FlashLayout::LargestBlock() const {
    std::uint32_t largest = 0;
    for (const FlashBlock& block : blocks) largest = std::max(largest, block.size);
    return largest;
}

int BiosFlash::FindInterface() {
    mBiosSegment = MapSegment(kBiosSegment);
    std::vector<std::uint8_t> segment(mBiosSegment ? mBiosSegment->Size() : 0);
    if (!mBiosSegment || !mBiosSegment->CopyOut(0, segment)) {
        std::printf(" error mapping physical memory!\n");
        return kExitMapBiosSegment;
    }
    std::size_t anchor = 0;
    while (anchor <= kLastAnchorOffset && std::memcmp(&segment[anchor], "$ASF", 4) != 0) ++anchor;
    if (anchor > kLastAnchorOffset) {
        ReportError("ASF Signature not found");
        return kExitAnchorNotFound;
    }
    if (!mBiosSegment->Contains(anchor, kAnchorLength)) {
        return InvalidFlashInfo("the $ASF anchor runs past the F0000h segment");
    }
    const std::size_t request = anchor + segment[anchor + kAnchorRequestDistance];
    if (!mBiosSegment->Contains(request, kRequestLengthBytes)) {
        return InvalidFlashInfo("the flash request block runs past the F0000h segment");
    }
    mRequest = request;
    std::memcpy(&mSmiPort, &segment[anchor + kAnchorSmiPort], 2);
    std::uint16_t infoPointer = 0;
    std::uint16_t infoSegment = 0;
    std::memcpy(&infoPointer, &segment[anchor + kAnchorInfoPointer], 2);
    std::memcpy(&infoSegment, &segment[anchor + kAnchorInfoSegment], 2);

    if (CallBios(kFlashOpen) == kOpenRefused) return kExitOpenRefused;
    if (const int result = SetUpTransferBuffer(); result != kExitOk) return result;

    mInfoSegment = MapSegment(std::uint64_t{infoSegment} * 16);
    if (!mInfoSegment) {
        std::printf(" error mapping physical memory, %X!\n", infoSegment);
        return kExitMapInfoSegment;
    }
    if (const int result = ReadTables(infoPointer); result != kExitOk) return result;
    return ReadBiosRomId();
}

int BiosFlash::ReadTables(std::uint16_t infoPointer) {
    SegmentReader segment(*mInfoSegment);
    if (!segment.Inside(infoPointer, 4)) {
        return InvalidFlashInfo("the FlashInfo pointer lies outside the information segment");
    }
    const std::uint32_t info = segment.Read32(infoPointer);
    if (!segment.Inside(info, kInfoLength)) {
        return InvalidFlashInfo("FlashInfo lies outside the information segment");
    }
    FlashLayout layout;
    layout.romSize = std::uint32_t{segment.Read16(info + kInfoRomSizeKb)} * kKilobyte;
    if (layout.romSize == 0) return InvalidFlashInfo("the ROM size is 0");
    layout.baseOffset = layout.romSize <= 0x100000 ? 0x100000 - layout.romSize : 0;

    const std::uint16_t blockTable = segment.Read16(info + kInfoBlockTable);
    if (!segment.Inside(blockTable, 4)) {
        return InvalidFlashInfo("the BlockTable lies outside the information segment");
    }
    const std::uint16_t count = segment.Read16(blockTable);
    layout.bootBlockCount = segment.Read16(blockTable + 2);
    if (!segment.Inside(blockTable + 4, std::uint64_t{count} * kTableEntry)) {
        return InvalidFlashInfo("the BlockTable runs past the information segment");
    }
    if (layout.bootBlockCount > count) {
        return InvalidFlashInfo("the BlockTable has more boot blocks than blocks");
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t entry = blockTable + 4 + i * kTableEntry;
        const FlashBlock block{segment.Read32(entry), segment.Read32(entry + 4)};
        if (block.address < layout.baseOffset ||
            std::uint64_t{block.address - layout.baseOffset} + block.size > layout.romSize) {
            return InvalidFlashInfo("a block of the BlockTable lies outside the ROM");
        }
        layout.blocks.push_back(block);
    }

    const std::uint16_t nvramTable = segment.Read16(info + kInfoNvramTable);
    if (!segment.Inside(nvramTable, 2)) {
        return InvalidFlashInfo("the NvramTable lies outside the information segment");
    }
    const std::uint16_t nvramCount = segment.Read16(nvramTable);
    if (!segment.Inside(nvramTable + 2, std::uint64_t{nvramCount} * kTableEntry)) {
        return InvalidFlashInfo("the NvramTable runs past the information segment");
    }
    for (std::uint32_t i = 0; i < nvramCount; ++i) {
        layout.nvramAddresses.push_back(segment.Read32(nvramTable + 2 + i * kTableEntry));
    }
    if (segment.Refused()) return InvalidFlashInfo("a table lies outside the information segment");
    mLayout = std::move(layout);
    return kExitOk;
}

int BiosFlash::ReadBiosRomId() {
    std::unique_ptr<std::uint8_t[]> lastKb(new (std::nothrow) std::uint8_t[kKilobyte]);
    if (!lastKb) return kExitOutOfMemory;
    if (!ReadKilobyte(mLayout.romSize + mLayout.baseOffset - kKilobyte, lastKb.get(), nullptr)) {
        return kExitFlashRead;
    }
    mRomId.fill('\0');
    std::memcpy(mRomId.data(), &lastKb[kRomIdInLastKb], kRomIdLength);
    return kExitOk;
}

}  // namespace tarvo
