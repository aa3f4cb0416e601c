// Reading configuration files written by hand: the keys and their values,
// the area sections' bytes, and what each refusal tells the host and the
// debug log.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "bmc/debug_log.h"
#include "fru_file_fixture.h"
#include "fru_image_builder.h"
#include "fru_test_support.h"
#include "orvel/cfile.h"
#include "orvel/fru.h"
#include "orvel/orvel_globals.h"
#include "orvel/orvel_status.h"
#include "scratch_dir.h"

namespace {

using namespace Orvel_Private;
using fru_test::Bytes;
using fru_test::EmptyFields;
using fru_test::TakeLastError;
using fru_test::Widen;
using FruFile = fru_test::FruFileTest;

const std::string kKeys =
    "_LF_NAME\t'hand.fru'\n"
    "_LF_VERSION\t'2.01'\n"
    "_LF_FMT_VER\t'1.50'\n"
    "_IPMI_VERSION\t'1.00'\n"
    "_FRU (\n"
    "_FRU_TITLE\t'Hand made'\n"
    "_START_ADDR\t0000\n"
    "_DATA_LEN\t0018\n"
    "_NVS_TYPE\t'DS1624S'\n"
    "_DEV_ID\t\t07\n"
    "_DEV_CNTR\t22\n"
    "_NVS_LUN\t01\n"
    "_DEV_BUS\t02\n"
    "_DEV_ADDRESS\tA4\n";

// The keys, the common header section and the area sections, then the end
// of the FRU block.
std::string HandFile(const std::string& header, const std::string& sections,
                     const std::string& keys = kKeys) {
    return keys + "_SEE_COMMON\n" + header + "\n" + sections + ")\n";
}

const std::string kBoardOnly = "01 00 00 01 00 00 00 FE";
const std::string kBoardSection = "_SEE_BOARD\n01 02 19 00 00 00\nC0 C0 C0 C0 C0\nC1\n";
const std::string kInternalUseOnly = "01 01 00 00 00 00 00 FE";
const std::string kMultiRecordsOnly = "01 00 00 00 00 01 00 FE";

std::string Replaced(std::string text, std::string_view from, std::string_view to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string HexLine(std::size_t count) {
    std::string line;
    for (std::size_t i = 0; i < count; ++i) line += "5A ";
    return line;
}

// ----------------------------------------------------------- a whole file

TEST_F(FruFile, ReadsAHandWrittenFileWithCommentsOnEveryLine) {
    const std::string path = WriteFile("commented.fru",
                                       "// written by hand\n"
                                       "_LF_NAME\t'hand.fru' // the name\n"
                                       "_LF_VERSION '2.01'//version\n"
                                       "_LF_FMT_VER\t'1.50'\n"
                                       "_IPMI_VERSION\t'1.00' // IPMI\n"
                                       "   _FRU ( // the FRU\n"
                                       "_FRU_TITLE\t'Hand made' // title\n"
                                       "_START_ADDR\t0000\n"
                                       "_DATA_LEN\t0018 // 24 bytes\n"
                                       "_NVS_TYPE\t'DS1624S' // EEPROM\n"
                                       "_DEV_ID 07 // id\n"
                                       "_SEE_COMMON // header\n"
                                       "01 00 00 01 00 00 00 FE // board at 8\n"
                                       "_SEE_BOARD // board\n"
                                       "01 // version\n"
                                       "02 // 16 bytes\n"
                                       "\t19 00 00 00 // language, date\n"
                                       "// no serial number yet\n"
                                       "C0 C0 C0 C0 C0 // fields\n"
                                       "C1 // end\n"
                                       ")\n");
    CFru fru;
    ASSERT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();

    CFru expected;
    fru_test::LoadImage(expected,
                        fru_test::FruLayout{
                            .board = fru_test::BoardArea({0, 0, 0}, EmptyFields(5)).Build(),
                        }
                            .Build());
    FRU_LOCATOR& locator = expected.GetDevLocator();
    locator.mType = FRU_NVS_DS1624S;
    locator.mFruDeviceId = 0x07;
    locator.mName = L"Hand made";
    fru_test::ExpectSameFru(expected, fru);
    EXPECT_EQ(fru.FileHeader().GetLfName(), "hand.fru");
    EXPECT_EQ(fru.FileHeader().GetLfVersion(), "2.01");
}

TEST_F(FruFile, KeepsTheKeysValues) {
    const std::string path = WriteFile("keys.fru", HandFile(kBoardOnly, kBoardSection));
    CFru fru;
    ASSERT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
    const FRU_LOCATOR& locator = fru.GetDevLocator();
    EXPECT_EQ(locator.mType, FRU_NVS_DS1624S);
    EXPECT_EQ(locator.mFruDeviceId, 0x07);
    EXPECT_EQ(locator.mControllerAddress, 0x22);
    EXPECT_EQ(locator.mLun, 0x01);
    EXPECT_EQ(locator.mBus, 0x02);
    EXPECT_EQ(locator.mSlaveAddress, 0xA4);
    EXPECT_EQ(locator.mName, L"Hand made");
    EXPECT_EQ(fru.FileHeader().GetLfFmtVersion(), "1.50");
    EXPECT_EQ(fru.FileHeader().GetIpmiVersion(), "1.00");
}

TEST_F(FruFile, OptionalKeysMayBeMissing) {
    const std::string keys = Replaced(kKeys, "_FRU_TITLE\t'Hand made'\n", "");
    const std::string path =
        WriteFile("optional.fru",
                  HandFile(kBoardOnly, kBoardSection, keys.substr(0, keys.find("_NVS_TYPE"))));
    CFru fru;
    ASSERT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
    // What a new FRU has.
    const FRU_LOCATOR& locator = fru.GetDevLocator();
    EXPECT_EQ(locator.mType, FRU_NVS_IMBDEVICE);
    EXPECT_EQ(locator.mFruDeviceId, 0x00);
    EXPECT_EQ(locator.mControllerAddress, 0x20);
    EXPECT_EQ(locator.mLun, 0x00);
    EXPECT_EQ(locator.mBus, 0xFF);
    EXPECT_EQ(locator.mSlaveAddress, 0x20);
    EXPECT_FALSE(locator.mName.has_value());
}

TEST_F(FruFile, ALineNobodyExpectsDoesNotHideTheOptionalKeysAfterIt) {
    const std::string keys = Replaced(kKeys, "_DEV_ID\t\t07\n", "_DEV_ID\t\t07\nchecked by J.\n\n");
    const std::string path = WriteFile("note.fru", HandFile(kBoardOnly, kBoardSection, keys));
    CFru fru;
    ASSERT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
    EXPECT_EQ(fru.GetDevLocator().mControllerAddress, 0x22);
    EXPECT_EQ(fru.GetDevLocator().mSlaveAddress, 0xA4);
}

TEST_F(FruFile, AnEmptyTitleIsAFruWithoutAName) {
    const std::string keys = Replaced(kKeys, "'Hand made'", "''");
    const std::string path = WriteFile("untitled.fru", HandFile(kBoardOnly, kBoardSection, keys));
    CFru fru;
    ASSERT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
    EXPECT_FALSE(fru.GetDevLocator().mName.has_value());
}

TEST_F(FruFile, ReadingEndsAfterTheLastAnnouncedArea) {
    const std::string path =
        WriteFile("tail.fru", HandFile(kBoardOnly, kBoardSection) + "_SEE_PRODUCT\nGG\n");
    CFru fru;
    EXPECT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
}

TEST_F(FruFile, ALastLineWithoutALineEndCounts) {
    std::string text = HandFile(kBoardOnly, kBoardSection);
    text.erase(text.find(")\n"));
    text.pop_back();  // the line end after "C1"
    const std::string path = WriteFile("unended.fru", text);
    CFru fru;
    ASSERT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
    EXPECT_EQ(fru.BoardInfoArea().GetLength(), 16u);
}

// ------------------------------------------------------------ mBMC devices

class FruFileMbmc : public FruFile {
  protected:
    void TearDown() override { g_fdPlatform = mPlatform; }

    std::string MbmcFile(const std::string& sizeAddress, const std::string& sizeData) {
        const std::string keys = kKeys.substr(0, kKeys.find("_NVS_TYPE")) +
                                 "_NVS_TYPE\t'MBMC_FRU'\n"
                                 "_MBMC_SIZE_ADRS " +
                                 sizeAddress +
                                 "\n"
                                 "_MBMC_SIZE_DATA " +
                                 sizeData +
                                 "\n"
                                 "_DEV_BUS\t03\n"
                                 "_DEV_ADDRESS\tB0\n";
        return WriteFile("mbmc.fru", HandFile(kBoardOnly, kBoardSection, keys));
    }

  private:
    int mPlatform = g_fdPlatform;
};

TEST_F(FruFileMbmc, IsReadOnPlatform3) {
    g_fdPlatform = 3;
    const std::string path = MbmcFile("40", "123");
    CFru fru;
    ASSERT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
    const FRU_LOCATOR& locator = fru.GetDevLocator();
    EXPECT_EQ(locator.mType, FRU_NVS_MBMC);
    EXPECT_EQ(locator.mMbmcSizeAddress, 0x40);
    EXPECT_EQ(locator.mMbmcSizeData, 0x23);  // the low byte
    EXPECT_EQ(locator.mBus, 0x03);
    EXPECT_EQ(locator.mSlaveAddress, 0xB0);
    EXPECT_EQ(locator.mFruDeviceId, 0x00);  // an mBMC device has none
}

TEST_F(FruFileMbmc, IsRefusedOnOtherPlatforms) {
    g_fdPlatform = 0;
    const std::string path = MbmcFile("40", "23");
    CFru fru;
    EXPECT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_ERROR_FILE_READ);
    EXPECT_EQ(TakeLastError(), L"#90 #77 " + Widen(path));
}

TEST_F(FruFileMbmc, SizesOutOfRangeOrUnreadableAreRefused) {
    g_fdPlatform = 3;
    const struct {
        const char* sizeAddress;
        const char* sizeData;
        const wchar_t* keyName;
    } cases[] = {{"100", "23", L"#82"}, {"ZZ", "23", L"#81"}, {"40", "ZZ", L"#81"}};
    for (const auto& c : cases) {
        const std::string path = MbmcFile(c.sizeAddress, c.sizeData);
        CFru fru;
        EXPECT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_ERROR_FILE_READ) << c.sizeAddress;
        EXPECT_EQ(TakeLastError(), std::wstring(L"#90 ") + c.keyName + L" " + Widen(path));
    }
}

