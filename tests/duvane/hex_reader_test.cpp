// The hex record reader: where data records land in the update buffer, the
// record list, and every refused line with its number, status and text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "duvane/duvane_status.h"
#include "duvane/fw_file.h"
#include "image_fixture.h"

namespace duvane_test {
namespace {

using namespace DirectFwUpdate_Private;

constexpr std::size_t kSmallestHexBuffer = 0x200000;

class HexReaderTest : public ImageTest {
  protected:
    int Read(const std::string& text) {
        return mFile.ReadHexFile(WriteImage("image.hex", text).c_str(), L"image.hex");
    }

    std::uint8_t At(std::size_t address) const { return mFile.GetUpdateBuffer()[address]; }

    CfwFile mFile{FW_FILE_HEX, 0};
};

TEST_F(HexReaderTest, DataAfterALinearAddressLandsAtItsAbsoluteAddressAndGapsStayErased) {
    ASSERT_EQ(Read(HexLines({HexLinearAddress(0x0001), HexRecord(0, 0x0010, {0xA1, 0xA2, 0xA3}),
                             HexEndOfFile()})),
              DUVANE_SUCCESS);
    ASSERT_EQ(mFile.GetUpdateBuffer().size(), kSmallestHexBuffer);
    EXPECT_EQ(At(0x00010010), 0xA1);
    EXPECT_EQ(At(0x00010011), 0xA2);
    EXPECT_EQ(At(0x00010012), 0xA3);
    EXPECT_EQ(At(0x0001000F), 0xFF);
    EXPECT_EQ(At(0x00010013), 0xFF);
    EXPECT_EQ(At(0x00000010), 0xFF);
    EXPECT_EQ(std::count(mFile.GetUpdateBuffer().begin(), mFile.GetUpdateBuffer().end(), 0xFF),
              kSmallestHexBuffer - 3);
}

TEST_F(HexReaderTest, SegmentAddressShiftsByFourAndALaterBaseReplacesIt) {
    ASSERT_EQ(
        Read(HexLines({HexSegmentAddress(0x1000), HexRecord(0, 0x0020, {0x11}),
                       HexLinearAddress(0x0002), HexRecord(0, 0x0020, {0x22}), HexEndOfFile()})),
        DUVANE_SUCCESS);
    EXPECT_EQ(At(0x10020), 0x11);
    EXPECT_EQ(At(0x20020), 0x22);
    EXPECT_EQ(At(0x30020), 0xFF);
}

TEST_F(HexReaderTest, EveryRecordIsKeptInFileOrderAndReadingStopsAtTheEndOfFileRecord) {
    ASSERT_EQ(Read(HexLines({HexLinearAddress(0x0001), HexRecord(3, 0, {1, 2, 3, 4}),
                             HexRecord(0, 0x1234, {0xDE, 0xAD}), HexEndOfFile(),
                             "not read: after the end", HexRecord(0, 0, {0x55})})),
              DUVANE_SUCCESS);
    const std::vector<VARNOHEXREC>& records = mFile.Records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].recordType, kHexLinearAddressRecord);
    EXPECT_EQ(records[1].recordType, 3);
    EXPECT_EQ(records[1].byteCount, 4);
    EXPECT_EQ(records[1].data[3], 4);
    EXPECT_EQ(records[2].recordType, kHexDataRecord);
    EXPECT_EQ(records[2].loadOffset, 0x1234);
    EXPECT_EQ(records[2].byteCount, 2);
    EXPECT_EQ(records[2].data[0], 0xDE);
    EXPECT_EQ(records[2].data[1], 0xAD);
    // 02 + 12 + 34 + 00 + DE + AD = 0x1D3; the checksum makes it 0x200.
    EXPECT_EQ(records[2].checksum, 0x2D);
    EXPECT_EQ(records[3].recordType, kHexEndOfFileRecord);
    EXPECT_EQ(At(0x11234), 0xDE);
    EXPECT_EQ(At(0), 0xFF);
}

