// A copy of the SMBIOS entry point or of the structure table it points to,
// for a host that reads the system's inventory through the library. The
// entry point is looked for in F0000h-FFFFFh; firmware that leaves nothing
// there (UEFI puts its tables above 1 MiB, in RAM a strict memory device
// will not map) is read from the kernel's copies instead, as dmidecode
// does. The copy stops at the end of what the firmware itself says it
// holds, so that a host asking for more never reads the memory beyond it;
// the rest of the host's buffer is zeroed.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "bmc/debug_log.h"
#include "hw/hw.h"
#include "hw/physical_memory_view.h"
#include "rask/flash_layer.h"
#include "rask/table_bytes.h"

namespace Rask_Private {

namespace {

using hw::PhysicalMemoryView;

constexpr std::uint32_t kBiosAreaStart = 0xF0000;
constexpr std::uint32_t kBiosAreaBytes = 0xFFFF;
constexpr std::uint32_t kAnchorStep = 16;  // the entry point lies on a paragraph
constexpr char kAnchor[] = "_SM_";
constexpr std::size_t kAnchorBytes = 4;

// The entry point's own fields.
constexpr std::size_t kLengthOffset = 5;
constexpr std::size_t kTableLengthOffset = 22;
constexpr std::size_t kTableAddressOffset = 24;
// An entry point too short to hold the table's address and length is not
// one (the oldest revision counts 1Eh bytes, later ones 1Fh).
constexpr std::uint8_t kShortestEntryPoint = 0x1E;

// The entry point's length when these bytes begin with one, as many of
// them as it says it holds.
std::optional<std::uint8_t> EntryPointLength(const TableBytes& bytes) {
    if (!bytes.HasText(0, std::string_view(kAnchor, kAnchorBytes))) return std::nullopt;
    const std::optional<std::uint8_t> length = bytes.U8(kLengthOffset);
    if (!length || *length < kShortestEntryPoint || !bytes.Contains(0, *length)) {
        return std::nullopt;
    }
    return length;
}

// The entry point's bytes from F0000h-FFFFFh; FUL_NO_SMBIOS when there is
// none, FUL_MAP_FAILED when the area cannot be mapped.
FUL_RETURN EntryPointInBiosArea(int fd, std::vector<std::uint8_t>& entry) {
    const auto area = PhysicalMemoryView::Map(fd, kBiosAreaStart, kBiosAreaBytes,
                                              PhysicalMemoryView::Access::kReadOnly);
    if (!area) {
        Dbg(L"FlashUDGetSmbiosData : ERROR: Unable to map the BIOS area.", 3);
        return FUL_MAP_FAILED;
    }
    std::vector<std::uint8_t> bytes(area->Size());
    if (!area->CopyOut(0, bytes)) return FUL_MAP_FAILED;
    const TableBytes whole(bytes.data(), bytes.size());
    for (std::size_t offset = 0; offset + kAnchorStep <= bytes.size(); offset += kAnchorStep) {
        if (const auto length = EntryPointLength(whole.Sub(offset))) {
            entry.assign(bytes.begin() + offset, bytes.begin() + offset + *length);
            return FUL_SUCCESS;
        }
    }
    return FUL_NO_SMBIOS;
}

// The kernel's copy of the entry point, when it is one of the kind the
// host reads.
bool EntryPointFromKernel(std::vector<std::uint8_t>& entry) {
    std::vector<std::uint8_t> bytes;
    if (hw::ReadDmiTable(hw::DmiTable::kEntryPoint, bytes) != 0) return false;
    const auto length = EntryPointLength(TableBytes(bytes.data(), bytes.size()));
    if (!length) return false;
    entry.assign(bytes.begin(), bytes.begin() + *length);
    return true;
}

// The structure table, as long as the entry point says: from physical
// memory, or from the kernel's copy when the entry point came from there.
FUL_RETURN StructureTable(int fd, const std::vector<std::uint8_t>& entry, bool fromKernel,
                          std::vector<std::uint8_t>& table) {
    const TableBytes fields(entry.data(), entry.size());
    const std::uint16_t length = fields.U16(kTableLengthOffset).value_or(0);
    const std::uint32_t address = fields.U32(kTableAddressOffset).value_or(0);
    if (length == 0) return FUL_SUCCESS;
    if (fromKernel) {
        if (hw::ReadDmiTable(hw::DmiTable::kStructureTable, table) != 0) return FUL_NO_SMBIOS;
        table.resize(std::min<std::size_t>(table.size(), length));
        return FUL_SUCCESS;
    }
    const auto view =
        PhysicalMemoryView::Map(fd, address, length, PhysicalMemoryView::Access::kReadOnly);
    if (!view) {
        Dbg(L"FlashUDGetSmbiosData : ERROR: Unable to map the structure table at 0x%08x.", 3,
            unsigned{address});
        return FUL_MAP_FAILED;
    }
    table.assign(length, 0);
    return view->CopyOut(0, table) ? FUL_SUCCESS : FUL_MAP_FAILED;
}

}  // namespace

FUL_RETURN FlashUDGetSmbiosData(FlashDesc* h, SMB_DATA_TYPE type, unsigned length, char* out) {
    if (h == nullptr || length == 0 || out == nullptr) return FUL_INVALID_PARAMETER;
    const std::span<std::uint8_t> buffer(reinterpret_cast<std::uint8_t*>(out), length);
    std::fill(buffer.begin(), buffer.end(), 0);

    std::vector<std::uint8_t> entry;
    const FUL_RETURN found = EntryPointInBiosArea(h->Dev, entry);
    const bool fromKernel = found == FUL_NO_SMBIOS && EntryPointFromKernel(entry);
    if (found != FUL_SUCCESS && !fromKernel) {
        Dbg(L"FlashUDGetSmbiosData : ERROR: Unable to find SMBios Entry Point Structure.", 3);
        return found;
    }

    std::vector<std::uint8_t> table;
    if (type != SMB_ENTRY_POINT) {
        const FUL_RETURN read = StructureTable(h->Dev, entry, fromKernel, table);
        if (read != FUL_SUCCESS) return read;
    }
    const std::vector<std::uint8_t>& source = type == SMB_ENTRY_POINT ? entry : table;
    std::copy_n(source.begin(), std::min(source.size(), buffer.size()), buffer.begin());
    return FUL_SUCCESS;
}

}  // namespace Rask_Private
