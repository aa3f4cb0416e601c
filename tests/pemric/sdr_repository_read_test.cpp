// Reading the repository: one reservation per record, the 5-byte header
// then parts of 16, the bounds on reservations and record chains, and the
// codes of every failure.
#include <gtest/gtest.h>

#include "pemric/pemric_status.h"
#include "pemric/string_ids.h"
#include "sdr_repository_fixture.h"
#include "sim/bmc/sdr/sdr_record_builder.h"

namespace sdr_repository_test {
namespace {

using namespace Pemric_Private;

std::vector<unsigned> GetOffsets(const std::vector<LoggedRequest>& gets) {
    std::vector<unsigned> offsets;
    for (const LoggedRequest& get : gets) offsets.push_back(std::stoul(get.Field("offset")));
    return offsets;
}

std::vector<unsigned> GetCounts(const std::vector<LoggedRequest>& gets) {
    std::vector<unsigned> counts;
    for (const LoggedRequest& get : gets) counts.push_back(get.length);
    return counts;
}

Record Bytes(const SdrRecordBuffer& buffer) {
    return Record(buffer.begin(), buffer.begin() + buffer[4] + 5);
}

TEST_F(SdrRepositoryTest, ARecordIsReadAsItsHeaderThenPartsOfSixteenUnderOneReservation) {
    struct Case {
        unsigned body;
        std::vector<unsigned> counts;
        std::vector<unsigned> offsets;
    } cases[] = {
        {11, {5, 11}, {0, 5}},
        {32, {5, 16, 16}, {0, 5, 21}},
        {27, {5, 16, 11}, {0, 5, 21}},
        {16, {5, 16}, {0, 5}},
        {0, {5}, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        const Record record = CountingRecord(0xC0, c.body, 0x40);
        BootWith({record});
        SdrRecordBuffer buffer{};
        std::uint16_t id = 0;
        ASSERT_EQ(System().ReadRecFromBMC(buffer, id), PEMRIC_SUCCESS);
        EXPECT_EQ(id, 0xFFFF);
        EXPECT_EQ(Bytes(buffer), Held()[0]);
        const auto gets = Requests("get");
        EXPECT_EQ(GetCounts(gets), c.counts);
        EXPECT_EQ(GetOffsets(gets), c.offsets);
        EXPECT_EQ(Requests("reserve").size(), 1u);
        const std::string reservation = Requests("reserve")[0].Field("reservation");
        for (const LoggedRequest& get : gets) EXPECT_EQ(get.Field("reservation"), reservation);
    }
}

TEST_F(SdrRepositoryTest, TheWholeRepositoryGoesIntoTheListsOfTheirTypesWithProgress) {
    BootWith({sim::sdr::FullSensor({.number = 0x30, .sensorType = 0x01, .name = "CPU Temp"}),
              sim::sdr::FruDeviceLocator(1, "Board FRU"), sim::sdr::OemRecord(0x157, {1, 2, 3}),
              sim::sdr::FullSensor({.number = 0x31, .sensorType = 0x02, .name = "P12V"})});
    SDRPROPERTIES properties;
    ASSERT_EQ(System().LoadSdrProperties(properties), PEMRIC_SUCCESS);
    EXPECT_EQ(properties.recordCount, 4);
    EXPECT_EQ(properties.sdrVersion, 0x51);
    SdrRecordLists lists;
    unsigned total = 0;
    ASSERT_EQ(System().LoadSdrRecordsToList(lists, properties, total), PEMRIC_SUCCESS);
    EXPECT_EQ(lists.byType[0].Count(), 2u);
    EXPECT_EQ(lists.byType[6].Count(), 1u);
    EXPECT_EQ(lists.byType[10].Count(), 1u);
    unsigned expectedTotal = 0;
    for (const Record& record : Held()) expectedTotal += static_cast<unsigned>(record.size());
    EXPECT_EQ(total, expectedTotal);
    // Every record under a reservation of its own.
    EXPECT_EQ(Requests("reserve").size(), 4u);
    ASSERT_EQ(gProgress.size(), 4u);
    for (unsigned i = 0; i < 4; ++i) {
        EXPECT_EQ(gProgress[i].type, PROGRESS_COUNT);
        EXPECT_EQ(gProgress[i].text, Text(kProgressReadingRecords));
        EXPECT_EQ(gProgress[i].done, i + 1);
        EXPECT_EQ(gProgress[i].total, 4u);
    }
    // The records keep their bytes as read.
    std::array<unsigned char, 256> raw{};
    unsigned char count = 0;
    lists.byType[0][1]->WriteSDRToBuffer(raw.data(), count);
    EXPECT_EQ(Record(raw.begin(), raw.begin() + count), Held()[3]);
}

TEST_F(SdrRepositoryTest, AReservationCancelledInARecordRestartsThatRecordUnderANewOne) {
    const Record record = CountingRecord(0xC0, 40);
    BootWith({record}, {{"sdr.fault.cancel_reservation", "2:1"}});
    SdrRecordBuffer buffer{};
    std::uint16_t id = 0;
    ASSERT_EQ(System().ReadRecFromBMC(buffer, id), PEMRIC_SUCCESS);
    EXPECT_EQ(Bytes(buffer), Held()[0]);
    EXPECT_EQ(id, 0xFFFF);
    EXPECT_EQ(Operations(), "reserve get get get reserve get get get get");
    EXPECT_EQ(Requests("get")[2].completionCode, 0xC5);
    EXPECT_EQ(GetOffsets(Requests("get")), (std::vector<unsigned>{0, 5, 21, 0, 5, 21, 37}));
}

TEST_F(SdrRepositoryTest, AReservationCancelledOverAndOverEndsTheReadAfterABoundedNumber) {
    BootWith({CountingRecord(0xC0, 40)}, {{"sdr.fault.cancel_reservation", "1:always"}});
    SdrRecordBuffer buffer{};
    std::uint16_t id = 0;
    EXPECT_EQ(System().ReadRecFromBMC(buffer, id), PEMRIC_GET_SDR_FAILED);
    EXPECT_EQ(Requests("reserve").size(), kReservationRestarts + 1);
    EXPECT_EQ(id, 0);
}

TEST_F(SdrRepositoryTest, ARepositoryThatNeverEndsOrYieldsFarMoreThanItSaysEndsTheLoad) {
    std::vector<Record> records;
    for (unsigned i = 0; i < 3; ++i) records.push_back(CountingRecord(0xC0, 8, i));
    BootWith(records, {{"sdr.fault.loop", "3"}});
    SdrRecordLists lists;
    unsigned total = 0;
    SDRPROPERTIES properties;
    ASSERT_EQ(System().LoadSdrProperties(properties), PEMRIC_SUCCESS);
    EXPECT_EQ(System().LoadSdrRecordsToList(lists, properties, total), PEMRIC_GET_SDR_FAILED);
    // Each record once; the lists keep what was read.
    EXPECT_EQ(Requests("reserve").size(), 3u);
    EXPECT_EQ(lists.byType[10].Count(), 3u);

    // Far more records than the count the load was given.
    std::vector<Record> many(40, CountingRecord(0xC0, 8));
    BootWith(many);
    SdrRecordLists more;
    EXPECT_EQ(System().LoadSdrRecordsToListMBMC(more, 2, total), PEMRIC_GET_SDR_FAILED);
    EXPECT_EQ(more.byType[10].Count(), 20u);
}

TEST_F(SdrRepositoryTest, FailuresEndTheLoadWithTheirCodesAndKeepWhatWasRead) {
    const Record badLength = CountingRecord(0x01, 10);  // a full sensor needs more
    struct Case {
        const char* what;
        std::map<std::string, std::string> settings;
        std::vector<Record> records;
        unsigned status;
        unsigned kept;
    } cases[] = {
        {"busy",
         {{"sdr.fault.busy", "always"}},
         {CountingRecord(0xC0, 8)},
         PEMRIC_RESERVATION_FAILED,
         0},
        {"type the library does not know",
         {},
         {CountingRecord(0xC0, 8), CountingRecord(0x15, 8)},
         PEMRIC_SDR_TYPE_NOT_SUPPORTED,
         1},
        {"length byte longer than the record",
         {{"sdr.fault.length_byte", "2:40"}},
         {CountingRecord(0xC0, 8), CountingRecord(0xC0, 8)},
         PEMRIC_GET_SDR_FAILED,
         1},
        {"largest read below sixteen",
         {{"sdr.max_read", "8"}},
         {CountingRecord(0xC0, 20)},
         PEMRIC_GET_SDR_FAILED,
         0},
        {"record that does not decode",
         {},
         {CountingRecord(0xC0, 8), badLength},
         PEMRIC_BAD_RECORD_LENGTH,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BootWith(c.records, c.settings);
        SdrRecordLists lists;
        unsigned total = 0;
        EXPECT_EQ(System().LoadSdrRecordsToList(lists, {.recordCount = 2}, total), c.status);
        EXPECT_EQ(lists.byType[10].Count(), c.kept);
    }
}

TEST_F(SdrRepositoryTest, TheSecondLoadKeepsARecordThatDoesNotDecode) {
    BootWith({CountingRecord(0xC0, 8), CountingRecord(0x01, 10)});
    SdrRecordLists lists;
    unsigned total = 0;
    ASSERT_EQ(System().LoadSdrRecordsToListMBMC(lists, 2, total), PEMRIC_SUCCESS);
    ASSERT_EQ(lists.byType[0].Count(), 1u);
    unsigned count = 0;
    EXPECT_EQ(lists.byType[0][0]->GetNumberOfFields(count), PEMRIC_SDR_NOT_DECODED);
    EXPECT_EQ(total, 13u + 15u);
}

TEST_F(SdrRepositoryTest, RepositoryInformationFailuresHaveTheirCodes) {
    BootWith({}, {{"sdr.fault.busy", "always"}});
    SDRPROPERTIES properties;
    EXPECT_EQ(System().LoadSdrProperties(properties), PEMRIC_BMC_REQUEST_FAILED);
    EXPECT_EQ(Requests("info").size(), 1u);
}

}  // namespace
}  // namespace sdr_repository_test
