#include "orvel/cfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>

#include "bmc/trace.h"

namespace Orvel_Private {

namespace {

constexpr const wchar_t* kClass = L"CFile";

// Line lengths and counts are 32-bit, which the bounds keep far from.
static_assert(CFile::kMaxFileLength < 0xFFFFFFFFu);
// How much one read asks for.
constexpr std::size_t kReadChunk = 0x10000;

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
    if (path == nullptr) return Fail(OpenFailure::kCannotOpen);
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
    // come; with it the open returns and the check below refuses the FIFO.
    // On a regular file the flag changes nothing.
    mFile.Reset(::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!mFile) {
        trace.Failure(L"Cannot Open File");
        return Fail(OpenFailure::kCannotOpen);
    }
    // Checked on the descriptor, not the name, so that what is read is what
    // was checked.
    struct stat status {};
    if (::fstat(mFile.Get(), &status) != 0) {
        trace.Failure(L"Cannot Read File");
        return Fail(OpenFailure::kCannotRead);
    }
    if (!S_ISREG(status.st_mode)) {
        trace.Failure(L"Not A Regular File");
        return Fail(OpenFailure::kNotRegular);
    }
    if (static_cast<std::uintmax_t>(status.st_size) > kMaxFileLength) {
        trace.Failure(L"File Too Long");
        return Fail(OpenFailure::kTooLong);
    }
    if (!LoadFileIntoCache()) {
        trace.Failure(L"Cannot Read File");
        return false;
    }
    if (!ProcessCacheToLines()) {
        trace.Failure(L"Line Too Long");
        return false;
    }
    return true;
}

bool CFile::Fail(OpenFailure failure) {
    mFile.Reset();
    Forget();
    mFailure = failure;
    return false;
}

void CFile::Descriptor::Reset(int fd) {
    if (mFd >= 0) ::close(mFd);
    mFd = fd;
}

void CFile::Close() {
    CTrace trace(kClass, L"Close");
    mFile.Reset();
}

void CFile::Forget() {
    mLineCount = 0;
    mLineStarts.clear();
    mLineLengths.clear();
    mCacheSize = 0;
    mCache.clear();
    mDelimited.clear();
    mFailure = OpenFailure::kNone;
    mFailedLine = 0;
}

bool CFile::LoadFileIntoCache() {
    CTrace trace(kClass, L"LoadFileIntoCache");
    try {
        // Read until the end, whatever size the file said: it may grow
        // while it is read, and the bound holds for what is read.
        std::size_t size = 0;
        for (;;) {
            mCache.resize(std::min(size + kReadChunk, kMaxFileLength + 1));
            const ::ssize_t read = ::read(mFile.Get(), mCache.data() + size, mCache.size() - size);
            if (read < 0 && errno == EINTR) continue;
            if (read < 0) return Fail(OpenFailure::kCannotRead);
            if (read == 0) break;
            size += static_cast<std::size_t>(read);
            if (size > kMaxFileLength) {
                trace.Failure(L"File Too Long");
                return Fail(OpenFailure::kTooLong);
            }
        }
        if (size == 0) return Fail(OpenFailure::kEmpty);
        mCache.resize(size);
        mCacheSize = size;
        mCache.push_back('\0');
    } catch (const std::bad_alloc&) {
        trace.Failure(L"Memory Allocation Error");
        return Fail(OpenFailure::kCannotRead);
    }
    return true;
}

bool CFile::ProcessCacheToLines() {
    CTrace trace(kClass, L"ProcessCacheToLines");
    std::size_t start = 0;
    std::size_t position = 0;
    const auto addLine = [this, &start](std::size_t end) {
        if (end - start > kMaxLineLength) {
            const std::uint32_t number = static_cast<std::uint32_t>(mLineStarts.size() + 1);
            Fail(OpenFailure::kLineTooLong);
            mFailedLine = number;
            return false;
        }
        mLineStarts.push_back(start);
        mLineLengths.push_back(static_cast<std::uint32_t>(end - start));
        return true;
    };
    while (position < mCacheSize) {
        const char c = mCache[position];
        if (!IsLineEnd(c)) {
            ++position;
            continue;
        }
        if (!addLine(position)) return false;
        mCache[position++] = '\0';
        // "\r\n" and "\n\r" end one line, not two.
        const char other = c == '\n' ? '\r' : '\n';
        if (position < mCacheSize && mCache[position] == other) mCache[position++] = '\0';
        start = position;
    }
    if (start < mCacheSize && !addLine(mCacheSize)) return false;
    mLineCount = static_cast<std::uint32_t>(mLineStarts.size());
    return true;
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
