// The SMBIOS entry points: the 32-bit "_SM_" one (SMBIOS 2.x) and the 64-bit
// "_SM3_" one (SMBIOS 3.x, the only one many UEFI servers give), and where
// each says the structure table is.
#ifndef SRVFW_BMC_SMBIOS_ENTRY_POINT_H
#define SRVFW_BMC_SMBIOS_ENTRY_POINT_H

#include <cstdint>
#include <optional>
#include <span>

struct SmbiosTableLocation {
    std::uint64_t address = 0;
    // The 32-bit entry point states the table's length, the 64-bit one its
    // largest possible size: the table may end earlier, at type 127.
    std::uint32_t length = 0;
    // Only the 32-bit entry point counts the structures; without a count
    // the walk ends at the end-of-table structure.
    std::optional<std::uint16_t> structureCount;
    bool is64Bit = false;
};

// The entry point at the start of `bytes`: nothing when no anchor stands
// there or its fields do not fit in `bytes`.
std::optional<SmbiosTableLocation> ParseSmbiosEntryPoint(std::span<const std::uint8_t> bytes);

// The offset of the entry point to use in the F0000h segment: the anchors
// lie on 16-byte boundaries; a 64-bit entry point is taken before a 32-bit
// one, as the kernel does, since firmware that gives both keeps the 32-bit
// table for old readers only. Only an entry point whose fields lie inside
// `segment` counts.
std::optional<std::size_t> FindSmbiosEntryPoint(std::span<const std::uint8_t> segment);

#endif