TEST_F(HexReaderTest, BufferIsTheFileSizeWhenTheFileIsLargerThanTheSmallestBuffer) {
    Bytes image(0x100000, 0x5A);
    const std::string text = HexImage(image);
    ASSERT_GT(text.size(), kSmallestHexBuffer);
    ASSERT_EQ(Read(text), DUVANE_SUCCESS);
    EXPECT_EQ(mFile.GetUpdateBuffer().size(), text.size());
    EXPECT_EQ(At(0xFFFFF), 0x5A);
    EXPECT_EQ(At(0x100000), 0xFF);
}

// Line ends and blanks after the checksum are not part of the record.
TEST_F(HexReaderTest, LineEndsAndTrailingBlanksAreTaken) {
    const std::string text = HexRecord(0, 0x0040, {0x77}) + "\r\n" + HexRecord(0, 0x0041, {0x78}) +
                             " \t\n" + HexEndOfFile();
    ASSERT_EQ(Read(text), DUVANE_SUCCESS);
    EXPECT_EQ(At(0x40), 0x77);
    EXPECT_EQ(At(0x41), 0x78);
}

TEST_F(HexReaderTest, TheLongestLineHolds122DataBytes) {
    const std::string longest = HexRecord(0, 0x0100, Bytes(122, 0x3C));
    ASSERT_EQ(longest.size(), 255u);
    ASSERT_EQ(Read(HexLines({longest, HexEndOfFile()})), DUVANE_SUCCESS);
    EXPECT_EQ(At(0x100), 0x3C);
    EXPECT_EQ(At(0x100 + 121), 0x3C);
    EXPECT_EQ(At(0x100 + 122), 0xFF);
}

TEST_F(HexReaderTest, DataMayEndAtTheLastByteOfTheBuffer) {
    ASSERT_EQ(Read(HexLines(
                  {HexLinearAddress(0x001F), HexRecord(0, 0xFFFE, {0x01, 0x02}), HexEndOfFile()})),
              DUVANE_SUCCESS);
    EXPECT_EQ(At(kSmallestHexBuffer - 1), 0x02);
}

TEST_F(HexReaderTest, AdjacentRecordsDoNotOverlap) {
    ASSERT_EQ(Read(HexLines({HexRecord(0, 0x0040, Bytes(64, 2)), HexRecord(0, 0x0000, Bytes(64, 1)),
                             HexEndOfFile()})),
              DUVANE_SUCCESS);
    EXPECT_EQ(At(0x3F), 1);
    EXPECT_EQ(At(0x40), 2);
    EXPECT_EQ(At(0x7F), 2);
}

struct RefusedHex {
    const char* name;
    std::string text;
    int status;
    std::wstring message;
};

std::string Lines(unsigned count) {
    std::vector<std::string> lines;
    for (unsigned i = 0; i < count; ++i) {
        lines.push_back(HexRecord(0, static_cast<std::uint16_t>(i * 16), Bytes(16, 0xAB)));
    }
    return HexLines(lines);
}

const std::string kData = HexRecord(0, 0x0000, {0x01});

