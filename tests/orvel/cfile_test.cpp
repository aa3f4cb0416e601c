// The line reader under the configuration file: how it splits a file into
// lines, trims and cuts them, and that nothing it hands out reaches past a
// line or the file.
#include "orvel/cfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/common/files.h"

namespace {

using Orvel_Private::CFile;
using namespace std::string_literals;

class CFileTest : public ::testing::Test {
  protected:
    std::string Write(const std::string& contents, const std::string& name = "lines.txt") {
        const std::string path = mDir / name;
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }

    // Opens a file holding `contents`.
    CFile& Load(const std::string& contents) {
        EXPECT_TRUE(mFile.Open(Write(contents).c_str()));
        return mFile;
    }

    static std::string Line(const CFile& file, std::uint32_t i) {
        return {file.GetLine(i), file.GetLineLength(i)};
    }

    static std::vector<std::string> Lines(const CFile& file) {
        std::vector<std::string> lines;
        for (std::uint32_t i = 0; i < file.LineCount(); ++i) lines.push_back(Line(file, i));
        return lines;
    }

    test_support::TempDir mDir{"orvel-cfile"};
    CFile mFile;
};

// ------------------------------------------------------------- line ends

struct Split {
    const char* name;
    std::string contents;
    std::vector<std::string> lines;
};

void PrintTo(const Split& c, std::ostream* os) {
    *os << c.name;
}

class CFileSplit : public CFileTest, public ::testing::WithParamInterface<Split> {};

TEST_P(CFileSplit, LinesEndAtEitherLineEndAndPairsCountOnce) {
    const CFile& file = Load(GetParam().contents);
    EXPECT_EQ(Lines(file), GetParam().lines);
    // Each line is a C string that ends where its length says.
    for (std::uint32_t i = 0; i < file.LineCount(); ++i) {
        EXPECT_EQ(file.GetLine(i)[file.GetLineLength(i)], '\0') << "line " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, CFileSplit,
    ::testing::Values(Split{"LineFeeds", "a\nbc\n", {"a", "bc"}},
                      Split{"CarriageReturnLineFeed", "a\r\nbc\r\n", {"a", "bc"}},
                      Split{"LineFeedCarriageReturn", "a\n\rbc\n\r", {"a", "bc"}},
                      Split{"CarriageReturnsAlone", "a\rbc\r", {"a", "bc"}},
                      Split{"TwoLineFeedsAreAnEmptyLine", "a\n\nb", {"a", "", "b"}},
                      Split{"TwoPairsAreAnEmptyLine", "a\r\n\r\nb", {"a", "", "b"}},
                      Split{"SameEndTwiceIsTwoEnds", "a\r\rb", {"a", "", "b"}},
                      Split{"LastLineWithoutEnd", "a\nlast", {"a", "last"}},
                      Split{"OnlyALineEnd", "\r\n", {""}},
                      Split{"ZeroByteStaysInItsLine", "a\0b\ncd"s, {"a\0b"s, "cd"}}),
    [](const auto& info) { return info.param.name; });

// ------------------------------------------------------------ open, close

// Only a regular file within the bounds is read; anything else is refused
// at once, without waiting for a writer or reading without end, and says
// why.
struct Refusal {
    const char* name;
    // Makes the file in the scratch directory; its path, or none when it
    // cannot be had here.
    std::string (*make)(const test_support::TempDir& dir);
    CFile::OpenFailure failure;
    std::uint32_t failedLine;
};

void PrintTo(const Refusal& c, std::ostream* os) {
    *os << c.name;
}

std::string WriteIn(const test_support::TempDir& dir, const std::string& contents) {
    const std::string path = dir / "refused.txt";
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

class CFileRefusal : public CFileTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(CFileRefusal, SaysWhyAndHoldsNothing) {
    const std::string path = GetParam().make(mDir);
    if (path.empty()) GTEST_SKIP() << "not available here";
    ASSERT_TRUE(mFile.Open(Write("an earlier file\n", "earlier.txt").c_str()));
    EXPECT_FALSE(mFile.Open(path.c_str()));
    EXPECT_EQ(mFile.Failure(), GetParam().failure);
    EXPECT_EQ(mFile.FailedLine(), GetParam().failedLine);
    EXPECT_EQ(mFile.LineCount(), 0u);
    EXPECT_EQ(mFile.GetLine(0), nullptr);
}

constexpr std::size_t kLongest = CFile::kMaxLineLength;

INSTANTIATE_TEST_SUITE_P(
    Files, CFileRefusal,
    ::testing::Values(Refusal{"Missing", [](const auto& dir) { return dir / "missing.txt"; },
                              CFile::OpenFailure::kCannotOpen, 0},
                      Refusal{"Empty", [](const auto& dir) { return WriteIn(dir, ""); },
                              CFile::OpenFailure::kEmpty, 0},
                      Refusal{"Directory", [](const auto& dir) { return dir.Path().string(); },
                              CFile::OpenFailure::kNotRegular, 0},
                      // Nobody writes to it: a blocking open would wait here for ever.
                      Refusal{"FifoWithoutWriter",
                              [](const auto& dir) {
                                  const std::string path = dir / "fifo";
                                  return ::mkfifo(path.c_str(), 0600) == 0 ? path : std::string();
                              },
                              CFile::OpenFailure::kNotRegular, 0},
                      // Endless: a reader that reads until the end fills the memory.
                      Refusal{"DevZero",
                              [](const auto&) {
                                  return std::filesystem::exists("/dev/zero")
                                             ? std::string("/dev/zero")
                                             : std::string();
                              },
                              CFile::OpenFailure::kNotRegular, 0},
                      Refusal{"LinkToAFifo",
                              [](const auto& dir) {
                                  const std::string fifo = dir / "fifo";
                                  if (::mkfifo(fifo.c_str(), 0600) != 0) return std::string();
                                  std::filesystem::create_symlink(fifo, dir / "link");
                                  return dir / "link";
                              },
                              CFile::OpenFailure::kNotRegular, 0},
                      // Sparse: the size alone refuses it, nothing of it is read.
                      Refusal{"LongerThanAnyFile",
                              [](const auto& dir) {
                                  const std::string path = WriteIn(dir, "_LF_NAME\n");
                                  std::filesystem::resize_file(path, CFile::kMaxFileLength + 1);
                                  return path;
                              },
                              CFile::OpenFailure::kTooLong, 0},
                      Refusal{"ALineLongerThanAnyLine",
                              [](const auto& dir) {
                                  return WriteIn(
                                      dir, "first\n" + std::string(kLongest + 1, '0') + "\nlast\n");
                              },
                              CFile::OpenFailure::kLineTooLong, 2},
                      Refusal{"ALastLineLongerThanAnyLine",
                              [](const auto& dir) {
                                  return WriteIn(
                                      dir, "first\r\nsecond\r\n" + std::string(kLongest + 1, 'x'));
                              },
                              CFile::OpenFailure::kLineTooLong, 3}),
    [](const auto& info) { return info.param.name; });

TEST_F(CFileTest, AFileAsLongAsTheBoundsAllowIsRead) {
    // A longest line, then lines up to the longest file.
    std::string contents = std::string(kLongest, 'A') + "\n";
    const std::string line = "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\n";
    while (contents.size() + line.size() <= CFile::kMaxFileLength) contents += line;
    contents.append(CFile::kMaxFileLength - contents.size(), '#');
    ASSERT_EQ(contents.size(), CFile::kMaxFileLength);

    ASSERT_TRUE(mFile.Open(Write(contents).c_str()));
    EXPECT_EQ(mFile.Failure(), CFile::OpenFailure::kNone);
    EXPECT_EQ(mFile.GetLineLength(0), kLongest);
    EXPECT_EQ(Line(mFile, 1), line.substr(0, line.size() - 1));
    EXPECT_EQ(Line(mFile, mFile.LineCount() - 1).find_first_not_of('#'), std::string::npos);
}

TEST_F(CFileTest, AFailedOpenOfNoPathHoldsNothing) {
    ASSERT_TRUE(mFile.Open(Write("an earlier file\n").c_str()));
    EXPECT_FALSE(mFile.Open(nullptr));
    EXPECT_EQ(mFile.Failure(), CFile::OpenFailure::kCannotOpen);
    EXPECT_EQ(mFile.LineCount(), 0u);
}

TEST_F(CFileTest, OpenReplacesWhatAnEarlierFileHeld) {
    ASSERT_TRUE(mFile.Open(Write("one\ntwo\nthree", "first.txt").c_str()));
    ASSERT_TRUE(mFile.Open(Write("other", "second.txt").c_str()));
    EXPECT_EQ(Lines(mFile), std::vector<std::string>{"other"});

    EXPECT_FALSE(mFile.Open((mDir / "missing.txt").c_str()));
    EXPECT_EQ(mFile.LineCount(), 0u);
}

TEST_F(CFileTest, ConstructorOpensAndCloseKeepsTheLines) {
    CFile file(Write("kept\n").c_str());
    file.Close();
    EXPECT_EQ(Lines(file), std::vector<std::string>{"kept"});
}

TEST_F(CFileTest, NothingPastTheLastLine) {
    CFile& file = Load("only");
    EXPECT_EQ(file.GetLine(1), nullptr);
    EXPECT_EQ(file.GetLineLength(1), 0u);
    EXPECT_FALSE(file.LineContains(1, ""));
    EXPECT_EQ(file.GetDelimitedString(1, '\''), nullptr);
    file.Strip(1);
    file.SquishLine(7);
    file.StripRightFromSequence("x", 1);
    EXPECT_EQ(Lines(file), std::vector<std::string>{"only"});
}

// ----------------------------------------------------------- trimming

struct Trim {
    const char* name;
    void (*apply)(CFile&);
    std::string expected;
};

void PrintTo(const Trim& c, std::ostream* os) {
    *os << c.name;
}

class CFileTrim : public CFileTest, public ::testing::WithParamInterface<Trim> {};

TEST_P(CFileTrim, ChangesOnlyItsLine) {
    CFile& file = Load(" \t\0a b\t c \0\t \n \tnext \n"s);
    GetParam().apply(file);
    EXPECT_EQ(Line(file, 0), GetParam().expected);
    EXPECT_EQ(Line(file, 1), " \tnext ");
    EXPECT_EQ(file.GetLine(0)[file.GetLineLength(0)], '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Operations, CFileTrim,
    ::testing::Values(Trim{"StripLeft", [](CFile& f) { f.StripLeft(0); }, "a b\t c \0\t "s},
                      Trim{"StripRight", [](CFile& f) { f.StripRight(0); }, " \t\0a b\t c"s},
                      Trim{"Strip", [](CFile& f) { f.Strip(0); }, "a b\t c"},
                      Trim{"SquishLine", [](CFile& f) { f.SquishLine(0); }, "\0abc\0"s},
                      Trim{"StripRightFromSequence",
                           [](CFile& f) { f.StripRightFromSequence(" c", 0); }, " \t\0a b\t"s}),
    [](const auto& info) { return info.param.name; });

TEST_F(CFileTest, FormsWithoutALineWorkOnEveryLine) {
    CFile& file = Load("  a // one \n\tb//two\t\n//three\nc  ");
    file.StripRightFromSequence("//");
    EXPECT_EQ(Lines(file), (std::vector<std::string>{"  a ", "\tb", "", "c  "}));
    file.StripLeft();
    EXPECT_EQ(Lines(file), (std::vector<std::string>{"a ", "b", "", "c  "}));
    file.StripRight();
    EXPECT_EQ(Lines(file), (std::vector<std::string>{"a", "b", "", "c"}));

    CFile& again = Load(" x \n y ");
    again.Strip();
    EXPECT_EQ(Lines(again), (std::vector<std::string>{"x", "y"}));
}

// ------------------------------------------------------------ searching

TEST_F(CFileTest, LineContainsLooksOnlyAtItsLine) {
    CFile& file = Load("_SEE_BOARD\n01 02\nx\0_SEE_\n"s);
    EXPECT_TRUE(file.LineContains(0, "_SEE_"));
    EXPECT_FALSE(file.LineContains(1, "_SEE_"));
    EXPECT_FALSE(file.LineContains(1, "02\n"));  // not into the next line
    EXPECT_TRUE(file.LineContains(2, "_SEE_"));  // past a zero byte of its own
    EXPECT_FALSE(file.LineContains(0, nullptr));
}

struct Delimited {
    const char* name;
    std::string line;
    const char* text;  // null: none
};

void PrintTo(const Delimited& c, std::ostream* os) {
    *os << c.name;
}

class CFileDelimited : public CFileTest, public ::testing::WithParamInterface<Delimited> {};

TEST_P(CFileDelimited, IsTheTextBetweenTheFirstTwoDelimiters) {
    CFile& file = Load(GetParam().line + "\n'next line'");
    const char* text = file.GetDelimitedString(0, '\'');
    if (GetParam().text == nullptr) {
        EXPECT_EQ(text, nullptr);
    } else {
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, GetParam().text);
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, CFileDelimited,
                         ::testing::Values(Delimited{"Quoted", "_LF_NAME\t'a b'", "a b"},
                                           Delimited{"FirstPairOnly", "'a' 'b'", "a"},
                                           Delimited{"Empty", "_FRU_TITLE\t''", ""},
                                           Delimited{"OneDelimiter", "_LF_NAME\t'a", nullptr},
                                           Delimited{"None", "_LF_NAME a", nullptr}),
                         [](const auto& info) { return info.param.name; });

TEST_F(CFileTest, DelimitedTextIsTheReadersOwnCopy) {
    CFile& file = Load("'abc' // note\n'xy'");
    const char* text = file.GetDelimitedString(0, '\'');
    ASSERT_NE(text, nullptr);
    // Cutting the line does not change the text handed out.
    file.StripRightFromSequence("b", 0);
    EXPECT_STREQ(text, "abc");
    EXPECT_STREQ(file.GetDelimitedString(1, '\''), "xy");
}

}  // namespace
