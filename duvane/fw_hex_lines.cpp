#include "duvane/fw_hex_lines.h"

#include <cstring>

namespace DirectFwUpdate_Private {

namespace {

constexpr std::size_t kBlockSize = 1 << 16;
// A line of the longest length with a carriage return before its newline.
constexpr std::size_t kLongestLineWithEnd = kLongestHexLine + 2;

std::string_view WithoutCarriageReturn(const char* begin, std::size_t length) {
    if (length > 0 && begin[length - 1] == '\r') --length;
    return {begin, length};
}

}  // namespace

HexLineReader::HexLineReader(std::FILE* file) : mFile(file), mBlock(kBlockSize) {}

HexLineResult HexLineReader::Next(std::string_view& line) {
    line = {};
    for (;;) {
        const char* begin = mBlock.data() + mBegin;
        const std::size_t held = mEnd - mBegin;
        if (const void* newline = std::memchr(begin, '\n', held); newline != nullptr) {
            const auto length = static_cast<std::size_t>(static_cast<const char*>(newline) - begin);
            mBegin += length + 1;
            const std::string_view text = WithoutCarriageReturn(begin, length);
            if (text.size() > kLongestHexLine) return HexLineResult::TooLong;
            line = text;
            return HexLineResult::Line;
        }
        if (held >= kLongestLineWithEnd) return HexLineResult::TooLong;
        if (mFileDone) {
            mAtEnd = true;
            if (held == 0) return HexLineResult::End;
            mBegin = mEnd;
            const std::string_view text = WithoutCarriageReturn(begin, held);
            if (text.size() > kLongestHexLine) return HexLineResult::TooLong;
            line = text;
            return HexLineResult::Line;
        }
        if (!Refill()) return HexLineResult::ReadError;
    }
}

// Moves the unfinished line to the front of the block and reads behind it.
bool HexLineReader::Refill() {
    const std::size_t held = mEnd - mBegin;
    std::memmove(mBlock.data(), mBlock.data() + mBegin, held);
    mBegin = 0;
    mEnd = held;
    const std::size_t got = std::fread(mBlock.data() + mEnd, 1, mBlock.size() - mEnd, mFile);
    mEnd += got;
    if (got == 0) {
        if (std::ferror(mFile) != 0) return false;
        mFileDone = true;
    }
    return true;
}

}  // namespace DirectFwUpdate_Private
