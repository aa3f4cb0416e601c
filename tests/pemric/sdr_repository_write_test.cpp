// Writing the repository: the erase and its polls, records added in parts,
// the image written to the BMC's SDR area with its checksum, and the two
// commit paths with their read-back and failures.
#include <gtest/gtest.h>

#include <cstdio>

#include "pemric/pemric_status.h"
#include "pemric/sdr_factory.h"
#include "pemric/string_ids.h"
#include "sdr_repository_fixture.h"
#include "sim/bmc/sdr/sdr_record_builder.h"
#include "sim/bmc/sdr/sdr_repository.h"

namespace sdr_repository_test {
namespace {

using namespace Pemric_Private;

std::vector<CommitRecord> ToCommit(const std::vector<Record>& records) {
    std::vector<CommitRecord> commit;
    for (const Record& record : records) commit.push_back({TypeOrderIndex(record[3]), record});
    return commit;
}

// The records as the repository holds them, without their IDs.
std::vector<Record> WithoutIds(std::vector<Record> records) {
    for (Record& record : records) sim::sdr::SetRecordId(record, 0);
    return records;
}

TEST(SdrChecksum, TheImageAsLittleEndianWordsSumsWithItsChecksumToZero) {
    EXPECT_EQ(ChecksumSDRs(std::vector<unsigned char>{0x01, 0x02, 0x03}), 0xFDFC);
    EXPECT_EQ(ChecksumSDRs(std::vector<unsigned char>{}), 0x0000);
    EXPECT_EQ(ChecksumSDRs(std::vector<unsigned char>{0xFF, 0xFF, 0x01, 0x00}), 0x0000);
    EXPECT_EQ(ChecksumSDRs(std::vector<unsigned char>{0x34, 0x12}), 0xEDCC);
}

TEST_F(SdrRepositoryTest, ARecordIsAddedInPartsOfSixteenUnderTheIdTheBmcGaveTheFirst) {
    BootWith({CountingRecord(0xC0, 8)});
    const Record record = CountingRecord(0xC0, 12, 0x80);  // 17 bytes
    ASSERT_EQ(System().SendRecordToBMC(record), PEMRIC_SUCCESS);
    const auto adds = Requests("add");
    ASSERT_EQ(adds.size(), 2u);
    EXPECT_EQ(adds[0].Field("offset"), "0");
    EXPECT_EQ(adds[0].Field("flag"), "00");
    EXPECT_EQ(adds[0].Field("record"), "0000");
    EXPECT_EQ(adds[0].length, 16u);
    EXPECT_EQ(adds[1].Field("offset"), "16");
    EXPECT_EQ(adds[1].Field("flag"), "01");
    EXPECT_EQ(adds[1].Field("record"), adds[0].Field("id"));
    EXPECT_EQ(adds[1].length, 1u);
    // The data counts of the two requests: 6 bytes before the record's.
    const auto sent = KcsRequests(0x0A, sim::sdr::kPartialAddSdr);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].request.size(), 22u);
    EXPECT_EQ(sent[1].request.size(), 7u);
    ASSERT_EQ(Held().size(), 2u);
    EXPECT_EQ(WithoutIds(Held())[1], record);
}

