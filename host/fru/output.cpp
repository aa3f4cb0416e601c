#include "host/fru/output.h"

#include <algorithm>
#include <iomanip>

#include "host/frame/json_writer.h"
#include "host/frame/text.h"

namespace srvfw {

namespace {

constexpr std::size_t kBytesPerLine = 16;

// How srvfw names a text field's encoding, for people and for scripts.
struct EncodingNames {
    const char* words;
    const char* json;
};
EncodingNames NamesOf(FRU_FIELD_TYPE encoding) {
    switch (encoding) {
        case FRU_FIELD_TYPE_BINARY:
            return {"binary", "binary"};
        case FRU_FIELD_TYPE_BCD_PLUS:
            return {"BCD plus", "bcd_plus"};
        case FRU_FIELD_TYPE_6BIT_ASCII:
            return {"6-bit packed ASCII", "6bit_ascii"};
        default:
            return {"8-bit text", "text"};
    }
}

void JsonEncoding(JsonWriter& json, const std::optional<FRU_FIELD_TYPE>& encoding) {
    json.Key("encoding")
        .StringOrNull(encoding ? std::optional<std::string>(NamesOf(*encoding).json)
                               : std::nullopt);
}

void JsonLocator(JsonWriter& json, const FruLocator& locator) {
    json.BeginObject();
    json.Key("type").String(FruTypeName(locator.type));
    json.Key("controller").Number(locator.controller);
    json.Key("device_id").Number(locator.deviceId);
    json.Key("bus").Number(locator.bus);
    json.Key("slave").Number(locator.slave);
    json.Key("lun").Number(locator.lun);
    json.EndObject();
}

void JsonField(JsonWriter& json, const FieldSnapshot& field) {
    json.BeginObject();
    json.Key("field").String(field.field.name);
    json.Key("title").String(field.title);
    json.Key("text").StringOrNull(field.text);
    if (!field.text) json.Key("error").String(field.textError);
    JsonEncoding(json, field.encoding);
    json.Key("hex").String(Hex(field.raw));
    json.EndObject();
}

// Bytes that text would hide or garble: control characters and zeros (the
// library's text stops at the first zero).
bool NeedsHex(const FieldSnapshot& field) {
    return std::any_of(field.raw.begin(), field.raw.end(),
                       [](std::uint8_t b) { return b < 0x20 || b == 0x7F; });
}

std::string FieldValue(const FieldSnapshot& field) {
    if (field.field.kind == FieldKind::kInternalData) return Hex(field.raw);
    if (!field.text) return "(" + field.textError + ") [hex " + Hex(field.raw) + "]";
    std::string value = Printable(*field.text);
    // The number is what "fru set chassis.type=..." takes.
    if (field.field.kind == FieldKind::kChassisType && field.raw.size() == 1) {
        value += " (" + std::to_string(field.raw[0]) + ")";
    } else if (field.encoding && *field.encoding != FRU_FIELD_TYPE_TEXT) {
        // Decoded text alone would hide that the bytes are packed.
        value += " [" + std::string(NamesOf(*field.encoding).words) + ": " + Hex(field.raw) + "]";
    } else if (field.field.kind == FieldKind::kText && NeedsHex(field)) {
        value += " [hex " + Hex(field.raw) + "]";
    }
    return value;
}

void PrintHexLines(std::ostream& out, const std::vector<std::uint8_t>& bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += kBytesPerLine) {
        const std::size_t count = std::min(kBytesPerLine, bytes.size() - at);
        out << "  " << Hex(std::span(bytes).subspan(at, count)) << '\n';
    }
}

void JsonSide(JsonWriter& json, const std::optional<std::string>& text,
              const std::vector<std::uint8_t>& bytes,
              const std::optional<FRU_FIELD_TYPE>& encoding) {
    json.BeginObject().Key("text").StringOrNull(text);
    JsonEncoding(json, encoding);
    json.Key("hex").String(Hex(bytes)).EndObject();
}

std::string Shown(const std::optional<std::string>& text, const std::vector<std::uint8_t>& bytes) {
    if (text) return "\"" + Printable(*text) + "\"";
    return bytes.empty() ? std::string("(none)")
                         : "[" + std::to_string(bytes.size()) + " bytes: " + Hex(bytes) + "]";
}

// What became of a text field's encoding, unless it is 8-bit text as before:
// kept, or 8-bit text instead.
std::string EncodingChange(const Difference& difference) {
    if (!difference.newEncoding) return {};
    const char* now = NamesOf(*difference.newEncoding).words;
    if (!difference.oldEncoding || *difference.oldEncoding == *difference.newEncoding) {
        if (*difference.newEncoding == FRU_FIELD_TYPE_TEXT) return {};
        return std::string(" (kept as ") + now + ")";
    }
    return std::string(" (stored as ") + now + "; was " + NamesOf(*difference.oldEncoding).words +
           ")";
}

}  // namespace

