#include "sim/firmware/flash_tables.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

#include "sim/firmware/little_endian.h"

namespace sim {

namespace {

constexpr std::uint32_t kTablesRevision = 1;
// The BIOS's GUIDs for its tables; nothing checks them, but a table dump
// shows them as the BIOS wrote them.
constexpr char kSegmentTableGuid[] = "3B4E8C21-5D6F-4A1E-9B07-2C61D84F3A55";
constexpr char kAreaTableGuid[] = "6A1D2E93-0B4C-4F7A-8E25-91C3B7D06E18";
constexpr char kSignatureGuid[] = "9D37C0A4-62E1-4B58-A3F6-0E8B15D2C749";
constexpr char kNotifyTableGuid[] = "C51F7B08-3A9D-4E62-B4C1-7D20E6F83A9B";

// Offsets of the fields the builders write.
constexpr std::size_t kHeaderSizeField = 28;
constexpr std::size_t kCrcField = 32;
constexpr std::size_t kSignatureSizeField = 28;  // in the signature block
constexpr std::size_t kAreaSizeField = 28;       // in an area record

const std::pair<TablesFault, std::string_view> kFaultNames[] = {
    {TablesFault::kNone, "none"},
    {TablesFault::kFvhMisplaced, "fvh-misplaced"},
    {TablesFault::kWrongFileSystem, "wrong-file-system"},
    {TablesFault::kVolumeUnaligned, "volume-unaligned"},
    {TablesFault::kNoTablesFile, "no-tables-file"},
    {TablesFault::kBadHeaderChecksum, "bad-header-checksum"},
    {TablesFault::kBadFileChecksum, "bad-file-checksum"},
    {TablesFault::kNoNotifyTable, "no-notify-table"},
    {TablesFault::kNoSegmentTable, "no-segment-table"},
    {TablesFault::kNoAreaTable, "no-area-table"},
    {TablesFault::kSegmentTableOneEntry, "fst-one-entry"},
    {TablesFault::kSegmentPartition3, "fst-partition-3"},
    {TablesFault::kSegmentStartAboveLimit, "fst-start-above-limit"},
    {TablesFault::kAreaTableOnlyClosing, "fat-only-closing"},
    {TablesFault::kBadSignatureBlock, "fat-bad-signature"},
    {TablesFault::kClosingRangeFlags1, "fat-closing-flags-1"},
    {TablesFault::kRangeStartAboveLimit, "fat-range-start-above-limit"},
    {TablesFault::kRangeOutsideSegment, "fat-range-outside-segment"},
    {TablesFault::kAreaTableSizeMismatch, "fat-size-mismatch"},
    {TablesFault::kAreaSizeMismatch, "fat-area-size-mismatch"},
    {TablesFault::kNotifyAccessType, "fnt-access-type"},
};

std::vector<std::uint8_t> TableHeader(std::string_view search, const char* guid,
                                      std::uint32_t size) {
    std::vector<std::uint8_t> bytes(size, 0);
    le::PutText(bytes, 0, search, 8);
    const auto guidBytes = Guid::Parse(guid).Bytes();
    std::copy(guidBytes.begin(), guidBytes.end(), bytes.begin() + 8);
    le::Put(bytes, 24, kTablesRevision, 4);
    le::Put(bytes, kHeaderSizeField, size, 4);
    return bytes;
}

void Append(std::vector<std::uint8_t>& to, std::span<const std::uint8_t> bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

std::array<std::uint8_t, kRangeBytes> RangeBytes(const FlashRange& range) {
    std::array<std::uint8_t, kRangeBytes> bytes{};
    le::Put(bytes, 0, range.flags, 4);
    le::Put(bytes, 4, range.areaStart, 4);
    le::Put(bytes, 8, range.areaLimit, 4);
    le::Put(bytes, 12, range.inSegment, 4);
    le::Put(bytes, 16, range.blockStart, 4);
    le::Put(bytes, 20, range.blockLimit, 4);
    return bytes;
}

void AppendArea(std::vector<std::uint8_t>& to, const FlashArea& area, const FlashRange& closing) {
    std::vector<std::uint8_t> header(kAreaHeaderBytes, 0);
    le::Put(header, 0, area.number, 4);
    const auto guid = area.guid.Bytes();
    std::copy(guid.begin(), guid.end(), header.begin() + 4);
    le::Put(header, 20, area.tag, 4);
    le::Put(header, 24, area.attribute, 4);
    le::Put(header, kAreaSizeField, area.size, 8);
    // Both texts keep a terminating zero.
    le::PutText(header, 36, area.version, 127);
    le::PutText(header, 164, area.name, 255);
    Append(to, header);
    for (const FlashRange& range : area.ranges) Append(to, RangeBytes(range));
    Append(to, RangeBytes(closing));
}

// CRC-32 (IEEE 802.3, reflected) of the bytes.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

// The area table with its closing range records, one per area, so that a
// fault can change the first area's.
std::vector<std::uint8_t> AreaTableWithClosing(const std::vector<FlashArea>& areas,
                                               std::uint32_t signatureBytes,
                                               const FlashRange& firstClosing) {
    const std::uint32_t signatureSize = kSignatureHeaderBytes + signatureBytes;
    std::vector<std::uint8_t> table =
        TableHeader("AREA TBL", kAreaTableGuid, kAreaTableHeaderBytes);
    std::vector<std::uint8_t> signature = TableHeader("DGTL SIG", kSignatureGuid, signatureSize);
    le::Put(signature, kSignatureSizeField, signatureSize, 4);
    // Signature bytes of their own, as a signing tool leaves them.
    for (std::uint32_t i = 0; i < signatureBytes; ++i) {
        signature[kSignatureHeaderBytes + i] = static_cast<std::uint8_t>(0x5C + 37 * i);
    }
    Append(table, signature);
    const FlashRange closing{0, 0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < areas.size(); ++i) {
        AppendArea(table, areas[i], i == 0 ? firstClosing : closing);
    }
    AppendArea(table, FlashArea{}, closing);
    le::Put(table, kHeaderSizeField, table.size(), 4);
    le::Put(table, kCrcField, Crc32(std::span(table).subspan(kAreaTableHeaderBytes)), 4);
    return table;
}

FlashSegment& FirstSegment(FlashTables& tables) {
    if (tables.segments.empty()) throw std::invalid_argument("the tables have no segment");
    return tables.segments.front();
}

FlashArea& FirstArea(FlashTables& tables) {
    if (tables.areas.empty() || tables.areas.front().ranges.empty()) {
        throw std::invalid_argument("the tables have no area with a range");
    }
    return tables.areas.front();
}

// Applies the faults that change the model; returns the first area's
// closing range record.
FlashRange ApplyModelFault(FlashTables& tables, TablesFault fault) {
    FlashRange closing{0, 0, 0, 0, 0, 0};
    switch (fault) {
        case TablesFault::kNoNotifyTable:
            tables.notify.reset();
            break;
        case TablesFault::kNoAreaTable:
            tables.areaTable = false;
            break;
        case TablesFault::kSegmentTableOneEntry:
            FirstSegment(tables);
            tables.segments.resize(1);
            break;
        case TablesFault::kSegmentPartition3:
            FirstSegment(tables).partition = 3;
            break;
        case TablesFault::kSegmentStartAboveLimit: {
            FlashSegment& segment = FirstSegment(tables);
            std::swap(segment.start, segment.limit);
            break;
        }
        case TablesFault::kAreaTableOnlyClosing:
            tables.areas.clear();
            break;
        case TablesFault::kClosingRangeFlags1:
            FirstArea(tables);
            closing.flags = 1;
            break;
        case TablesFault::kRangeStartAboveLimit: {
            FlashRange& range = FirstArea(tables).ranges.front();
            std::swap(range.blockStart, range.blockLimit);
            break;
        }
        case TablesFault::kRangeOutsideSegment: {
            FlashRange& range = FirstArea(tables).ranges.front();
            const auto segment =
                std::find_if(tables.segments.begin(), tables.segments.end(),
                             [&](const FlashSegment& s) { return s.tag == range.inSegment; });
            if (segment == tables.segments.end()) {
                throw std::invalid_argument("the first range names no segment");
            }
            const std::uint32_t length = range.blockLimit - range.blockStart;
            range.blockStart = static_cast<std::uint32_t>(segment->limit + 1);
            range.blockLimit = range.blockStart + length;
            break;
        }
        case TablesFault::kAreaSizeMismatch:
            FirstArea(tables).size += kRangeBlockBytes;
            break;
        case TablesFault::kNotifyAccessType:
            if (!tables.notify) throw std::invalid_argument("the tables have no notify table");
            tables.notify->accessType = kNotifyAccessType - 1;
            break;
        default:
            break;
    }
    return closing;
}

}  // namespace

std::optional<TablesFault> TablesFaultByName(std::string_view name) {
    for (const auto& [fault, faultName] : kFaultNames) {
        if (faultName == name) return fault;
    }
    return std::nullopt;
}

std::string_view TablesFaultName(TablesFault fault) {
    for (const auto& [known, name] : kFaultNames) {
        if (known == fault) return name;
    }
    return "unknown";
}

std::vector<std::string_view> TablesFaultNames() {
    std::vector<std::string_view> names;
    for (const auto& entry : kFaultNames) names.push_back(entry.second);
    return names;
}

bool IsVolumeFault(TablesFault fault) {
    switch (fault) {
        case TablesFault::kFvhMisplaced:
        case TablesFault::kWrongFileSystem:
        case TablesFault::kVolumeUnaligned:
        case TablesFault::kNoTablesFile:
        case TablesFault::kBadHeaderChecksum:
        case TablesFault::kBadFileChecksum:
            return true;
        default:
            return false;
    }
}

FlashArea FlashArea::Blocks(std::uint32_t number, std::string name, std::string version,
                            std::uint32_t segmentTag, std::uint32_t physicalStart,
                            std::uint64_t size) {
    FlashArea area;
    area.number = number;
    area.guid = Guid{0x5A3E0000 + number,
                     0x7C21,
                     0x4D8B,
                     {0x9E, 0x14, 0x2B, 0x67, 0xA0, 0xC3, 0x5F, static_cast<std::uint8_t>(number)}};
    area.tag = number;
    area.size = size;
    area.version = std::move(version);
    area.name = std::move(name);
    for (std::uint64_t offset = 0; offset < size; offset += kRangeBlockBytes) {
        const std::uint64_t length = std::min<std::uint64_t>(kRangeBlockBytes, size - offset);
        const auto areaStart = static_cast<std::uint32_t>(offset);
        const auto blockStart = static_cast<std::uint32_t>(physicalStart + offset);
        area.ranges.push_back({1, areaStart, static_cast<std::uint32_t>(areaStart + length - 1),
                               segmentTag, blockStart,
                               static_cast<std::uint32_t>(blockStart + length - 1)});
    }
    return area;
}

std::vector<std::uint8_t> SegmentTableBytes(const std::vector<FlashSegment>& segments) {
    std::vector<std::uint8_t> table = TableHeader(
        "FLASHTBL", kSegmentTableGuid,
        static_cast<std::uint32_t>(kTableHeaderBytes + kSegmentEntryBytes * segments.size()));
    std::size_t at = kTableHeaderBytes;
    for (const FlashSegment& segment : segments) {
        le::Put(table, at + 0, segment.tag, 4);
        le::Put(table, at + 4, segment.partition, 2);
        le::Put(table, at + 8, segment.start, 8);
        le::Put(table, at + 16, segment.limit, 8);
        at += kSegmentEntryBytes;
    }
    return table;
}

std::vector<std::uint8_t> AreaTableBytes(const std::vector<FlashArea>& areas,
                                         std::uint32_t signatureBytes) {
    return AreaTableWithClosing(areas, signatureBytes, FlashRange{0, 0, 0, 0, 0, 0});
}

std::vector<std::uint8_t> NotifyTableBytes(const FlashNotifyTable& notify) {
    std::vector<std::uint8_t> table = TableHeader("NOTIFYBT", kNotifyTableGuid, kNotifyTableBytes);
    le::Put(table, kHeaderSizeField, notify.accessType, 4);  // AccessType in Size's place
    le::Put(table, 32, notify.notifyValue, 4);
    le::Put(table, 36, notify.dependenceValue, 4);
    le::Put(table, 40, notify.readMask, 4);
    le::Put(table, 44, notify.notifyLength, 4);
    le::Put(table, 48, notify.indexAddr, 8);
    le::Put(table, 56, notify.dataAddr, 8);
    return table;
}

std::vector<std::uint8_t> TablesSectionBytes(const FlashTables& model, TablesFault fault) {
    FlashTables tables = model;
    const FlashRange firstClosing = ApplyModelFault(tables, fault);
    std::vector<std::uint8_t> section;
    if (tables.notify) Append(section, NotifyTableBytes(*tables.notify));
    if (fault != TablesFault::kNoSegmentTable) Append(section, SegmentTableBytes(tables.segments));
    if (tables.areaTable) {
        std::vector<std::uint8_t> fat =
            AreaTableWithClosing(tables.areas, tables.signatureBytes, firstClosing);
        if (fault == TablesFault::kBadSignatureBlock) {
            le::PutText(fat, kAreaTableHeaderBytes, "DGTL SGN", 8);
        }
        if (fault == TablesFault::kAreaTableSizeMismatch) {
            // The Size claims one range record more than the records hold;
            // the bytes are there, so only the sum is wrong.
            le::Put(fat, kHeaderSizeField, fat.size() + kRangeBytes, 4);
            fat.resize(fat.size() + kRangeBytes, 0);
        }
        Append(section, fat);
    }
    return section;
}

}  // namespace sim
