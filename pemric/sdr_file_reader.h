// Loading SDRs from an SDR file. The reader finds its way by keywords: the
// header's ten, then per record its type, its tags up to the data-section
// marker, its length, and as many bytes as the length says, taken from the
// data lines as hex pairs or quoted text. The end keyword closes the file.
#ifndef SRVFW_PEMRIC_SDR_FILE_READER_H
#define SRVFW_PEMRIC_SDR_FILE_READER_H

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "bmc/ordered_list.h"
#include "bmc/trace.h"
#include "pemric/sdr_file_lines.h"
#include "pemric/sdr_record_lists.h"
#include "pemric/sdr_texts.h"

namespace Pemric_Private {

// The reader's place in the file: the lines read, which its messages quote.
// Inside a record the count starts again at the record's length line.
class CSdrFileData {
  public:
    void setLineCounter(std::uint32_t count) { mLineCounter = count; }
    std::uint32_t getLineCounter() const { return mLineCounter; }
    void incrLineCounter() { ++mLineCounter; }

  private:
    std::uint32_t mLineCounter = 0;
};

// The value of the leading hex digits of text (no prefix); 0 for none.
std::uint32_t AHextoUINT32(const char* text);

// A record's tags while it is read; the record takes copies.
class CTagList {
  public:
    CTagList() = default;
    ~CTagList();
    CTagList(const CTagList&) = delete;
    CTagList& operator=(const CTagList&) = delete;

    OrderedList<char*>& List() { return mTags; }

  private:
    OrderedList<char*> mTags;
};

// The reader over one open file; the caller opens and closes it. Failures
// that name a line also give sink (when there is one) their message.
class CSdrFileReader {
  public:
    CSdrFileReader(std::FILE* file, const CSdrTexts& texts, CSdrFileData& fileData,
                   CLastErrorSink* sink)
        : mFile(file), mTexts(texts), mFileData(fileData), mSink(sink) {}

    // value receives the rest of the first line holding the keyword, after
    // the blanks that follow it, line end included. Meeting the end keyword
    // gives its message unless the caller only looks ahead and expects it.
    unsigned FIL_SearchForToken(unsigned keywordId, std::wstring& value, bool endIsFailure = true);
    // The same within a record's tags: the data-section marker ends it too.
    unsigned FIL_SearchForTokenWithinRecord(unsigned keywordId, std::wstring& value,
                                            bool endIsFailure = true);
    unsigned FIL_CheckSDRFileHeader();
    // The records of each type in the file, in the type order, and in all.
    unsigned FIL_CountIPMI10SDRTypes(std::array<unsigned, kTypeOrderCount>& counts,
                                     unsigned& total);
    // record receives the record's bytes, byteCount their number.
    unsigned ReadRecFromFile(std::array<unsigned char, kFileRecordBuffer>& record,
                             unsigned& byteCount, OrderedList<char*>& tags);
    // Adds every record of the file to the list of its type.
    unsigned ReadSdrRecordsFromFile(SdrRecordLists& lists);

  private:
    struct Mark {
        std::fpos_t position;
        std::uint32_t lineCounter;
    };

    unsigned Search(unsigned keywordId, bool withinRecord, bool endIsFailure, std::wstring& value);
    // One line of at most kFileLineBuffer bytes, counted and widened; false
    // (with its message) when none could be read.
    bool ReadLine(std::wstring& line);
    void CutComment(std::wstring& line) const;
    Mark Remember();
    void Restore(const Mark& mark);
    void Report(unsigned formatId, ...);
    unsigned ReadDataBytes(std::array<unsigned char, kFileRecordBuffer>& record, unsigned byteCount,
                           unsigned& bytesRead, const CTrace& trace);
    unsigned AddRecord(unsigned char* bytes, OrderedList<char*>& tags, SdrRecordLists& lists);

    std::FILE* mFile;
    const CSdrTexts& mTexts;
    CSdrFileData& mFileData;
    CLastErrorSink* mSink;
};

}  // namespace Pemric_Private

#endif