// --------------------------------------------------------- bad key values

struct BadValue {
    const char* name;
    std::string from, to;  // the line of the file changed
    const wchar_t* keyName;
};

void PrintTo(const BadValue& c, std::ostream* os) {
    *os << c.name;
}

class FruFileBadValue : public FruFile, public ::testing::WithParamInterface<BadValue> {};

TEST_P(FruFileBadValue, IsRefusedNamingTheKeyAndTheFile) {
    const std::string keys = Replaced(kKeys, GetParam().from, GetParam().to);
    const std::string path = WriteFile("bad.fru", HandFile(kBoardOnly, kBoardSection, keys));
    CFru fru;
    EXPECT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_ERROR_FILE_READ);
    EXPECT_EQ(TakeLastError(), std::wstring(L"#90 ") + GetParam().keyName + L" " + Widen(path));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, FruFileBadValue,
    ::testing::Values(
        BadValue{"LfNameUnquoted", "_LF_NAME\t'hand.fru'", "_LF_NAME\thand.fru", L"#72"},
        BadValue{"LfVersionOneQuote", "'2.01'", "'2.01", L"#73"},
        BadValue{"FormatVersionUnquoted", "_LF_FMT_VER\t'1.50'", "_LF_FMT_VER 1.50", L"#74"},
        BadValue{"IpmiVersionUnquoted", "_IPMI_VERSION\t'1.00'", "_IPMI_VERSION", L"#75"},
        BadValue{"TitleOneQuote", "'Hand made'", "'Hand made", L"#71"},
        BadValue{"DataLengthPastFFFF", "_DATA_LEN\t0018", "_DATA_LEN\t10000", L"#76"},
        BadValue{"DataLengthNotHex", "_DATA_LEN\t0018", "_DATA_LEN\tlong", L"#76"},
        BadValue{"NvsTypeUnknown", "'DS1624S'", "'EEPROM'", L"#77"},
        BadValue{"DeviceId1FF", "_DEV_ID\t\t07", "_DEV_ID\t\t1FF", L"#78"},
        // A scan into 32 bits would wrap this to 0.
        BadValue{"DeviceIdPast32Bits", "_DEV_ID\t\t07", "_DEV_ID\t\t100000000", L"#78"},
        BadValue{"DeviceIdNotAtLineStart", "_DEV_ID\t\t07", "ID _DEV_ID 07", L"#78"},
        BadValue{"ControllerNotHex", "_DEV_CNTR\t22", "_DEV_CNTR\tGG", L"#79"},
        BadValue{"LunPastFF", "_NVS_LUN\t01", "_NVS_LUN\t100", L"#80"},
        BadValue{"BusNegative", "_DEV_BUS\t02", "_DEV_BUS\t-1", L"#81"},
        BadValue{"SlaveAddressMissing", "_DEV_ADDRESS\tA4", "_DEV_ADDRESS", L"#82"}),
    [](const auto& info) { return info.param.name; });

