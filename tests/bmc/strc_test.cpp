// The string compiler: its parser, the file it writes, and the round trip
// from a source through the compiler to what the libraries' reader returns.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "bmc/string_resource.h"
#include "scratch_dir.h"
#include "strings/str_image.h"
#include "strings/str_source.h"

extern char** environ;

namespace {

std::wstring Widen(const std::u16string& units) {
    return {units.begin(), units.end()};
}

// ------------------------------------------------------------------- parser

TEST(StringSource, ReadsIndicesTextsAndEscapes) {
    const std::string source =
        "\xEF\xBB\xBF# A comment, then a blank line.\r\n"
        "\r\n"
        "  0\t\"Plain text\"  \r\n"
        "2 \"Tab\\tLine\\nReturn\\rQuote\\\"Backslash\\\\\"\n"
        "3\n"
        "4 \"\"\n"
        "5 \"Caf\\u00e9 \\u20AC \xE6\x97\xA5\xE6\x9C\xAC\"\n"
        "7 \"%ls: %02Xh # not a comment\"";
    const std::vector<std::u16string> expected = {
        u"Plain text",
        u"",
        u"Tab\tLine\nReturn\rQuote\"Backslash\\",
        u"",
        u"",
        u"Caf\u00E9 \u20AC \u65E5\u672C",
        u"",
        u"%ls: %02Xh # not a comment",
    };
    EXPECT_EQ(strc::ParseStringSource(source, "test.strings"), expected);
}

struct MalformedCase {
    const char* name;
    std::string source;
    std::string where;    // the start of the message
    std::string message;  // a part of it
};

void PrintTo(const MalformedCase& c, std::ostream* os) {
    *os << c.name;
}

const MalformedCase kMalformedCases[] = {
    {"OutsideTheBmp", "# texts\n\n0 \"ok\"\n1 \"smile \xF0\x9F\x98\x80\"\n",
     "test.strings:4: ", "U+1F600 lies outside the Basic Multilingual Plane"},
    {"SurrogateEscape", "0 \"\\uD83D\\uDE00\"",
     "test.strings:1: ", "U+D83D is half of a surrogate pair"},
    {"EncodedSurrogate", "0 \"\xED\xA0\xBD\"", "test.strings:1: ", "not valid UTF-8"},
    {"NoClosingQuote", "0 \"open\n1 \"b\"", "test.strings:1: ", "no closing quote"},
    {"EscapeAtTheEnd", "0 \"open\\", "test.strings:1: ", "no closing quote"},
    {"UnknownEscape", "0 \"\\q\"", "test.strings:1: ", "unknown escape \\q"},
    {"ShortHexEscape", "0 \"\\u12G4\"", "test.strings:1: ", "four hex digits"},
    {"HexEscapeCutShort", "0 \"\\u12", "test.strings:1: ", "four hex digits"},
    {"ZeroEscape", "0 \"a\\u0000b\"", "test.strings:1: ", "\\u0000"},
    {"InvalidUtf8", "0 \"\xC3\x28\"", "test.strings:1: ", "not valid UTF-8"},
    {"OverlongUtf8", "0 \"\xC0\xAF\"", "test.strings:1: ", "not valid UTF-8"},
    {"RawControlCharacter", "0 \"a\tb\"", "test.strings:1: ", "control character U+0009"},
    {"IndexNotANumber", "x \"a\"", "test.strings:1: ", "expected an index"},
    {"IndexTooLarge", "70000 \"a\"", "test.strings:1: ", "larger than 65535"},
    {"IndicesDecrease", "5 \"a\"\n3 \"b\"", "test.strings:2: ", "index 3 follows index 5"},
    {"IndexTwice", "5 \"a\"\n5 \"b\"", "test.strings:2: ", "index 5 follows index 5"},
    {"TextNotQuoted", "1 hello", "test.strings:1: ", "double quotes"},
    {"TextAfterTheQuote", "1 \"a\" b", "test.strings:1: ", "after the closing quote"},
    {"NoBlankAfterIndex", "1\"a\"", "test.strings:1: ", "blank after the index"},
    {"NoStrings", "# nothing yet\n\n", "test.strings: ", "holds no strings"},
};

class StringSourceMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(StringSourceMalformed, IsRefusedWithFileAndLine) {
    try {
        strc::ParseStringSource(GetParam().source, "test.strings");
        FAIL() << "accepted";
    } catch (const strc::SourceError& error) {
        const std::string what = error.what();
        EXPECT_TRUE(what.starts_with(GetParam().where)) << what;
        EXPECT_NE(what.find(GetParam().message), std::string::npos) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, StringSourceMalformed, ::testing::ValuesIn(kMalformedCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------- file image

TEST(StringFileImage, LaysOutCountTablesUnitsAndClosingWord) {
    const std::vector<std::u16string> texts = {u"A", u""};
    const std::vector<std::uint8_t> expected = {
        0x02, 0x00, 0x00, 0x00,                          // two strings
        0x14, 0x00, 0x00, 0x00, 0x18, 0x00, 0x00, 0x00,  // offsets 20, 24
        0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  // lengths 2, 1
        0x41, 0x00, 0x00, 0x00,                          // "A"
        0x00, 0x00,                                      // ""
        0x8E, 0xFF,  // 2 + 20 + 24 + 2 + 1 + 0x41 = 0x72; 0x72 + 0xFF8E = 0x10000
    };
    EXPECT_EQ(strc::BuildStringFile(texts), expected);
}

TEST(StringFileImage, NeedsAString) {
    EXPECT_THROW(strc::BuildStringFile({}), std::length_error);
}

// ------------------------------------------------------ compiler and reader

struct CompilerRun {
    int status;
    std::string errors;
};

class StringCompilerTest : public ScratchDirTest {
  protected:
    static CompilerRun Compile(const std::string& source, const std::string& output) {
        std::string program = STRC_PATH;
        std::vector<std::string> arguments = {program, source, output};
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "strc.errors", O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t child = 0;
        const int spawned =
            posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) return {-1, "cannot start " + program};
        int status = 0;
        ::waitpid(child, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile("strc.errors")};
    }

    // Loads a compiled file with the libraries' reader, checking its count.
    static void ExpectReaderReturns(const std::wstring& path,
                                    const std::vector<std::wstring>& expected) {
        CStringResource table;
        ASSERT_EQ(table.Initialize(path.c_str(), static_cast<unsigned>(expected.size())),
                  STR_SUCCESS);
        ASSERT_EQ(table.CacheAll(), STR_SUCCESS);
        for (unsigned i = 0; i < expected.size(); ++i) {
            const wchar_t* text = table.GetString(i);
            ASSERT_NE(text, nullptr) << "index " << i;
            EXPECT_EQ(std::wstring(text), expected[i]) << "index " << i;
        }
    }
};

TEST_F(StringCompilerTest, ReaderReturnsEveryTextOfTheSource) {
    WriteFile("sample.strings",
              "# Sample messages\n"
              "0 \"Plain text\"\n"
              "2 \"Tab\\tLine\\nReturn\\rQuote\\\"Backslash\\\\\"\n"
              "3\n"
              "4 \"\"\n"
              "5 \"Caf\xC3\xA9 \\u20AC \xE6\x97\xA5\xE6\x9C\xAC\"\n"
              "7 \"%ls failed: %02Xh\"\n"
              "9 \"\\uFFFF\\uFFFD\\u0001\"\n");
    const CompilerRun run = Compile("sample.strings", "out/enus/sample.str");
    ASSERT_EQ(run.status, 0) << run.errors;
    ExpectReaderReturns(
        L"out/enus/sample.str",
        {L"Plain text", L"", L"Tab\tLine\nReturn\rQuote\"Backslash\\", L"", L"",
         L"Caf\u00E9 \u20AC \u65E5\u672C", L"", L"%ls failed: %02Xh", L"", L"\uFFFF\uFFFD\u0001"});
}

TEST_F(StringCompilerTest, RefusesTextOutsideTheBmpAndKeepsTheOldFile) {
    WriteFile("old.str", "previous");
    WriteFile("emoji.strings", "0 \"fine\"\n1 \"\xF0\x9F\x98\x80\"\n");
    const CompilerRun run = Compile("emoji.strings", "old.str");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("emoji.strings:2: U+1F600 lies outside the Basic Multilingual Plane"),
              std::string::npos)
        << run.errors;
    EXPECT_EQ(ReadFile("old.str"), "previous");
}

TEST_F(StringCompilerTest, ReportsASourceItCannotOpen) {
    const CompilerRun run = Compile("missing.strings", "out.str");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("cannot open missing.strings"), std::string::npos) << run.errors;
    EXPECT_FALSE(std::filesystem::exists("out.str"));
}

// The files the build made from the shipped sources hold exactly the texts
// of those sources.
TEST_F(StringCompilerTest, ShippedFilesHoldTheTextsOfTheirSources) {
    const std::filesystem::path sources = STRINGS_SOURCE_DIR "/enus";
    const std::filesystem::path files = STRINGS_RESOURCE_DIR "/enus";
    const std::pair<const char*, const char*> shipped[] = {
        {"orvel.strings", "orvel/str/orvel.str"},
        {"pemric.strings", "pemric/str/Pemric.str"},
        {"duvane.strings", "duvane/str/Duvane.str"},
    };
    for (const auto& [source, file] : shipped) {
        SCOPED_TRACE(source);
        std::vector<std::wstring> expected;
        for (const std::u16string& text :
             strc::ParseStringSource(ReadFile(sources / source), source)) {
            expected.push_back(Widen(text));
        }
        ASSERT_FALSE(expected.empty());
        ExpectReaderReturns((files / file).wstring(), expected);
    }
}

}  // namespace
