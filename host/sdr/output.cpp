#include "host/sdr/output.h"

#include <algorithm>
#include <cstdio>

#include "host/frame/json_writer.h"
#include "host/frame/text.h"

namespace srvfw {

namespace {

std::string RecordId(unsigned id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", id);
    return text;
}

std::string TypeByte(unsigned type) {
    char text[8];
    std::snprintf(text, sizeof text, "%02Xh", type);
    return text;
}

// Lower-case hex digits, end to end, as scripts compare them.
std::string JsonBytes(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

std::string Padded(const std::string& text, std::size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

struct JsonParts {
    bool fields = false;
    bool committed = false;
};

void JsonRecord(JsonWriter& json, const SdrRecord& record, JsonParts parts) {
    json.BeginObject();
    json.Key("id").Number(record.Id());
    json.Key("type").Number(record.type);
    json.Key("type_name").String(ValidUtf8(record.typeName));
    json.Key("name").String(ValidUtf8(record.name));
    json.Key("bytes").String(JsonBytes(record.bytes));
    json.Key("tags").BeginArray();
    for (const std::string& tag : record.tags) json.String(ValidUtf8(tag));
    json.EndArray();
    if (parts.fields) {
        json.Key("fields").BeginArray();
        for (const SdrField& field : record.fields) {
            json.BeginObject();
            json.Key("title").String(ValidUtf8(field.title));
            json.Key("value").String(ValidUtf8(field.value));
            json.Key("location").String(ValidUtf8(field.location));
            json.EndObject();
        }
        json.EndArray();
    }
    if (parts.committed) json.Key("committed").Bool(record.committed);
    json.EndObject();
}

void JsonRecords(JsonWriter& json, const std::vector<SdrRecord>& records, JsonParts parts) {
    json.Key("records").BeginArray();
    for (const SdrRecord& record : records) JsonRecord(json, record, parts);
    json.EndArray();
}

std::size_t TypeNameWidth(const std::vector<SdrRecord>& records) {
    std::size_t width = 0;
    for (const SdrRecord& record : records) width = std::max(width, record.typeName.size());
    return width;
}

// "0001 | 01h Full Sensor Record | CPU Temp"
std::string ListLine(const SdrRecord& record, std::size_t typeWidth) {
    return RecordId(record.Id()) + " | " + TypeByte(record.type) + " " +
           Padded(Printable(record.typeName), typeWidth) + " | " + Printable(record.name);
}

std::string TagList(const std::vector<std::string>& tags) {
    std::string text;
    for (const std::string& tag : tags) text += (text.empty() ? "" : ", ") + Printable(tag);
    return text;
}

void TextRecord(std::ostream& out, const SdrRecord& record) {
    out << "Record " << RecordId(record.Id()) << "h: " << TypeByte(record.type) << ' '
        << Printable(record.typeName) << ", \"" << Printable(record.name) << "\", "
        << record.bytes.size() << " bytes\n";
    if (!record.tags.empty()) out << "  tags: " << TagList(record.tags) << '\n';
    std::size_t titleWidth = 0;
    for (const SdrField& field : record.fields) {
        titleWidth = std::max(titleWidth, Printable(field.title).size());
    }
    for (const SdrField& field : record.fields) {
        out << "  " << Padded(Printable(field.title), titleWidth) << " : "
            << Printable(field.value);
        if (!field.location.empty()) out << "  [" << Printable(field.location) << ']';
        out << '\n';
    }
}

void TextRecords(std::ostream& out, const std::vector<SdrRecord>& records) {
    if (records.empty()) out << "no records\n";
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i > 0) out << '\n';
        TextRecord(out, records[i]);
    }
}

std::string ChangeLine(const RecordChange& change) {
    const SdrRecord& record = change.written ? *change.written : *change.repository;
    std::string line = Padded(ChangeWord(change.kind), 8) + TypeByte(record.type) + " " +
                       Printable(record.typeName) + " #" + std::to_string(change.position) + " \"" +
                       Printable(record.name) + "\"";
    if (change.repository) line += ", repository " + RecordId(change.repository->Id());
    if (change.written) line += ", file " + RecordId(change.written->Id());
    return line;
}

void JsonChanges(JsonWriter& json, const std::vector<RecordChange>& changes) {
    json.Key("changes").BeginArray();
    for (const RecordChange& change : changes) {
        const SdrRecord& record = change.written ? *change.written : *change.repository;
        json.BeginObject();
        json.Key("change").String(ChangeWord(change.kind));
        json.Key("type").Number(record.type);
        json.Key("type_name").String(ValidUtf8(record.typeName));
        json.Key("position").Number(change.position);
        json.Key("name").String(ValidUtf8(record.name));
        const auto id = [&json](const char* key, const std::optional<SdrRecord>& side) {
            json.Key(key);
            if (side) {
                json.Number(side->Id());
            } else {
                json.Null();
            }
        };
        id("file_id", change.written);
        id("repository_id", change.repository);
        json.EndObject();
    }
    json.EndArray();
}

std::size_t LeftOut(const std::vector<SdrRecord>& fileRecords) {
    return std::count_if(fileRecords.begin(), fileRecords.end(),
                         [](const SdrRecord& record) { return !record.committed; });
}

void TextChanges(std::ostream& out, const std::vector<SdrRecord>& fileRecords,
                 const std::vector<RecordChange>& changes) {
    for (const RecordChange& change : changes) out << ChangeLine(change) << '\n';
    const std::size_t written = fileRecords.size() - LeftOut(fileRecords);
    const std::size_t unchanged =
        written - std::count_if(changes.begin(), changes.end(), [](const RecordChange& change) {
            return change.kind != ChangeKind::kRemoved;
        });
    out << changes.size() << " to change, " << unchanged << " unchanged, " << LeftOut(fileRecords)
        << " of the file's records left out by their tags\n";
}

}  // namespace

void PrintProperties(std::ostream& out, bool json, const std::vector<SdrProperty>& properties) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject().Key("properties").BeginArray();
        for (const SdrProperty& property : properties) {
            writer.BeginObject();
            writer.Key("title").String(ValidUtf8(property.title));
            writer.Key("value").String(ValidUtf8(property.value));
            writer.EndObject();
        }
        writer.EndArray().EndObject().Finish();
        return;
    }
    std::size_t width = 0;
    for (const SdrProperty& property : properties) {
        width = std::max(width, Printable(property.title).size());
    }
    for (const SdrProperty& property : properties) {
        // The library's sixth property has no title of its own.
        if (property.title.empty() && property.value.empty()) continue;
        out << Padded(Printable(property.title), width) << " : " << Printable(property.value)
            << '\n';
    }
}

