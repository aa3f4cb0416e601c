#include "host/bios/output.h"

#include <cctype>
#include <cstdio>

#include "host/frame/json_writer.h"
#include "host/frame/text.h"

namespace srvfw {

namespace {

std::string Hex32(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(value));
    return text;
}

std::string InterfaceName(RASK_FLASH_INTERFACE way) {
    switch (way) {
        case RASK_FLASH_LPC:
            return "lpc";
        case RASK_FLASH_SPI:
            return "spi";
        default:
            return "memory";
    }
}

std::string NotifyStateText(RASK_NOTIFY_STATE state) {
    switch (state) {
        case RASK_NOTIFY_NONE:
            return "no update pending";
        case RASK_NOTIFY_PENDING:
            return "an update is pending";
        case RASK_NOTIFY_USED_UP:
            return "no update pending; the field is used up (the next set erases and restores "
                   "the flags block)";
        case RASK_NOTIFY_NO_FIELD:
            return "this platform has no notify field";
    }
    return "unknown (" + std::to_string(static_cast<unsigned>(state)) + ")";
}

std::string SegmentText(const BiosTables& tables, const BiosRange& range) {
    const BiosSegment* segment = SegmentOf(tables.segments, range);
    return "segment " + std::to_string(range.segment) +
           (segment == nullptr ? " (not in the FST)"
                               : " (partition " + std::to_string(segment->partition) + ")");
}

void TextTables(std::ostream& out, const BiosTablesView& view) {
    const BiosTables& tables = view.tables;
    out << "Segments:\n";
    for (const BiosSegment& segment : tables.segments) {
        out << "  tag " << segment.tag << "  partition " << segment.partition << "  "
            << Hex32(segment.start) << "-" << Hex32(segment.limit) << '\n';
    }
    out << "Areas:";
    if (!tables.areas) {
        out << " none (the BIOS keeps no Flash Area Table)\n";
    } else {
        out << '\n';
        for (const BiosArea& area : tables.areas->areas) {
            out << "  " << area.number << "  \"" << Printable(area.name) << "\"  version \""
                << Printable(area.version) << "\"  " << area.size << " bytes\n";
            for (const BiosRange& range : area.ranges) {
                out << "      " << Hex32(range.areaStart) << "-" << Hex32(range.areaLimit) << " at "
                    << Hex32(range.flashStart) << "-" << Hex32(range.flashLimit) << "  "
                    << SegmentText(tables, range) << '\n';
            }
            if (!area.problem.empty()) out << "      unusable: " << area.problem << '\n';
        }
    }
    out << "Notification: ";
    if (tables.notify) {
        out << tables.notify->length << " byte(s) at " << Hex32(tables.notify->dataAddr) << "; ";
    } else {
        out << "no Flash Notification Table; ";
    }
    out << (view.notifyState ? NotifyStateText(*view.notifyState) : "state not known") << '\n';
    const RASK_FLASH_DEVICE_INFO& device = view.device;
    out << "Flash: platform " << device.Platform << ", " << InterfaceName(device.Interface);
    if (device.Interface == RASK_FLASH_SPI) {
        out << " (part kind " << device.SpiFlashKind << ", JEDEC ID "
            << Hex(std::span<const std::uint8_t>(device.SpiJedecId)) << ", addresses from "
            << Hex32(device.BottomOfFlash) << ")";
    }
    out << ", top swap " << (device.TopSwap != 0 ? "on" : "off") << '\n';
}

void JsonTables(JsonWriter& json, const BiosTablesView& view) {
    const BiosTables& tables = view.tables;
    json.BeginObject().Key("segments").BeginArray();
    for (const BiosSegment& segment : tables.segments) {
        json.BeginObject().Key("tag").Number(segment.tag);
        json.Key("partition").Number(segment.partition);
        json.Key("start").Number(static_cast<std::int64_t>(segment.start));
        json.Key("limit").Number(static_cast<std::int64_t>(segment.limit)).EndObject();
    }
    json.EndArray().Key("areas");
    if (!tables.areas) {
        json.Null();
    } else {
        json.BeginArray();
        for (const BiosArea& area : tables.areas->areas) {
            json.BeginObject().Key("number").Number(area.number);
            json.Key("name").String(area.name).Key("version").String(area.version);
            json.Key("size").Number(static_cast<std::int64_t>(area.size));
            json.Key("ranges").BeginArray();
            for (const BiosRange& range : area.ranges) {
                json.BeginObject().Key("area_start").Number(range.areaStart);
                json.Key("area_limit").Number(range.areaLimit);
                json.Key("flash_start").Number(range.flashStart);
                json.Key("flash_limit").Number(range.flashLimit);
                json.Key("segment").Number(range.segment).EndObject();
            }
            json.EndArray();
            json.Key("problem").StringOrNull(area.problem.empty() ? std::nullopt
                                                                  : std::optional(area.problem));
            json.EndObject();
        }
        json.EndArray();
    }
    json.Key("notification").BeginObject().Key("table");
    if (tables.notify) {
        json.BeginObject().Key("length").Number(tables.notify->length);
        json.Key("address").Number(static_cast<std::int64_t>(tables.notify->dataAddr)).EndObject();
    } else {
        json.Null();
    }
    json.Key("state").StringOrNull(
        view.notifyState ? std::optional(NotifyStateName(*view.notifyState)) : std::nullopt);
    json.EndObject();
    const RASK_FLASH_DEVICE_INFO& device = view.device;
    json.Key("flash").BeginObject().Key("platform").Number(device.Platform);
    json.Key("interface").String(InterfaceName(device.Interface));
    if (device.Interface == RASK_FLASH_SPI) {
        json.Key("spi_kind").Number(device.SpiFlashKind);
        json.Key("jedec_id").String(Hex(std::span<const std::uint8_t>(device.SpiJedecId)));
        json.Key("bottom_of_flash").Number(device.BottomOfFlash);
    }
    json.Key("top_swap").Bool(device.TopSwap != 0).EndObject();
    json.EndObject().Finish();
}

void HexDump(std::ostream& out, std::span<const std::uint8_t> bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        const std::span<const std::uint8_t> line =
            bytes.subspan(at, std::min<std::size_t>(16, bytes.size() - at));
        char offset[32];
        std::snprintf(offset, sizeof offset, "%08zX  ", at);
        std::string text = Hex(line);
        text.resize(16 * 3, ' ');
        out << offset << text << '|';
        for (const std::uint8_t byte : line)
            out << (std::isprint(byte) ? static_cast<char>(byte) : '.');
        out << "|\n";
    }
}

}  // namespace

