// The SDR file as the writer lays it out: crafted records against their
// exact text, the header and the lines around records, and the rules the
// string file must keep for the reader to find its way.
#include <gtest/gtest.h>

#include "bmc/ordered_list.h"
#include "pemric/pemric_status.h"
#include "pemric/string_ids.h"
#include "sdr_file_fixture.h"

using namespace Pemric_Private;

namespace {

const std::string kSeparator = "--------------------------------------------------------\n";

}  // namespace

TEST_F(SdrFileTest, AnEntityAssociationIsWrittenWithItsTagAndSecondHeading) {
    auto record = Decoded({0x00, 0x07, 0x51, 0x08, 0x0B, 0x07, 0x01, 0x80, 0x0A, 0x01, 0x0B, 0x02,
                           0x0C, 0x03, 0x0D, 0x04});
    OrderedList<char*> tags;
    char tag[] = "rack1";
    tags.Add(tag);
    ASSERT_EQ(record->AddTags(tags), PEMRIC_SUCCESS);
    ASSERT_EQ(record->WriteRecordToFile(kSavedPath), PEMRIC_SUCCESS);
    EXPECT_EQ(ReadFile("saved.sdr"), kSeparator +
                                         "RecordType: 08\n"
                                         "Tag: 'rack1'\n"
                                         "RecordLength: 0010\n" +
                                         kSeparator +
                                         "[ PORTION I ]\n"
                                         "0007    # Record ID\n"
                                         "51      # SDR Version\n"
                                         "08      # Record Type\n"
                                         "0B      # Record Length\n" +
                                         kSeparator +
                                         "[ PORTION II ]\n"
                                         "07      # Container Entity ID\n"
                                         "01      # Container Entity Instance\n"
                                         "80      # Flags\n"
                                         "0A      # Contained Entity 1 ID\n"
                                         "01      # Contained Entity 1 Instance\n" +
                                         kSeparator +
                                         "[ PORTION III ]\n"
                                         "0B      # Contained Entity 2 ID\n"
                                         "02      # Contained Entity 2 Instance\n"
                                         "0C      # Contained Entity 3 ID\n"
                                         "03      # Contained Entity 3 Instance\n"
                                         "0D      # Contained Entity 4 ID\n"
                                         "04      # Contained Entity 4 Instance\n");
}

