// A small line-oriented reader for the FRU configuration file: it loads the
// whole file into one cache, splits it into zero-terminated lines in place
// and lets the caller trim, cut and search those lines.
//
// Files come from other systems and from editors, so "\r\n" and "\n\r" are
// each one line end, and a last line without a line end still counts. Every
// operation works within a line's own length: nothing reads past the cache
// or from one line into the next, whatever bytes the file holds.
//
// Only a regular file is read, and only up to sizes no configuration file
// reaches: a FIFO, a device or a runaway file is refused before it can
// block the caller or fill its memory.
#ifndef SRVFW_ORVEL_CFILE_H
#define SRVFW_ORVEL_CFILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Orvel_Private {

class CFile {
  public:
    // The largest FRU a file can describe is the device's 64 KiB address
    // space. The writer spends about three characters on a byte ("%02X "),
    // and people who edit the file add comments and put bytes on lines of
    // their own; 64 characters per byte of the largest FRU leave room for
    // all of that, and no real file comes near.
    static constexpr std::size_t kMaxFileLength = 0x10000 * 64;
    // The longest line a real file holds is a whole multi-record section
    // (up to 64 KiB less the header) on one line, at three characters a
    // byte; a fourth leaves room for a comment after it.
    static constexpr std::size_t kMaxLineLength = 0x10000 * 4;

    // Why the last Open failed.
    enum class OpenFailure {
        kNone,
        kCannotOpen,   // no path, no such file, no permission
        kNotRegular,   // a directory, FIFO, device or socket
        kTooLong,      // more than kMaxFileLength bytes
        kLineTooLong,  // a line of more than kMaxLineLength bytes (FailedLine)
        kCannotRead,   // a read error, or no memory for the cache
        kEmpty,
    };

    CFile() = default;
    explicit CFile(const char* path);
    virtual ~CFile() = default;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Loads the file whole and splits it into lines; false when it cannot be
    // opened or read, is no regular file, is empty or passes the bounds
    // above (Failure says which). A previous file is closed and forgotten.
    bool Open(const char* path);
    void Close();
    OpenFailure Failure() const { return mFailure; }
    // The line (counted from 1) that was too long; 0 for other failures.
    std::uint32_t FailedLine() const { return mFailedLine; }

    std::uint32_t LineCount() const;
    // The zero-terminated text of line `i`; null past the last line.
    const char* GetLine(std::uint32_t i) const;
    // 0 past the last line. A line may hold zero bytes of its own; this is
    // where it ends.
    std::uint32_t GetLineLength(std::uint32_t i) const;

    // Remove blanks, tabs and zero bytes at the start, the end or both ends
    // of line `i`, or of every line.
    void StripLeft(std::uint32_t i);
    void StripRight(std::uint32_t i);
    void Strip(std::uint32_t i);
    void StripLeft();
    void StripRight();
    void Strip();
    // Removes every blank and tab inside line `i`.
    void SquishLine(std::uint32_t i);
    // Cuts line `i`, or every line, at the first occurrence of `sequence`.
    void StripRightFromSequence(const char* sequence, std::uint32_t i);
    void StripRightFromSequence(const char* sequence);

    bool LineContains(std::uint32_t i, const char* text) const;
    // The text strictly between the first and the second `delimiter` of line
    // `i`; null when the line holds fewer than two. The text belongs to the
    // reader and stays valid until the next call.
    const char* GetDelimitedString(std::uint32_t i, char delimiter);

  private:
    // The open descriptor; closed with the reader.
    class Descriptor {
      public:
        Descriptor() = default;
        ~Descriptor() { Reset(); }
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        void Reset(int fd = -1);
        int Get() const { return mFd; }
        explicit operator bool() const { return mFd >= 0; }

      private:
        int mFd = -1;
    };

    bool Fail(OpenFailure failure);
    bool LoadFileIntoCache();
    bool ProcessCacheToLines();
    void Forget();
    bool IsLine(std::uint32_t i) const { return i < mLineCount; }
    char* LineStart(std::uint32_t i) { return mCache.data() + mLineStarts[i]; }
    // Ends line `i` after `length` characters.
    void SetLineLength(std::uint32_t i, std::size_t length);

    Descriptor mFile;
    std::uint32_t mLineCount = 0;
    std::vector<std::size_t> mLineStarts;
    std::vector<std::uint32_t> mLineLengths;
    std::size_t mCacheSize = 0;
    std::vector<char> mCache;  // the file and a terminating zero
    std::string mDelimited;    // what GetDelimitedString handed out last
    OpenFailure mFailure = OpenFailure::kNone;
    std::uint32_t mFailedLine = 0;
};

}  // namespace Orvel_Private

#endif
