#include "pemric/sdr_file_reader.h"

#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "bmc/trace.h"
#include "pemric/pemric_status.h"
#include "pemric/sdr_factory.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

bool IsHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f');
}

// The file is narrow text, byte for character, as the writer narrowed it.
std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow += static_cast<char>(c);
    return narrow;
}

std::uint32_t HexValue(const std::wstring& text) {
    return AHextoUINT32(Narrow(text).c_str());
}

// A tag line's value is the quoted tag: from after the opening apostrophe
// to the next one.
std::string TagOf(const std::wstring& value) {
    const std::string narrow = Narrow(value);
    if (narrow.empty()) return narrow;
    const std::string quoted = narrow.substr(1);
    return quoted.substr(0, quoted.find('\''));
}

}  // namespace

std::uint32_t AHextoUINT32(const char* text) {
    std::uint32_t value = 0;
    for (; text != nullptr && IsHexDigit(static_cast<unsigned char>(*text)); ++text) {
        const char c = *text;
        const unsigned digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        value = value << 4 | digit;
    }
    return value;
}

CTagList::~CTagList() {
    while (char* tag = mTags.RemoveLast()) delete[] tag;
}

void CSdrFileReader::Report(unsigned formatId, ...) {
    if (mSink == nullptr) return;
    std::va_list arguments;
    va_start(arguments, formatId);
    mSink->SetLastErrorMessage(FormatMessageTextV(mTexts, formatId, arguments));
    va_end(arguments);
}

CSdrFileReader::Mark CSdrFileReader::Remember() {
    Mark mark{};
    std::fgetpos(mFile, &mark.position);
    mark.lineCounter = mFileData.getLineCounter();
    return mark;
}

void CSdrFileReader::Restore(const Mark& mark) {
    std::fsetpos(mFile, &mark.position);
    mFileData.setLineCounter(mark.lineCounter);
}

bool CSdrFileReader::ReadLine(std::wstring& line) {
    char buffer[kFileLineBuffer];
    mFileData.incrLineCounter();
    if (std::fgets(buffer, sizeof buffer, mFile) == nullptr) {
        Report(kMessageReadError, unsigned{mFileData.getLineCounter()});
        return false;
    }
    line.assign(buffer, buffer + std::strlen(buffer));
    for (wchar_t& c : line) c = static_cast<unsigned char>(c);
    return true;
}

void CSdrFileReader::CutComment(std::wstring& line) const {
    const std::size_t comment = line.find(mTexts.Text(kFileCommentMarker));
    if (comment != std::wstring::npos) line.erase(comment);
}

unsigned CSdrFileReader::Search(unsigned keywordId, bool withinRecord, bool endIsFailure,
                                std::wstring& value) {
    const std::wstring keyword = mTexts.Text(keywordId);
    const std::wstring endKeyword = mTexts.Text(kFileEndKeyword);
    const std::wstring dataMarker = mTexts.Text(kFileDataMarker);
    while (!std::feof(mFile)) {
        std::wstring line;
        if (!ReadLine(line)) return PEMRIC_FILE_READ_ERROR;
        CutComment(line);
        const std::size_t at = line.find(keyword);
        if (at != std::wstring::npos) {
            // Within a record the keyword's own separator comes first.
            std::size_t start = std::min(line.size(), at + keyword.size() + (withinRecord ? 1 : 0));
            while (start < line.size() && line[start] == L' ') ++start;
            value = line.substr(start);
            return PEMRIC_SUCCESS;
        }
        // Quoted data may hold the end keyword's words.
        const bool quoted = line.find(L'\'') != std::wstring::npos;
        const bool atEnd = line.find(endKeyword) != std::wstring::npos;
        if ((atEnd && !quoted) ||
            (withinRecord && !atEnd && line.find(dataMarker) != std::wstring::npos)) {
            if (endIsFailure) Report(kMessageKeywordMissing, keyword.c_str());
            return PEMRIC_FILE_SECTION_END;
        }
    }
    return PEMRIC_FILE_KEYWORD_NOT_FOUND;
}

unsigned CSdrFileReader::FIL_SearchForToken(unsigned keywordId, std::wstring& value,
                                            bool endIsFailure) {
    CTrace trace(L"SdrReadFile", L"FIL_SearchForToken");
    return Search(keywordId, false, endIsFailure, value);
}

