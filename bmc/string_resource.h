// A library's localized messages, read by index from a ".str" file.
//
// File layout (little-endian):
//   u32      N, the number of strings (non-zero)
//   u32[N]   byte offset of each string from the start of the file (even;
//            the first one is 4 + 8N)
//   u32[N]   length of each string in 16-bit units, terminating zero included
//   ...      the strings as UTF-16LE units, back to back in index order
// Read as 16-bit little-endian words, the whole file sums to 0 mod 65536.
// Each unit becomes one wchar_t; surrogate pairs are not combined.
#ifndef SRVFW_BMC_STRING_RESOURCE_H
#define SRVFW_BMC_STRING_RESOURCE_H

#include <cstdint>
#include <cstdio>
#include <memory>

#include "include/export.h"

// Results of the operations of CStringResource.
enum StringResourceCode : int {
    STR_SUCCESS = 0,
    STR_NULL_ARGUMENT = 1,
    STR_NO_MEMORY = 2,
    STR_BAD_PATH = 3,  // the path could not be copied or put together
    STR_CANNOT_OPEN = 4,
    STR_READ_FAILED = 5,  // a seek or read failed, or the file ends too soon
    STR_BAD_CHECKSUM = 6,
    STR_NO_STRINGS = 7,
    STR_BAD_OFFSETS = 8,  // the offsets or lengths do not describe the string area
    STR_BAD_INDEX = 9,
    STR_NOT_LOADED = 10,
    STR_COUNT_MISMATCH = 11,
};

class CStringResource {
  public:
    SRVFW_EXPORT CStringResource();
    SRVFW_EXPORT ~CStringResource();
    CStringResource(const CStringResource&) = delete;
    CStringResource& operator=(const CStringResource&) = delete;

    // Opens the file, checks its sum and tables and keeps it open. A non-zero
    // expectedCount must equal the file's count. On failure the object is
    // left empty.
    SRVFW_EXPORT int Initialize(const wchar_t* path, unsigned expectedCount);
    // The path is firstPart, secondPart, "/" and fileName joined, e.g.
    // L"en", L"us", L"orvel/str/orvel.str" gives "enus/orvel/str/orvel.str".
    SRVFW_EXPORT int Initialize(const wchar_t* firstPart, const wchar_t* secondPart,
                                const wchar_t* fileName, unsigned expectedCount);

    // The string at index, owned by this object, or null when there is no
    // such string or it cannot be read.
    SRVFW_EXPORT wchar_t* GetString(unsigned index);
    // Reads every string into one block, so that later lookups need no file
    // access.
    SRVFW_EXPORT int CacheAll();
    // With the block of CacheAll loaded, nothing is released.
    SRVFW_EXPORT int ReleaseString(unsigned index);
    SRVFW_EXPORT int ReleaseAll();

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const;
    };

    void Clear();
    int Load(std::unique_ptr<wchar_t[]> path, unsigned expectedCount);
    int ReadTables(unsigned expectedCount);
    void FreeLoadedStrings();

    std::unique_ptr<wchar_t[]> mPath;
    std::unique_ptr<std::FILE, FileCloser> mFile;
    std::uint32_t mCount = 0;
    std::unique_ptr<std::uint32_t[]> mOffsets;
    std::unique_ptr<std::uint32_t[]> mLengths;
    // Per index: null or the loaded string. With mBulk loaded every entry
    // points into it; otherwise each string is an allocation of its own.
    std::unique_ptr<wchar_t*[]> mCache;
    std::unique_ptr<wchar_t[]> mBulk;
};

#endif
