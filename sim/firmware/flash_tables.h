// The flash tables the simulated BIOS keeps for an update program, as the
// BIOS's own byte layouts (little-endian, packed): the Flash Segment Table
// ("FLASHTBL": the physical segments of the part), the Flash Area Table
// ("AREA TBL": a "DGTL SIG" signature block, then the named areas, each
// with one range record per 64 KB block and a closing range record, and a
// closing area record) and the Flash Notification Table ("NOTIFYBT": where
// the notify field lies).
//
// The simulator keeps its own offsets on purpose instead of the library's
// structures, so that the oracle cannot inherit a client's mistake.
//
//   sim::FlashTables tables = sim::BoardFlashTables(...);   // board_tables.h
//   tables.areas.push_back(sim::FlashArea::Blocks(5, "OEM Logo", "SRVBD010",
//                                                 1, 0xFFF40000, 0x10000));
//   std::vector<std::uint8_t> section = sim::TablesSectionBytes(tables);
//
// Builders make well-formed tables from the model; a TablesFault asks for
// one deliberate malformation instead, for the tests of the checks that
// must refuse it.
#ifndef SRVFW_SIM_FIRMWARE_FLASH_TABLES_H
#define SRVFW_SIM_FIRMWARE_FLASH_TABLES_H

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// A GUID in the usual layout (32-bit, 16-bit, 16-bit, then 8 bytes), stored
// little-endian in its first three fields.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    // "FFFDA063-F5B2-4EB5-A7B4-4863FC4919A2"; throws std::invalid_argument
    // for any other form.
    static Guid Parse(std::string_view text);
    std::string Text() const;
    std::array<std::uint8_t, 16> Bytes() const;
    // The 16 bytes at offset; std::out_of_range when they do not fit.
    static Guid FromBytes(std::span<const std::uint8_t> bytes, std::size_t offset);
    bool operator==(const Guid&) const = default;
};

// Table layout sizes, in bytes.
inline constexpr std::uint32_t kTableHeaderBytes = 32;
inline constexpr std::uint32_t kSegmentEntryBytes = 32;
inline constexpr std::uint32_t kAreaTableHeaderBytes = 36;  // header + CRC32
inline constexpr std::uint32_t kSignatureHeaderBytes = 32;  // before the signature bytes
inline constexpr std::uint32_t kAreaHeaderBytes = 420;
inline constexpr std::uint32_t kRangeBytes = 24;
inline constexpr std::uint32_t kClosingAreaBytes = kAreaHeaderBytes + kRangeBytes;  // 444
inline constexpr std::uint32_t kNotifyTableBytes = 96;
inline constexpr std::uint32_t kNotifyAccessType = 7;
inline constexpr std::uint32_t kRangeBlockBytes = 0x10000;

// One FST entry. start and limit are physical addresses, limit the last
// byte.
struct FlashSegment {
    std::uint32_t tag = 0;
    std::uint16_t partition = 2;  // 1 primary (boot block region), 2 secondary
    std::uint64_t start = 0;
    std::uint64_t limit = 0;
};

// One range record. Area offsets count within the area, block addresses
// are physical; both limits are the last byte. flags is non-zero in a
// range that describes something, 0 in the closing range record.
struct FlashRange {
    std::uint32_t flags = 1;
    std::uint32_t areaStart = 0;
    std::uint32_t areaLimit = 0;
    std::uint32_t inSegment = 0;
    std::uint32_t blockStart = 0;
    std::uint32_t blockLimit = 0;
};

// One area record; the builder adds the closing range record after ranges.
struct FlashArea {
    std::uint32_t number = 0;
    Guid guid;
    std::uint32_t tag = 0;
    std::uint32_t attribute = 0;
    std::uint64_t size = 0;  // bytes; ranges.size() == ceil(size / 64 KB)
    std::string version;     // at most 127 characters
    std::string name;        // at most 255 characters
    std::vector<FlashRange> ranges;