unsigned CSdrFileReader::FIL_SearchForTokenWithinRecord(unsigned keywordId, std::wstring& value,
                                                        bool endIsFailure) {
    CTrace trace(L"SdrReadFile", L"FIL_SearchForTokenWithinRecord");
    return Search(keywordId, true, endIsFailure, value);
}

unsigned CSdrFileReader::FIL_CheckSDRFileHeader() {
    CTrace trace(L"SdrReadFile", L"FIL_CheckSDRFileHeader");
    for (unsigned keyword : kFileHeaderKeywords) {
        std::wstring value;
        const unsigned status = FIL_SearchForToken(keyword, value);
        if (status == PEMRIC_FILE_SECTION_END) return PEMRIC_FILE_KEYWORD_NOT_FOUND;
        if (status != PEMRIC_SUCCESS) return status;
    }
    return PEMRIC_SUCCESS;
}

unsigned CSdrFileReader::FIL_CountIPMI10SDRTypes(std::array<unsigned, kTypeOrderCount>& counts,
                                                 unsigned& total) {
    CTrace trace(L"SdrReadFile", L"FIL_CountIPMI10SDRTypes");
    counts.fill(0);
    total = 0;
    for (;;) {
        const Mark mark = Remember();
        std::wstring value;
        // The end keyword after the last record ends the count: no failure.
        const unsigned status = FIL_SearchForToken(kFileRecordTypeKeyword, value, false);
        if (status == PEMRIC_FILE_SECTION_END) return PEMRIC_SUCCESS;
        if (status != PEMRIC_SUCCESS) return status;
        const unsigned index = TypeOrderIndex(HexValue(value));
        if (index == kTypeOrderCount) {
            const unsigned line = mFileData.getLineCounter();
            Restore(mark);
            Report(kMessageUnsupportedType, line);
            trace.Failure(L"Unsupported SDR Type");
            return PEMRIC_FILE_UNSUPPORTED_TYPE;
        }
        ++counts[index];
        ++total;
    }
}

unsigned CSdrFileReader::ReadDataBytes(std::array<unsigned char, kFileRecordBuffer>& record,
                                       unsigned byteCount, unsigned& bytesRead,
                                       const CTrace& trace) {
    // Bytes past the count are counted, never stored: the count check
    // then reports the line that had too many.
    auto store = [&](unsigned value) {
        if (bytesRead < byteCount) record[bytesRead] = static_cast<unsigned char>(value);
        ++bytesRead;
    };
    while (bytesRead < byteCount) {
        std::wstring line;
        if (!ReadLine(line)) return PEMRIC_FILE_READ_ERROR;
        if (line[0] == L'\r' || line[0] == L'\n') continue;
        CutComment(line);
        const std::size_t first = line.find_first_not_of(L' ');
        if (first == std::wstring::npos) continue;
        const std::wstring data = line.substr(first);
        if (data[0] == L'\'') {
            const std::size_t close = data.find(L'\'', 1);
            if (close == std::wstring::npos) {
                trace.Failure(L"Error - Unterminated String");
                Report(kMessageUnterminatedString, unsigned{mFileData.getLineCounter()});
                return PEMRIC_FILE_UNTERMINATED_STRING;
            }
            for (std::size_t i = 1; i < close; ++i) store(data[i]);
            continue;
        }
        for (std::size_t i = 0; i < data.size();) {
            if (!IsHexDigit(data[i])) {
                ++i;
                continue;
            }
            store(HexValue(data.substr(i, 2)));
            i += 2;
        }
    }
    return PEMRIC_SUCCESS;
}

