// A small line-oriented reader for the FRU configuration file: it loads the
// whole file into one cache, splits it into zero-terminated lines in place
// and lets the caller trim, cut and search those lines.
//
// Files come from other systems and from editors, so "\r\n" and "\n\r" are
// each one line end, and a last line without a line end still counts. Every
// operation works within a line's own length: nothing reads past the cache
// or from one line into the next, whatever bytes the file holds.
#ifndef SRVFW_ORVEL_CFILE_H
#define SRVFW_ORVEL_CFILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace Orvel_Private {

class CFile {
  public:
    CFile() = default;
    explicit CFile(const char* path);
    virtual ~CFile() = default;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Loads the file whole and splits it into lines; false when it cannot be
    // opened or read, or is empty. A previous file is closed and forgotten.
    bool Open(const char* path);
    void Close();

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
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    bool LoadFileIntoCache();
    void ProcessCacheToLines();
    void Forget();
    bool IsLine(std::uint32_t i) const { return i < mLineCount; }
    char* LineStart(std::uint32_t i) { return mCache.data() + mLineStarts[i]; }
    // Ends line `i` after `length` characters.
    void SetLineLength(std::uint32_t i, std::size_t length);

    std::unique_ptr<std::FILE, FileCloser> mFile;
    std::uint32_t mLineCount = 0;
    std::vector<std::size_t> mLineStarts;
    std::vector<std::uint32_t> mLineLengths;
    std::size_t mCacheSize = 0;
    std::vector<char> mCache;  // the file and a terminating zero
    std::string mDelimited;    // what GetDelimitedString handed out last
};

}  // namespace Orvel_Private

#endif
