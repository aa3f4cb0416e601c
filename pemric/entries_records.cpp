// Interface entries that browse the selected data set: its record lists,
// a record, a record's fields, and what a commit would make of a record.
#include "pemric/pemric_public.h"
#include "pemric/pemric_state.h"
#include "pemric/pemric_status.h"
#include "pemric/sdr_commit.h"

using namespace Pemric_Private;

namespace {

// The checks of an entry that works on the selected record; record
// receives it. Without a record selected the entry fails as an index out
// of range would, rather than reach for a record that is not there.
std::uint32_t CheckRecordEntry(const CTrace& trace, CSdr*& record) {
    if (const std::uint32_t status = CheckEntry(Needs::Loaded, trace)) return status;
    record = g_pSelected->selectedSdr;
    if (record == nullptr) {
        trace.Failure(L"SDR Not Selected");
        return PEMRIC_INDEX_OUT_OF_RANGE;
    }
    return PEMRIC_SUCCESS;
}

// An entry the selected record answers.
template <typename Out>
std::uint32_t Forward(const wchar_t* name, unsigned (CSdr::*member)(Out&), Out& out) {
    CTrace trace = EntryTrace(name);
    CSdr* record = nullptr;
    if (const std::uint32_t status = CheckRecordEntry(trace, record)) return status;
    return (record->*member)(out);
}

}  // namespace

Pemric_Public::u32 Pemric_Public::GetNumberOfSdrs(Table, unsigned& count) {
    CTrace trace = EntryTrace(L"GetNumberOfSdrs");
    if (const u32 status = CheckEntry(Needs::Loaded, trace)) return status;
    g_pSelected->numberOfSdrs = g_pSelected->SelectedList().Count();
    count = g_pSelected->numberOfSdrs;
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::SelectSdr(Table, unsigned index) {
    CTrace trace = EntryTrace(L"SelectSdr");
    if (const u32 status = CheckEntry(Needs::Loaded, trace)) return status;
    if (static_cast<int>(index) < 0 || index >= g_pSelected->numberOfSdrs) {
        trace.Failure(L"Error Selecting Range");
        return PEMRIC_INDEX_OUT_OF_RANGE;
    }
    g_pSelected->selectedSdrIndex = index;
    g_pSelected->selectedSdr = g_pSelected->SelectedList()[index];
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::GetTypeAsInteger(Table, unsigned& type) {
    return Forward(L"GetTypeAsInteger", &CSdr::GetTypeAsInteger, type);
}

Pemric_Public::u32 Pemric_Public::GetTypeAsString(Table, wchar_t*& name) {
    return Forward(L"GetTypeAsString", &CSdr::GetTypeAsString, name);
}

Pemric_Public::u32 Pemric_Public::GetName(Table, wchar_t*& name) {
    return Forward(L"GetName", &CSdr::GetName, name);
}

Pemric_Public::u32 Pemric_Public::ConvertTypeToString(Table, unsigned index, wchar_t*& name) {
    CTrace trace = EntryTrace(L"ConvertTypeToString");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    name = gTexts.Text(TypeNameId(index));
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::GetNumberOfFields(Table, unsigned& count) {
    return Forward(L"GetNumberOfFields", &CSdr::GetNumberOfFields, count);
}

Pemric_Public::u32 Pemric_Public::SelectField(Table, unsigned index) {
    CTrace trace = EntryTrace(L"SelectField");
    CSdr* record = nullptr;
    if (const u32 status = CheckRecordEntry(trace, record)) return status;
    const u32 status = record->SelectField(index);
    g_pSelected->selectedField = index;
    return status;
}

Pemric_Public::u32 Pemric_Public::GetFieldTitle(Table, wchar_t*& title) {
    return Forward(L"GetFieldTitle", &CSdr::GetFieldTitle, title);
}

Pemric_Public::u32 Pemric_Public::GetFieldValue(Table, wchar_t*& value) {
    return Forward(L"GetFieldValue", &CSdr::GetFieldValue, value);
}

Pemric_Public::u32 Pemric_Public::GetFieldLocation(Table, wchar_t*& location) {
    return Forward(L"GetFieldLocation", &CSdr::GetFieldLocation, location);
}

Pemric_Public::u32 Pemric_Public::SelectSdrList(Table, unsigned typeIndex) {
    CTrace trace = EntryTrace(L"SelectSdrList");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    if (typeIndex >= kTypeOrderCount) {
        trace.Failure(L"Error Selecting Range");
        return PEMRIC_INDEX_OUT_OF_RANGE;
    }
    g_pSelected->recordListIndex = typeIndex;
    g_pSelected->ForgetRecordSelection();
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::GetSdrData(Table, const unsigned char*& bytes, unsigned& length) {
    CTrace trace = EntryTrace(L"GetSdrData");
    CSdr* record = nullptr;
    if (const u32 status = CheckRecordEntry(trace, record)) return status;
    const std::span<const unsigned char> raw = record->RawBytes();
    if (raw.empty()) {
        trace.Failure(L"SDR Bytes Not Kept");
        return PEMRIC_SDR_NOT_DECODED;
    }
    bytes = raw.data();
    length = static_cast<unsigned>(raw.size());
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::GetSdrTags(Table, wchar_t*& tags) {
    CTrace trace = EntryTrace(L"GetSdrTags");
    CSdr* record = nullptr;
    if (const u32 status = CheckRecordEntry(trace, record)) return status;
    std::wstring& text = g_pSelected->tagsText;
    text.clear();
    const OrderedList<char*>& own = record->Tags();
    for (unsigned i = 0; i < own.Count(); ++i) {
        // Byte for character, as the SDR file holds them.
        for (const char* c = own[i]; *c != '\0'; ++c) text += static_cast<unsigned char>(*c);
        text += L'\n';
    }
    tags = text.data();
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::IsSdrCommitted(Table, bool& committed) {
    CTrace trace = EntryTrace(L"IsSdrCommitted");
    CSdr* record = nullptr;
    if (const u32 status = CheckRecordEntry(trace, record)) return status;
    committed = SDRTagsCheck(*record, g_pFileData->tags);
    return PEMRIC_SUCCESS;
}