void PrintFru(std::ostream& out, bool json, const FruSnapshot& fru,
              const std::optional<std::filesystem::path>& file) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject();
        writer.Key("source").String(file ? "file" : "system");
        if (file) writer.Key("file").String(file->string());
        writer.Key("locator");
        JsonLocator(writer, fru.locator);
        writer.Key("name").String(fru.name);
        writer.Key("header").String(Hex(fru.header));
        writer.Key("areas").BeginArray();
        for (const AreaSnapshot& area : fru.areas) {
            writer.BeginObject();
            writer.Key("area").String(AreaKindOf(area.area).key);
            writer.Key("name").String(area.name);
            if (area.freeBytes) writer.Key("free_bytes").Number(*area.freeBytes);
            if (area.area == FRU_AREA_INTERNAL || area.area == FRU_AREA_MULTIREC) {
                writer.Key("hex").String(Hex(area.data));
            }
            if (area.area != FRU_AREA_MULTIREC) {
                writer.Key("fields").BeginArray();
                for (const FieldSnapshot& field : area.fields) JsonField(writer, field);
                writer.EndArray();
            }
            writer.EndObject();
        }
        writer.EndArray().EndObject().Finish();
        return;
    }
    out << "FRU: " << Describe(fru.locator);
    if (file) out << ", from the file " << file->string();
    out << '\n';
    if (!fru.name.empty()) out << "Name: " << Printable(fru.name) << '\n';
    out << "Common Header: " << Hex(fru.header) << '\n';
    for (const AreaSnapshot& area : fru.areas) {
        out << '\n' << Printable(area.name) << " (" << AreaKindOf(area.area).key;
        if (area.freeBytes) out << ", " << *area.freeBytes << " free bytes";
        if (area.area == FRU_AREA_MULTIREC) out << ", " << area.data.size() << " bytes";
        out << ")\n";
        if (area.area == FRU_AREA_MULTIREC) PrintHexLines(out, area.data);
        for (const FieldSnapshot& field : area.fields) {
            out << "  " << std::left << std::setw(24) << field.field.name << ' ' << std::setw(28)
                << Printable(field.title) << ' ' << FieldValue(field) << '\n';
        }
    }
}

void PrintField(std::ostream& out, bool json, const FruSnapshot& fru, const FieldSnapshot& field) {
    if (!json) {
        out << FieldValue(field) << '\n';
        return;
    }
    JsonWriter writer(out);
    writer.BeginObject().Key("locator");
    JsonLocator(writer, fru.locator);
    writer.Key("field").String(field.field.name);
    writer.Key("title").String(field.title);
    writer.Key("text").StringOrNull(field.text);
    if (!field.text) writer.Key("error").String(field.textError);
    JsonEncoding(writer, field.encoding);
    writer.Key("hex").String(Hex(field.raw));
    writer.EndObject().Finish();
}

void PrintWrite(std::ostream& out, bool json, const FruSnapshot& before,
                const WriteOutcome& outcome, bool dryRun) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject().Key("locator");
        JsonLocator(writer, before.locator);
        writer.Key("dry_run").Bool(dryRun);
        writer.Key("written").Bool(outcome.written);
        writer.Key("backup").StringOrNull(outcome.backup ? std::optional(outcome.backup->string())
                                                         : std::nullopt);
        writer.Key("changes").BeginArray();
        for (const Difference& difference : outcome.differences) {
            writer.BeginObject();
            writer.Key("field").String(difference.name);
            writer.Key("title").String(difference.title);
            writer.Key("old");
            JsonSide(writer, difference.oldText, difference.oldBytes, difference.oldEncoding);
            writer.Key("new");
            JsonSide(writer, difference.newText, difference.newBytes, difference.newEncoding);
            writer.EndObject();
        }
        writer.EndArray().EndObject().Finish();
        return;
    }
    for (const Difference& difference : outcome.differences) {
        out << difference.name << " (" << Printable(difference.title)
            << "): " << Shown(difference.oldText, difference.oldBytes) << " -> "
            << Shown(difference.newText, difference.newBytes) << EncodingChange(difference) << '\n';
    }
    if (outcome.differences.empty()) {
        out << "No change: the FRU holds these values already; nothing was written.\n";
    } else if (dryRun) {
        out << "Dry run: nothing was written (" << Describe(before.locator) << ").\n";
    } else {
        out << "Backup of the FRU as it was: " << outcome.backup->string() << '\n';
        out << "Written and read back: " << Describe(before.locator) << '\n';
    }
}

void PrintSaved(std::ostream& out, bool json, const FruSnapshot& fru,
                const std::filesystem::path& file) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject().Key("locator");
        JsonLocator(writer, fru.locator);
        writer.Key("saved").String(file.string());
        writer.EndObject().Finish();
        return;
    }
    out << "Saved " << Describe(fru.locator) << " to " << file.string() << '\n';
}

void PrintRestored(std::ostream& out, bool json, const FruSnapshot& fru,
                   const std::filesystem::path& file) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject().Key("locator");
        JsonLocator(writer, fru.locator);
        writer.Key("restored").String(file.string());
        writer.Key("written").Bool(true);
        writer.EndObject().Finish();
        return;
    }
    out << "Restored " << Describe(fru.locator) << " from " << file.string()
        << ": every area and the header written, and read back the same.\n";
}

}  // namespace srvfw
