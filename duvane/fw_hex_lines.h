// The lines of a hex record file, read in large blocks. A line is handed
// out without its line end, and one longer than a record line may be is
// reported as such instead of being split into pieces that would read as
// lines of their own.
#ifndef SRVFW_DUVANE_FW_HEX_LINES_H
#define SRVFW_DUVANE_FW_HEX_LINES_H

#include <cstddef>
#include <cstdio>
#include <string_view>
#include <vector>

namespace DirectFwUpdate_Private {

// The longest line a hex record file may hold, its line end not counted.
inline constexpr std::size_t kLongestHexLine = 255;

enum class HexLineResult { Line, TooLong, End, ReadError };

class HexLineReader {
  public:
    explicit HexLineReader(std::FILE* file);

    // The next line, valid until the next call. TooLong, End and ReadError
    // leave `line` empty.
    HexLineResult Next(std::string_view& line);
    // True once the file's last byte has been handed out, or once Next has
    // found nothing more. A file that ends in a line end is thus at its end
    // only after one more call, which the reader's line numbers count.
    bool AtEnd() const { return mAtEnd; }

  private:
    bool Refill();

    std::FILE* mFile;
    std::vector<char> mBlock;
    std::size_t mBegin = 0;
    std::size_t mEnd = 0;
    bool mFileDone = false;
    bool mAtEnd = false;
};

}  // namespace DirectFwUpdate_Private

#endif
