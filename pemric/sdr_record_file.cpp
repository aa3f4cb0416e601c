// The parts of a record's place in the SDR file that every type shares:
// writing a line, and the lines before the record's body.
#include <string>

#include "bmc/trace.h"
#include "pemric/pemric_status.h"
#include "pemric/sdr.h"
#include "pemric/sdr_file_lines.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

unsigned CSdr::wfprintf(std::FILE* file, const wchar_t* line) {
    CTrace trace(L"CSdr", L"wfprintf");
    // Byte for character, as the reader widens them: an ID string's bytes
    // must come back as they were, whatever the locale.
    std::string narrow;
    for (const wchar_t* c = line; *c != L'\0'; ++c) {
        narrow += static_cast<unsigned>(*c) <= 0xFF ? static_cast<char>(*c) : '?';
    }
    if (file == nullptr || narrow.empty() || std::fputs(narrow.c_str(), file) < 0) {
        trace.Failure(L"Error Writing File");
        return PEMRIC_FILE_WRITE_ERROR;
    }
    return PEMRIC_SUCCESS;
}

unsigned CSdr::WriteRecHdr(std::FILE* file, const RecHdrStructTag& header) {
    CTrace trace(L"CSdr", L"WriteRecHdr");
    CFileLines lines(file, mTexts);
    lines.Separator().Line(kFileKeywordByte, lines.Text(kFileRecordTypeKeyword),
                           unsigned{header.recordType});
    for (unsigned i = 0; i < mTags.Count(); ++i) {
        // Byte for character, as wfprintf narrows it again: a byte above 7Fh
        // must not widen to a negative character.
        std::wstring tag;
        for (const char* c = mTags[i]; *c != '\0'; ++c) tag += static_cast<unsigned char>(*c);
        lines.Line(kFileKeywordText, lines.Text(kFileTagKeyword), tag.c_str());
    }
    const wchar_t* marker = lines.Text(kFileCommentMarker);
    lines
        .Line(kFileKeywordWord, lines.Text(kFileRecordLengthKeyword),
              header.recordLength + kRecordHeaderLength)
        .Separator()
        .Heading(kFileRecordHeaderHeading)
        .Line(kFileDataWord, unsigned{header.recordId}, marker, lines.Text(kTitleRecordId))
        .Line(kFileDataByte, unsigned{header.sdrVersion}, marker, lines.Text(kTitleSdrVersion))
        .Line(kFileDataByte, unsigned{header.recordType}, marker, lines.Text(kTitleRecordType))
        .Line(kFileDataByte, unsigned{header.recordLength}, marker, lines.Text(kTitleRecordLength))
        .Separator()
        .Heading(kFileRecordBodyHeading);
    if (lines.Status() != PEMRIC_SUCCESS) trace.Failure(L"Error Writing File");
    return lines.Status();
}

}  // namespace Pemric_Private