// ----------------------------------------------------------- area bytes

struct AreaBytes {
    const char* name;
    std::string section;  // the internal use section's lines
    Bytes bytes;
};

void PrintTo(const AreaBytes& c, std::ostream* os) {
    *os << c.name;
}

class FruFileAreaBytes : public FruFile, public ::testing::WithParamInterface<AreaBytes> {};

TEST_P(FruFileAreaBytes, AreReadLineByLine) {
    const std::string path = WriteFile(
        "area.fru", HandFile(kInternalUseOnly, "_SEE_INTERNAL\n" + GetParam().section + "\n"));
    CFru fru;
    ASSERT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
    const std::span<const std::uint8_t> bytes = fru.InternalUseArea().GetData();
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Sections, FruFileAreaBytes,
    ::testing::Values(AreaBytes{"HashIsIgnored", "01 02#03", {0x01, 0x02, 0x03}},
                      AreaBytes{"QuotedText", "'ABC'", {0x41, 0x42, 0x43}},
                      AreaBytes{
                          "QuotedTextByteForByte", "' a#b\t'", {0x20, 0x61, 0x23, 0x62, 0x09}},
                      AreaBytes{"QuotedCloseParenIsText", "'a)b'", {0x61, 0x29, 0x62}},
                      AreaBytes{"EitherCaseWithoutBlanks", "0a0B\tfF", {0x0A, 0x0B, 0xFF}},
                      AreaBytes{"EmptyLinesSkipped", "01\n\n\t\n02", {0x01, 0x02}},
                      AreaBytes{"CommentOnAHexLine", "01 02 // 03", {0x01, 0x02}},
                      AreaBytes{"CloseParenEndsTheSection", "01\n) 02", {0x01}},
                      AreaBytes{"Empty", "", {}},
                      AreaBytes{"Largest", HexLine(512), Bytes(512, 0x5A)}),
    [](const auto& info) { return info.param.name; });

