#include "orvel/cfile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

#include "orvel/trace.h"

namespace Orvel_Private {

namespace {

constexpr const wchar_t* kClass = L"CFile";

// Line lengths and counts are 32-bit; a bigger file is no configuration file.
constexpr std::size_t kMaxFileSize = std::numeric_limits<std::uint32_t>::max() - 1;

bool IsStripped(char c) {
    return c == ' ' || c == '\t' || c == '\0';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}

}  // namespace

CFile::CFile(const char* path) {
    Open(path);
}

bool CFile::Open(const char* path) {
    CTrace trace(kClass, L"Open");
    Close();
    Forget();
    if (path == nullptr) return false;
    mFile.reset(std::fopen(path, "rb"));
    if (!mFile) {
        trace.Failure(L"Cannot Open File");
        return false;
    }
    if (!LoadFileIntoCache()) {
        trace.Failure(L"Cannot Read File");
        Forget();
        return false;
    }
    ProcessCacheToLines();
    return true;
}

void CFile::Close() {
    CTrace trace(kClass, L"Close");
    mFile.reset();
}

void CFile::Forget() {
    mLineCount = 0;
    mLineStarts.clear();
    mLineLengths.clear();
    mCacheSize = 0;
    mCache.clear();
    mDelimited.clear();
}

bool CFile::LoadFileIntoCache() {
    CTrace trace(kClass, L"LoadFileIntoCache");
    try {
        std::array<char, 4096> chunk;
        std::size_t read;
        while ((read = std::fread(chunk.data(), 1, chunk.size(), mFile.get())) > 0) {
            if (mCache.size() + read > kMaxFileSize) return false;
            mCache.insert(mCache.end(), chunk.begin(), chunk.begin() + read);
        }
        if (std::ferror(mFile.get()) || mCache.empty()) return false;
        mCacheSize = mCache.size();
        mCache.push_back('\0');
    } catch (const std::bad_alloc&) {
        trace.Failure(L"Memory Allocation Error");
        return false;
    }
    return true;
}

void CFile::ProcessCacheToLines() {
    CTrace trace(kClass, L"ProcessCacheToLines");
    std::size_t start = 0;
    std::size_t position = 0;
    while (position < mCacheSize) {
        const char c = mCache[position];
        if (!IsLineEnd(c)) {
            ++position;
            continue;
        }
        mLineStarts.push_back(start);
        mLineLengths.push_back(static_cast<std::uint32_t>(position - start));
        mCache[position++] = '\0';
        // "\r\n" and "\n\r" end one line, not two.
        const char other = c == '\n' ? '\r' : '\n';
        if (position < mCacheSize && mCache[position] == other) mCache[position++] = '\0';
        start = position;
    }
    if (start < mCacheSize) {
        mLineStarts.push_back(start);
        mLineLengths.push_back(static_cast<std::uint32_t>(mCacheSize - start));
    }
    mLineCount = static_cast<std::uint32_t>(mLineStarts.size());
}

std::uint32_t CFile::LineCount() const {
    CTrace trace(kClass, L"LineCount");
    return mLineCount;
}

const char* CFile::GetLine(std::uint32_t i) const {
    CTrace trace(kClass, L"GetLine");
    return IsLine(i) ? mCache.data() + mLineStarts[i] : nullptr;
}

std::uint32_t CFile::GetLineLength(std::uint32_t i) const {
    CTrace trace(kClass, L"GetLineLength");
    return IsLine(i) ? mLineLengths[i] : 0;
}

void CFile::SetLineLength(std::uint32_t i, std::size_t length) {
    // The bytes cut off become zeros, so that the line ends where its
    // length says, also for callers that read it as a C string.
    std::fill(LineStart(i) + length, LineStart(i) + mLineLengths[i], '\0');
    mLineLengths[i] = static_cast<std::uint32_t>(length);
}

void CFile::StripLeft(std::uint32_t i) {
    CTrace trace(kClass, L"StripLeft");
    if (!IsLine(i)) return;
    const char* line = LineStart(i);
    const std::size_t count = std::find_if_not(line, line + mLineLengths[i], IsStripped) - line;
    mLineStarts[i] += count;
    mLineLengths[i] -= static_cast<std::uint32_t>(count);
}

void CFile::StripRight(std::uint32_t i) {
    CTrace trace(kClass, L"StripRight");
    if (!IsLine(i)) return;
    std::size_t length = mLineLengths[i];
    while (length > 0 && IsStripped(LineStart(i)[length - 1])) --length;
    SetLineLength(i, length);
}

void CFile::Strip(std::uint32_t i) {
    CTrace trace(kClass, L"Strip");
    StripLeft(i);
    StripRight(i);
}

void CFile::StripLeft() {
    CTrace trace(kClass, L"StripLeft");
    for (std::uint32_t i = 0; i < mLineCount; ++i) StripLeft(i);
}

void CFile::StripRight() {
    CTrace trace(kClass, L"StripRight");
    for (std::uint32_t i = 0; i < mLineCount; ++i) StripRight(i);
}

void CFile::Strip() {
    CTrace trace(kClass, L"Strip");
    for (std::uint32_t i = 0; i < mLineCount; ++i) Strip(i);
}

void CFile::SquishLine(std::uint32_t i) {
    CTrace trace(kClass, L"SquishLine");
    if (!IsLine(i)) return;
    char* line = LineStart(i);
    char* end = std::remove_if(line, line + mLineLengths[i], IsBlank);
    SetLineLength(i, static_cast<std::size_t>(end - line));
}

void CFile::StripRightFromSequence(const char* sequence, std::uint32_t i) {
    CTrace trace(kClass, L"StripRightFromSequence");
    if (!IsLine(i) || sequence == nullptr || *sequence == '\0') return;
    const std::string_view line(LineStart(i), mLineLengths[i]);
    if (const std::size_t at = line.find(sequence); at != std::string_view::npos) {
        SetLineLength(i, at);
    }
}

void CFile::StripRightFromSequence(const char* sequence) {
    CTrace trace(kClass, L"StripRightFromSequence");
    for (std::uint32_t i = 0; i < mLineCount; ++i) StripRightFromSequence(sequence, i);
}

bool CFile::LineContains(std::uint32_t i, const char* text) const {
    CTrace trace(kClass, L"LineContains");
    if (!IsLine(i) || text == nullptr) return false;
    const std::string_view line(mCache.data() + mLineStarts[i], mLineLengths[i]);
    return line.find(text) != std::string_view::npos;
}

const char* CFile::GetDelimitedString(std::uint32_t i, char delimiter) {
    CTrace trace(kClass, L"GetDelimitedString");
    mDelimited.clear();
    if (!IsLine(i)) return nullptr;
    const std::string_view line(LineStart(i), mLineLengths[i]);
    const std::size_t first = line.find(delimiter);
    if (first == std::string_view::npos) return nullptr;
    const std::size_t second = line.find(delimiter, first + 1);
    if (second == std::string_view::npos) return nullptr;
    try {
        mDelimited.assign(line.substr(first + 1, second - first - 1));
    } catch (const std::bad_alloc&) {
        trace.Failure(L"Memory Allocation Error");
        return nullptr;
    }
    return mDelimited.c_str();
}

}  // namespace Orvel_Private
