#include "strings/str_source.h"

#include <cstdio>

namespace strc {

namespace {

std::string Describe(std::string_view file, unsigned line, const std::string& message) {
    std::string where(file);
    if (line != 0) where += ':' + std::to_string(line);
    return where + ": " + message;
}

std::string CodePoint(char32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(value));
    return text;
}

// Walks one line of a source, reporting faults with the line's place.
class LineReader {
  public:
    LineReader(std::string_view text, std::string_view file, unsigned line)
        : mRest(text), mFile(file), mLine(line) {}

    [[noreturn]] void Fail(const std::string& message) const {
        throw SourceError(mFile, mLine, message);
    }

    bool AtEnd() const { return mRest.empty(); }
    char Peek() const { return mRest.front(); }
    char Take() {
        const char next = mRest.front();
        mRest.remove_prefix(1);
        return next;
    }
    void SkipBlanks() {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t')) mRest.remove_prefix(1);
    }
    bool AtDigit() const { return !AtEnd() && Peek() >= '0' && Peek() <= '9'; }

    unsigned TakeIndex() {
        if (!AtDigit()) Fail("expected an index (a decimal number) at the start of the line");
        unsigned index = 0;
        while (AtDigit()) {
            index = index * 10 + static_cast<unsigned>(Take() - '0');
            if (index > kMaxIndex) Fail("index is larger than " + std::to_string(kMaxIndex));
        }
        if (!AtEnd() && Peek() != ' ' && Peek() != '\t') Fail("expected a blank after the index");
        return index;
    }

    // The quoted text that starts here, with its escapes resolved.
    std::u16string TakeText() {
        if (Take() != '"') Fail("expected a text in double quotes after the index");
        std::u16string text;
        for (;;) {
            if (AtEnd()) Fail("the text has no closing quote");
            const char next = Peek();
            if (next == '"') break;
            text += next == '\\' ? TakeEscape() : TakeCharacter();
        }
        Take();
        return text;
    }

  private:
    char16_t TakeEscape() {
        Take();
        if (AtEnd()) Fail("the text has no closing quote");
        switch (const char kind = Take()) {
            case 'n':
                return u'\n';
            case 'r':
                return u'\r';
            case 't':
                return u'\t';
            case '\\':
                return u'\\';
            case '"':
                return u'"';
            case 'u':
                return TakeUnitEscape();
            default:
                Fail(std::string("unknown escape \\") + kind);
        }
    }

    char16_t TakeUnitEscape() {
        char32_t value = 0;
        for (int digit = 0; digit < 4; ++digit) {
            const char hex = AtEnd() ? '\0' : Take();
            int nibble;
            if (hex >= '0' && hex <= '9') {
                nibble = hex - '0';
            } else if (hex >= 'A' && hex <= 'F') {
                nibble = hex - 'A' + 10;
            } else if (hex >= 'a' && hex <= 'f') {
                nibble = hex - 'a' + 10;
            } else {
                Fail("\\u needs exactly four hex digits");
            }
            value = value << 4 | static_cast<char32_t>(nibble);
        }
        if (value == 0) Fail("\\u0000 would end the text early");
        if (value >= 0xD800 && value <= 0xDFFF) {
            Fail(CodePoint(value) +
                 " is half of a surrogate pair; a string file holds "
                 "characters of the Basic Multilingual Plane only");
        }
        return static_cast<char16_t>(value);
    }

    char16_t TakeCharacter() {
        const char32_t value = TakeUtf8();
        if (value < 0x20 || value == 0x7F) {
            Fail("control character " + CodePoint(value) + " in a text; write it as an escape");
        }
        if (value > 0xFFFF) {
            Fail(CodePoint(value) +
                 " lies outside the Basic Multilingual Plane; a string file holds 16-bit "
                 "characters only");
        }
        return static_cast<char16_t>(value);
    }

    char32_t TakeUtf8() {
        const auto lead = static_cast<unsigned char>(Take());
        if (lead < 0x80) return lead;
        int extra;
        char32_t value;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            value = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            value = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            value = lead & 0x07;
        } else {
            Fail("the text is not valid UTF-8");
        }
        for (int i = 0; i < extra; ++i) {
            if (AtEnd() || (static_cast<unsigned char>(Peek()) & 0xC0) != 0x80) {
                Fail("the text is not valid UTF-8");
            }
            value = value << 6 | (static_cast<unsigned char>(Take()) & 0x3F);
        }
        static constexpr char32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
        if (value < kShortest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            Fail("the text is not valid UTF-8");
        }
        return value;
    }

    std::string_view mRest;
    std::string_view mFile;
    unsigned mLine;
};

std::string_view NextLine(std::string_view& source) {
    const std::size_t end = source.find('\n');
    std::string_view line = source.substr(0, end);
    source.remove_prefix(end == std::string_view::npos ? source.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

}  // namespace

SourceError::SourceError(std::string_view file, unsigned line, const std::string& message)
    : std::runtime_error(Describe(file, line, message)), mLine(line) {}

std::vector<std::u16string> ParseStringSource(std::string_view source, std::string_view fileName) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (source.starts_with(kByteOrderMark)) source.remove_prefix(kByteOrderMark.size());

    std::vector<std::u16string> texts;
    for (unsigned number = 1; !source.empty(); ++number) {
        LineReader line(NextLine(source), fileName, number);
        line.SkipBlanks();
        if (line.AtEnd() || line.Peek() == '#') continue;

        const unsigned index = line.TakeIndex();
        if (index < texts.size()) {
            line.Fail("index " + std::to_string(index) + " follows index " +
                      std::to_string(texts.size() - 1) + "; indices must increase");
        }
        line.SkipBlanks();
        texts.resize(index + 1);
        if (line.AtEnd()) continue;
        texts[index] = line.TakeText();
        line.SkipBlanks();
        if (!line.AtEnd()) line.Fail("unexpected characters after the closing quote");
    }
    if (texts.empty()) throw SourceError(fileName, 0, "the source holds no strings");
    return texts;
}

}  // namespace strc
