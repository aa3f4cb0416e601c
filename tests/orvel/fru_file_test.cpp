// Saving a FRU as a configuration file: the exact layout written, how each
// kind of field is carried, and that every saved file reads back into the
// same FRU.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fru_file_fixture.h"
#include "fru_image_builder.h"
#include "fru_test_support.h"
#include "orvel/fru.h"
#include "orvel/orvel_status.h"

namespace {

using namespace Orvel_Private;
using fru_test::Bytes;
using fru_test::EmptyFields;
using fru_test::Field;
using fru_test::MultiRecord;
using fru_test::TakeLastError;
using fru_test::Text;
using fru_test::Widen;
using FruFile = fru_test::FruFileTest;

Bytes CountingBytes(std::size_t count, std::uint8_t first = 0) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

// Every area, custom fields in each info area (one of them binary), and two
// multi-records, one with more than a line of data.
fru_test::FruLayout FullLayout() {
    return {
        .internalUse = CountingBytes(24, 0xE0),
        .chassis = fru_test::ChassisArea(0x17, {Text("CPN-1"), Text("CSN 0042"), Text("rack 7"),
                                                Field(0x03, {0x00, 0xFF, 0x10})})
                       .Build(),
        .board = fru_test::BoardArea({0x10, 0x20, 0x30},
                                     {Text("Maker Inc."), Text("Board"), Text("BSN"), Text("BPN"),
                                      Text("BF"), Text("first custom"), Text("second custom")})
                     .Build(),
        .product = fru_test::ProductArea({Text("PM"), Text("Product"), Text("PPN"), Text("1.0"),
                                          Text("PSN"), Text("asset #7"), Text("PF"),
                                          Text("product custom")})
                       .Build(),
        .multiRecords = fru_test::Concat({MultiRecord(0x00, CountingBytes(40, 1), false),
                                          MultiRecord(0xC0, {0x57, 0x01, 0x00}, true)}),
    };
}

// ------------------------------------------------------------- round trip

struct Location {
    const char* name;
    FRU_TYPE type;
    std::uint8_t deviceId, controller, lun, bus, slave;
    std::optional<std::wstring> fruName;
};

void PrintTo(const Location& c, std::ostream* os) {
    *os << c.name;
}

class FruFileRoundTrip : public fru_test::FruFileTest,
                         public ::testing::WithParamInterface<Location> {};

TEST_P(FruFileRoundTrip, ReadsBackIntoTheSameFru) {
    CFru fru;
    fru_test::LoadImage(fru, FullLayout().Build());
    FRU_LOCATOR& locator = fru.GetDevLocator();
    locator.mType = GetParam().type;
    locator.mFruDeviceId = GetParam().deviceId;
    locator.mControllerAddress = GetParam().controller;
    locator.mLun = GetParam().lun;
    locator.mBus = GetParam().bus;
    locator.mSlaveAddress = GetParam().slave;
    locator.mName = GetParam().fruName;

    const std::string path = PathOf("full.fru");
    ASSERT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_SUCCESS);
    CFru again;
    ASSERT_EQ(again.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
    fru_test::ExpectSameFru(fru, again);

    // The file's own header: where it was saved, and the version kept in
    // the internal use area's last two bytes (F6h, F7h).
    EXPECT_EQ(again.FileHeader().GetLfName(), path);
    EXPECT_EQ(again.FileHeader().GetLfVersion(), "F6.F7");
    EXPECT_EQ(again.FileHeader().GetLfFmtVersion(), "1.50");
    EXPECT_EQ(again.FileHeader().GetIpmiVersion(), "1.00");
}

INSTANTIATE_TEST_SUITE_P(DeviceTypes, FruFileRoundTrip,
                         ::testing::Values(Location{"AT24CO2", FRU_NVS_AT24CO2, 0x00, 0x20, 0x00,
                                                    0x03, 0xA0, L"Baseboard"},
                                           Location{"DS1624S", FRU_NVS_DS1624S, 0x00, 0x20, 0x00,
                                                    0x01, 0x90, std::nullopt},
                                           Location{"IMBDEVICE", FRU_NVS_IMBDEVICE, 0x05, 0x2C,
                                                    0x02, 0xFF, 0x20, L"PSU 1"}),
                         [](const auto& info) { return info.param.name; });

// Every FRU the library reads from a device must save into a file that
// loads again: the largest internal use area and a multi-record area far
// larger than one info area.
TEST_F(FruFile, TheLargestAreasReadBack) {
    fru_test::FruLayout layout = FullLayout();
    layout.internalUse = CountingBytes(512, 0x00);
    layout.multiRecords.clear();
    for (std::uint8_t type = 0xC0; type < 0xC6; ++type) {
        const Bytes record = MultiRecord(type, CountingBytes(200, type), type == 0xC5);
        layout.multiRecords.insert(layout.multiRecords.end(), record.begin(), record.end());
    }
    CFru fru;
    fru_test::LoadImage(fru, layout.Build());
    ASSERT_EQ(fru.GetInternalAreaLength(), 512u);
    ASSERT_GT(fru.GetMultiRecAreaLength(), 1000u);

    const std::string path = PathOf("large.fru");
    ASSERT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_SUCCESS);
    CFru again;
    ASSERT_EQ(again.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
    fru_test::ExpectSameFru(fru, again);
}

// ------------------------------------------------------- one field's line

struct FieldLine {
    const char* name;
    Bytes field;           // type/length byte and data
    std::string dataLine;  // as the file carries the data
};

void PrintTo(const FieldLine& c, std::ostream* os) {
    *os << c.name;
}

class FruFileField : public fru_test::FruFileTest,
                     public ::testing::WithParamInterface<FieldLine> {};

// The field is the board's manufacturer, with a product area after it.
TEST_P(FruFileField, IsWrittenSoThatItReadsBackByteForByte) {
    std::vector<Bytes> fields = EmptyFields(5);
    fields[0] = GetParam().field;
    CFru fru;
    fru_test::LoadImage(fru,
                        fru_test::FruLayout{
                            .board = fru_test::BoardArea({1, 2, 3}, fields).Build(),
                            .product = fru_test::ProductArea(EmptyFields(7)).Build(),
                        }
                            .Build());
    const std::string path = PathOf("field.fru");
    ASSERT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_SUCCESS);

