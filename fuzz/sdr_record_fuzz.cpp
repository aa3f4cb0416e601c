// Feeds arbitrary bytes to the record classes as one SDR, as the BMC or an
// SDR file hands a record over: the object for the type in byte 3 decodes
// as many bytes as the length byte says.
//
// A record that decodes must give back the very bytes it came from, both
// as its raw copy and through an SDR file (saved, then loaded again), and
// every text it shows (each field's title, value and location, its name,
// its title, the OEM data) must be there to read. A record that does not
// decode must say so to every getter. Any difference aborts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/sdr_file_session.h"
#include "pemric/sdr_factory.h"

namespace {

using namespace fuzz_sdr;

using Bytes = std::vector<unsigned char>;

constexpr unsigned kOemDataOffset = kRecordHeaderLength + 3;

// A text the record hands out: present, and ended inside its buffer.
void CheckText(const wchar_t* text) {
    Check(text != nullptr &&
          std::find(text, text + kSdrTextLength, L'\0') != text + kSdrTextLength);
}

void CheckRefusedUndecoded(CSdr& record) {
    unsigned fields = 0;
    wchar_t* text = nullptr;
    Check(record.GetNumberOfFields(fields) == PEMRIC_SDR_NOT_DECODED);
    Check(record.GetFieldValue(text) == PEMRIC_SDR_NOT_DECODED);
    Check(record.GetName(text) == PEMRIC_SDR_NOT_DECODED);
    Check(record.GetSdrTitle(text) == PEMRIC_SDR_NOT_DECODED);
    Check(record.WriteRecordToFile(L"undecoded.sdr") == PEMRIC_SDR_NOT_DECODED);
    Check(text == nullptr);
}

void CheckRawCopy(CSdr& record, const Bytes& bytes) {
    Check(record.CopyrawSDR(bytes.data()) == PEMRIC_SUCCESS);
    unsigned char copy[256] = {};
    unsigned char count = 0;
    Check(record.WriteSDRToBuffer(copy, count) == PEMRIC_SUCCESS);
    Check(count == bytes.size() && std::memcmp(copy, bytes.data(), count) == 0);
}

// The title, location and value of field index. Past the last field there
// is no title or location, only a value that says so.
void CheckField(CSdr& record, unsigned index, bool exists) {
    const unsigned textStatus = exists ? PEMRIC_SUCCESS : PEMRIC_FIELD_NOT_SELECTED;
    wchar_t* title = nullptr;
    wchar_t* location = nullptr;
    wchar_t* value = nullptr;
    record.SelectField(index);
    Check(record.GetFieldTitle(title) == textStatus);
    Check(record.GetFieldLocation(location) == textStatus);
    Check(record.GetFieldValue(value) == PEMRIC_SUCCESS);
    if (exists) {
        CheckText(title);
        CheckText(location);
    }
    CheckText(value);
}

void CheckFieldTexts(CSdr& record) {
    unsigned fields = 0;
    Check(record.GetNumberOfFields(fields) == PEMRIC_SUCCESS && fields > 0);
    for (unsigned index = 0; index < fields; ++index) CheckField(record, index, true);
    for (const unsigned index : {fields, kNoFieldSelected, ~0u}) CheckField(record, index, false);
}

void CheckNameAndOemData(CSdr& record, const Bytes& bytes) {
    wchar_t* name = nullptr;
    wchar_t* title = nullptr;
    Check(record.GetName(name) == PEMRIC_SUCCESS);
    CheckText(name);
    Check(record.GetSdrTitle(title) == PEMRIC_SUCCESS);
    CheckText(title);
    unsigned char* oem = nullptr;
    Check(record.GetOEMData(oem) == PEMRIC_SUCCESS);
    if (bytes[3] != 0xC0) {
        Check(oem == nullptr);
        return;
    }
    // The OEM data is the record's bytes after the manufacturer ID, ended.
    const std::size_t length = bytes.size() - kOemDataOffset;
    Check(oem != nullptr && std::memcmp(oem, bytes.data() + kOemDataOffset, length) == 0 &&
          oem[length] == 0);
}

void CheckFileRoundTrip(const SdrRecordLists& lists, const Bytes& bytes) {
    SdrRecordLists loaded;
    Check(LoadFile(SaveWritable(lists), loaded));
    const std::vector<LoadedRecord> records = RecordsOf(loaded);
    Check(records.size() == 1);
    Check(records[0] == (LoadedRecord{TypeOrderIndex(bytes[3]), bytes, {}, true}));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartSession();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kRecordHeaderLength || size > kFileRecordBuffer) return 0;
    // A record is the header and as many bytes as its length byte says;
    // less is no record to hand over, more is not part of it.
    const std::size_t length = kRecordHeaderLength + data[4];
    if (size < length) return 0;
    // Exactly the record, so that a read past it is caught.
    Bytes bytes(data, data + length);
    CSdr* made = nullptr;
    if (CreateSDRTypeObject(bytes[3], made, Texts()) != PEMRIC_SUCCESS) return 0;
    SdrRecordLists lists;
    Check(lists.byType[TypeOrderIndex(bytes[3])].Add(made) != nullptr);
    CSdr& record = *made;
    if (record.DecodeSDR(bytes.data()) != PEMRIC_SUCCESS) {
        CheckRefusedUndecoded(record);
        return 0;
    }
    CheckRawCopy(record, bytes);
    CheckFieldTexts(record);
    CheckNameAndOemData(record, bytes);
    CheckFileRoundTrip(lists, bytes);
    return 0;
}
