// How each record type's body is laid out as data lines in the SDR file:
// which bytes share a line, which field titles each line, where a type puts
// its second heading, and what its trailing bytes are. The reader takes
// every line as hex bytes in record order, so the layout only serves the
// people who read the file; it must still cover each body byte once.
#ifndef SRVFW_PEMRIC_RECORDS_RECORD_FILE_LAYOUT_H
#define SRVFW_PEMRIC_RECORDS_RECORD_FILE_LAYOUT_H

#include <cstdint>
#include <span>

namespace Pemric_Private {

// lines consecutive data lines of width bytes each (1, 2 or 3), titled with
// the field firstField and the ones after it, or all with firstField when
// sameField (the bytes of a GUID).
struct FileLineRun {
    std::uint8_t width;
    std::uint8_t lines;
    std::uint8_t firstField;
    bool sameField = false;
};

// The body bytes after the fixed part.
enum class FileTail {
    None,
    IdString,
    OemData,
};

struct RecordFileLayout {
    std::span<const FileLineRun> runs;
    FileTail tail;
    // The type's second heading follows this many body lines; 0 for none.
    unsigned secondHeadingAfter;
};

// The layout of recordType; null for a type the library does not know.
const RecordFileLayout* FileLayoutOf(unsigned recordType);

}  // namespace Pemric_Private

#endif