    const std::vector<std::string> lines = SplitLines(ReadText(path));
    const auto board = std::ranges::find(lines, "_SEE_BOARD");
    ASSERT_GE(lines.end() - board, 7);
    // Version, length, language and date come first.
    char typeLength[3];
    std::snprintf(typeLength, sizeof typeLength, "%02X", GetParam().field[0]);
    EXPECT_EQ(board[5], typeLength);
    EXPECT_EQ(board[6], GetParam().dataLine);

    CFru again;
    ASSERT_EQ(again.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
    fru_test::ExpectSameFru(fru, again);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FruFileField,
    ::testing::Values(
        FieldLine{"Text", Text("Acme"), "'Acme'"},
        FieldLine{"TextWithMarkersOfTheFile", Text("#1 _SEE_PRODUCT ) x"), "'#1 _SEE_PRODUCT ) x'"},
        FieldLine{"Binary", Field(0x02, {0xAB, 0xCD}), "AB CD "},
        FieldLine{"BcdPlus", Field(0x42, {0x12, 0x34}), "12 34 "},
        FieldLine{"SixBitPacked", Field(0x83, {0x29, 0xDC, 0xA6}), "29 DC A6 "},
        // Texts that quotes cannot carry go as hexadecimal bytes.
        FieldLine{"TextWithQuote", Text("O'Neil"), "4F 27 4E 65 69 6C "},
        FieldLine{"TextWithComment", Text("a//b"), "61 2F 2F 62 "},
        FieldLine{"TextWithZeroByte", Field(0xC3, {'a', 0x00, 'b'}), "61 00 62 "},
        FieldLine{"TextWithCarriageReturn", Field(0xC3, {'a', '\r', 'b'}), "61 0D 62 "},
        FieldLine{"TextWithLineFeed", Field(0xC3, {'a', '\n', 'b'}), "61 0A 62 "}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------- exact layout

TEST_F(FruFile, WritesTheFixedLayout) {
    CFru fru;
    fru.Header().SetData(
        std::array<std::uint8_t, 8>{0x01, 0x01, 0x00, 0x04, 0x00, 0x08, 0x00, 0xF2});
    ASSERT_TRUE(fru.InternalUseArea().SetData(CountingBytes(17), false));
    ASSERT_TRUE(fru.BoardInfoArea().SetData(
        fru_test::BoardArea({0x10, 0x20, 0x30},
                            {Text("Maker"), Field(0x02, {0xAB, 0xCD}), Text("SN"),
                             Field(0x83, {0x29, 0xDC, 0xA6}), Text(""), Text("x'y")})
            .Build()));
    ASSERT_EQ(fru.SetMultiRecArea(MultiRecord(0xC0, CountingBytes(17), true), false),
              ORVEL_SUCCESS);
    FRU_LOCATOR& locator = fru.GetDevLocator();
    locator.mType = FRU_NVS_AT24CO2;
    locator.mFruDeviceId = 0x05;
    locator.mSlaveAddress = 0xA0;

    const std::string path = PathOf("small.fru");
    ASSERT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_SUCCESS);
    const std::vector<std::string> expected{
        "_LF_NAME\t'" + path + "'",
        "_LF_VERSION\t'F.10'",
        "_LF_FMT_VER\t'1.50'",
        "_IPMI_VERSION\t'1.00'",
        "",
        "",
        "_FRU (",
        "_FRU_TITLE\t''",
        "_START_ADDR\t0000",
        "_DATA_LEN\t004F",  // 8 + 17 + 32 + 22
        "_NVS_TYPE\t'AT24CO2'",
        "_DEV_ID\t\t05",
        "_DEV_CNTR\t20",
        "_NVS_LUN\t00",
        "_DEV_BUS\tFF",
        "_DEV_ADDRESS\tA0",
        "_SEE_COMMON",
        "\t01",
        "\t01",
        "\t00",
        "\t04",
        "\t00",
        "\t08",
        "\t00",
        "\tF2",
        "",
        "",
        "_SEE_INTERNAL",
        "",
        "\t00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ",
        "\t10 ",
        "",
        "",
        "_SEE_BOARD",
        "01",
        "04",
        "19",
        "10 20 30",
        "C5",
        "'Maker'",
        "02",
        "AB CD ",
        "C2",
        "'SN'",
        "83",
        "29 DC A6 ",
        "C0",
        "C3",
        "78 27 79 ",
        "C1",
        "",
        "_SEE_MULTIREC",
        "C0",
        "82",
        "11",
        "78",
        "35",
        "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ",
        " 10 ",
        " ",
        ")",
    };
    EXPECT_EQ(SplitLines(ReadText(path)), expected);
}

// The file version comes from the internal use area's last two bytes.
struct FileVersion {
    const char* name;
    Bytes internalUse;
    const char* line;
};

void PrintTo(const FileVersion& c, std::ostream* os) {
    *os << c.name;
}

class FruFileVersion : public fru_test::FruFileTest,
                       public ::testing::WithParamInterface<FileVersion> {};

TEST_P(FruFileVersion, IsTheInternalUseAreasLastTwoBytes) {
    CFru fru;
    ASSERT_TRUE(fru.InternalUseArea().SetData(GetParam().internalUse, false));
    const std::string path = PathOf("version.fru");
    ASSERT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_SUCCESS);
    EXPECT_EQ(SplitLines(ReadText(path)).at(1), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    InternalUse, FruFileVersion,
    ::testing::Values(FileVersion{"None", {}, "_LF_VERSION\t'0.00'"},
                      FileVersion{"OneByte", {0x07}, "_LF_VERSION\t'0.00'"},
                      FileVersion{"TwoBytes", {0x01, 0x02}, "_LF_VERSION\t'1.02'"},
                      FileVersion{
                          "LastTwoOfMany", {0xFF, 0xFF, 0xAB, 0x05}, "_LF_VERSION\t'AB.05'"}),
    [](const auto& info) { return info.param.name; });

// ------------------------------------------------- names that must survive

TEST_F(FruFile, ATitleIsCutBeforeWhatWouldBreakItsLine) {
    CFru fru;
    fru_test::LoadImage(fru, FullLayout().Build());
    fru.GetDevLocator().mName = L"Rack A//slot 3";
    const std::string path = PathOf("title.fru");
    ASSERT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_SUCCESS);
    EXPECT_EQ(SplitLines(ReadText(path)).at(7), "_FRU_TITLE\t'Rack A'");

    CFru again;
    ASSERT_EQ(again.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
    EXPECT_EQ(again.GetDevLocator().mName, L"Rack A");

    fru.GetDevLocator().mName = L"Bob's board";
    ASSERT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_SUCCESS);
    EXPECT_EQ(SplitLines(ReadText(path)).at(7), "_FRU_TITLE\t'Bob'");
}

TEST_F(FruFile, APathWithDoubledSlashesIsNamedWithSingleOnes) {
    CFru fru;
    fru_test::LoadImage(fru, FullLayout().Build());
    const std::string path = mDir.Path().string() + "//doubled.fru";
    ASSERT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_SUCCESS);