std::vector<RefusedHex> RefusedHexCases() {
    return {
        {"TenLinesEndedByANewlineWithoutEndOfFile", Lines(10), DUVANE_IMAGE_FORMAT,
         L"The firmware image ends at line 11 without an end-of-file record."},
        {"TenLinesWithoutAFinalNewlineOrEndOfFile", Lines(10).substr(0, Lines(10).size() - 1),
         DUVANE_IMAGE_FORMAT, L"The firmware image ends at line 10 without an end-of-file record."},
        {"EmptyFile", "", DUVANE_IMAGE_FORMAT,
         L"The firmware image ends at line 1 without an end-of-file record."},
        {"LineWithoutColon", HexLines({kData, HexEndOfFile().substr(1)}), DUVANE_IMAGE_FORMAT,
         L"Line 2 of the firmware image is not a hex record: it does not start with ':'."},
        {"BlankLine", HexLines({kData, "", HexEndOfFile()}), DUVANE_IMAGE_FORMAT,
         L"Line 2 of the firmware image is not a hex record: it does not start with ':'."},
        {"BadChecksum", HexLines({kData, kData.substr(0, kData.size() - 2) + "00", HexEndOfFile()}),
         DUVANE_IMAGE_FORMAT, L"Line 2 of the firmware image fails its checksum."},
        {"LineOf256Characters", HexLines({HexRecord(0, 0, Bytes(122, 0)) + "0", HexEndOfFile()}),
         DUVANE_IMAGE_FORMAT, L"Line 1 of the firmware image is longer than 255 characters."},
        {"LineOfThousandsOfCharactersWithoutANewline", ":" + std::string(5000, '0'),
         DUVANE_IMAGE_FORMAT, L"Line 1 of the firmware image is longer than 255 characters."},
        {"ByteCountLongerThanTheLine", HexLines({kData, ":10000000AABB"}), DUVANE_IMAGE_FORMAT,
         L"Line 2 of the firmware image does not match its byte count."},
        {"DigitsAfterTheChecksum", HexLines({kData + "00", HexEndOfFile()}), DUVANE_IMAGE_FORMAT,
         L"Line 1 of the firmware image does not match its byte count."},
        {"OddNumberOfDigits", HexLines({":0100000001F", HexEndOfFile()}), DUVANE_IMAGE_FORMAT,
         L"Line 1 of the firmware image does not match its byte count."},
        {"ColonAlone", HexLines({":", HexEndOfFile()}), DUVANE_IMAGE_FORMAT,
         L"Line 1 of the firmware image does not match its byte count."},
        {"MoreThan128DataBytes",
         HexLines({kData, HexRecord(0, 0x0001, {0x02}), ":81000000" + std::string(20, '0')}),
         DUVANE_IMAGE_FORMAT, L"Line 3 of the firmware image names more than 128 data bytes."},
        {"NonHexDigitInTheData", HexLines({":010000000G00", HexEndOfFile()}), DUVANE_IMAGE_FORMAT,
         L"Line 1 of the firmware image holds a character that is not a hex digit."},
        {"NonHexDigitInTheByteCount", HexLines({":x1000000FF", HexEndOfFile()}),
         DUVANE_IMAGE_FORMAT,
         L"Line 1 of the firmware image holds a character that is not a hex digit."},
        {"TextAfterTheChecksum", HexLines({kData + " ; first byte", HexEndOfFile()}),
         DUVANE_IMAGE_FORMAT,
         L"Line 1 of the firmware image holds a character that is not a hex digit."},
        {"NulInsideTheLine",
         HexLines({kData.substr(0, 5) + std::string(1, '\0') + kData.substr(6)}),
         DUVANE_IMAGE_FORMAT,
         L"Line 1 of the firmware image holds a character that is not a hex digit."},
        {"LinearAddressWithOneByte", HexLines({kData, HexRecord(4, 0, {0x01}), HexEndOfFile()}),
         DUVANE_IMAGE_FORMAT,
         L"Line 2 of the firmware image sets an address base without its two address bytes."},
        {"SegmentAddressWithoutBytes", HexLines({HexRecord(2, 0, {}), HexEndOfFile()}),
         DUVANE_IMAGE_FORMAT,
         L"Line 1 of the firmware image sets an address base without its two address bytes."},
        {"DataAtTheFirstAddressPastTheBuffer",
         HexLines({HexLinearAddress(0x0020), HexRecord(0, 0x0000, {0x01}), HexEndOfFile()}),
         DUVANE_IMAGE_FORMAT,
         L"Line 2 of the firmware image places data outside the image's 2097152 bytes."},
        {"DataRunningOverTheEndOfTheBuffer",
         HexLines({HexLinearAddress(0x001F), HexRecord(0, 0xFFF0, Bytes(17, 0)), HexEndOfFile()}),
         DUVANE_IMAGE_FORMAT,
         L"Line 2 of the firmware image places data outside the image's 2097152 bytes."},
        {"DataAtTheTopOfTheAddressSpace",
         HexLines({HexLinearAddress(0xFFFF), HexRecord(0, 0xFFFF, {0x01, 0x02}), HexEndOfFile()}),
         DUVANE_IMAGE_FORMAT,
         L"Line 2 of the firmware image places data outside the image's 2097152 bytes."},
        {"DataOverAnEarlierRecordsLastByte",
         HexLines({HexRecord(0, 0x0100, Bytes(32, 1)), HexRecord(0, 0x0200, Bytes(32, 2)),
                   HexRecord(0, 0x011F, {3, 3}), HexEndOfFile()}),
         DUVANE_IMAGE_FORMAT,
         L"Line 3 of the firmware image writes over data an earlier line placed."},
        {"SameAddressThroughAnotherBase",
         HexLines({HexSegmentAddress(0x1000), HexRecord(0, 0x0000, {1}), HexLinearAddress(0x0001),
                   HexRecord(0, 0x0000, {2}), HexEndOfFile()}),
         DUVANE_IMAGE_FORMAT,
         L"Line 4 of the firmware image writes over data an earlier line placed."},
    };
}

