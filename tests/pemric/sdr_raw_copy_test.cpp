#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "pemric/pemric_status.h"
#include "record_fixture.h"

using namespace Pemric_Private;

namespace {

TEST_F(RecordTest, TheRawCopyIsTheRecordAsRead) {
    const Bytes bytes = CountingRecord(0x14, 11);
    std::unique_ptr<CSdr> record = Create(0x14);
    std::array<unsigned char, 64> buffer{};
    unsigned char count = 99;
    // Without a copy nothing is written.
    EXPECT_EQ(record->WriteSDRToBuffer(buffer.data(), count), PEMRIC_SUCCESS);
    EXPECT_EQ(count, 99);
    EXPECT_EQ(buffer[0], 0);

    ASSERT_EQ(record->CopyrawSDR(bytes.data()), PEMRIC_SUCCESS);
    EXPECT_EQ(record->WriteSDRToBuffer(nullptr, count), PEMRIC_SUCCESS);
    EXPECT_EQ(count, 99);
    EXPECT_EQ(record->WriteSDRToBuffer(buffer.data(), count), PEMRIC_SUCCESS);
    ASSERT_EQ(count, 16);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 16), bytes);
    EXPECT_EQ(buffer[16], 0);
}

TEST_F(RecordTest, ARecordLongerThanTheByteCountKeepsNoRawCopy) {
    // 251 + 5 bytes do not fit the one-byte count; 250 + 5 do.
    for (unsigned length : {250u, 251u}) {
        const Bytes bytes = CountingRecord(0xC0, length);
        std::unique_ptr<CSdr> record = Create(0xC0);
        ASSERT_EQ(record->CopyrawSDR(bytes.data()), PEMRIC_SUCCESS);
        std::array<unsigned char, 256> buffer{};
        unsigned char count = 0;
        record->WriteSDRToBuffer(buffer.data(), count);
        EXPECT_EQ(count, length == 250 ? 255 : 0) << length;
    }
}

TEST_F(RecordTest, TagsAreTheRecordsOwnCopies) {
    char first[] = "SR1600";
    char second[] = "BASE";
    OrderedList<char*> tags;
    tags.Add(first);
    tags.Add(second);
    std::unique_ptr<CSdr> record = Create(0x01);
    ASSERT_EQ(record->AddTags(tags), PEMRIC_SUCCESS);
    ASSERT_EQ(record->AddTags(tags), PEMRIC_SUCCESS);
    std::strcpy(first, "XXXXXX");
    const OrderedList<char*>& kept = record->Tags();
    ASSERT_EQ(kept.Count(), 4u);
    EXPECT_STREQ(kept[0], "SR1600");
    EXPECT_STREQ(kept[1], "BASE");
    EXPECT_STREQ(kept[2], "SR1600");
    EXPECT_NE(kept[0], first);
    EXPECT_EQ(tags.Count(), 2u);
}

// The library replaces its string table when the host changes language; a
// record made before reads from the new one.
TEST_F(RecordTest, RecordsReadTheTableInstalledNow) {
    std::unique_ptr<CSdr> record = Decoded(CountingRecord(0x14, 11));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(Title(*record, 0), L"Record ID");
    std::unique_ptr<CStringResource> replaced = std::move(mTable);
    wchar_t* title = nullptr;
    record->SelectField(0);
    ASSERT_EQ(record->GetFieldTitle(title), PEMRIC_SUCCESS);
    EXPECT_STREQ(title, L"");
    mTable = std::move(replaced);
    EXPECT_EQ(Title(*record, 0), L"Record ID");
}

}  // namespace