    CFru again;
    ASSERT_EQ(again.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
    EXPECT_EQ(again.FileHeader().GetLfName(), PathOf("doubled.fru"));
    fru_test::ExpectSameFru(fru, again);
}

// --------------------------------------------------------- line endings

struct LineEnd {
    const char* name;
    const char* end;
};

void PrintTo(const LineEnd& c, std::ostream* os) {
    *os << c.name;
}

class FruFileLineEnd : public fru_test::FruFileTest,
                       public ::testing::WithParamInterface<LineEnd> {};

TEST_P(FruFileLineEnd, ReadsAsWithLineFeeds) {
    CFru fru;
    fru_test::LoadImage(fru, FullLayout().Build());
    const std::string saved = PathOf("saved.fru");
    ASSERT_EQ(fru.SaveFRUToFile(saved.c_str()), ORVEL_SUCCESS);
    std::string text;
    for (const char c : ReadText(saved)) {
        if (c == '\n') {
            text += GetParam().end;
        } else {
            text += c;
        }
    }
    const std::string path = WriteFile("converted.fru", text);
    CFru again;
    ASSERT_EQ(again.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS) << TakeLastError();
    fru_test::ExpectSameFru(fru, again);
}

INSTANTIATE_TEST_SUITE_P(Files, FruFileLineEnd,
                         ::testing::Values(LineEnd{"CarriageReturnLineFeed", "\r\n"},
                                           LineEnd{"LineFeedCarriageReturn", "\n\r"},
                                           LineEnd{"CarriageReturn", "\r"}),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------- write failures

TEST_F(FruFile, AFileThatCannotBeCreatedIsReported) {
    CFru fru;
    fru_test::LoadImage(fru, FullLayout().Build());
    const std::string path = PathOf("no such directory/x.fru");
    EXPECT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_ERROR_FILE_CREATE);
    EXPECT_EQ(TakeLastError(), L"#100 " + Widen(path));
    EXPECT_FALSE(std::filesystem::exists(path));

    EXPECT_EQ(fru.SaveFRUToFile(nullptr), ORVEL_ERROR_FILE_CREATE);
    EXPECT_EQ(TakeLastError(), L"#125");
}

// What the scratch directory holds, by name: a save leaves no temporary
// file behind, whether it succeeds or fails.
std::vector<std::string> Names(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Makes every write past `bytes` of a file fail, as a full disk does, for
// as long as it lives.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        // Past the limit the kernel signals the writer; the write is to fail
        // instead, as it does on a full disk.
        mHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &mOld);
        rlimit limited = mOld;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &mOld);
        std::signal(SIGXFSZ, mHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit mOld{};
    void (*mHandler)(int) = SIG_DFL;
};