// --------------------------------------------------------- area refusals

struct AreaRefusal {
    const char* name;
    std::string header;
    std::string sections;
    std::wstring message;  // before the path
};

void PrintTo(const AreaRefusal& c, std::ostream* os) {
    *os << c.name;
}

class FruFileAreaRefusal : public FruFile, public ::testing::WithParamInterface<AreaRefusal> {};

TEST_P(FruFileAreaRefusal, NamesTheAreaAndTheFile) {
    const std::string path =
        WriteFile("refused.fru", HandFile(GetParam().header, GetParam().sections));
    CFru fru;
    EXPECT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_ERROR_FILE_READ);
    EXPECT_EQ(TakeLastError(), GetParam().message + Widen(path));
}

INSTANTIATE_TEST_SUITE_P(
    Sections, FruFileAreaRefusal,
    ::testing::Values(
        AreaRefusal{"UnexpectedCharacter", kInternalUseOnly, "_SEE_INTERNAL\n01 0G\n", L"#96 #7 "},
        AreaRefusal{"QuoteWithoutItsPair", kInternalUseOnly, "_SEE_INTERNAL\n'ABC\n", L"#96 #7 "},
        AreaRefusal{"OddNumberOfDigits", kInternalUseOnly, "_SEE_INTERNAL\n01 020\n", L"#97 #7 "},
        AreaRefusal{"HalfBytesDoNotPairAcrossLines", kInternalUseOnly, "_SEE_INTERNAL\n0\n1\n",
                    L"#97 #7 "},
        AreaRefusal{"TooBig", kInternalUseOnly, "_SEE_INTERNAL\n" + HexLine(513) + "\n",
                    L"#95 #7 "},
        AreaRefusal{"HeaderShort", "01 00 00 01 00 00 FE", kBoardSection, L"#97 #3 "},
        AreaRefusal{"HeaderLong", "01 00 00 01 00 00 00 FE 00", kBoardSection, L"#97 #3 "},
        AreaRefusal{"BoardWithoutEndMarker", kBoardOnly,
                    "_SEE_BOARD\n01 02 19 00 00 00\nC0 C0 C0 C0 C0\n", L"#97 #5 "},
        AreaRefusal{"BoardLongerThanItsLengthByte", kBoardOnly,
                    "_SEE_BOARD\n01 01 19 00 00 00\nC0 C0 C0 C0 C0\nC1\n", L"#97 #5 "},
        AreaRefusal{"MultiRecordsUnderFiveBytes", kMultiRecordsOnly, "_SEE_MULTIREC\nC0 82 00 BE\n",
                    L"#97 #8 "},
        AreaRefusal{"MultiRecordClaimsMoreData", kMultiRecordsOnly,
                    "_SEE_MULTIREC\nC0 82 03 00 BB\n01 02\n", L"#97 #8 "},
        AreaRefusal{"AnnouncedBoardMissing", kBoardOnly, "", L"#98 "},
        AreaRefusal{"AnnouncedProductMissing", "01 00 00 01 02 00 00 FC", kBoardSection, L"#98 "}),
    [](const auto& info) { return info.param.name; });

