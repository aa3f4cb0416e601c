// What the SDR file's writer and reader share: the longest line the reader
// takes in one piece, the formatting of one line from the string table, and
// the sink that receives the library's last-error text.
#ifndef SRVFW_PEMRIC_SDR_FILE_LINES_H
#define SRVFW_PEMRIC_SDR_FILE_LINES_H

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <string>

#include "bmc/trace.h"
#include "pemric/sdr_texts.h"

namespace Pemric_Private {

// The reader takes a line in parts of this many bytes, terminator included;
// a longer line would be read as two, so the writer never writes one.
inline constexpr unsigned kFileLineBuffer = 256;
// Five header bytes and a body of at most 255.
inline constexpr unsigned kFileRecordBuffer = 260;

// Where a failure's text goes for the host to ask for. The library's state
// owns the text; the file code only says what it is.
class CLastErrorSink {
  public:
    virtual ~CLastErrorSink() = default;
    virtual void SetLastErrorMessage(const std::wstring& text) = 0;
};

// Opens the file at path to append, has writeLines write, and closes it:
// every step of saving a file does so, so that a failed step leaves what
// the steps before it wrote. A file that cannot be opened gives sink (when
// there is one) the message that names the path; every failure is
// 0xC006000A or what writeLines returned, with trace's debug line.
unsigned AppendToSdrFile(const wchar_t* path, const CSdrTexts& texts, CLastErrorSink* sink,
                         const CTrace& trace,
                         const std::function<unsigned(std::FILE*)>& writeLines);

// The text of format formatId with its arguments.
std::wstring FormatMessageText(const CSdrTexts& texts, unsigned formatId, ...);
std::wstring FormatMessageTextV(const CSdrTexts& texts, unsigned formatId, std::va_list arguments);

// Writes one line of format formatId with its arguments and a line end.
// A line the reader could not take whole fails like a failed write
// (0xC006000A), so that no file is written that reads back otherwise.
unsigned WriteFileLine(std::FILE* file, const CSdrTexts& texts, unsigned formatId, ...);

// Lines written one after another until the first one fails.
class CFileLines {
  public:
    CFileLines(std::FILE* file, const CSdrTexts& texts) : mFile(file), mTexts(texts) {}

    template <typename... Arguments>
    CFileLines& Line(unsigned formatId, Arguments... arguments) {
        if (mStatus == 0) mStatus = WriteFileLine(mFile, mTexts, formatId, arguments...);
        return *this;
    }
    // The format's own text as a line, e.g. a heading with its words.
    CFileLines& Heading(unsigned wordsId) { return Line(kHeadingFormat, mTexts.Text(wordsId)); }
    CFileLines& Separator() { return Line(kSeparatorFormat); }
    const wchar_t* Text(unsigned stringId) const { return mTexts.Text(stringId); }
    unsigned Status() const { return mStatus; }

  private:
    static constexpr unsigned kHeadingFormat = 672;
    static constexpr unsigned kSeparatorFormat = 673;

    std::FILE* mFile;
    const CSdrTexts& mTexts;
    unsigned mStatus = 0;
};

}  // namespace Pemric_Private

#endif