TEST_F(SdrFileTest, OemDataIsTextWhenItReadsBackAsTextAndHexBytesOtherwise) {
    struct Case {
        std::string data;
        std::string line;
    };
    const Case cases[] = {
        {"SDR Version 2.1", "'SDR Version 2.1'  # ID String\n"},
        {std::string("\x01\xFF", 2), "01 FF  # OEM Data\n"},
        // Printable, but the reader would end the text at the apostrophe
        // and cut the line at the comment marker.
        {"it's", "69 74 27 73  # OEM Data\n"},
        {"a#b", "61 23 62  # OEM Data\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::filesystem::remove("saved.sdr");
        auto record = Decoded(OemRecord(c.data));
        ASSERT_EQ(record->WriteRecordToFile(kSavedPath), PEMRIC_SUCCESS);
        const std::string text = ReadFile("saved.sdr");
        EXPECT_NE(text.find("[ PORTION II ]\n"
                            "000157  # Manufacturer ID\n" +
                            c.line),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.substr(text.size() - c.line.size()), c.line);
    }
}

TEST_F(SdrFileTest, TheHeaderCommentAndEndLinesAreWrittenInOrder) {
    ASSERT_EQ(WriteSDRFIleHeader(kSavedPath, mTexts, {0x1234, L"2.1"}, &mError), PEMRIC_SUCCESS);
    ASSERT_EQ(WriteCommentLine(kSavedPath, mTexts, 0x12, &mError), PEMRIC_SUCCESS);
    ASSERT_EQ(WriteSDRFIleFooter(kSavedPath, mTexts, &mError), PEMRIC_SUCCESS);
    EXPECT_EQ(ReadFile("saved.sdr"),
              "# SDR file of libpemric: the records of a repository, one section per type #\n" +
                  kSeparator +
                  "FileFormat: 'SDR text file 1'\n"
                  "PackageVersion: '2.1'\n"
                  "Producer: 'libpemric'\n"
                  "Encoding: 'ASCII'\n"
                  "# What the repository held when it was saved #\n" +
                  kSeparator +
                  "[ LISTING ]\n"
                  "RecordCount: 0000\n"
                  "TotalBytes: 1234\n"
                  "ByteOrder: 'first byte first'\n"
                  "FillByte: FF\n"
                  "BlankByte: 20\n"
                  "##### Records of type 12h #####\n"
                  "[ STOP ]\n");
    EXPECT_EQ(mError.text, L"");
}

TEST_F(SdrFileTest, TheVersionTextComesFromTheLastOemRecordOrTheDefault) {
    struct Case {
        const char* oem;
        std::wstring version;
    };
    const Case cases[] = {
        {"SDR Version:3.2 Package 7", L"3.2"},
        {"SDR Version 3.2", L"3.2"},
        {"Package 7 only", L"unknown"},
        {nullptr, L"unknown"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SdrFileVersionText(mTexts, reinterpret_cast<const unsigned char*>(c.oem)),
                  c.version)
            << (c.oem != nullptr ? c.oem : "(none)");
    }
}

TEST_F(SdrFileTest, AFileThatCannotBeOpenedNamesItsPath) {
    EXPECT_EQ(WriteSDRFIleHeader(L"no/such/dir.sdr", mTexts, {}, &mError), PEMRIC_FILE_WRITE_ERROR);
    EXPECT_EQ(mError.text, L"Cannot open the SDR file no/such/dir.sdr");
    EXPECT_NE(Log().find("SdrUtility::WriteSDRFIleHeader - Error Opening File"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("no"));
}

TEST_F(SdrFileTest, ALineTheReaderWouldSplitIsNotWritten) {
    auto record = Decoded(CountingRecord(0x14, 11));
    std::string longTag(250, 't');
    OrderedList<char*> tags;
    tags.Add(longTag.data());
    ASSERT_EQ(record->AddTags(tags), PEMRIC_SUCCESS);
    EXPECT_EQ(record->WriteRecordToFile(kSavedPath), PEMRIC_FILE_WRITE_ERROR);
    EXPECT_EQ(ReadFile("saved.sdr").find(longTag), std::string::npos);
    EXPECT_NE(Log().find("CSdrType14::WriteRecordToFile - Error Writing File"), std::string::npos);
}

TEST_F(SdrFileTest, AnUndecodedRecordWritesNothing) {
    auto record = Create(0x14);
    EXPECT_EQ(record->WriteRecordToFile(kSavedPath), PEMRIC_SDR_NOT_DECODED);
    EXPECT_FALSE(std::filesystem::exists("saved.sdr"));
}

// Inside a record the reader takes any two hex digits as a byte, so the
// lines the writer puts there for people must have none outside a comment.
TEST_F(SdrFileTest, HeadingSeparatorAndFramedLinesHoldNoHexDigitOutsideAComment) {
    const std::wstring marker = Text(kFileCommentMarker);
    auto formatted = [&](unsigned format, auto... arguments) {
        wchar_t line[256];
        std::swprintf(line, 256, Text(format).c_str(), arguments...);
        return std::wstring(line);
    };
    const std::wstring frame = Text(kFileTypeCommentFrame);
    const std::wstring typeText = formatted(kFileTypeComment, 0xC0u);
    std::vector<std::wstring> lines = {
        formatted(kFileSeparator),
        formatted(kFileFramedComment, marker.c_str(), Text(kFileTitleComment).c_str(),
                  marker.c_str()),
        formatted(kFileFramedComment, marker.c_str(), Text(kFileSummaryComment).c_str(),
                  marker.c_str()),
        formatted(kFileFramedComment, frame.c_str(), typeText.c_str(), frame.c_str()),
    };
    for (unsigned words : {kFileRecordHeaderHeading, kFileRecordBodyHeading,
                           kFileRecordSecondHeading, kFileHeaderKeywords[4], kFileEndKeyword}) {
        lines.push_back(formatted(kFileHeading, Text(words).c_str()));
    }
    for (const std::wstring& line : lines) {
        const std::wstring outside = line.substr(0, line.find(marker));
        EXPECT_EQ(outside.find_first_of(L"0123456789ABCDEFabcdef"), std::wstring::npos)
            << std::string(line.begin(), line.end());
    }
    // The tags of a record end at its first heading.
    EXPECT_NE(
        formatted(kFileHeading, Text(kFileRecordHeaderHeading).c_str()).find(Text(kFileDataMarker)),
        std::wstring::npos);
}

TEST_F(SdrFileTest, AFullSensorSplitsItsBodyAfterTheSensorNumberAndWritesMasksAsWords) {
    // Counting body bytes: the capabilities byte (06h) gives the sensor
    // threshold access, so the masks carry the threshold titles.
    auto record = Decoded(RecordWithIdString(0x01, 43, "CPU"));
    ASSERT_EQ(record->WriteRecordToFile(kSavedPath), PEMRIC_SUCCESS);
    const std::string text = ReadFile("saved.sdr");
    EXPECT_NE(text.find("[ PORTION II ]\n"
                        "00      # Sensor Owner ID\n"
                        "01      # Sensor Owner LUN\n"
                        "02      # Sensor Number\n" +
                        kSeparator +
                        "[ PORTION III ]\n"
                        "03      # Entity ID\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("08      # Event / Reading Type Code\n"
                        "090A    # Lower Threshold Reading Mask\n"
                        "0B0C    # Upper Threshold Reading Mask\n"
                        "0D0E    # Settable / Readable Threshold Mask\n"),
              std::string::npos)
        << text;
    const std::string tail = "C3      # ID String Type / Length\n'CPU'  # ID String\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_NE(text.find("RecordLength: 0033\n"), std::string::npos);
}
