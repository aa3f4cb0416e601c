#include "bmc/debug_log.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "scratch_dir.h"

namespace {

// Read before any test changes it.
const unsigned kLevelAtStart = LIBDBG_DEBUG_LEVEL;

constexpr char kLog[] = "DBGLOG.txt";

class DebugLogTest : public ScratchDirTest {
  protected:
    static bool LogExists() { return std::filesystem::exists(kLog); }
    static std::string Log() { return ReadFile(kLog); }
};

TEST(DebugLevel, StartsAtOneAndIsSetWithoutResult) {
    EXPECT_EQ(kLevelAtStart, 1u);
    static_assert(std::is_void_v<decltype(SetLibDebugLevel(0))>);
    SetLibDebugLevel(3);
    EXPECT_EQ(LIBDBG_DEBUG_LEVEL, 3u);
}

// ----------------------------------------------------------------------- Dbg

struct DbgLevelCase {
    unsigned logLevel;
    unsigned messageLevel;
    bool written;
};

void PrintTo(const DbgLevelCase& c, std::ostream* os) {
    *os << "log level " << c.logLevel << ", message level " << c.messageLevel;
}

class DbgLevels : public DebugLogTest, public ::testing::WithParamInterface<DbgLevelCase> {};

TEST_P(DbgLevels, WritesOnlyUpToTheLogLevel) {
    SetLibDebugLevel(GetParam().logLevel);
    Dbg(L"%ls::%ls - %d", GetParam().messageLevel, L"CSdr", L"DecodeHeader", 42);
    if (GetParam().written) {
        EXPECT_EQ(Log(), "CSdr::DecodeHeader - 42\r\n");
    } else {
        EXPECT_FALSE(LogExists());
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, DbgLevels,
                         ::testing::Values(DbgLevelCase{1, 1, true}, DbgLevelCase{1, 2, false},
                                           DbgLevelCase{2, 1, true}, DbgLevelCase{3, 3, true},
                                           DbgLevelCase{2, 3, false}, DbgLevelCase{0, 1, false}));

TEST_F(DebugLogTest, DbgAppendsOneLinePerCall) {
    WriteFile(kLog, "earlier\r\n");
    SetLibDebugLevel(3);
    Dbg(L"CFru::WriteToSystem [ENTRY]", 3);
    Dbg(L"CFru::WriteToSystem [EXIT]", 3);
    EXPECT_EQ(Log(), "earlier\r\nCFru::WriteToSystem [ENTRY]\r\nCFru::WriteToSystem [EXIT]\r\n");
}

// ----------------------------------------------------------------- DbgBuffer

struct DumpCase {
    const char* name;
    std::vector<unsigned char> bytes;
    std::string rows;
};

void PrintTo(const DumpCase& c, std::ostream* os) {
    *os << c.name;
}

const DumpCase kDumpCases[] = {
    {"NoBytes", {}, ""},
    {"OneFullRow",
     {0x00, 0x41, 0xCC, 0x7E, 0x7F, 0x20, 0x1F, 0xFF, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36,
      0x37},
     " 00 41    7E 7F 20 1F FF 30 31 32 33 34 35 36 37\t.A.~. ..01234567\r\n"},
    // The last row is cut short: its missing columns are blank.
    {"PartialLastRow",
     {0x00, 0x41, 0xCC, 0x7E, 0x7F, 0x20, 0x1F, 0xFF, 0x30, 0x31,
      0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0xCC, 0x61, 0x0A, 0x80},
     " 00 41    7E 7F 20 1F FF 30 31 32 33 34 35 36 37\t.A.~. ..01234567\r\n"
     "    61 0A 80" +
         std::string(12 * 3, ' ') + "\t.a.." + std::string(12, ' ') + "\r\n"},
};

class DbgBufferRows : public DebugLogTest, public ::testing::WithParamInterface<DumpCase> {};

TEST_P(DbgBufferRows, DumpsSixteenBytesPerRow) {
    SetLibDebugLevel(2);
    // Exactly as many bytes as given: a read past them is caught by ASan.
    std::vector<unsigned char> bytes = GetParam().bytes;
    DbgBuffer(L"Response", bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_EQ(Log(), "Response\r\n" + GetParam().rows + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Dumps, DbgBufferRows, ::testing::ValuesIn(kDumpCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DebugLogTest, DbgBufferNeedsLevelTwo) {
    SetLibDebugLevel(1);
    unsigned char bytes[] = {1, 2, 3};
    DbgBuffer(L"Request", bytes, 3);
    EXPECT_FALSE(LogExists());
}

// ---------------------------------------------------------- DecodeDebugLevel

struct DecodeCase {
    const char* name;
    std::vector<std::string> arguments;  // after the program name
    int level;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

const DecodeCase kDecodeCases[] = {
    {"Level1", {"-debug1"}, 1},
    {"UpperCase", {"-DEBUG2"}, 2},
    {"MixedCase", {"-Debug3"}, 3},
    {"FirstMatchWins", {"/f", "-x", "-debug3", "-debug1"}, 3},
    {"NoArguments", {}, 0},
    {"LevelFour", {"-debug4"}, 0},
    {"NoHyphen", {"debug2"}, 0},
    {"TwoHyphens", {"--debug2"}, 0},
    {"TrailingText", {"-debug2x"}, 0},
    {"NoNumber", {"-debug"}, 0},
};

class DecodeDebugLevelArguments : public DebugLogTest,
                                  public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(DecodeDebugLevelArguments, ChoosesTheLevelAndStartsANewLog) {
    WriteFile(kLog, "previous run\r\n");
    std::vector<std::string> arguments = GetParam().arguments;
    std::string program = "host";
    std::vector<char*> argv{program.data()};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    EXPECT_EQ(DecodeDebugLevel(static_cast<int>(argv.size() - 1), argv.data()), GetParam().level);
    EXPECT_EQ(LIBDBG_DEBUG_LEVEL, static_cast<unsigned>(GetParam().level));
    EXPECT_EQ(Log(), GetParam().level != 0 ? "" : "previous run\r\n");
}

INSTANTIATE_TEST_SUITE_P(Arguments, DecodeDebugLevelArguments, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --------------------------------------------------- a link in the log's place

// The log is written by root in the host's current directory: a symbolic
// link planted there must not lead the writes (or the truncation) elsewhere.
TEST_F(DebugLogTest, DoesNotFollowALinkAtTheLogsName) {
    WriteFile("victim.txt", "precious");
    std::filesystem::create_symlink("victim.txt", kLog);
    std::string program = "host";
    std::string option = "-debug3";
    char* argv[] = {program.data(), option.data(), nullptr};
    unsigned char bytes[] = {1, 2};

    EXPECT_EQ(DecodeDebugLevel(2, argv), 3);
    Dbg(L"line", 1);
    DbgBuffer(L"dump", bytes, 2);

    EXPECT_EQ(ReadFile("victim.txt"), "precious");
    EXPECT_TRUE(std::filesystem::is_symlink(kLog));
}

TEST_F(DebugLogTest, DoesNotCreateTheTargetOfADanglingLink) {
    std::filesystem::create_symlink("created-by-us.txt", kLog);
    SetLibDebugLevel(3);
    Dbg(L"line", 1);
    EXPECT_FALSE(std::filesystem::exists("created-by-us.txt"));
}

// --------------------------------------------------------------- PrintBuffer

TEST(PrintBufferTest, PrintsTitleAndEveryByte) {
    wchar_t title[] = L"Data:";
    unsigned char bytes[] = {0x01, 0xAB, 0xCC};
    ::testing::internal::CaptureStdout();
    PrintBuffer(title, bytes, 3);
    PrintBuffer(title, nullptr, 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Data: 01 AB CC\nData:\n");
}

}  // namespace