unsigned CSdrFileReader::ReadRecFromFile(std::array<unsigned char, kFileRecordBuffer>& record,
                                         unsigned& byteCount, OrderedList<char*>& tags) {
    CTrace trace(L"SdrReadFile", L"ReadRecFromFile");
    std::wstring value;
    unsigned status = FIL_SearchForToken(kFileRecordTypeKeyword, value);
    if (status != PEMRIC_SUCCESS) return status;
    const std::uint32_t expectedType = HexValue(value);
    for (;;) {
        const Mark mark = Remember();
        // The data marker after the last tag is where tags end, not a fault.
        if (FIL_SearchForTokenWithinRecord(kFileTagKeyword, value, false) != PEMRIC_SUCCESS) {
            Restore(mark);
            break;
        }
        const std::string tag = TagOf(value);
        char* copy = new (std::nothrow) char[tag.size() + 1];
        if (copy == nullptr) return PEMRIC_OUT_OF_MEMORY;
        std::memcpy(copy, tag.c_str(), tag.size() + 1);
        if (tags.Add(copy) == nullptr) {
            delete[] copy;
            return PEMRIC_OUT_OF_MEMORY;
        }
    }
    status = FIL_SearchForToken(kFileRecordLengthKeyword, value);
    if (status != PEMRIC_SUCCESS) return status;
    const std::uint32_t count = HexValue(value);
    if (count == 0) {
        trace.Failure(L"Invalid Record Length");
        return PEMRIC_FILE_INVALID;
    }
    mFileData.setLineCounter(0);
    // A length past the record buffer cannot be a record; read nothing.
    if (count > kFileRecordBuffer) {
        trace.Failure(L"Bad Record Length");
        Report(kMessageByteCountMismatch, unsigned{mFileData.getLineCounter()});
        return PEMRIC_FILE_BYTE_COUNT_MISMATCH;
    }
    unsigned bytesRead = 0;
    status = ReadDataBytes(record, count, bytesRead, trace);
    if (status != PEMRIC_SUCCESS) return status;
    const unsigned line = mFileData.getLineCounter();
    if (count > 3 && record[3] != expectedType) {
        trace.Failure(L"Record Types don't match");
        Report(kMessageTypeMismatch, line);
        return PEMRIC_FILE_TYPE_MISMATCH;
    }
    // The record's own length byte must agree with the length line, or the
    // record would be decoded from bytes the file never gave it.
    if (bytesRead != count || count < kRecordHeaderLength ||
        record[4] + kRecordHeaderLength != count) {
        trace.Failure(L"Bad Record Length");
        Report(kMessageByteCountMismatch, line);
        return PEMRIC_FILE_BYTE_COUNT_MISMATCH;
    }
    byteCount = count;
    return PEMRIC_SUCCESS;
}

unsigned CSdrFileReader::AddRecord(unsigned char* bytes, OrderedList<char*>& tags,
                                   SdrRecordLists& lists) {
    CSdr* made = nullptr;
    unsigned status = CreateSDRTypeObject(bytes[3], made, mTexts);
    if (status != PEMRIC_SUCCESS) return status;
    std::unique_ptr<CSdr> record(made);
    status = record->AddTags(tags);
    if (status != PEMRIC_SUCCESS) return status;
    // A record that does not decode is still the file's record: it is kept,
    // and its getters say it is not decoded.
    record->DecodeSDR(bytes);
    status = record->CopyrawSDR(bytes);
    if (status != PEMRIC_SUCCESS) return status;
    if (lists.byType[TypeOrderIndex(bytes[3])].Add(record.get()) == nullptr) {
        return PEMRIC_OUT_OF_MEMORY;
    }
    record.release();
    return PEMRIC_SUCCESS;
}

unsigned CSdrFileReader::ReadSdrRecordsFromFile(SdrRecordLists& lists) {
    CTrace trace(L"SdrReadFile", L"ReadSdrRecordsFromFile");
    unsigned status = FIL_CheckSDRFileHeader();
    if (status != PEMRIC_SUCCESS) return status;
    const Mark recordsStart = Remember();
    std::array<unsigned, kTypeOrderCount> counts{};
    unsigned total = 0;
    status = FIL_CountIPMI10SDRTypes(counts, total);
    if (status != PEMRIC_SUCCESS) return status;
    Restore(recordsStart);
    for (unsigned i = 0; i < total; ++i) {
        std::array<unsigned char, kFileRecordBuffer> record{};
        unsigned byteCount = 0;
        CTagList tags;
        status = ReadRecFromFile(record, byteCount, tags.List());
        if (status == PEMRIC_FILE_SECTION_END) {
            trace.Failure(L"Invalid SDR File");
            return PEMRIC_FILE_INVALID;
        }
        if (status != PEMRIC_SUCCESS) return status;
        status = AddRecord(record.data(), tags.List(), lists);
        if (status != PEMRIC_SUCCESS) return status;
    }
    return PEMRIC_SUCCESS;
}

}  // namespace Pemric_Private