class RefusedHexTest : public HexReaderTest, public ::testing::WithParamInterface<RefusedHex> {};

TEST_P(RefusedHexTest, IsRefusedNamingItsLine) {
    const RefusedHex& refused = GetParam();
    EXPECT_EQ(Read(refused.text), refused.status);
    EXPECT_EQ(LastError(), refused.message);
    // The buffer exists once the file is open, whatever the lines hold.
    EXPECT_EQ(mFile.GetUpdateBuffer().size(), kSmallestHexBuffer);
}

INSTANTIATE_TEST_SUITE_P(Lines, RefusedHexTest, ::testing::ValuesIn(RefusedHexCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HexReaderTest, ARefusedOverlapLeavesTheEarlierDataInPlace) {
    ASSERT_EQ(Read(HexLines({HexRecord(0, 0x0010, {0xAA, 0xBB}), HexRecord(0, 0x0011, {0xCC}),
                             HexEndOfFile()})),
              DUVANE_IMAGE_FORMAT);
    EXPECT_EQ(At(0x11), 0xBB);
}

TEST_F(HexReaderTest, AFileThatCannotBeOpenedNamesTheDisplayNameOrElseThePath) {
    const std::wstring missing = (mDir / "missing.hex").wstring();
    EXPECT_EQ(mFile.ReadHexFile(missing.c_str(), L"shown.hex"), DUVANE_FILE_OPEN_FAILED);
    EXPECT_EQ(LastError(), L"Cannot open the firmware image shown.hex.");
    EXPECT_EQ(mFile.ReadHexFile(missing.c_str(), nullptr), DUVANE_FILE_OPEN_FAILED);
    EXPECT_EQ(LastError(), L"Cannot open the firmware image " + missing + L".");
    EXPECT_EQ(mFile.DisplayName(), missing);
}

TEST_F(HexReaderTest, ASecondReadForgetsTheFirstImage) {
    ASSERT_EQ(Read(HexLines({HexRecord(0, 0x0010, {0xAA}), HexEndOfFile()})), DUVANE_SUCCESS);
    ASSERT_EQ(Read(HexLines({HexRecord(0, 0x0010, {0xBB}), HexEndOfFile()})), DUVANE_SUCCESS);
    EXPECT_EQ(At(0x10), 0xBB);
    EXPECT_EQ(mFile.Records().size(), 2u);
}

}  // namespace
}  // namespace duvane_test