TEST_F(FruFile, ASaveThatFailsMidwayLeavesTheOldFileAndNothingElse) {
    CFru fru;
    fru_test::LoadImage(fru, FullLayout().Build());
    const std::string path = WriteFile("kept.fru", "the file as it was\n");
    {
        // The whole file is a few kilobytes: the disk fills in the middle.
        const FileSizeLimit limit(300);
        EXPECT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_ERROR_FILE_WRITE);
    }
    EXPECT_EQ(TakeLastError(), L"#100 " + Widen(path));
    EXPECT_EQ(ReadText(path), "the file as it was\n");
    EXPECT_EQ(Names(mDir.Path()), std::vector<std::string>{"kept.fru"});

    // A new file that cannot be completed is not left half written either.
    const std::string fresh = PathOf("fresh.fru");
    {
        const FileSizeLimit limit(300);
        EXPECT_EQ(fru.SaveFRUToFile(fresh.c_str()), ORVEL_ERROR_FILE_WRITE);
    }
    EXPECT_EQ(Names(mDir.Path()), std::vector<std::string>{"kept.fru"});

    // Without the limit the same save replaces the file whole.
    ASSERT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_SUCCESS);
    CFru back;
    ASSERT_EQ(back.ReadFRUFromFile(path.c_str()), ORVEL_SUCCESS);
    fru_test::ExpectSameFru(fru, back);
    EXPECT_EQ(Names(mDir.Path()), std::vector<std::string>{"kept.fru"});
}

TEST_F(FruFile, ASaveIntoADirectoryThatTakesNoFileLeavesNothing) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into a read-only directory";
    CFru fru;
    fru_test::LoadImage(fru, FullLayout().Build());
    const std::string path = WriteFile("kept.fru", "the file as it was\n");
    std::filesystem::permissions(
        mDir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_ERROR_FILE_CREATE);
    std::filesystem::permissions(mDir.Path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(TakeLastError(), L"#100 " + Widen(path));
    EXPECT_EQ(ReadText(path), "the file as it was\n");
    EXPECT_EQ(Names(mDir.Path()), std::vector<std::string>{"kept.fru"});
}