TEST_F(FruFile, AFileWithoutCommonHeaderEndsEarly) {
    const std::string path = WriteFile("keys only.fru", kKeys);
    CFru fru;
    EXPECT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_ERROR_FILE_READ);
    EXPECT_EQ(TakeLastError(), L"#98 " + Widen(path));
}

TEST_F(FruFile, AFileThatCannotBeReadIsReported) {
    for (const std::string& path : {PathOf("missing.fru"), WriteFile("empty.fru", "")}) {
        CFru fru;
        EXPECT_EQ(fru.ReadFRUFromFile(path.c_str()), ORVEL_ERROR_FILE_READ) << path;
        EXPECT_EQ(TakeLastError(), L"#89 " + Widen(path));
    }
    CFru fru;
    EXPECT_EQ(fru.ReadFRUFromFile(nullptr), ORVEL_ERROR_FILE_READ);
    EXPECT_EQ(TakeLastError(), L"#125");
}

// What no configuration file can be is named as such, so that the host
// can tell a FIFO or a runaway file from one that is missing.
TEST_F(FruFile, WhatCannotBeAFruFileIsNamed) {
    const std::string fifo = PathOf("fifo.fru");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = WriteFile("huge.fru", kKeys);
    std::filesystem::resize_file(huge, CFile::kMaxFileLength + 1);
    const std::string longLine =
        WriteFile("long line.fru", kKeys + "// " + std::string(CFile::kMaxLineLength, '-') + "\n");
    const std::wstring limits[] = {
        std::to_wstring(CFile::kMaxFileLength),
        std::to_wstring(CFile::kMaxLineLength),
    };
    const std::wstring longLineNumber = std::to_wstring(15);

    struct Case {
        std::string path;
        std::wstring error;
    };
    const Case cases[] = {
        {fifo, L"#91 " + Widen(fifo)},
        {mDir.Path().string(), L"#91 " + Widen(mDir.Path().string())},
        {"/dev/zero", L"#91 /dev/zero"},
        {huge, L"#92 " + Widen(huge) + L" " + limits[0]},
        {longLine, L"#93 " + longLineNumber + L" " + Widen(longLine) + L" " + limits[1]},
    };
    for (const Case& c : cases) {
        CFru fru;
        EXPECT_EQ(fru.ReadFRUFromFile(c.path.c_str()), ORVEL_ERROR_FILE_READ) << c.path;
        EXPECT_EQ(TakeLastError(), c.error);
    }
}

