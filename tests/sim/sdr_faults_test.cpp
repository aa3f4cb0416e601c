// The SDR repository's faults on demand, each as a client meets it: busy
// answers, an erase that never ends, a reservation cancelled in the middle
// of a record, parts dropped or refused, a right checksum refused, a record
// chain that loops, a length byte that lies.
#include <gtest/gtest.h>

#include "sim/bmc/sdr/sdr_record_builder.h"
#include "tests/sim/sdr_requests.h"

namespace {

using simtest::AskBmc;
using simtest::Bytes;
using simtest::GetSdr;
using simtest::Reserve;
using simtest::ResetSdr;
using simtest::SdrRequests;
using simtest::WordAt;

TEST(SdrFaults, BusyAnswersTheCodeTheGivenNumberOfTimes) {
    ResetSdr({{"sdr.fault.busy", "2:0xC3"}});
    EXPECT_EQ(simtest::SdrInfo().completionCode, 0xC3);
    EXPECT_EQ(AskBmc(0x0A, 0x22).completionCode, 0xC3);
    EXPECT_EQ(simtest::SdrInfo().completionCode, 0x00);
    const auto requests = SdrRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].note, "busy");
    EXPECT_EQ(requests[1].operation, "reserve");
    EXPECT_EQ(requests[1].note, "busy");
    EXPECT_EQ(requests[2].note, "");
}

TEST(SdrFaults, AnEraseThatNeverCompletesKeepsReportingProgress) {
    sim::SdrRepository& repository = ResetSdr({{"sdr.fault.erase_stuck", "1"}});
    const std::uint16_t reservation = Reserve();
    EXPECT_EQ(simtest::ClearSdr(reservation, 0xAA).data, Bytes{0x00});
    sim::TheMachine().Clock().Advance(3'600'000'000'000);
    EXPECT_EQ(simtest::ClearSdr(reservation, 0x00).data, Bytes{0x00});
    EXPECT_EQ(repository.Records(), sim::sdr::DefaultSet());
}

TEST(SdrFaults, AReservationCancelledInTheMiddleOfARecord) {
    ResetSdr({{"sdr.fault.cancel_reservation", "2"}});
    const std::uint16_t reservation = Reserve();
    EXPECT_EQ(GetSdr(reservation, 3, 0, 5).completionCode, 0x00);
    EXPECT_EQ(GetSdr(reservation, 3, 5, 16).completionCode, 0x00);
    EXPECT_EQ(GetSdr(reservation, 3, 21, 16).completionCode, 0xC5);
    EXPECT_EQ(SdrRequests("get").back().note, "reservation cancelled");
    // It strikes once: a new reservation reads the record through.
    EXPECT_EQ(simtest::ReadRecord(3, 16), Bytes(simtest::Repository().Records()[2].begin(),
                                                simtest::Repository().Records()[2].end()));
}

TEST(SdrFaults, ADroppedPartIsAnsweredButNotKept) {
    const sim::sdr::Record record = sim::sdr::BuildRecord(sim::sdr::kFullSensor, 1);
    sim::SdrRepository& repository = ResetSdr({{"sdr.fault.drop_part", "2"}});
    const std::size_t before = repository.Records().size();
    const std::uint16_t reservation = Reserve();
    const sim::ipmi::Response first =
        simtest::PartialAdd(reservation, 0, 0, false, Bytes(record.begin(), record.begin() + 16));
    const std::uint16_t id = WordAt(first.data, 0);
    EXPECT_EQ(simtest::PartialAdd(reservation, id, 16, false,
                                  Bytes(record.begin() + 16, record.begin() + 32))
                  .completionCode,
              0x00);
    EXPECT_EQ(SdrRequests("add").back().note, "part dropped");
    // The BMC holds 16 bytes, so the client's next part is out of place.
    EXPECT_EQ(
        simtest::PartialAdd(reservation, id, 32, true, Bytes(record.begin() + 32, record.end()))
            .completionCode,
        0xCC);
    EXPECT_EQ(repository.Records().size(), before);
}

TEST(SdrFaults, ARefusedPartAnswersItsCodeAndADroppedAreaWriteFailsTheClose) {
    const sim::sdr::Record record = sim::sdr::BuildRecord(sim::sdr::kOemRecord, 1);
    sim::SdrRepository& refusing = ResetSdr({{"sdr.fault.refuse_part", "1:0xC0"}});
    const std::size_t before = refusing.Records().size();
    EXPECT_EQ(simtest::PartialAdd(Reserve(), 0, 0, true, record).completionCode, 0xC0);
    EXPECT_EQ(refusing.Records().size(), before);
    EXPECT_EQ(SdrRequests("add").back().note, "part refused");

    const Bytes image = sim::sdr::JoinRecords(sim::sdr::SampleSet(3));
    sim::SdrRepository& dropping = ResetSdr({{"sdr.fault.drop_part", "1"}});
    ASSERT_EQ(simtest::OpenArea().completionCode, 0x00);
    ASSERT_EQ(simtest::WriteImage(image), 0x00);
    EXPECT_EQ(
        simtest::CloseArea(static_cast<std::uint32_t>(image.size()), sim::sdr::ImageChecksum(image))
            .completionCode,
        0xCC);
    EXPECT_EQ(dropping.Records(), sim::sdr::DefaultSet());
}

TEST(SdrFaults, ARightChecksumRefusedOnceThenTaken) {
    const Bytes image = sim::sdr::JoinRecords(sim::sdr::SampleSet(3));
    sim::SdrRepository& repository = ResetSdr({{"sdr.fault.close_checksum", "1"}});
    for (const std::uint8_t expected : {0xCC, 0x00}) {
        ASSERT_EQ(simtest::OpenArea().completionCode, 0x00);
        ASSERT_EQ(simtest::WriteImage(image), 0x00);
        EXPECT_EQ(simtest::CloseArea(static_cast<std::uint32_t>(image.size()),
                                     sim::sdr::ImageChecksum(image))
                      .completionCode,
                  expected);
    }
    EXPECT_EQ(repository.Records(), sim::sdr::SampleSet(3));
}

TEST(SdrFaults, AChainThatLoopsAndALengthByteThatLies) {
    sim::SdrRepository& repository =
        ResetSdr({{"sdr.fault.loop", "3"}, {"sdr.fault.length_byte", "2:0x80"}});
    const sim::ipmi::Response looping = GetSdr(0, 3, 0, 5);
    ASSERT_EQ(looping.completionCode, 0x00);
    EXPECT_EQ(WordAt(looping.data, 0), 1);
    EXPECT_EQ(SdrRequests("get").back().Field("next"), "0001");
    const sim::ipmi::Response lying = GetSdr(0, 2, 0, 5);
    ASSERT_EQ(lying.completionCode, 0x00);
    EXPECT_EQ(lying.data[2 + 4], 0x80);
    EXPECT_EQ(repository.Records()[1][4] + 5u, repository.Records()[1].size());
}

}  // namespace
