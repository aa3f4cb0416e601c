// The SDR repository commands as the BMC answers them through its command
// table: repository info, reservations and what cancels them, Get SDR over
// the record chain and its limits, Partial Add SDR in parts, and the erase
// of Clear SDR Repository in virtual time. Each case checks the answers,
// the records the repository holds and what the request log recorded.
#include <gtest/gtest.h>

#include <string>

#include "sim/bmc/sdr/sdr_record_builder.h"
#include "tests/sim/kcs_host.h"
#include "tests/sim/sdr_requests.h"

namespace {

using simtest::AskBmc;
using simtest::Bytes;
using simtest::GetSdr;
using simtest::Repository;
using simtest::Reserve;
using simtest::ResetSdr;
using simtest::SdrRequests;
using simtest::WordAt;

Bytes RecordBytes(std::size_t index) {
    const sim::sdr::Record& record = Repository().Records().at(index);
    return Bytes(record.begin(), record.end());
}

// ------------------------------------------------------------ info

TEST(SdrRepositoryInfo, ReportsVersionCountFreeSpaceTimesAndSupport) {
    sim::SdrRepository& repository = ResetSdr({{"sdr.capacity", "4096"}});
    std::size_t used = 0;
    for (const auto& record : repository.Records()) used += record.size();
    const sim::ipmi::Response info = simtest::SdrInfo();
    ASSERT_EQ(info.completionCode, 0x00);
    ASSERT_EQ(info.data.size(), 14u);
    EXPECT_EQ(info.data[0], 0x51);
    EXPECT_EQ(WordAt(info.data, 1), repository.Records().size());
    EXPECT_EQ(WordAt(info.data, 3), 4096 - used);
    EXPECT_EQ(WordAt(info.data, 5) | WordAt(info.data, 7) << 16, repository.AdditionTime());
    EXPECT_EQ(WordAt(info.data, 9) | WordAt(info.data, 11) << 16, 0);  // never erased
    EXPECT_EQ(info.data[13], 0x26);
    ASSERT_EQ(SdrRequests("info").size(), 1u);
    EXPECT_EQ(SdrRequests("info")[0].completionCode, 0x00);
}

TEST(SdrRepositoryInfo, AFreshServerHasTheDefaultSetAndAnEmptyOneNone) {
    EXPECT_EQ(ResetSdr().Records(), sim::sdr::DefaultSet());
    ResetSdr({{"sdr.initial", "empty"}});
    const sim::ipmi::Response info = simtest::SdrInfo();
    EXPECT_EQ(WordAt(info.data, 1), 0);
    EXPECT_EQ(WordAt(info.data, 3), 8192);
    EXPECT_EQ(GetSdr(0, 0x0000, 0, 5).completionCode, 0xCB);
}

TEST(SdrRepositoryInfo, TheTimestampsAreTheVirtualTimesOfTheLastAddAndErase) {
    ResetSdr({{"sdr.erase_ms", "0"}});
    constexpr std::uint32_t kStart = 1767225600;  // virtual zero, 2026-01-01
    const auto timeAt = [](std::size_t at) {
        const Bytes data = simtest::SdrInfo().data;
        return static_cast<std::uint32_t>(WordAt(data, at) | WordAt(data, at + 2) << 16);
    };
    EXPECT_EQ(timeAt(5), kStart);
    sim::TheMachine().Clock().Advance(10'000'000'000);
    ASSERT_EQ(simtest::ClearSdr(Reserve(), 0xAA).data, Bytes{0x01});
    EXPECT_EQ(timeAt(9), kStart + 10);
    sim::TheMachine().Clock().Advance(5'000'000'000);
    ASSERT_NE(simtest::AddRecord(sim::sdr::UnknownTypeRecord()), 0);
    EXPECT_EQ(timeAt(5), kStart + 15);
    EXPECT_EQ(timeAt(9), kStart + 10);
}

// ------------------------------------------------------------ reservations

TEST(SdrReservation, ANewerOneCancelsTheOlderAndOffsetZeroNeedsNone) {
    ResetSdr();
    const std::uint16_t first = Reserve();
    const std::uint16_t second = Reserve();
    EXPECT_NE(first, 0);
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(GetSdr(first, 1, 5, 4).completionCode, 0xC5);
    EXPECT_EQ(GetSdr(second, 1, 5, 4).completionCode, 0x00);
    // The header needs no reservation at all, so a client can walk them.
    EXPECT_EQ(GetSdr(0, 1, 0, 5).completionCode, 0x00);
    EXPECT_EQ(GetSdr(0, 1, 5, 4).completionCode, 0xC5);

    const auto reserves = SdrRequests("reserve");
    ASSERT_EQ(reserves.size(), 2u);
    EXPECT_EQ(std::stoul(reserves[1].Field("reservation"), nullptr, 16), second);
    const auto gets = SdrRequests("get");
    ASSERT_EQ(gets.size(), 4u);
    EXPECT_EQ(gets[0].note, "not the current reservation");
    EXPECT_EQ(gets[1].Field("offset"), "5");
    EXPECT_EQ(gets[1].Field("count"), "4");
}

TEST(SdrReservation, AnAddedRecordOrACompletedEraseCancelsIt) {
    ResetSdr({{"sdr.erase_ms", "0"}});
    const std::uint16_t before = Reserve();
    ASSERT_NE(simtest::AddRecord(sim::sdr::UnknownTypeRecord()), 0);
    EXPECT_EQ(GetSdr(before, 1, 5, 4).completionCode, 0xC5);
    const std::uint16_t erasing = Reserve();
    ASSERT_EQ(simtest::ClearSdr(erasing, 0xAA).data, Bytes{0x01});
    EXPECT_EQ(SdrRequests("get").back().note, "reservation cancelled");
    EXPECT_EQ(GetSdr(erasing, 1, 5, 4).completionCode, 0xC5);
}

// ------------------------------------------------------------ Get SDR

TEST(GetSdr, WalksTheChainFromFirstToFFFFhAndReadsEveryRecordWhole) {
    sim::SdrRepository& repository = ResetSdr();
    std::uint16_t id = 0x0000;
    std::size_t index = 0;
    while (id != 0xFFFF) {
        SCOPED_TRACE(index);
        ASSERT_LT(index, repository.Records().size());
        std::uint16_t next = 0;
        EXPECT_EQ(simtest::ReadRecord(id, 16, &next), RecordBytes(index));
        id = next;
        ++index;
    }
    EXPECT_EQ(index, repository.Records().size());
    // FFFFh names the last record.
    const sim::ipmi::Response last = GetSdr(0, 0xFFFF, 0, 5);
    ASSERT_EQ(last.completionCode, 0x00);
    EXPECT_EQ(WordAt(last.data, 0), 0xFFFF);
    const Bytes lastRecord = RecordBytes(index - 1);
    EXPECT_EQ(Bytes(last.data.begin() + 2, last.data.end()),
              Bytes(lastRecord.begin(), lastRecord.begin() + 5));
}

TEST(GetSdr, AWholeRecordReadIsTheRestOfTheRecordWithinTheLargestRead) {
    ResetSdr({{"sdr.max_read", "64"}});
    const std::uint16_t reservation = Reserve();
    const Bytes record = RecordBytes(2);  // a full sensor record, over 48 bytes
    const sim::ipmi::Response whole = GetSdr(reservation, 3, 0, 0xFF);
    ASSERT_EQ(whole.completionCode, 0x00);
    EXPECT_EQ(Bytes(whole.data.begin() + 2, whole.data.end()), record);
    const sim::ipmi::Response rest = GetSdr(reservation, 3, 10, 0xFF);
    EXPECT_EQ(Bytes(rest.data.begin() + 2, rest.data.end()),
              Bytes(record.begin() + 10, record.end()));
}

TEST(GetSdr, RefusesWhatItCannotAnswer) {
    ResetSdr({{"sdr.max_read", "16"}});
    const std::uint16_t reservation = Reserve();
    const std::size_t length = RecordBytes(0).size();
    struct Case {
        const char* what;
        std::uint16_t id;
        std::uint8_t offset;
        std::uint8_t count;
        std::uint8_t code;
        const char* note;
    } cases[] = {
        {"no such record", 0x0777, 0, 5, 0xCB, "no such record"},
        {"count over the largest read", 1, 0, 17, 0xCA, "read limit 16 bytes"},
        {"whole record over the largest read", 3, 0, 0xFF, 0xCA, "read limit 16 bytes"},
        {"offset at the end", 1, static_cast<std::uint8_t>(length), 1, 0xC9, "offset past the end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const sim::ipmi::Response answer = GetSdr(reservation, c.id, c.offset, c.count);
        EXPECT_EQ(answer.completionCode, c.code);
        EXPECT_TRUE(answer.data.empty());
        EXPECT_EQ(SdrRequests("get").back().note, c.note);
        EXPECT_EQ(SdrRequests("get").back().completionCode, c.code);
    }
    // A count running past the end returns what there is.
    const sim::ipmi::Response tail =
        GetSdr(reservation, 1, static_cast<std::uint8_t>(length - 3), 8);
    ASSERT_EQ(tail.completionCode, 0x00);
    EXPECT_EQ(tail.data.size(), 2u + 3);
    EXPECT_EQ(SdrRequests("get").back().note, "3 of 8");
}

TEST(GetSdr, TheTableRefusesAnotherLengthOrLunBeforeTheCommand) {
    ResetSdr();
    EXPECT_EQ(AskBmc(0x0A, 0x23, {0, 0, 1, 0, 0}).completionCode, 0xC7);
    const Bytes request = {0, 0, 1, 0, 0, 5};
    EXPECT_EQ(sim::TheMachine()
                  .Find<sim::Bmc>()
                  ->Process({0x0A, 1, 0x23, request, sim::ipmi::Origin::kSystemInterface, 0})
                  .completionCode,
              0xC2);
    const auto gets = SdrRequests("get");
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_EQ(gets[0].completionCode, 0xC7);
    EXPECT_EQ(gets[1].completionCode, 0xC2);
}

TEST(GetSdr, AnswersThroughTheKcsInterfaceAsThroughTheTable) {
    ResetSdr();
    simtest::KcsHost host;
    Bytes response;
    // netFn 0Ah LUN 0, Get SDR of the first record's header, no reservation.
    const Bytes frame = {0x28, 0x23, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05};
    ASSERT_EQ(host.Exchange(frame, &response), simtest::KcsHost::Result::kOk);
    const Bytes record = RecordBytes(0);
    Bytes expected = {0x2C, 0x23, 0x00, 0x02, 0x00};
    expected.insert(expected.end(), record.begin(), record.begin() + 5);
    EXPECT_EQ(response, expected);
    const auto gets = SdrRequests("get");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].Field("record"), "0000");
    EXPECT_EQ(gets[0].Field("next"), "0002");
}

// ------------------------------------------------------------ Partial Add

TEST(PartialAddSdr, TheRecordAppearsWithItsIdOnlyOnTheLastPart) {
    sim::SdrRepository& repository = ResetSdr();
    const std::size_t before = repository.Records().size();
    const sim::sdr::Record record = sim::sdr::BuildRecord(sim::sdr::kFullSensor, 4);
    const std::uint16_t reservation = Reserve();
    const sim::ipmi::Response first =
        simtest::PartialAdd(reservation, 0, 0, false, Bytes(record.begin(), record.begin() + 16));
    ASSERT_EQ(first.completionCode, 0x00);
    const std::uint16_t id = WordAt(first.data, 0);
    EXPECT_EQ(id, before + 1);
    EXPECT_EQ(repository.Records().size(), before);
    ASSERT_EQ(simtest::PartialAdd(reservation, id, 16, false,
                                  Bytes(record.begin() + 16, record.begin() + 32))
                  .completionCode,
              0x00);
    EXPECT_EQ(repository.Records().size(), before);
    const sim::ipmi::Response last =
        simtest::PartialAdd(reservation, id, 32, true, Bytes(record.begin() + 32, record.end()));
    ASSERT_EQ(last.completionCode, 0x00);
    EXPECT_EQ(WordAt(last.data, 0), id);
    ASSERT_EQ(repository.Records().size(), before + 1);
    sim::sdr::Record expected = record;
    sim::sdr::SetRecordId(expected, id);
    EXPECT_EQ(repository.Records().back(), expected);

    const auto adds = SdrRequests("add");
    ASSERT_EQ(adds.size(), 3u);
    EXPECT_EQ(adds[0].Field("record"), "0000");
    EXPECT_EQ(adds[1].Field("offset"), "16");
    EXPECT_EQ(adds[2].Field("flag"), "01");
    EXPECT_EQ(adds[2].length, record.size() - 32);
    EXPECT_EQ(std::stoul(adds[2].Field("id"), nullptr, 16), id);
}

TEST(PartialAddSdr, RefusesPartsOutOfOrderAndRecordsOfAnotherLength) {
    const sim::sdr::Record record = sim::sdr::BuildRecord(sim::sdr::kCompactSensor, 1);
    const Bytes head(record.begin(), record.begin() + 16);
    const Bytes tail(record.begin() + 16, record.end());
    Bytes longer = tail;
    longer.push_back(0x00);
    struct Case {
        const char* what;
        std::uint16_t id;  // of the second part; 0: the one the first was answered
        std::uint8_t offset;
        Bytes second;
        std::uint8_t code;
    } cases[] = {
        {"offset short of the bytes so far", 0, 8, tail, 0xCC},
        {"offset beyond them", 0, 20, tail, 0xCC},
        {"another record ID", 0x0333, 16, tail, 0xCC},
        {"fewer bytes than the header says", 0, 16, Bytes(tail.begin(), tail.end() - 1), 0x80},
        {"more bytes", 0, 16, longer, 0x80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SdrRepository& repository = ResetSdr();
        const std::size_t before = repository.Records().size();
        const std::uint16_t reservation = Reserve();
        const sim::ipmi::Response first = simtest::PartialAdd(reservation, 0, 0, false, head);
        ASSERT_EQ(first.completionCode, 0x00);
        const std::uint16_t id = c.id != 0 ? c.id : WordAt(first.data, 0);
        EXPECT_EQ(simtest::PartialAdd(reservation, id, c.offset, true, c.second).completionCode,
                  c.code);
        EXPECT_EQ(repository.Records().size(), before);
        EXPECT_EQ(SdrRequests("add").back().completionCode, c.code);
    }
}

TEST(PartialAddSdr, RefusesAFirstPartWithoutItsHeaderAWrongReservationAndAFullRepository) {
    const sim::sdr::Record record = sim::sdr::BuildRecord(sim::sdr::kOemRecord, 1);
    ResetSdr();
    const std::uint16_t reservation = Reserve();
    EXPECT_EQ(simtest::PartialAdd(reservation, 0, 0, false, {0x00, 0x00, 0x51}).completionCode,
              0xCC);
    EXPECT_EQ(SdrRequests("add").back().note, "a first part without the header");
    EXPECT_EQ(simtest::PartialAdd(reservation, 5, 0, true, record).completionCode, 0xCC);
    EXPECT_EQ(simtest::PartialAdd(reservation + 1, 0, 0, true, record).completionCode, 0xC5);
    EXPECT_EQ(simtest::PartialAdd(0, 0, 0, true, record).completionCode, 0xC5);

    sim::SdrRepository& full = ResetSdr({{"sdr.initial", "empty"}, {"sdr.capacity", "8"}});
    EXPECT_EQ(simtest::PartialAdd(Reserve(), 0, 0, true, record).completionCode, 0xC4);
    EXPECT_TRUE(full.Records().empty());
}

// ------------------------------------------------------------ Clear

TEST(ClearSdrRepository, TheEraseTakesItsVirtualTimeThenTheRecordsAreGone) {
    sim::SdrRepository& repository = ResetSdr({{"sdr.erase_ms", "50"}});
    const std::size_t records = repository.Records().size();
    const std::uint16_t reservation = Reserve();
    EXPECT_EQ(simtest::ClearSdr(reservation, 0xAA).data, Bytes{0x00});
    sim::TheMachine().Clock().Advance(20'000'000);
    EXPECT_EQ(simtest::ClearSdr(reservation, 0x00).data, Bytes{0x00});
    EXPECT_EQ(repository.Records().size(), records);
    sim::TheMachine().Clock().Advance(30'000'000);
    // Its end cancels the reservation, which may still ask how it went.
    EXPECT_EQ(simtest::ClearSdr(reservation, 0x00).data, Bytes{0x01});
    EXPECT_TRUE(repository.Records().empty());
    EXPECT_NE(repository.EraseTime(), 0u);
    EXPECT_EQ(simtest::ClearSdr(reservation, 0xAA).completionCode, 0xC5);

    const auto clears = SdrRequests("clear");
    ASSERT_EQ(clears.size(), 4u);
    EXPECT_EQ(clears[0].Field("flag"), "AA");
    EXPECT_EQ(clears[1].Field("progress"), "00");
    EXPECT_EQ(clears[2].Field("progress"), "01");
    EXPECT_GE(clears[2].atNs - clears[0].atNs, 50'000'000u);
}

TEST(ClearSdrRepository, RefusesAnotherWordOrActionOrReservation) {
    ResetSdr();
    const std::uint16_t reservation = Reserve();
    Bytes notClr = simtest::Word(reservation);
    notClr.insert(notClr.end(), {'C', 'L', 'X', 0xAA});
    EXPECT_EQ(AskBmc(0x0A, 0x27, notClr).completionCode, 0xCC);
    EXPECT_EQ(simtest::ClearSdr(reservation, 0x55).completionCode, 0xCC);
    EXPECT_EQ(simtest::ClearSdr(reservation + 1, 0xAA).completionCode, 0xC5);
    EXPECT_FALSE(Repository().Records().empty());
    const auto clears = SdrRequests("clear");
    ASSERT_EQ(clears.size(), 3u);
    EXPECT_EQ(clears[0].note, "not \"CLR\"");
}

}  // namespace
