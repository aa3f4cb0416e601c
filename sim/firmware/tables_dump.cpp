#include "sim/firmware/tables_dump.h"

#include <algorithm>
#include <iomanip>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "sim/firmware/firmware_volume.h"
#include "sim/firmware/flash_tables.h"
#include "sim/firmware/little_endian.h"

namespace sim {

namespace {

std::optional<std::size_t> Find(std::span<const std::uint8_t> bytes, std::string_view search) {
    const auto at = std::search(bytes.begin(), bytes.end(), search.begin(), search.end());
    if (at == bytes.end()) return std::nullopt;
    return static_cast<std::size_t>(at - bytes.begin());
}

std::string Hex(std::uint64_t value) {
    std::ostringstream text;
    text << std::hex << std::uppercase << value << "h";
    return text.str();
}

// The table from its start, cut at the section's end.
std::span<const std::uint8_t> From(std::span<const std::uint8_t> section, std::size_t at) {
    return section.subspan(at);
}

void DescribeSegments(std::span<const std::uint8_t> table, std::ostream& out) {
    if (table.size() < kTableHeaderBytes) {
        out << "FST: header cut short\n";
        return;
    }
    const auto size = le::Get(table, 28, 4);
    out << "FST: Size " << size << " (" << (size < kTableHeaderBytes ? 0 : (size - 32) / 32)
        << " entries)\n";
    for (std::size_t at = kTableHeaderBytes;
         at + kSegmentEntryBytes <= std::min<std::uint64_t>(size, table.size());
         at += kSegmentEntryBytes) {
        out << "  segment " << le::Get(table, at, 4) << ": partition " << le::Get(table, at + 4, 2)
            << ", " << Hex(le::Get(table, at + 8, 8)) << " - " << Hex(le::Get(table, at + 16, 8))
            << "\n";
    }
}

void DescribeAreas(std::span<const std::uint8_t> table, std::ostream& out) {
    if (table.size() < kAreaTableHeaderBytes + kSignatureHeaderBytes) {
        out << "FAT: header cut short\n";
        return;
    }
    const auto size = std::min<std::uint64_t>(le::Get(table, 28, 4), table.size());
    const auto signature = le::Get(table, 64, 4);
    out << "FAT: Size " << le::Get(table, 28, 4) << ", signature block \""
        << le::GetText(table, kAreaTableHeaderBytes, 8) << "\" of " << signature << " bytes\n";
    std::uint64_t at = kAreaTableHeaderBytes + signature;
    while (at + kAreaHeaderBytes <= size) {
        const auto areaSize = le::Get(table, at + 28, 8);
        out << "  area " << le::Get(table, at, 4) << " \"" << le::GetText(table, at + 164, 256)
            << "\" version \"" << le::GetText(table, at + 36, 128) << "\", " << areaSize
            << " bytes\n";
        at += kAreaHeaderBytes;
        while (at + kRangeBytes <= size) {
            const auto flags = le::Get(table, at, 4);
            at += kRangeBytes;
            if (flags == 0) break;
            out << "    range flags " << flags << ": area " << Hex(le::Get(table, at - 20, 4))
                << " - " << Hex(le::Get(table, at - 16, 4)) << " in segment "
                << le::Get(table, at - 12, 4) << " at " << Hex(le::Get(table, at - 8, 4)) << " - "
                << Hex(le::Get(table, at - 4, 4)) << "\n";
        }
        if (areaSize == 0) break;
    }
}

void DescribeNotify(std::span<const std::uint8_t> table, std::ostream& out) {
    if (table.size() < kNotifyTableBytes) {
        out << "FNT: cut short\n";
        return;
    }
    out << "FNT: AccessType " << le::Get(table, 28, 4) << ", notify field of "
        << (le::Get(table, 44, 4) & 0xFFFF) << " bytes at " << Hex(le::Get(table, 56, 8)) << "\n";
}

}  // namespace

void DescribeTables(std::span<const std::uint8_t> section, std::ostream& out) {
    const auto notify = Find(section, "NOTIFYBT");
    const auto segments = Find(section, "FLASHTBL");
    const auto areas = Find(section, "AREA TBL");
    if (notify) {
        DescribeNotify(From(section, *notify), out);
    } else {
        out << "FNT: none\n";
    }
    if (segments) {
        DescribeSegments(From(section, *segments), out);
    } else {
        out << "FST: none\n";
    }
    if (areas) {
        DescribeAreas(From(section, *areas), out);
    } else {
        out << "FAT: none\n";
    }
}

void DescribeVolume(std::span<const std::uint8_t> volume, std::ostream& out) {
    std::string why;
    const auto info = ReadFirmwareVolume(volume, &why);
    if (!info) {
        out << "no firmware volume: " << why << "\n";
        return;
    }
    out << "volume: file system " << info->fileSystem.Text() << ", " << info->length
        << " bytes, header " << info->headerLength << " bytes, checksum "
        << (info->headerChecksumOk ? "ok" : "BAD") << "\n";
    const Guid tables = Guid::Parse(kTablesFileGuid);
    for (const VolumeFileInfo& file : info->files) {
        out << "  file " << file.name.Text() << " at " << Hex(file.offset) << ": type "
            << unsigned{file.type} << ", " << file.size << " bytes, state " << Hex(file.state)
            << ", header checksum " << (file.headerChecksumOk ? "ok" : "BAD") << ", data checksum "
            << (file.dataChecksumOk ? "ok" : "BAD") << "\n";
        if (file.name == tables && file.sectionDataOffset) {
            DescribeTables(volume.subspan(*file.sectionDataOffset, file.sectionDataBytes), out);
        }
    }
}

}  // namespace sim
