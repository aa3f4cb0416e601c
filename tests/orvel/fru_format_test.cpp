#include "orvel/fru_format.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "fru_image_builder.h"
#include "orvel/fru_header.h"

namespace {

using namespace Orvel_Private;
using fru_test::Bytes;

TEST(FruFormat, TypeLengthByteAnnouncesItsLowSixBits) {
    const std::array<std::pair<std::uint8_t, std::uint8_t>, 5> cases{
        {{0xC0, 0}, {0xC1, 1}, {0x3F, 63}, {0xFF, 63}, {0x8A, 10}}};
    for (const auto& [typeLength, length] : cases) {
        EXPECT_EQ(FruDefs::DecodeLength(typeLength), length) << int{typeLength};
    }
}

TEST(FruFormat, ChecksumMakesTheBytesSumToZero) {
    const Bytes header{0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
    EXPECT_EQ(ZeroChecksum(header), 0xFE);
    EXPECT_EQ(ZeroChecksum(Bytes{}), 0x00);
    EXPECT_EQ(ZeroChecksum(Bytes{0x80, 0x80}), 0x00);
    EXPECT_EQ(ByteSum(Bytes{0xFF, 0x02}), 0x01);
}

TEST(FruFormat, ManufacturingDateCountsLittleEndianMinutesSince1996) {
    struct Case {
        std::array<std::uint8_t, 3> bytes;
        std::time_t minutes;
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x00}, 0},     {{0x01, 0x00, 0x00}, 1},        {{0x3C, 0x00, 0x00}, 60},
        {{0x00, 0x01, 0x00}, 0x100}, {{0xFF, 0xFF, 0xFF}, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MfgDateTimeToUnixTime(c.bytes), 820454400 + c.minutes * 60) << c.minutes;
    }
}

struct HeaderCase {
    const char* name;
    Bytes bytes;
    bool ipmi;
    bool valid;
};

void PrintTo(const HeaderCase& c, std::ostream* os) {
    *os << c.name;
}

class FruHeaderCheck : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(FruHeaderCheck, AcceptsVersionOneAndAZeroSum) {
    CFruHeader header;
    header.SetData(std::span<const std::uint8_t, 8>(GetParam().bytes.data(), 8));
    EXPECT_EQ(header.IsIpmiFormat(), GetParam().ipmi);
    EXPECT_EQ(header.IsValid(), GetParam().valid);
    // Kept as read, pad and reserved version bits included.
    const auto data = header.GetData();
    EXPECT_EQ(Bytes(data.begin(), data.end()), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, FruHeaderCheck,
    ::testing::Values(
        HeaderCase{"BoardOnly", {0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFE}, true, true},
        HeaderCase{"VersionBitsAboveTwoIgnored",
                   fru_test::HeaderImage{.version = 0x09, .offsets = {0, 0, 1, 0, 0}}.Build(), true,
                   true},
        HeaderCase{"PadKept",
                   fru_test::HeaderImage{.offsets = {0, 0, 1, 0, 0}, .pad = 0x5A}.Build(), true,
                   true},
        HeaderCase{"VersionTwo",
                   fru_test::HeaderImage{.version = 0x02, .offsets = {0, 0, 1, 0, 0}}.Build(),
                   false, true},
        HeaderCase{"ChecksumOffByOne",
                   fru_test::HeaderImage{.offsets = {0, 0, 1, 0, 0}, .checksumError = 1}.Build(),
                   true, false}),
    [](const auto& info) { return info.param.name; });

}  // namespace
