#include "pemric/sdr_file_lines.h"

#include <cstdarg>
#include <cwchar>

#include "bmc/trace.h"
#include "bmc/wide_file.h"
#include "pemric/pemric_status.h"
#include "pemric/sdr.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

// Room for the line's text: the reader's buffer less the line end and the
// terminator.
constexpr unsigned kLongestLineText = kFileLineBuffer - 2;

// False when the text does not fit in out.
bool FormatInto(std::wstring& out, const wchar_t* format, std::va_list arguments) {
    wchar_t text[kLongestLineText + 1];
    const int written = std::vswprintf(text, kLongestLineText + 1, format, arguments);
    if (written < 0) return false;
    out.assign(text, static_cast<std::size_t>(written));
    return true;
}

}  // namespace

unsigned AppendToSdrFile(const wchar_t* path, const CSdrTexts& texts, CLastErrorSink* sink,
                         const CTrace& trace,
                         const std::function<unsigned(std::FILE*)>& writeLines) {
    std::FILE* file = wfopen(path, L"a");
    if (file == nullptr) {
        if (sink != nullptr) {
            sink->SetLastErrorMessage(FormatMessageText(texts, kMessageCannotOpenFile, path));
        }
        trace.Failure(L"Error Opening File");
        return PEMRIC_FILE_WRITE_ERROR;
    }
    unsigned status = writeLines(file);
    if (std::fclose(file) != 0 && status == PEMRIC_SUCCESS) status = PEMRIC_FILE_WRITE_ERROR;
    if (status != PEMRIC_SUCCESS) trace.Failure(L"Error Writing File");
    return status;
}

std::wstring FormatMessageText(const CSdrTexts& texts, unsigned formatId, ...) {
    std::va_list arguments;
    va_start(arguments, formatId);
    std::wstring text = FormatMessageTextV(texts, formatId, arguments);
    va_end(arguments);
    return text;
}

std::wstring FormatMessageTextV(const CSdrTexts& texts, unsigned formatId, std::va_list arguments) {
    // Messages quote paths and keywords; one that does not fit in a line
    // is not worth a guess at where it was cut.
    wchar_t text[2 * kFileLineBuffer];
    const int written = std::vswprintf(text, 2 * kFileLineBuffer, texts.Text(formatId), arguments);
    return written >= 0 ? std::wstring(text, static_cast<std::size_t>(written)) : std::wstring();
}

unsigned WriteFileLine(std::FILE* file, const CSdrTexts& texts, unsigned formatId, ...) {
    std::va_list arguments;
    va_start(arguments, formatId);
    std::wstring line;
    const bool fits = FormatInto(line, texts.Text(formatId), arguments);
    va_end(arguments);
    if (!fits) {
        CTrace(L"SdrUtility", L"WriteFileLine").Failure(L"Line Too Long");
        return PEMRIC_FILE_WRITE_ERROR;
    }
    line += L'\n';
    return CSdr::wfprintf(file, line.c_str());
}

}  // namespace Pemric_Private
