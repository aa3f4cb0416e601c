// Multi-records from a caller or a configuration file: splitting, checksums
// and serialising.
#include <gtest/gtest.h>

#include "fru_image_builder.h"
#include "fru_test_support.h"
#include "orvel/fru.h"
#include "orvel/orvel_status.h"

namespace {

using namespace Orvel_Private;
using fru_test::Bytes;
using fru_test::MultiRecord;

const Bytes kPowerSupply = MultiRecord(0x00, Bytes(24, 0x11), false);
const Bytes kOem = MultiRecord(0xC0, {0x57, 0x01, 0x00, 0x42}, true);

Bytes Serialized(const CFru& fru, std::size_t capacity, std::uint32_t& status) {
    Bytes buffer(capacity, 0xCC);
    std::uint32_t written = 0xFFFF;
    status = fru.SerializeMultiRecArea(buffer, written);
    buffer.resize(written);
    return buffer;
}

TEST(FruMultiRecordArea, SplitsTheBytesIntoRecordsByTheirLengths) {
    CFru fru;
    const Bytes bytes = fru_test::Concat({kPowerSupply, kOem});
    ASSERT_EQ(fru.SetMultiRecArea(bytes, true), ORVEL_SUCCESS);
    ASSERT_EQ(fru.MultiRecords().size(), 2u);
    EXPECT_EQ(fru.MultiRecords()[0].mTypeId, 0x00);
    EXPECT_EQ(fru.MultiRecords()[0].mDataLength, 24);
    EXPECT_TRUE(fru.MultiRecords()[1].IsEndOfList());
    EXPECT_EQ(fru.GetMultiRecAreaLength(), bytes.size());
    EXPECT_TRUE(fru.IsMultiRecModified());
    EXPECT_TRUE(fru.CheckMultiRecCheckSum());

    std::uint32_t status = 0;
    EXPECT_EQ(Serialized(fru, bytes.size(), status), bytes);
    EXPECT_EQ(status, ORVEL_SUCCESS);
}

TEST(FruMultiRecordArea, ModifiedFlagFollowsTheCaller) {
    CFru fru;
    ASSERT_EQ(fru.SetMultiRecArea(kOem, true), ORVEL_SUCCESS);
    ASSERT_EQ(fru.SetMultiRecArea(kOem, false), ORVEL_SUCCESS);
    EXPECT_FALSE(fru.IsMultiRecModified());
    ASSERT_EQ(fru.SetMultiRecArea(kOem, true), ORVEL_SUCCESS);
    fru.ResetMultiRecModified();
    EXPECT_FALSE(fru.IsMultiRecModified());
}

TEST(FruMultiRecordArea, NoBytesMeansNoRecords) {
    CFru fru;
    ASSERT_EQ(fru.SetMultiRecArea(kOem, false), ORVEL_SUCCESS);
    ASSERT_EQ(fru.SetMultiRecArea({}, true), ORVEL_SUCCESS);
    EXPECT_TRUE(fru.MultiRecords().empty());
    EXPECT_EQ(fru.GetMultiRecAreaLength(), 0u);
}

// Checksums and the end-of-list bit are for the check, not for splitting.
TEST(FruMultiRecordArea, KeepsRecordsWithBadChecksumsForTheCheck) {
    const std::pair<std::size_t, const char*> damages[] = {
        {3, "data checksum"}, {4, "header checksum"}, {7, "data byte"}};
    for (const auto& [at, what] : damages) {
        Bytes bytes = fru_test::Concat({kPowerSupply, kOem});
        bytes[kPowerSupply.size() + at] ^= 0x01;
        CFru fru;
        ASSERT_EQ(fru.SetMultiRecArea(bytes, false), ORVEL_SUCCESS) << what;
        EXPECT_EQ(fru.MultiRecords().size(), 2u) << what;
        EXPECT_FALSE(fru.CheckMultiRecCheckSum()) << what;
        EXPECT_TRUE(fru.MultiRecords()[0].IsValid()) << what;
    }
}

struct Cut {
    const char* name;
    Bytes bytes;
};

void PrintTo(const Cut& c, std::ostream* os) {
    *os << c.name;
}

class FruMultiRecordRefused : public ::testing::TestWithParam<Cut> {};

// Bytes that end inside a record would leave a record that reaches past
// what was given; they are refused and the records stay as they were.
TEST_P(FruMultiRecordRefused, WhenARecordDoesNotLieWithinTheBytes) {
    fru_test::NumberedStrings strings;
    CFru fru;
    ASSERT_EQ(fru.SetMultiRecArea(kPowerSupply, false), ORVEL_SUCCESS);
    EXPECT_EQ(fru.SetMultiRecArea(GetParam().bytes, true), ORVEL_ERROR_INVALID_MULTIREC_AREA);
    EXPECT_EQ(fru_test::TakeLastError(), L"#108 #134 00 20 20 FF");
    ASSERT_EQ(fru.MultiRecords().size(), 1u);
    EXPECT_EQ(fru.GetMultiRecAreaLength(), kPowerSupply.size());
    EXPECT_FALSE(fru.IsMultiRecModified());
}

Bytes Cropped(const Bytes& bytes, std::size_t size) {
    return {bytes.begin(), bytes.begin() + size};
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, FruMultiRecordRefused,
    ::testing::Values(Cut{"OneByte", Cropped(kOem, 1)}, Cut{"FourBytes", Cropped(kOem, 4)},
                      Cut{"HeaderOnly", Cropped(kOem, 5)},
                      Cut{"LastRecordShortOfData",
                          fru_test::Concat({kPowerSupply, Cropped(kOem, kOem.size() - 1)})},
                      Cut{"HeaderAfterLastRecordCut", fru_test::Concat({kOem, Bytes{0xC0, 0x02}})},
                      Cut{"LongerThanSixteenBits", Bytes(65540, 0x00)}),
    [](const auto& info) { return info.param.name; });

TEST(FruMultiRecordArea, SerialisingNeedsRoomForEveryRecord) {
    CFru fru;
    const Bytes bytes = fru_test::Concat({kPowerSupply, kOem});
    ASSERT_EQ(fru.SetMultiRecArea(bytes, false), ORVEL_SUCCESS);
    for (const std::size_t capacity : {bytes.size() - 1, kPowerSupply.size() + 4, std::size_t{0}}) {
        std::uint32_t status = 0;
        EXPECT_TRUE(Serialized(fru, capacity, status).empty()) << capacity;
        EXPECT_EQ(status, ORVEL_ERROR_UNEXPECTED) << capacity;
    }
    std::uint32_t status = 0;
    EXPECT_EQ(Serialized(fru, bytes.size() + 10, status), bytes);
    EXPECT_EQ(status, ORVEL_SUCCESS);
}

}  // namespace
