// Interface entries for the versions the OEM records carry, and the tags
// that choose which of a file's records a commit writes.
#include <cstring>
#include <new>
#include <string>

#include "bmc/wide_file.h"
#include "pemric/pemric_public.h"
#include "pemric/pemric_state.h"
#include "pemric/pemric_status.h"
#include "pemric/string_ids.h"

using namespace Pemric_Private;

namespace {

constexpr unsigned kOemRecordType = 0xC0;

// One of the two versions: the keyword that precedes it in an OEM record's
// text, how many characters it has at most, and its failure.
struct VersionKind {
    unsigned keywordId;
    std::size_t longest;
    unsigned messageId;
    unsigned status;
    std::wstring PEMRIC::*held;
    const wchar_t* failureWords;
};

constexpr VersionKind kSdrVersion = {kTitleSdrVersion,        5,
                                     kMessageVersionNotFound, PEMRIC_VERSION_NOT_FOUND,
                                     &PEMRIC::version,        L"SDR Version String Not Found"};
constexpr VersionKind kPackageVersion = {
    kPackageVersionKeyword,         6,
    kMessagePackageVersionNotFound, PEMRIC_PACKAGE_VERSION_NOT_FOUND,
    &PEMRIC::packageVersion,        L"SDR Package Version String Not Found"};

// The OEM record list: the list whose first record is an OEM record.
const OrderedList<CSdr*>* OemList(const PEMRIC& set) {
    for (const OrderedList<CSdr*>& list : set.lists->byType) {
        unsigned type = 0;
        if (list.Count() != 0 && list.First()->GetTypeAsInteger(type) == PEMRIC_SUCCESS &&
            type == kOemRecordType) {
            return &list;
        }
    }
    return nullptr;
}

// The version in one record's OEM text: after the keyword and one
// separator, up to the first blank, at most kind.longest characters.
std::wstring VersionIn(CSdr& record, const VersionKind& kind) {
    unsigned char* data = nullptr;
    if (record.GetOEMData(data) != PEMRIC_SUCCESS || data == nullptr) return L"";
    std::wstring text;
    for (const unsigned char* c = data; *c != 0; ++c) text += *c;
    const std::wstring keyword = gTexts.Text(kind.keywordId);
    const std::size_t at = keyword.empty() ? std::wstring::npos : text.find(keyword);
    if (at == std::wstring::npos) return L"";
    const std::size_t start = at + keyword.size() + 1;
    if (start >= text.size()) return L"";
    const std::wstring rest = text.substr(start, kind.longest);
    return rest.substr(0, rest.find(L' '));
}

// The version of the file set or of the system set; the file's may be
// absent without failing.
std::uint32_t LookUpVersion(const wchar_t* name, bool fromFile, const VersionKind& kind,
                            wchar_t*& out) {
    CTrace trace = EntryTrace(name);
    out = nullptr;
    if (const std::uint32_t status = CheckEntry(Needs::Initialized, trace)) return status;
    PEMRIC& set = fromFile ? *g_pFileData : *g_pSysData;
    if (!set.loaded) {
        trace.Failure(L"Not Loaded");
        return PEMRIC_NOT_LOADED;
    }
    std::wstring& held = set.*kind.held;
    if (!held.empty() && !set.modified) {
        out = held.data();
        return PEMRIC_SUCCESS;
    }
    const OrderedList<CSdr*>* oem = OemList(set);
    if (oem == nullptr) return fromFile ? PEMRIC_SUCCESS : kind.status;
    for (unsigned i = 0; i < oem->Count(); ++i) {
        const std::wstring version = VersionIn(*(*oem)[i], kind);
        if (!version.empty()) {
            held = version;
            out = held.data();
            return PEMRIC_SUCCESS;
        }
    }
    trace.Failure(kind.failureWords);
    SetLastError(gTexts.Text(kind.messageId));
    return kind.status;
}

// The tag as the file's records hold theirs: narrow text.
std::string NarrowTag(const wchar_t* tag) {
    return ToMultibyte(tag).value_or(std::string());
}

}  // namespace

Pemric_Public::u32 Pemric_Public::GetVersionFromFile(Table, wchar_t*& version) {
    return LookUpVersion(L"GetVersionFromFile", true, kSdrVersion, version);
}

Pemric_Public::u32 Pemric_Public::GetVersionFromSystem(Table, wchar_t*& version) {
    return LookUpVersion(L"GetVersionFromSystem", false, kSdrVersion, version);
}

Pemric_Public::u32 Pemric_Public::GetPackageVersionFromFile(Table, wchar_t*& version) {
    return LookUpVersion(L"GetPackageVersionFromFile", true, kPackageVersion, version);
}

Pemric_Public::u32 Pemric_Public::GetPackageVersionFromSystem(Table, wchar_t*& version) {
    return LookUpVersion(L"GetPackageVersionFromSystem", false, kPackageVersion, version);
}

Pemric_Public::u32 Pemric_Public::SetTag(Table, wchar_t* tag) {
    CTrace trace = EntryTrace(L"SetTag");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    if (tag == nullptr) return PEMRIC_SUCCESS;
    const std::string narrow = NarrowTag(tag);
    char* copy = new (std::nothrow) char[narrow.size() + 1];
    if (copy == nullptr) return PEMRIC_OUT_OF_MEMORY;
    std::memcpy(copy, narrow.c_str(), narrow.size() + 1);
    if (g_pFileData->tags.Add(copy) == nullptr) {
        delete[] copy;
        return PEMRIC_OUT_OF_MEMORY;
    }
    return PEMRIC_SUCCESS;
}

Pemric_Public::u32 Pemric_Public::ClearTag(Table, wchar_t* tag) {
    CTrace trace = EntryTrace(L"ClearTag");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    if (tag == nullptr) return PEMRIC_SUCCESS;
    const std::string narrow = NarrowTag(tag);
    OrderedList<char*>& tags = g_pFileData->tags;
    for (unsigned i = tags.Count(); i-- > 0;) {
        char* entry = tags[i];
        if (narrow == entry) delete[] tags.Remove(entry);
    }
    return PEMRIC_SUCCESS;
}
