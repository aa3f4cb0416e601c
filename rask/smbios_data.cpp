// A copy of the SMBIOS entry point or of the structure table it points to,
// for a host that reads the system's inventory through the library. The
// copy stops at the end of what the firmware itself says it holds, so that
// a host asking for more never reads the memory beyond it; the rest of the
// host's buffer is zeroed.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "bmc/debug_log.h"
#include "hw/physical_memory_view.h"
#include "rask/flash_layer.h"

namespace Rask_Private {

namespace {

using hw::PhysicalMemoryView;

constexpr std::uint32_t kBiosAreaStart = 0xF0000;
constexpr std::uint32_t kBiosAreaBytes = 0xFFFF;
constexpr std::uint32_t kAnchorStep = 16;  // the entry point lies on a paragraph
constexpr char kAnchor[4] = {'_', 'S', 'M', '_'};

// The entry point's own fields.
constexpr std::size_t kLengthOffset = 5;
constexpr std::size_t kTableLengthOffset = 22;
constexpr std::size_t kTableAddressOffset = 24;
// An entry point too short to hold the table's address and length is not
// one (the oldest revision counts 1Eh bytes, later ones 1Fh).
constexpr std::uint8_t kShortestEntryPoint = 0x1E;

struct EntryPoint {
    std::size_t offset;  // in the BIOS area view
    std::uint8_t length;
};

std::optional<EntryPoint> FindEntryPoint(const PhysicalMemoryView& area) {
    for (std::size_t offset = 0; offset + kAnchorStep <= area.Size(); offset += kAnchorStep) {
        std::uint8_t anchor[sizeof kAnchor];
        if (!area.CopyOut(offset, anchor) || std::memcmp(anchor, kAnchor, sizeof kAnchor) != 0) {
            continue;
        }
        const std::optional<std::uint8_t> length = area.Read8(offset + kLengthOffset);
        if (!length || *length < kShortestEntryPoint || !area.Contains(offset, *length)) continue;
        return EntryPoint{offset, *length};
    }
    return std::nullopt;
}

// Copies what the view holds from offset, at most available bytes, into
// out; the rest of out stays zero.
bool CopyBounded(const PhysicalMemoryView& view, std::size_t offset, std::size_t available,
                 std::span<std::uint8_t> out) {
    return view.CopyOut(offset, out.first(std::min(available, out.size())));
}

}  // namespace

FUL_RETURN FlashUDGetSmbiosData(FlashDesc* h, SMB_DATA_TYPE type, unsigned length, char* out) {
    if (h == nullptr || length == 0 || out == nullptr) return FUL_INVALID_PARAMETER;
    const std::span<std::uint8_t> buffer(reinterpret_cast<std::uint8_t*>(out), length);
    std::fill(buffer.begin(), buffer.end(), 0);

    auto area = PhysicalMemoryView::Map(h->Dev, kBiosAreaStart, kBiosAreaBytes,
                                        PhysicalMemoryView::Access::kReadOnly);
    if (!area) {
        Dbg(L"FlashUDGetSmbiosData : ERROR: Unable to map the BIOS area.", 3);
        return FUL_MAP_FAILED;
    }
    const std::optional<EntryPoint> entry = FindEntryPoint(*area);
    if (!entry) {
        Dbg(L"FlashUDGetSmbiosData : ERROR: Unable to find SMBios Entry Point Structure.", 3);
        return FUL_NO_SMBIOS;
    }
    if (type == SMB_ENTRY_POINT) {
        return CopyBounded(*area, entry->offset, entry->length, buffer) ? FUL_SUCCESS
                                                                        : FUL_READ_FAILED;
    }

    const std::optional<std::uint16_t> tableLength =
        area->Read16(entry->offset + kTableLengthOffset);
    const std::optional<std::uint32_t> tableAddress =
        area->Read32(entry->offset + kTableAddressOffset);
    if (!tableLength || !tableAddress) return FUL_NO_SMBIOS;
    if (*tableLength == 0) return FUL_SUCCESS;  // nothing to copy; the buffer is zeroed
    auto table = PhysicalMemoryView::Map(h->Dev, *tableAddress, *tableLength,
                                         PhysicalMemoryView::Access::kReadOnly);
    if (!table) {
        Dbg(L"FlashUDGetSmbiosData : ERROR: Unable to map the structure table at 0x%08x.", 3,
            unsigned{*tableAddress});
        return FUL_MAP_FAILED;
    }
    return CopyBounded(*table, 0, *tableLength, buffer) ? FUL_SUCCESS : FUL_READ_FAILED;
}

}  // namespace Rask_Private
