// A record's lines in the SDR file: the shared header lines, then its body
// as the type's layout arranges it.
#include <cwchar>
#include <string>

#include "pemric/pemric_status.h"
#include "pemric/records/sdr_record.h"
#include "pemric/sdr_file_lines.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

constexpr unsigned kWidestLine = 3;

unsigned BigEndian(std::span<const unsigned char> bytes) {
    unsigned value = 0;
    for (unsigned char byte : bytes) value = value << 8 | byte;
    return value;
}

}  // namespace

unsigned CSdrRecord::WriteRecordToFile(const wchar_t* path) {
    CTrace trace(ClassName(), L"WriteRecordToFile");
    if (!CheckDecoded(trace)) return PEMRIC_SDR_NOT_DECODED;
    // The data set that saves the record reports a path it cannot open.
    return AppendToSdrFile(path, mTexts, nullptr, trace,
                           [this](std::FILE* file) { return WriteRecordLines(file); });
}

unsigned CSdrRecord::WriteRecordLines(std::FILE* file) {
    const RecordFileLayout* layout = FileLayoutOf(mShape.recordType);
    if (layout == nullptr) return PEMRIC_SDR_TYPE_NOT_SUPPORTED;
    const unsigned status = WriteRecHdr(file, mHeader);
    return status != PEMRIC_SUCCESS ? status : WriteBody(file, *layout);
}

unsigned CSdrRecord::WriteBody(std::FILE* file, const RecordFileLayout& layout) {
    static constexpr unsigned kLineFormats[kWidestLine + 1] = {0, kFileDataByte, kFileDataWord,
                                                               kFileDataThreeBytes};
    const std::span<const unsigned char> body =
        std::span<const unsigned char>(mDecodedBytes).subspan(kRecordHeaderLength);
    const wchar_t* marker = GetStrFromTable(kFileCommentMarker);
    std::size_t offset = 0;
    unsigned linesWritten = 0;
    for (const FileLineRun& run : layout.runs) {
        for (unsigned line = 0; line < run.lines; ++line) {
            // The length check of the decode leaves the fixed part whole; a
            // layout longer than it would be our fault, never a read past.
            if (offset + run.width > body.size()) return PEMRIC_BAD_RECORD_LENGTH;
            const unsigned field = run.sameField ? run.firstField : run.firstField + line;
            const unsigned status = WriteFileLine(file, mTexts, kLineFormats[run.width],
                                                  BigEndian(body.subspan(offset, run.width)),
                                                  marker, GetStrFromTable(TitleIdOf(field)));
            if (status != PEMRIC_SUCCESS) return status;
            offset += run.width;
            if (++linesWritten == layout.secondHeadingAfter) {
                const unsigned headingStatus =
                    CFileLines(file, mTexts).Separator().Heading(kFileRecordSecondHeading).Status();
                if (headingStatus != PEMRIC_SUCCESS) return headingStatus;
            }
        }
    }
    return WriteTail(file, layout.tail, body.subspan(offset));
}

unsigned CSdrRecord::WriteTail(std::FILE* file, FileTail tail,
                               std::span<const unsigned char> bytes) {
    if (tail == FileTail::None || bytes.empty()) return PEMRIC_SUCCESS;
    std::wstring text(bytes.begin(), bytes.end());
    const wchar_t* marker = GetStrFromTable(kFileCommentMarker);
    // The reader ends quoted text at the first apostrophe, cuts every line
    // at the comment marker and, looking for records, takes any line with
    // the record-type keyword as one. Text that would be misread goes as
    // hex bytes, as do bytes that are no printable text.
    bool quotable = text.find(L'\'') == std::wstring::npos &&
                    text.find(marker) == std::wstring::npos &&
                    text.find(GetStrFromTable(kFileRecordTypeKeyword)) == std::wstring::npos;
    for (unsigned char byte : bytes) quotable = quotable && byte >= 0x20 && byte <= 0x7E;
    if (quotable) {
        return WriteFileLine(file, mTexts, kFileDataText, text.c_str(), marker,
                             GetStrFromTable(kTitleIdString));
    }
    std::wstring hex;
    for (unsigned char byte : bytes) {
        wchar_t digits[4];
        std::swprintf(digits, 4, L"%02X ", byte);
        hex += digits;
    }
    const unsigned title = tail == FileTail::OemData ? kTitleOemDataBytes : kTitleIdString;
    return WriteFileLine(file, mTexts, kFileDataHexList, hex.c_str(), marker,
                         GetStrFromTable(title));
}

}  // namespace Pemric_Private
