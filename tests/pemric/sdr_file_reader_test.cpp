// Loading SDR files: what the writer saved comes back byte for byte with
// its tags, and each kind of broken file fails with its code, its message
// and the line it names.
#include <gtest/gtest.h>

#include <algorithm>

#include "pemric/pemric_status.h"
#include "pemric/sdr_factory.h"
#include "sdr_file_fixture.h"

using namespace Pemric_Private;

namespace {

struct SavedRecord {
    Bytes bytes;
    std::vector<std::string> tags;
};

// Every type, with ID strings and OEM data that the writer must quote or
// spell as hex bytes to have them read back unchanged.
std::vector<SavedRecord> EveryType() {
    return {
        {RecordWithIdString(0x01, 43, "CPU Temp"), {"rack1"}},
        {RecordWithIdString(0x02, 27, "Fan 'A'"), {"rack1", "slot 2"}},
        {RecordWithIdString(0x03, 12, "#3 [ STOP ] here"), {}},
        {RecordWithIdString(0x03, 12, "[ STOP ] quoted"), {}},
        {CountingRecord(0x08, 11), {"rack2"}},
        {CountingRecord(0x09, 27), {}},
        {RecordWithIdString(0x10, 11, "RecordType: 15"), {}},
        {RecordWithIdString(0x11, 11, "FRU\x80\x01"), {"rack1"}},
        {RecordWithIdString(0x12, 11, ""), {}},
        {CountingRecord(0x13, 27), {}},
        {CountingRecord(0x14, 11), {"rack1"}},
        {OemRecord("SDR Version 2.1 pkg"), {}},
        {OemRecord(std::string("\x00\x01\xFF", 3)), {}},
    };
}

std::string RecordText(const std::string& type, const std::string& length,
                       const std::string& dataLines) {
    return "RecordType: " + type + "\nRecordLength: " + length + "\n[ PORTION I ]\n" + dataLines;
}

// The 08h record of 16 bytes, as data lines.
const std::string kAssociationData = "00 07 51 08 0B\n07 01 80 0A 01 0B\n02 0C 03 0D 04\n";

}  // namespace

TEST_F(SdrFileTest, ASavedFileLoadsBackEveryRecordByteForByteWithItsTags) {
    const std::vector<SavedRecord> saved = EveryType();
    std::vector<std::unique_ptr<CSdr>> owned;
    std::vector<CSdr*> records;
    for (const SavedRecord& s : saved) {
        owned.push_back(Decoded(s.bytes));
        OrderedList<char*> tags;
        std::vector<std::string> copies = s.tags;
        for (std::string& tag : copies) tags.Add(tag.data());
        ASSERT_EQ(owned.back()->AddTags(tags), PEMRIC_SUCCESS);
        records.push_back(owned.back().get());
    }
    Save(records);

    SdrRecordLists lists;
    ASSERT_EQ(Load("saved.sdr", lists), PEMRIC_SUCCESS)
        << std::string(mError.text.begin(), mError.text.end());
    // The lists keep the file's order, which is the type order.
    std::vector<const SavedRecord*> expected;
    for (const SavedRecord& s : saved) expected.push_back(&s);
    std::stable_sort(expected.begin(), expected.end(), [](auto* a, auto* b) {
        return TypeOrderIndex(a->bytes[3]) < TypeOrderIndex(b->bytes[3]);
    });
    std::size_t next = 0;
    for (unsigned index = 0; index < kTypeOrderCount; ++index) {
        OrderedList<CSdr*>& list = lists.byType[index];
        for (unsigned i = 0; i < list.Count(); ++i, ++next) {
            ASSERT_LT(next, expected.size());
            const SavedRecord& want = *expected[next];
            SCOPED_TRACE(testing::Message() << "record " << next << " of type " << index);
            EXPECT_EQ(TypeOrderIndex(want.bytes[3]), index);
            unsigned char raw[256] = {};
            unsigned char count = 0;
            list[i]->WriteSDRToBuffer(raw, count);
            EXPECT_EQ(Bytes(raw, raw + count), want.bytes);
            std::vector<std::string> tags;
            for (unsigned t = 0; t < list[i]->Tags().Count(); ++t) {
                tags.emplace_back(list[i]->Tags()[t]);
            }
            EXPECT_EQ(tags, want.tags);
            unsigned fields = 0;
            EXPECT_EQ(list[i]->GetNumberOfFields(fields), PEMRIC_SUCCESS);
        }
    }
    EXPECT_EQ(next, expected.size());
}

TEST_F(SdrFileTest, ARecordThatDoesNotDecodeIsStillLoaded) {
    // A type 01h record whose ID string is longer than its length byte says.
    const std::string data = "00 01 51 01 06\n01 02 03 04 05 06\n";
    SdrRecordLists lists;
    ASSERT_EQ(LoadText(HeaderText() + RecordText("01", "000B", data) + "[ STOP ]\n", lists),
              PEMRIC_SUCCESS);
    ASSERT_EQ(lists.byType[0].Count(), 1u);
    unsigned fields = 0;
    EXPECT_EQ(lists.byType[0][0]->GetNumberOfFields(fields), PEMRIC_SDR_NOT_DECODED);
    unsigned char raw[256] = {};
    unsigned char count = 0;
    lists.byType[0][0]->WriteSDRToBuffer(raw, count);
    EXPECT_EQ(count, 11u);
}

