// The physical memory device and the mappings of the BIOS's segments.
#include <algorithm>

#include "hw/hw.h"
#include "tarvo/bios_flash.h"

namespace tarvo {

namespace {

// A distribution kernel's /dev/mem maps the first megabyte but refuses the
// System RAM above it, so no mapping of the firmware's segments goes past.
constexpr std::uint64_t kFirstMegabyte = 0x100000;
// What is mapped of a segment; less of it when it would run past the first
// megabyte.
constexpr std::size_t kSegmentMapping = 0xFFFF;

}  // namespace

bool BiosFlash::OpenMemory() {
    mMemory = hw::OpenDeviceStream(hw::kPhysicalMemoryDevice, "r+");
    if (mMemory == nullptr) {
        std::printf(" error opening /dev/mem!\n");
        return false;
    }
    return true;
}

int BiosFlash::CloseMemory() {
    if (mMemory == nullptr) return kExitOk;
    const int result = hw::CloseDeviceStream(mMemory);
    mMemory = nullptr;
    return result == 0 ? kExitOk : kExitMemoryClose;
}

// A segment (paragraphs × 16) may begin inside a page, as E004h does; the
// view maps from that page. It ends after kSegmentMapping bytes or at the
// first megabyte, whichever comes first.
std::optional<hw::PhysicalMemoryView> BiosFlash::MapSegment(std::uint64_t address) const {
    if (address >= kFirstMegabyte) return std::nullopt;
    const std::uint64_t end = std::min<std::uint64_t>(address + kSegmentMapping, kFirstMegabyte);
    return hw::PhysicalMemoryView::Map(fileno(mMemory), address,
                                       static_cast<std::size_t>(end - address),
                                       hw::PhysicalMemoryView::Access::kReadWrite);
}

int BiosFlash::UnmapBios() {
    int result = kExitOk;
    if (mBiosSegment && mBiosSegment->Unmap() != 0) result = kExitUnmapBiosSegment;
    if (mInfoSegment && mInfoSegment->Unmap() != 0 && result == kExitOk) {
        result = kExitUnmapInfoSegment;
    }
    mBiosSegment.reset();
    mInfoSegment.reset();
    return result;
}

}  // namespace tarvo