    // An area of size bytes from this physical address, one range record
    // per 64 KB block (the last one short when size is not a multiple).
    static FlashArea Blocks(std::uint32_t number, std::string name, std::string version,
                            std::uint32_t segmentTag, std::uint32_t physicalStart,
                            std::uint64_t size);
};

struct FlashNotifyTable {
    std::uint32_t accessType = kNotifyAccessType;
    std::uint32_t notifyValue = 0;
    std::uint32_t dependenceValue = 0;
    std::uint32_t readMask = 0;
    std::uint16_t notifyLength = 0;  // bytes of the notify field
    std::uint64_t indexAddr = 0;
    std::uint64_t dataAddr = 0;  // physical address of the notify field
};

// What the BIOS describes. The closing area record is not in areas: the
// builder always ends the FAT with it.
struct FlashTables {
    std::vector<FlashSegment> segments;
    std::vector<FlashArea> areas;
    std::optional<FlashNotifyTable> notify;  // none on the SPI boards
    bool areaTable = true;                   // false: no "AREA TBL" at all
    std::uint32_t signatureBytes = 64;       // after the "DGTL SIG" header
};

// Deliberate malformations, by the name simctl and the settings use.
enum class TablesFault {
    kNone,
    // In the volume (firmware_volume.h lays them out):
    kFvhMisplaced,       // "fvh-misplaced": "_FVH" first met 8 bytes into the header
    kWrongFileSystem,    // "wrong-file-system": the FFS2 GUID, not the one the BIOS uses
    kVolumeUnaligned,    // "volume-unaligned": the volume starts 4 KB into its block
    kNoTablesFile,       // "no-tables-file": the tables file is absent
    kBadHeaderChecksum,  // "bad-header-checksum": the volume header's sum is not 0
    kBadFileChecksum,    // "bad-file-checksum": the tables file's data sum is off
    // In the tables:
    kNoNotifyTable,           // "no-notify-table"
    kNoSegmentTable,          // "no-segment-table"
    kNoAreaTable,             // "no-area-table": tables found, no FAT
    kSegmentTableOneEntry,    // "fst-one-entry": Size says one entry
    kSegmentPartition3,       // "fst-partition-3": the first entry's Partition is 3
    kSegmentStartAboveLimit,  // "fst-start-above-limit": the first entry
    kAreaTableOnlyClosing,    // "fat-only-closing": no area but the closing one
    kBadSignatureBlock,       // "fat-bad-signature": "DGTL SIG" misspelt
    kClosingRangeFlags1,      // "fat-closing-flags-1": the first area's closing range
    kRangeStartAboveLimit,    // "fat-range-start-above-limit": the first range
    kRangeOutsideSegment,     // "fat-range-outside-segment": the first range lies
                              // past its segment's limit
    kAreaTableSizeMismatch,   // "fat-size-mismatch": Size is 24 bytes more than
                              // the records
    kAreaSizeMismatch,        // "fat-area-size-mismatch": the first area's AreaSize
                              // needs one range record more than it has
    kNotifyAccessType,        // "fnt-access-type": AccessType 6
};

// The fault of this name; std::nullopt for an unknown name ("none" is
// kNone).
std::optional<TablesFault> TablesFaultByName(std::string_view name);
std::string_view TablesFaultName(TablesFault fault);
// Every name, kNone first, for help texts.
std::vector<std::string_view> TablesFaultNames();
bool IsVolumeFault(TablesFault fault);

// Well-formed tables, as bytes.
std::vector<std::uint8_t> SegmentTableBytes(const std::vector<FlashSegment>& segments);
std::vector<std::uint8_t> AreaTableBytes(const std::vector<FlashArea>& areas,
                                         std::uint32_t signatureBytes = 64);
std::vector<std::uint8_t> NotifyTableBytes(const FlashNotifyTable& table);

// The raw section's data: FNT (when there is one), FST, FAT (when there is
// one), in that order, with the fault applied (a volume fault changes
// nothing here).
std::vector<std::uint8_t> TablesSectionBytes(const FlashTables& tables,
                                             TablesFault fault = TablesFault::kNone);

}  // namespace sim

#endif
