// The lines of the SDR file around its records: the header, the comment
// before each record type's records, and the end line. Each call appends
// to the file at path and closes it again, like a record's own writer.
#ifndef SRVFW_PEMRIC_SDR_FILE_WRITER_H
#define SRVFW_PEMRIC_SDR_FILE_WRITER_H

#include <string>

#include "pemric/sdr_file_lines.h"
#include "pemric/sdr_texts.h"

namespace Pemric_Private {

// What the header says about the data set being saved.
struct SdrFileSummary {
    // All bytes of the records read from the BMC, headers included.
    unsigned totalBytes = 0;
    std::wstring versionText;
};

// The version text the header quotes, from the OEM data of the data set's
// last OEM record (null when it has none): the word after the SDR version
// keyword and one separator, or the default text.
std::wstring SdrFileVersionText(const CSdrTexts& texts, const unsigned char* lastOemData);

// When the file cannot be opened, sink (if any) receives the message that
// names the path. All fail with 0xC006000A.
unsigned WriteSDRFIleHeader(const wchar_t* path, const CSdrTexts& texts,
                            const SdrFileSummary& summary, CLastErrorSink* sink);
unsigned WriteCommentLine(const wchar_t* path, const CSdrTexts& texts, unsigned recordType,
                          CLastErrorSink* sink);
unsigned WriteSDRFIleFooter(const wchar_t* path, const CSdrTexts& texts, CLastErrorSink* sink);

}  // namespace Pemric_Private

#endif