// ------------------------------------------------------------- debug lines

class FruFileDebugLines : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        mLevel = LIBDBG_DEBUG_LEVEL;
        LIBDBG_DEBUG_LEVEL = 1;
    }
    void TearDown() override {
        LIBDBG_DEBUG_LEVEL = mLevel;
        ScratchDirTest::TearDown();
    }

    static bool Logged(const std::string& line) {
        return ReadFile("DBGLOG.txt").find(line + "\r\n") != std::string::npos;
    }

    static void Read(const std::string& text) {
        WriteFile("read.fru", text);
        CFru fru;
        EXPECT_EQ(fru.ReadFRUFromFile("read.fru"), ORVEL_ERROR_FILE_READ);
    }

  private:
    unsigned mLevel = 1;
    fru_test::NumberedStrings mStrings;
};

TEST_F(FruFileDebugLines, NameWhatStoppedTheRead) {
    Read(HandFile(kBoardOnly, kBoardSection, Replaced(kKeys, "\t07", "\t1FF")));
    EXPECT_TRUE(Logged("CFru::ReadFRUFromFile - Unexpected Error while reading file"));

    Read(HandFile(kInternalUseOnly, "_SEE_INTERNAL\n0G\n"));
    EXPECT_TRUE(Logged("CFru::SetParseAreaErrorMessage - Unexpected Character"));
    Read(HandFile(kInternalUseOnly, "_SEE_INTERNAL\n" + HexLine(513) + "\n"));
    EXPECT_TRUE(Logged("CFru::SetParseAreaErrorMessage - Area Too Big"));
    Read(HandFile(kInternalUseOnly, "_SEE_INTERNAL\n012\n"));
    EXPECT_TRUE(Logged("CFru::SetParseAreaErrorMessage - Area Parse Error"));
    Read(HandFile(kBoardOnly, "_SEE_BOARD\n01 02 19 00 00 00\n"));
    EXPECT_TRUE(Logged("CFru::ReadFRUFromFile - Area Parse Error"));

    Read(HandFile(kBoardOnly, ""));
    EXPECT_TRUE(Logged("CFru::ReadFRUFromFile - Unexpected EOF"));
    EXPECT_TRUE(Logged("CFru::ReadFRUFromFile - File Read Error"));

    CFru fru;
    EXPECT_EQ(fru.ReadFRUFromFile("missing.fru"), ORVEL_ERROR_FILE_READ);
    EXPECT_TRUE(Logged("CFru::ReadFRUFromFile - Unexpected"));
}

TEST_F(FruFileDebugLines, NameTheStepThatCouldNotWrite) {
    CFru fru;
    EXPECT_EQ(fru.SaveFRUToFile("no such directory/x.fru"), ORVEL_ERROR_FILE_CREATE);
    EXPECT_TRUE(Logged("CFru::SaveFRUFileHeader - Error Writing File"));
}

}  // namespace