void PrintRecordList(std::ostream& out, bool json, const std::vector<SdrRecord>& records) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject();
        JsonRecords(writer, records, {});
        writer.EndObject().Finish();
        return;
    }
    if (records.empty()) out << "no records\n";
    const std::size_t width = TypeNameWidth(records);
    for (const SdrRecord& record : records) out << ListLine(record, width) << '\n';
}

void PrintRecords(std::ostream& out, bool json, const std::vector<SdrRecord>& records) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject();
        JsonRecords(writer, records, {.fields = true});
        writer.EndObject().Finish();
        return;
    }
    TextRecords(out, records);
}

void PrintFile(std::ostream& out, bool json, const std::filesystem::path& file,
               const std::vector<SdrRecord>& records, const FileVersions& versions) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject();
        writer.Key("version").StringOrNull(versions.version);
        writer.Key("package_version").StringOrNull(versions.packageVersion);
        JsonRecords(writer, records, {.fields = true});
        writer.EndObject().Finish();
        return;
    }
    const auto version = [](const std::optional<std::string>& text) {
        return text ? Printable(*text) : std::string("(absent)");
    };
    out << "SDR file " << Printable(file.string()) << ": " << records.size() << " records\n"
        << "SDR version     : " << version(versions.version) << '\n'
        << "package version : " << version(versions.packageVersion) << "\n\n";
    TextRecords(out, records);
}

void PrintSaved(std::ostream& out, bool json, const std::filesystem::path& file,
                std::size_t records) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject();
        writer.Key("file").String(ValidUtf8(file.string()));
        writer.Key("record_count").Number(static_cast<std::int64_t>(records));
        writer.EndObject().Finish();
        return;
    }
    out << "saved " << records << " records of the SDR repository to " << Printable(file.string())
        << '\n';
}

void PrintChanges(std::ostream& out, bool json, const std::vector<SdrRecord>& fileRecords,
                  const std::vector<RecordChange>& changes) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject();
        JsonChanges(writer, changes);
        writer.Key("left_out").Number(static_cast<std::int64_t>(LeftOut(fileRecords)));
        writer.EndObject().Finish();
        return;
    }
    TextChanges(out, fileRecords, changes);
}

void PrintWrite(std::ostream& out, bool json, const SdrWriteOutcome& outcome, bool dryRun) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject();
        writer.Key("dry_run").Bool(dryRun);
        writer.Key("written").Bool(outcome.written);
        writer.Key("backup").StringOrNull(
            outcome.backup ? std::optional(ValidUtf8(outcome.backup->string())) : std::nullopt);
        JsonRecords(writer, outcome.fileRecords, {.committed = true});
        JsonChanges(writer, outcome.changes);
        writer.EndObject().Finish();
        return;
    }
    const std::size_t width = TypeNameWidth(outcome.fileRecords);
    for (const SdrRecord& record : outcome.fileRecords) {
        out << (record.committed ? "write " : "skip  ") << ListLine(record, width) << '\n';
    }
    TextChanges(out, outcome.fileRecords, outcome.changes);
    if (dryRun) {
        out << "dry run: nothing was written\n";
        return;
    }
    if (outcome.backup) {
        out << "the SDR repository as it was is saved in " << Printable(outcome.backup->string())
            << '\n';
    } else {
        out << "the SDR repository held no records: there was nothing to back up\n";
    }
    out << "wrote " << outcome.fileRecords.size() - LeftOut(outcome.fileRecords)
        << " records; the repository read back holds them\n";
}

}  // namespace srvfw
