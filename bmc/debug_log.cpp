#include "bmc/debug_log.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <span>
#include <string>

#include "bmc/wide_console.h"

unsigned LIBDBG_DEBUG_LEVEL = 1;

namespace {

constexpr char kLogFile[] = "DBGLOG.txt";
constexpr std::size_t kRowBytes = 16;

struct StreamCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

// The log is written by root in whatever directory the host happens to run
// in. A symbolic link planted at the log's name must not turn our writes
// into writes to some other file, so the file is opened with O_NOFOLLOW
// rather than through fopen().
int OpenLog(int flags) {
    return ::open(kLogFile, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | flags, 0666);
}

Stream AppendToLog() {
    const int fd = OpenLog(O_APPEND);
    if (fd < 0) return nullptr;
    Stream stream(::fdopen(fd, "ab"));
    if (!stream) ::close(fd);
    return stream;
}

void StartNewLog() {
    const int fd = OpenLog(O_TRUNC);
    if (fd >= 0) ::close(fd);
}

// "debug1".."debug3" (any case) name levels 1..3; anything else is 0.
int LevelNamedBy(const char* option) {
    static constexpr const char* kNames[] = {"debug1", "debug2", "debug3"};
    for (int level = 1; level <= 3; ++level) {
        if (::strcasecmp(option, kNames[level - 1]) == 0) return level;
    }
    return 0;
}

void AppendHexByte(std::wstring& out, unsigned char byte) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    out += L' ';
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

// One dump row: 16 hex columns, a tab, 16 character columns. A short last
// row is padded with blanks so that its character columns line up.
std::wstring FormatRow(std::span<const unsigned char> row) {
    std::wstring hex;
    std::wstring text;
    for (std::size_t column = 0; column < kRowBytes; ++column) {
        if (column >= row.size()) {
            hex += L"   ";
            text += L' ';
            continue;
        }
        const unsigned char byte = row[column];
        // CCh is what the libraries fill unused buffer space with; leaving
        // it blank makes the real data stand out in a dump.
        if (byte == 0xCC) {
            hex += L"   ";
        } else {
            AppendHexByte(hex, byte);
        }
        text += (byte >= 0x20 && byte <= 0x7E) ? static_cast<wchar_t>(byte) : L'.';
    }
    return hex + L'\t' + text + L"\r\n";
}

std::span<const unsigned char> BytesOf(const unsigned char* data, int count) {
    if (data == nullptr || count <= 0) return {};
    return {data, static_cast<std::size_t>(count)};
}

}  // namespace

SetLibDebugLevelResult SetLibDebugLevel(unsigned level) {
    LIBDBG_DEBUG_LEVEL = level;
    return static_cast<SetLibDebugLevelResult>(LIBDBG_DEBUG_LEVEL);
}

int DecodeDebugLevel(int argc, char** argv) {
    for (int i = 1; argv != nullptr && i < argc; ++i) {
        const char* argument = argv[i];
        if (argument == nullptr || argument[0] != '-') continue;
        const int level = LevelNamedBy(argument + 1);
        if (level == 0) continue;
        LIBDBG_DEBUG_LEVEL = static_cast<unsigned>(level);
        StartNewLog();
        return level;
    }
    LIBDBG_DEBUG_LEVEL = 0;
    return 0;
}

void Dbg(const wchar_t* format, unsigned level, ...) {
    if (format == nullptr || level > LIBDBG_DEBUG_LEVEL) return;
    const Stream log = AppendToLog();
    if (!log) return;
    va_list arguments;
    va_start(arguments, level);
    std::vfwprintf(log.get(), format, arguments);
    va_end(arguments);
    std::fputws(L"\r\n", log.get());
}

void DbgBuffer(const wchar_t* title, unsigned char* data, int count) {
    if (LIBDBG_DEBUG_LEVEL < 2) return;
    const Stream log = AppendToLog();
    if (!log) return;
    std::fwprintf(log.get(), L"%ls\r\n", title != nullptr ? title : L"");
    const std::span<const unsigned char> bytes = BytesOf(data, count);
    for (std::size_t start = 0; start < bytes.size(); start += kRowBytes) {
        const std::size_t length = std::min(kRowBytes, bytes.size() - start);
        std::fputws(FormatRow(bytes.subspan(start, length)).c_str(), log.get());
    }
    std::fputws(L"\r\n", log.get());
}

void PrintBuffer(wchar_t* title, unsigned char* data, int count) {
    std::wstring line = title != nullptr ? title : L"";
    for (const unsigned char byte : BytesOf(data, count)) AppendHexByte(line, byte);
    line += L'\n';
    WriteToStandardOutput(line);
}

void debug(int, wchar_t*) {}