TEST_F(SdrRepositoryTest, TheEraseIsPolledAtMostThreeTimesWithPausesBetween) {
    struct Case {
        const char* what;
        std::map<std::string, std::string> settings;
        unsigned polls;
        std::size_t left;
    } cases[] = {
        {"erase completes within the first pause", {{"sdr.erase_ms", "200"}}, 1, 0},
        {"erase takes two pauses", {{"sdr.erase_ms", "800"}}, 2, 0},
        {"erase never completes", {{"sdr.fault.erase_stuck", "1"}}, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BootWith({CountingRecord(0xC0, 8), CountingRecord(0xC0, 6)}, c.settings);
        // Ending without completion is not a failure of the erase itself.
        EXPECT_EQ(System().ClearSDRRepository(), PEMRIC_SUCCESS);
        const auto clears = Requests("clear");
        ASSERT_EQ(clears.size(), 1 + c.polls);
        EXPECT_EQ(clears[0].Field("flag"), "AA");
        for (unsigned i = 1; i < clears.size(); ++i) {
            EXPECT_EQ(clears[i].Field("flag"), "00");
            EXPECT_GE(clears[i].atNs - clears[i - 1].atNs, 500'000'000u);
        }
        EXPECT_EQ(Held().size(), c.left);
    }
}

TEST_F(SdrRepositoryTest, ClearAndAddWritesTheRecordsAndReadsThemBack) {
    BootWith({CountingRecord(0xC0, 8)});
    const std::vector<Record> records = {
        sim::sdr::FullSensor({.number = 0x30, .sensorType = 0x01, .name = "CPU Temp"}),
        sim::sdr::FruDeviceLocator(1, "Board FRU"), sim::sdr::OemRecord(0x157, {1, 2, 3})};
    mLastError = L"earlier";
    ASSERT_EQ(Commit().ClearAndAdd(ToCommit(records), 1), PEMRIC_SUCCESS);
    EXPECT_EQ(WithoutIds(Held()), records);
    EXPECT_EQ(mLastError, L"");
    EXPECT_EQ(gDisplayed, L"\n\n\n\n");
    // Clear, three adds (each record under its own reservation), then the
    // read-back: information and every record.
    EXPECT_EQ(Requests("add").size(), 7u);  // 53, 22 and 13 bytes in parts of 16
    EXPECT_EQ(Requests("info").size(), 1u);
    EXPECT_EQ(Requests("reserve").size(), 1u + 3u + 3u);
    std::vector<std::wstring> messages;
    for (const Progress& progress : gProgress) {
        if (progress.type == PROGRESS_MESSAGE) messages.push_back(progress.text);
    }
    EXPECT_EQ(messages,
              (std::vector<std::wstring>{Text(kProgressClearing), Text(kProgressWritingRecords),
                                         L"\n", Text(kProgressReadingBack), L"\n"}));
}

TEST_F(SdrRepositoryTest, ClearAndAddFailsWhenAnAddFailsOrTheReadBackDiffers) {
    const std::vector<Record> records = {CountingRecord(0xC0, 20, 1), CountingRecord(0xC0, 8, 2)};
    struct Case {
        const char* what;
        std::map<std::string, std::string> settings;
        unsigned status;
        bool verificationShown;
    } cases[] = {
        {"a part refused", {{"sdr.fault.refuse_part", "2"}}, PEMRIC_BMC_REQUEST_FAILED, false},
        // The BMC finds the record short at its last part and refuses it.
        {"a part dropped", {{"sdr.fault.drop_part", "1"}}, PEMRIC_BMC_REQUEST_FAILED, false},
        // The records it held are still there when the new ones are read back.
        {"an erase that never ends", {{"sdr.fault.erase_stuck", "1"}}, PEMRIC_UPDATE_FAILED, true},
        {"the BMC busy", {{"sdr.fault.busy", "always"}}, PEMRIC_RESERVATION_FAILED, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gDisplayed.clear();
        BootWith({CountingRecord(0xC0, 8, 9)}, c.settings);
        mLastError.clear();
        EXPECT_EQ(Commit().ClearAndAdd(ToCommit(records), 1), c.status);
        EXPECT_EQ(mLastError, Text(kMessageCommitFailed));
        EXPECT_EQ(gDisplayed.find(L"SDR Verification failed") != std::wstring::npos,
                  c.verificationShown);
    }
}

TEST_F(SdrRepositoryTest, TheAreaPathStreamsTheImageInSequencedPartsAndClosesWithItsChecksum) {
    BootWith({CountingRecord(0xC0, 8)});
    std::vector<Record> records = {CountingRecord(0xC0, 20, 1), CountingRecord(0x12, 11, 2)};
    sim::sdr::SetRecordId(records[0], 0x0010);
    sim::sdr::SetRecordId(records[1], 0x0011);
    mLastError = L"earlier";
    ASSERT_EQ(Commit().WriteArea(ToCommit(records)), PEMRIC_SUCCESS);
    EXPECT_EQ(Held(), records);
    EXPECT_EQ(mLastError, L"");
    EXPECT_EQ(Operations(), "open write write write close");
    const auto writes = Requests("write");
    std::vector<std::string> sequences;
    std::vector<std::uint32_t> lengths;
    for (const LoggedRequest& write : writes) {
        sequences.push_back(write.Field("sequence"));
        lengths.push_back(write.length);
    }
    EXPECT_EQ(sequences, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(lengths, (std::vector<std::uint32_t>{16, 9, 16}));
    Record image = records[0];
    image.insert(image.end(), records[1].begin(), records[1].end());
    const LoggedRequest close = Requests("close")[0];
    EXPECT_EQ(close.length, image.size());
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "%04X", ChecksumSDRs(image));
    EXPECT_EQ(close.Field("checksum"), checksum);
}

TEST_F(SdrRepositoryTest, TheAreaPathFailsWithItsCodeAndKeepsTheFailureText) {
    const std::vector<Record> records = {CountingRecord(0xC0, 20, 1)};
    struct Case {
        const char* what;
        std::map<std::string, std::string> settings;
        std::string operations;
    } cases[] = {
        {"open refused", {{"sdr.fault.busy", "always"}}, "open"},
        {"a write refused", {{"sdr.fault.refuse_part", "2"}}, "open write write"},
        {"the close refused", {{"sdr.fault.close_checksum", "1"}}, "open write write close"},
        {"the sequence other than the BMC's", {{"sdr.area.first_sequence", "0"}}, "open write"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BootWith({CountingRecord(0xC0, 8, 9)}, c.settings);
        const std::vector<Record> before = Held();
        mLastError.clear();
        EXPECT_EQ(Commit().WriteArea(ToCommit(records)), PEMRIC_UPDATE_FAILED);
        EXPECT_EQ(mLastError, Text(kMessageCommitFailed));
        EXPECT_EQ(Operations(), c.operations);
        EXPECT_EQ(Held(), before);
    }
}

}  // namespace
}  // namespace sdr_repository_test
