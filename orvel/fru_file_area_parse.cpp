// The bytes of one area section of a FRU configuration file: hexadecimal
// bytes and quoted text, line by line, up to the next section or the end of
// the FRU block. People edit these sections by hand, so blanks, "#"
// separators and empty lines are allowed; anything else is refused rather
// than guessed at.
#include <optional>
#include <string_view>

#include "bmc/trace.h"
#include "orvel/cfile.h"
#include "orvel/fru.h"
#include "orvel/fru_file_tokens.h"
#include "orvel/orvel_status.h"

namespace Orvel_Private {

namespace {

using namespace FruFileTokens;

constexpr const wchar_t* kClass = L"CFru";

// A line with a quoted text: the text between its first two single quotes,
// and what stands before and after them.
struct QuotedLine {
    std::string_view before;
    std::string_view text;
    std::string_view after;
};

std::optional<QuotedLine> FindQuotedText(std::string_view line) {
    const std::size_t open = line.find(FRU_SINGLE_QUOTE);
    if (open == std::string_view::npos) return std::nullopt;
    const std::size_t close = line.find(FRU_SINGLE_QUOTE, open + 1);
    if (close == std::string_view::npos) return std::nullopt;
    return QuotedLine{line.substr(0, open), line.substr(open + 1, close - open - 1),
                      line.substr(close + 1)};
}

// The next section or the end of the FRU block; inside a quoted text these
// are only text.
bool EndsSection(std::string_view outsideQuotes) {
    return outsideQuotes.find(FRU_CLOSE_PAREN) != std::string_view::npos ||
           outsideQuotes.find(FRU_SECTION_PREFIX) != std::string_view::npos;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The bytes of the section read so far.
class SectionBytes {
  public:
    explicit SectionBytes(std::span<std::uint8_t> buffer) : mBuffer(buffer) {}

    std::uint32_t Append(std::uint8_t byte) {
        if (mLength >= mBuffer.size()) {
            return ORVEL_ERROR_AREA_TOO_BIG;
        }
        mBuffer[mLength++] = byte;
        return ORVEL_SUCCESS;
    }

    std::uint32_t AppendText(std::string_view text) {
        for (const char c : text) {
            if (const std::uint32_t status = Append(static_cast<std::uint8_t>(c))) return status;
        }
        return ORVEL_SUCCESS;
    }

    // A line of hexadecimal digits, blanks already removed; "#" separates
    // nothing and is skipped. A line holds whole bytes: half a byte left
    // over is refused rather than paired with the next line's first digit.
    std::uint32_t AppendHex(std::string_view digits) {
        int high = -1;
        for (const char c : digits) {
            if (c == '#') continue;
            const int value = HexDigitValue(c);
            if (value < 0) return ORVEL_ERROR_AREA_UNEXPECTED_CHARACTER;
            if (high < 0) {
                high = value;
                continue;
            }
            if (const std::uint32_t status =
                    Append(static_cast<std::uint8_t>((high << 4) | value))) {
                return status;
            }
            high = -1;
        }
        return high < 0 ? ORVEL_SUCCESS : ORVEL_ERROR_FILE_READ;
    }

    std::uint32_t Length() const { return mLength; }

  private:
    std::span<std::uint8_t> mBuffer;
    std::uint32_t mLength = 0;
};

std::string_view LineText(const CFile& file, std::uint32_t line) {
    return {file.GetLine(line), file.GetLineLength(line)};
}

}  // namespace

std::uint32_t CFru::ParseArea(const char* token, CFile& file, std::uint32_t& line,
                              std::span<std::uint8_t> bytes, std::uint32_t& length) {
    CTrace trace(kClass, L"ParseArea");
    length = 0;
    if (!file.LineContains(line, token)) return ORVEL_ERROR_AREA_MISSING_TAG;
    SectionBytes section(bytes);
    for (++line; line < file.LineCount(); ++line) {
        const std::string_view text = LineText(file, line);
        if (text.empty()) continue;
        std::uint32_t status;
        if (const std::optional<QuotedLine> quoted = FindQuotedText(text)) {
            if (EndsSection(quoted->before) || EndsSection(quoted->after)) break;
            status = section.AppendText(quoted->text);
        } else {
            if (EndsSection(text)) break;
            file.SquishLine(line);
            status = section.AppendHex(LineText(file, line));
        }
        if (status != ORVEL_SUCCESS) return status;
    }
    length = section.Length();
    return ORVEL_SUCCESS;
}

}  // namespace Orvel_Private
