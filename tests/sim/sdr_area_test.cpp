// Our BMC firmware's area path: open area 3, sequenced writes, close with
// the image length and checksum; only a whole, checked image becomes the
// repository, and nothing else ever changes it.
#include <gtest/gtest.h>

#include "sim/bmc/sdr/sdr_record_builder.h"
#include "tests/sim/sdr_requests.h"

namespace {

using simtest::Bytes;
using simtest::CloseArea;
using simtest::OpenArea;
using simtest::ResetSdr;
using simtest::SdrRequests;
using simtest::WriteArea;

Bytes SampleImage() {
    return sim::sdr::JoinRecords(sim::sdr::SampleSet(5));
}

TEST(SdrImageChecksum, WordsAreLittleEndianAndAnOddLastByteIsALowByte) {
    // 0201h + 0003h = 0204h; the checksum brings the sum to zero.
    EXPECT_EQ(sim::sdr::ImageChecksum(Bytes{0x01, 0x02, 0x03}), 0xFDFC);
    EXPECT_EQ(sim::sdr::ImageChecksum(Bytes{0x00, 0x00}), 0x0000);
    EXPECT_EQ(sim::sdr::ImageChecksum(Bytes{0xFF, 0xFF, 0x02, 0x00}), 0xFFFF);
}

TEST(SdrArea, AnImageWithItsLengthAndChecksumBecomesTheRepository) {
    sim::SdrRepository& repository = ResetSdr();
    const Bytes image = SampleImage();
    const std::uint16_t reservation = simtest::Reserve();
    ASSERT_EQ(OpenArea().completionCode, 0x00);
    ASSERT_EQ(simtest::WriteImage(image), 0x00);
    const std::uint16_t checksum = sim::sdr::ImageChecksum(image);
    ASSERT_EQ(CloseArea(static_cast<std::uint32_t>(image.size()), checksum).completionCode, 0x00);
    EXPECT_EQ(repository.Records(), sim::sdr::SampleSet(5));
    // The image changed the repository, so the reservation is gone.
    EXPECT_EQ(simtest::GetSdr(reservation, 1, 5, 1).completionCode, 0xC5);

    const auto writes = SdrRequests("write");
    ASSERT_EQ(writes.size(), (image.size() + 15) / 16);
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].Field("sequence"), std::to_string(i));
    }
    EXPECT_EQ(writes.back().Field("bytes"),
              std::to_string(image.size() % 16 ? image.size() % 16 : 16));
    const auto closes = SdrRequests("close");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].Field("length"), std::to_string(image.size()));
    EXPECT_EQ(std::stoul(closes[0].Field("checksum"), nullptr, 16), checksum);
    EXPECT_EQ(SdrRequests("open")[0].Field("area"), "03");
}

TEST(SdrArea, ABadCloseLeavesTheRepositoryAsItWas) {
    const Bytes image = SampleImage();
    const std::uint16_t checksum = sim::sdr::ImageChecksum(image);
    const auto length = static_cast<std::uint32_t>(image.size());
    Bytes cut = image;
    cut.resize(image.size() - 3);
    struct Case {
        const char* what;
        Bytes written;
        std::uint32_t length;
        std::uint16_t checksum;
        const char* note;
    } cases[] = {
        {"wrong checksum", image, length, static_cast<std::uint16_t>(checksum + 1), "checksum"},
        {"length other than the bytes written", image, length + 1, checksum, "length"},
        {"not whole records", cut, length - 3, sim::sdr::ImageChecksum(cut), "runs past the end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SdrRepository& repository = ResetSdr();
        ASSERT_EQ(OpenArea().completionCode, 0x00);
        ASSERT_EQ(simtest::WriteImage(c.written), 0x00);
        EXPECT_EQ(CloseArea(c.length, c.checksum).completionCode, 0xCC);
        EXPECT_EQ(repository.Records(), sim::sdr::DefaultSet());
        EXPECT_NE(SdrRequests("close").back().note.find(c.note), std::string::npos)
            << SdrRequests("close").back().note;
        // The close ended the area: the next write has nothing to go to.
        EXPECT_EQ(WriteArea(0, {0x01}).completionCode, 0xD5);
    }
}

TEST(SdrArea, RefusesAnotherAreaWritesOutOfSequenceAndWritesWithoutAnOpenArea) {
    ResetSdr();
    EXPECT_EQ(WriteArea(0, {0x01}).completionCode, 0xD5);
    EXPECT_EQ(CloseArea(0, 0).completionCode, 0xD5);
    EXPECT_EQ(OpenArea(0x02).completionCode, 0xCC);
    ASSERT_EQ(OpenArea().completionCode, 0x00);
    EXPECT_EQ(WriteArea(1, {0x01}).completionCode, 0xCC);
    EXPECT_EQ(SdrRequests("write").back().note, "sequence 1, expected 0");
    EXPECT_EQ(WriteArea(0, Bytes(17, 0x00)).completionCode, 0xC7);
    EXPECT_EQ(WriteArea(0, {0x01}).completionCode, 0x00);
    EXPECT_EQ(WriteArea(0, {0x01}).completionCode, 0xCC);
}

TEST(SdrArea, TheFirstSequenceNumberIsASetting) {
    ResetSdr({{"sdr.area.first_sequence", "1"}});
    ASSERT_EQ(OpenArea().completionCode, 0x00);
    EXPECT_EQ(WriteArea(0, {0x01}).completionCode, 0xCC);
    EXPECT_EQ(WriteArea(1, {0x01}).completionCode, 0x00);
}

}  // namespace