// A save replaces a file, never a directory, FIFO or device: renaming over
// /dev/full would take the device away from everyone.
struct NotAFile {
    const char* name;
    // Makes it in the scratch directory; its path, or none when it cannot
    // be had here.
    std::string (*make)(const std::filesystem::path& dir);
    std::filesystem::file_type type;
};

void PrintTo(const NotAFile& c, std::ostream* os) {
    *os << c.name;
}

class FruFileSaveRefuses : public fru_test::FruFileTest,
                           public ::testing::WithParamInterface<NotAFile> {};

TEST_P(FruFileSaveRefuses, WhatIsNoRegularFile) {
    const std::string path = GetParam().make(mDir.Path());
    if (path.empty()) GTEST_SKIP() << "not available here";
    CFru fru;
    fru_test::LoadImage(fru, FullLayout().Build());
    EXPECT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_ERROR_FILE_CREATE);
    EXPECT_EQ(TakeLastError(), L"#91 " + Widen(path));
    EXPECT_EQ(std::filesystem::symlink_status(path).type(), GetParam().type);
    // Nothing was created beside it.
    const std::string temporary = "." + std::filesystem::path(path).filename().string() + ".";
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(temporary)) << entry.path();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Targets, FruFileSaveRefuses,
    ::testing::Values(NotAFile{"Directory",
                               [](const std::filesystem::path& dir) {
                                   std::filesystem::create_directory(dir / "d");
                                   return (dir / "d").string();
                               },
                               std::filesystem::file_type::directory},
                      NotAFile{"Fifo",
                               [](const std::filesystem::path& dir) {
                                   const std::string path = dir / "p";
                                   return ::mkfifo(path.c_str(), 0600) == 0 ? path : std::string();
                               },
                               std::filesystem::file_type::fifo},
                      NotAFile{"DevFull",
                               [](const std::filesystem::path&) {
                                   return std::filesystem::exists("/dev/full")
                                              ? std::string("/dev/full")
                                              : std::string();
                               },
                               std::filesystem::file_type::character},
                      NotAFile{"LinkToADirectory",
                               [](const std::filesystem::path& dir) {
                                   std::filesystem::create_directory(dir / "d");
                                   std::filesystem::create_directory_symlink(dir / "d", dir / "l");
                                   return (dir / "l").string();
                               },
                               std::filesystem::file_type::symlink}),
    [](const auto& info) { return info.param.name; });

TEST_F(FruFile, ASaveThroughALinkReplacesTheFileItNames) {
    CFru fru;
    fru_test::LoadImage(fru, FullLayout().Build());
    std::filesystem::create_directory(PathOf("real"));
    const std::string real = WriteFile("real/target.fru", "old\n");
    std::filesystem::permissions(
        real, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::string link = PathOf("link.fru");
    std::filesystem::create_symlink(real, link);

    ASSERT_EQ(fru.SaveFRUToFile(link.c_str()), ORVEL_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    CFru back;
    ASSERT_EQ(back.ReadFRUFromFile(real.c_str()), ORVEL_SUCCESS);
    fru_test::ExpectSameFru(fru, back);
    // The file saved over keeps who may read it.
    EXPECT_EQ(std::filesystem::status(real).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(Names(PathOf("real")), std::vector<std::string>{"target.fru"});
}

TEST_F(FruFile, ASaveToADanglingLinkCreatesNothingWhereItPoints) {
    CFru fru;
    fru_test::LoadImage(fru, FullLayout().Build());
    const std::string pointee = PathOf("elsewhere.fru");
    const std::string link = PathOf("link.fru");
    std::filesystem::create_symlink(pointee, link);

    ASSERT_EQ(fru.SaveFRUToFile(link.c_str()), ORVEL_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(pointee)));
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(link)));
    CFru back;
    ASSERT_EQ(back.ReadFRUFromFile(link.c_str()), ORVEL_SUCCESS);
    fru_test::ExpectSameFru(fru, back);
}

TEST_F(FruFile, AFileTheCallerMayNotWriteIsNotReplaced) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
    CFru fru;
    fru_test::LoadImage(fru, FullLayout().Build());
    const std::string path = WriteFile("read-only.fru", "kept\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    EXPECT_EQ(fru.SaveFRUToFile(path.c_str()), ORVEL_ERROR_FILE_CREATE);
    EXPECT_EQ(TakeLastError(), L"#100 " + Widen(path));
    EXPECT_EQ(ReadText(path), "kept\n");
}

}  // namespace
