#include "pemric/sdr_file_writer.h"

#include <cwchar>
#include <functional>

#include "bmc/trace.h"
#include "pemric/pemric_status.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

using LineWriter = std::function<unsigned(std::FILE*)>;

unsigned AppendLines(const wchar_t* path, const CSdrTexts& texts, CLastErrorSink* sink,
                     const wchar_t* function, const LineWriter& writeLines) {
    CTrace trace(L"SdrUtility", function);
    return AppendToSdrFile(path, texts, sink, trace, writeLines);
}

}  // namespace

std::wstring SdrFileVersionText(const CSdrTexts& texts, const unsigned char* lastOemData) {
    const std::wstring fallback = texts.Text(kFileDefaultVersionValue);
    if (lastOemData == nullptr) return fallback;
    std::wstring oem;
    for (const unsigned char* c = lastOemData; *c != 0; ++c) oem += static_cast<wchar_t>(*c);
    const std::wstring keyword = texts.Text(kTitleSdrVersion);
    const std::size_t at = oem.find(keyword);
    if (keyword.empty() || at == std::wstring::npos) return fallback;
    // The keyword, then one separator, then the version up to a blank.
    const std::size_t start = at + keyword.size() + 1;
    if (start >= oem.size()) return std::wstring();
    return oem.substr(start, oem.find(L' ', start) - start);
}

unsigned WriteSDRFIleHeader(const wchar_t* path, const CSdrTexts& texts,
                            const SdrFileSummary& summary, CLastErrorSink* sink) {
    return AppendLines(path, texts, sink, L"WriteSDRFIleHeader", [&](std::FILE* file) {
        CFileLines lines(file, texts);
        const wchar_t* marker = lines.Text(kFileCommentMarker);
        const auto& keyword = kFileHeaderKeywords;
        lines.Line(kFileFramedComment, marker, lines.Text(kFileTitleComment), marker)
            .Separator()
            .Line(kFileKeywordText, lines.Text(keyword[0]), lines.Text(kFileFormatValue))
            .Line(kFileKeywordText, lines.Text(keyword[1]), summary.versionText.c_str())
            .Line(kFileKeywordText, lines.Text(keyword[2]), lines.Text(kFileProducerValue))
            .Line(kFileKeywordText, lines.Text(keyword[3]), lines.Text(kFileEncodingValue))
            .Line(kFileFramedComment, marker, lines.Text(kFileSummaryComment), marker)
            .Separator()
            .Heading(keyword[4])
            // The record count is there for readers of older files; this
            // library never fills it in.
            .Line(kFileKeywordWord, lines.Text(keyword[5]), 0u)
            .Line(kFileKeywordWord, lines.Text(keyword[6]), summary.totalBytes)
            .Line(kFileKeywordText, lines.Text(keyword[7]), lines.Text(kFileByteOrderValue))
            .Line(kFileKeywordByte, lines.Text(keyword[8]), 0xFFu)
            .Line(kFileKeywordByte, lines.Text(keyword[9]), 0x20u);
        return lines.Status();
    });
}

unsigned WriteCommentLine(const wchar_t* path, const CSdrTexts& texts, unsigned recordType,
                          CLastErrorSink* sink) {
    return AppendLines(path, texts, sink, L"WriteCommentLine", [&](std::FILE* file) {
        const std::wstring typeText = FormatMessageText(texts, kFileTypeComment, recordType);
        const wchar_t* frame = texts.Text(kFileTypeCommentFrame);
        return WriteFileLine(file, texts, kFileFramedComment, frame, typeText.c_str(), frame);
    });
}

unsigned WriteSDRFIleFooter(const wchar_t* path, const CSdrTexts& texts, CLastErrorSink* sink) {
    return AppendLines(path, texts, sink, L"WriteSDRFIleFooter", [&](std::FILE* file) {
        return CFileLines(file, texts).Heading(kFileEndKeyword).Status();
    });
}

}  // namespace Pemric_Private