TEST_F(SdrFileTest, BrokenFilesFailWithTheirCodeMessageAndLine) {
    const std::string header = HeaderText();
    const unsigned headerLines =
        static_cast<unsigned>(std::count(header.begin(), header.end(), '\n'));
    std::string withoutCount = header;
    withoutCount.erase(withoutCount.find("RecordCount:"),
                       std::string("RecordCount: 0000\n").size());
    struct Case {
        const char* what;
        std::string text;
        unsigned status;
        std::wstring message;
        const char* logLine;
    };
    const Case cases[] = {
        {"no end keyword", header + RecordText("08", "0010", kAssociationData),
         PEMRIC_FILE_READ_ERROR,
         L"Cannot read the SDR file at line " + std::to_wstring(headerLines + 7), nullptr},
        {"the header lacks the record count", withoutCount + "[ STOP ]\n",
         PEMRIC_FILE_KEYWORD_NOT_FOUND, L"RecordCount: is missing from the SDR file", nullptr},
        {"a type the library does not know", header + RecordText("15", "0010", "") + "[ STOP ]\n",
         PEMRIC_FILE_UNSUPPORTED_TYPE,
         L"Unsupported record type at line " + std::to_wstring(headerLines + 1) +
             L" of the SDR file",
         "SdrReadFile::FIL_CountIPMI10SDRTypes - Unsupported SDR Type"},
        {"an unterminated string",
         header + RecordText("08", "0010", "00 07 51 08 0B\n'abc\n") + "[ STOP ]\n",
         PEMRIC_FILE_UNTERMINATED_STRING, L"Unterminated string at line 3 of a record",
         "SdrReadFile::ReadRecFromFile - Error - Unterminated String"},
        {"bytes of another type",
         header + RecordText("14", "0010", kAssociationData) + "[ STOP ]\n",
         PEMRIC_FILE_TYPE_MISMATCH,
         L"The record type does not match its bytes at line 4 of a record",
         "SdrReadFile::ReadRecFromFile - Record Types don't match"},
        {"a data line with more bytes than remain",
         header +
             RecordText("08", "0010", "00 07 51 08 0B\n07 01 80 0A 01 0B\n02 0C 03 0D 04 05\n") +
             "[ STOP ]\n",
         PEMRIC_FILE_BYTE_COUNT_MISMATCH,
         L"The record length does not match its bytes at line 4 of a record",
         "SdrReadFile::ReadRecFromFile - Bad Record Length"},
        {"a length line the record's length byte contradicts",
         header + RecordText("08", "0010", "00 07 51 08 0A\n07 01 80 0A 01 0B\n02 0C 03 0D 04\n") +
             "[ STOP ]\n",
         PEMRIC_FILE_BYTE_COUNT_MISMATCH,
         L"The record length does not match its bytes at line 4 of a record",
         "SdrReadFile::ReadRecFromFile - Bad Record Length"},
        {"a length past the record buffer",
         header + RecordText("08", "0FFF", kAssociationData) + "[ STOP ]\n",
         PEMRIC_FILE_BYTE_COUNT_MISMATCH,
         L"The record length does not match its bytes at line 0 of a record",
         "SdrReadFile::ReadRecFromFile - Bad Record Length"},
        {"a zero length", header + RecordText("08", "0000", "") + "[ STOP ]\n", PEMRIC_FILE_INVALID,
         L"", "SdrReadFile::ReadRecFromFile - Invalid Record Length"},
        {"the end where the record's length should be", header + "RecordType: 08\n[ STOP ]\n",
         PEMRIC_FILE_INVALID, L"RecordLength: is missing from the SDR file",
         "SdrReadFile::ReadSdrRecordsFromFile - Invalid SDR File"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mError.text.clear();
        std::filesystem::remove("DBGLOG.txt");
        SdrRecordLists lists;
        EXPECT_EQ(LoadText(c.text, lists), c.status);
        EXPECT_EQ(mError.text, c.message);
        if (c.logLine != nullptr) {
            EXPECT_NE(Log().find(c.logLine), std::string::npos) << Log();
        }
        for (const OrderedList<CSdr*>& list : lists.byType) EXPECT_EQ(list.Count(), 0u);
    }
}

TEST_F(SdrFileTest, ARecordsTagsEndAtItsDataMarker) {
    const std::string text = HeaderText() + "RecordType: 08\nTag: 'rack1'\nTag: 'row 3' extra\n" +
                             "RecordLength: 0010\n[ PORTION I ]\n" + kAssociationData +
                             "RecordType: 08\nRecordLength: 0010\n[ PORTION I ]\n" +
                             kAssociationData + "RecordType: 08\nTag: 'rack9'\n" +
                             "RecordLength: 0010\n[ PORTION I ]\n" + kAssociationData +
                             "[ STOP ]\n";
    SdrRecordLists lists;
    ASSERT_EQ(LoadText(text, lists), PEMRIC_SUCCESS);
    EXPECT_EQ(mError.text, L"");
    ASSERT_EQ(lists.byType[3].Count(), 3u);
    auto tagsOf = [&](unsigned i) {
        std::vector<std::string> tags;
        const OrderedList<char*>& list = lists.byType[3][i]->Tags();
        for (unsigned t = 0; t < list.Count(); ++t) tags.emplace_back(list[t]);
        return tags;
    };
    EXPECT_EQ(tagsOf(0), (std::vector<std::string>{"rack1", "row 3"}));
    EXPECT_EQ(tagsOf(1), std::vector<std::string>{});
    EXPECT_EQ(tagsOf(2), std::vector<std::string>{"rack9"});
}

TEST(AHextoUINT32, ReadsTheLeadingHexDigits) {
    struct Case {
        const char* text;
        std::uint32_t value;
    };
    const Case cases[] = {{"", 0},           {"1f", 0x1F},    {"C0 rest", 0xC0}, {"0x10", 0},
                          {"FFFFFFFF", ~0u}, {"aB9g", 0xAB9}, {" 12", 0}};
    for (const Case& c : cases) EXPECT_EQ(AHextoUINT32(c.text), c.value) << c.text;
}
