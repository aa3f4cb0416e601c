#include "host/sdr/records.h"

#include "host/frame/text.h"

namespace srvfw {

namespace {

// The record's tags, one per line.
std::vector<std::string> SplitTags(const std::string& text) {
    std::vector<std::string> tags;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) tags.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return tags;
}

std::string TextOf(SdrLibrary& library, std::string_view what,
                   std::uint32_t (*_EFI_SDR_INTERFACE::*entry)(_EFI_SDR_INTERFACE*, wchar_t*&)) {
    wchar_t* text = nullptr;
    library.Call(what, entry, text);
    return LibraryText(text);
}

std::vector<SdrField> ReadFields(SdrLibrary& library) {
    unsigned count = 0;
    library.Call("counting the record's fields", &_EFI_SDR_INTERFACE::GetNumberOfFields, count);
    std::vector<SdrField> fields;
    for (unsigned index = 0; index < count; ++index) {
        library.Call("selecting a field", &_EFI_SDR_INTERFACE::SelectField, index);
        SdrField field;
        field.title =
            TextOf(library, "reading a field's title", &_EFI_SDR_INTERFACE::GetFieldTitle);
        field.value =
            TextOf(library, "reading a field's value", &_EFI_SDR_INTERFACE::GetFieldValue);
        field.location =
            TextOf(library, "reading a field's location", &_EFI_SDR_INTERFACE::GetFieldLocation);
        fields.push_back(std::move(field));
    }
    return fields;
}

SdrRecord ReadSelected(SdrLibrary& library, unsigned list, unsigned position,
                       const std::string& typeName, RecordDetail detail) {
    SdrRecord record;
    record.list = list;
    record.position = position;
    record.typeName = typeName;
    library.Call("reading a record's type", &_EFI_SDR_INTERFACE::GetTypeAsInteger, record.type);
    record.name = TextOf(library, "reading a record's name", &_EFI_SDR_INTERFACE::GetName);
    const unsigned char* bytes = nullptr;
    unsigned length = 0;
    library.Call("reading a record's bytes", &_EFI_SDR_INTERFACE::GetSdrData, bytes, length);
    if (bytes != nullptr) record.bytes.assign(bytes, bytes + length);
    record.tags =
        SplitTags(TextOf(library, "reading a record's tags", &_EFI_SDR_INTERFACE::GetSdrTags));
    if (detail.fields) record.fields = ReadFields(library);
    if (detail.committed) {
        library.Call("asking whether a commit writes a record", &_EFI_SDR_INTERFACE::IsSdrCommitted,
                     record.committed);
    }
    return record;
}

}  // namespace

unsigned SdrRecord::Id() const {
    return bytes.size() < 2 ? 0 : bytes[0] | static_cast<unsigned>(bytes[1]) << 8;
}

std::string LibraryText(const wchar_t* text) {
    std::string utf8 = ToUtf8(text);
    const std::size_t end = utf8.find_last_not_of(' ');
    utf8.erase(end == std::string::npos ? 0 : end + 1);
    return utf8;
}

std::vector<std::string> TypeListNames(SdrLibrary& library) {
    std::vector<std::string> names;
    for (unsigned list = 0; list < SDR_LIST_COUNT; ++list) {
        wchar_t* name = nullptr;
        library.Call("naming a record type", &_EFI_SDR_INTERFACE::ConvertTypeToString, list, name);
        names.push_back(LibraryText(name));
    }
    return names;
}

std::vector<SdrRecord> ReadRecords(SdrLibrary& library, DataSet set, RecordDetail detail) {
    if (set == DataSet::kSystem) {
        library.Call("selecting the repository's records", &_EFI_SDR_INTERFACE::SelectSysData);
    } else {
        library.Call("selecting the file's records", &_EFI_SDR_INTERFACE::SelectFileData);
    }
    const std::vector<std::string> names = TypeListNames(library);
    std::vector<SdrRecord> records;
    for (unsigned list = 0; list < SDR_LIST_COUNT; ++list) {
        library.Call("selecting a record list", &_EFI_SDR_INTERFACE::SelectSdrList, list);
        unsigned count = 0;
        library.Call("counting the records", &_EFI_SDR_INTERFACE::GetNumberOfSdrs, count);
        for (unsigned position = 0; position < count; ++position) {
            library.Call("selecting a record", &_EFI_SDR_INTERFACE::SelectSdr, position);
            records.push_back(ReadSelected(library, list, position, names[list], detail));
        }
    }
    return records;
}

}  // namespace srvfw
