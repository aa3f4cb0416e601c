#include "pemric/sdr.h"

#include <cstring>
#include <new>

#include "bmc/trace.h"
#include "pemric/code_tables.h"
#include "pemric/pemric_status.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

// The raw copy's count is one byte wide, so a longer record keeps no copy.
constexpr unsigned kLongestRawRecord = 255;

}  // namespace

unsigned TypeNameId(unsigned typeIndex) {
    return typeIndex < kTypeOrderCount ? kTextFirstTypeName + typeIndex : kTextUnknownCode;
}

CSdr::~CSdr() {
    for (char* tag = mTags.First(); tag != nullptr; tag = mTags.First()) {
        mTags.Remove(tag);
        delete[] tag;
    }
}

unsigned CSdr::GetName(wchar_t*&) {
    return PEMRIC_SUCCESS;
}

unsigned CSdr::GetSdrTitle(wchar_t*&) {
    return PEMRIC_SUCCESS;
}

unsigned CSdr::GetOEMData(unsigned char*&) {
    return PEMRIC_SUCCESS;
}

unsigned CSdr::ConvertTypeToString(unsigned typeIndex, wchar_t*& name) {
    CTrace trace(L"CSdr", L"ConvertTypeToString");
    name = GetStrFromTable(TypeNameId(typeIndex));
    return PEMRIC_SUCCESS;
}

void CSdr::DecodeType(unsigned kind, unsigned code, std::span<wchar_t> out, unsigned deviceType) {
    CTrace trace(L"CSdr", L"DecodeType");
    if (out.empty()) return;
    const wchar_t* text = GetStrFromTable(LookUpCode(CodeTableFor(kind, deviceType), code));
    std::wcsncpy(out.data(), text, out.size() - 1);
    out.back() = L'\0';
}

unsigned CSdr::SelectField(unsigned index) {
    CTrace trace(L"CSdr", L"SelectField");
    mSelectedField = index;
    return PEMRIC_SUCCESS;
}

unsigned CSdr::DecodeHeader(const unsigned char* bytes, RecHdrStructTag& header) {
    CTrace trace(L"CSdr", L"DecodeHeader");
    // A record must have more than its header; the shortest body is the
    // manufacturer ID and some data of an OEM record.
    if (bytes == nullptr || bytes[4] <= 4) {
        trace.Failure(L"Bad Record Length");
        return PEMRIC_BAD_RECORD_LENGTH;
    }
    header.recordId = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
    header.sdrVersion = bytes[2];
    header.recordType = bytes[3];
    header.recordLength = bytes[4];
    return PEMRIC_SUCCESS;
}

unsigned CSdr::AddTags(const OrderedList<char*>& tags) {
    CTrace trace(L"CSdr", L"AddTags");
    for (unsigned i = 0; i < tags.Count(); ++i) {
        const char* tag = tags[i];
        const std::size_t size = std::strlen(tag) + 1;
        char* copy = new (std::nothrow) char[size];
        if (copy == nullptr) {
            trace.Failure(L"Memory Allocation Failed");
            return PEMRIC_OUT_OF_MEMORY;
        }
        std::memcpy(copy, tag, size);
        if (mTags.Add(copy) == nullptr) {
            delete[] copy;
            trace.Failure(L"Memory Allocation Failed");
            return PEMRIC_OUT_OF_MEMORY;
        }
    }
    return PEMRIC_SUCCESS;
}

unsigned CSdr::CopyrawSDR(const unsigned char* bytes) {
    CTrace trace(L"CSdr", L"CopyrawSDR");
    if (bytes == nullptr) return PEMRIC_SUCCESS;
    const unsigned length = bytes[4] + kRecordHeaderLength;
    if (length > kLongestRawRecord) return PEMRIC_SUCCESS;
    std::unique_ptr<unsigned char[]> copy(new (std::nothrow) unsigned char[length]);
    if (copy == nullptr) {
        trace.Failure(L"Memory Allocation Failed");
        return PEMRIC_OUT_OF_MEMORY;
    }
    std::memcpy(copy.get(), bytes, length);
    mRaw = std::move(copy);
    mRawLength = static_cast<std::uint8_t>(length);
    return PEMRIC_SUCCESS;
}

unsigned CSdr::WriteSDRToBuffer(unsigned char* dst, unsigned char& count) const {
    CTrace trace(L"CSdr", L"WriteSDRToBuffer");
    if (dst != nullptr && mRaw != nullptr) {
        std::memcpy(dst, mRaw.get(), mRawLength);
        count = mRawLength;
    }
    return PEMRIC_SUCCESS;
}

unsigned CSdr::GetTypeAsString(wchar_t*&) {
    CTrace trace(L"CSdr", L"GetTypeAsString");
    return PEMRIC_SUCCESS;
}

}  // namespace Pemric_Private