std::string NotifyStateName(RASK_NOTIFY_STATE state) {
    switch (state) {
        case RASK_NOTIFY_NONE:
            return "none";
        case RASK_NOTIFY_PENDING:
            return "pending";
        case RASK_NOTIFY_USED_UP:
            return "used-up";
        case RASK_NOTIFY_NO_FIELD:
            return "no-field";
    }
    return "unknown";
}

void PrintTables(std::ostream& out, bool json, const BiosTablesView& view) {
    if (json) {
        JsonWriter writer(out);
        JsonTables(writer, view);
    } else {
        TextTables(out, view);
    }
}

void PrintRead(std::ostream& out, bool json, const BiosArea& area,
               const std::filesystem::path& file) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject().Key("area").Number(area.number).Key("name").String(area.name);
        writer.Key("bytes").Number(static_cast<std::int64_t>(area.size));
        writer.Key("file").String(ValidUtf8(file.string())).EndObject().Finish();
        return;
    }
    out << "Area " << area.number << " \"" << Printable(area.name) << "\" (" << area.size
        << " bytes) saved to " << Printable(file.string()) << '\n';
}

void PrintWrite(std::ostream& out, bool json, const BiosWriteOutcome& outcome) {
    const BiosArea& area = outcome.area;
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject().Key("area").Number(area.number).Key("name").String(area.name);
        writer.Key("dry_run").Bool(outcome.dryRun).Key("written").Bool(outcome.written);
        writer.Key("backup").StringOrNull(
            outcome.backup ? std::optional(ValidUtf8(outcome.backup->string())) : std::nullopt);
        writer.Key("notified").Bool(outcome.notified);
        writer.Key("blocks").BeginArray();
        for (const BlockReport& block : outcome.blocks) {
            writer.BeginObject().Key("address").Number(block.address);
            writer.Key("bytes").Number(block.bytes).Key("state").String(block.state).EndObject();
        }
        writer.EndArray().EndObject().Finish();
        return;
    }
    out << "Area " << area.number << " \"" << Printable(area.name) << "\" (" << area.size
        << " bytes, " << area.ranges.size() << " block(s))\n";
    if (outcome.dryRun) {
        std::size_t changes = 0;
        for (const BlockReport& block : outcome.blocks) {
            out << "  " << Hex32(block.address) << "  " << block.bytes << " bytes  "
                << (block.state == "same" ? "the same" : "would change") << '\n';
            changes += block.state == "same" ? 0 : 1;
        }
        out << changes << " of " << outcome.blocks.size()
            << " block(s) would change. Nothing was written.\n";
        return;
    }
    out << "Backup: " << Printable(outcome.backup->string()) << '\n';
    out << "Written and verified: " << outcome.blocks.size() << " block(s).\n";
    if (outcome.notified) out << "The BIOS was told that an update is pending.\n";
}

void PrintNotify(std::ostream& out, bool json, const std::string& action, RASK_NOTIFY_STATE state) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject().Key("action").String(action);
        writer.Key("state").String(NotifyStateName(state)).EndObject().Finish();
        return;
    }
    if (action == "set") out << "The BIOS was told that an update is pending.\n";
    if (action == "reset") out << "A pending update, if there was one, was withdrawn.\n";
    out << "Update notification: " << NotifyStateText(state) << '\n';
}

void PrintBytes(std::ostream& out, bool json, const std::string& what,
                std::span<const std::uint8_t> bytes) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject().Key("what").String(what);
        writer.Key("length").Number(static_cast<std::int64_t>(bytes.size()));
        writer.Key("bytes").String(Hex(bytes)).EndObject().Finish();
        return;
    }
    out << what << " (" << bytes.size() << " bytes):\n";
    HexDump(out, bytes);
}

void PrintPlatformId(std::ostream& out, bool json, const std::string& id) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject().Key("platform_id").String(ValidUtf8(id)).EndObject().Finish();
        return;
    }
    out << "Platform ID: " << Printable(id) << '\n';
}

}  // namespace srvfw
