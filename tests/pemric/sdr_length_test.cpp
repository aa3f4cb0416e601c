#include <gtest/gtest.h>

#include <optional>

#include "pemric/pemric_status.h"
#include "record_fixture.h"

using namespace Pemric_Private;

namespace {

struct LengthCase {
    std::uint8_t type;
    unsigned bodyLength;
    // The ID string's type/length byte, for the types that have one.
    std::optional<std::uint8_t> idTypeLength;
    bool accepted;
};

void PrintTo(const LengthCase& c, std::ostream* os) {
    *os << "type " << std::hex << unsigned{c.type} << "h, body " << std::dec << c.bodyLength;
    if (c.idTypeLength) *os << ", type/length " << std::hex << unsigned{*c.idTypeLength} << "h";
}

// Where the type/length byte sits: the last fixed byte of the body.
unsigned IdTypeLengthOffset(std::uint8_t type) {
    switch (type) {
        case 0x01:
            return 5 + 42;
        case 0x02:
            return 5 + 26;
        case 0x03:
            return 5 + 11;
        default:
            return 5 + 10;  // the three locators
    }
}

class BodyLength : public RecordTest, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(BodyLength, IsCheckedAgainstTheRecordType) {
    const LengthCase& c = GetParam();
    Bytes bytes = CountingRecord(c.type, c.bodyLength);
    const unsigned offset = IdTypeLengthOffset(c.type);
    if (c.idTypeLength && offset < bytes.size()) bytes[offset] = *c.idTypeLength;
    std::unique_ptr<CSdr> record = Create(c.type);
    // The buffer holds exactly the bytes the record claims, so a check that
    // read beyond them would be caught by the sanitizer build.
    const unsigned status = record->DecodeSDR(bytes.data());
    unsigned fields = 0;
    if (c.accepted) {
        EXPECT_EQ(status, PEMRIC_SUCCESS);
        EXPECT_EQ(record->GetNumberOfFields(fields), PEMRIC_SUCCESS);
        EXPECT_EQ(Log(), "");
    } else {
        EXPECT_EQ(status, PEMRIC_BAD_RECORD_LENGTH);
        EXPECT_EQ(record->GetNumberOfFields(fields), PEMRIC_SDR_NOT_DECODED);
        char className[16];
        std::snprintf(className, sizeof className, "CSdrType%02X", unsigned{c.type});
        EXPECT_EQ(Log().substr(0, Log().find("\r\n")),
                  std::string(className) + "::DecodeSDR - Bad Record Length");
    }
}

INSTANTIATE_TEST_SUITE_P(
    SensorRecords, BodyLength,
    ::testing::Values(LengthCase{0x01, 43, 0xC0, true}, LengthCase{0x01, 44, 0xC0, false},
                      // 1Fh counts as no ID string: exactly 48 bytes in all.
                      LengthCase{0x01, 43, 0x1F, true}, LengthCase{0x01, 74, 0x1F, false},
                      LengthCase{0x01, 59, 0xD0, true}, LengthCase{0x01, 58, 0xD0, false},
                      LengthCase{0x01, 73, 0xDE, true},
                      // Too short to hold its own type/length byte.
                      LengthCase{0x01, 10, std::nullopt, false}, LengthCase{0x02, 27, 0xC0, true},
                      LengthCase{0x02, 30, 0xC3, true}, LengthCase{0x02, 29, 0xC3, false},
                      LengthCase{0x02, 26, std::nullopt, false}, LengthCase{0x03, 12, 0xC0, true},
                      LengthCase{0x03, 13, 0xC1, true}, LengthCase{0x03, 13, 0xC0, false},
                      LengthCase{0x03, 11, std::nullopt, false}));

INSTANTIATE_TEST_SUITE_P(
    OtherRecords, BodyLength,
    ::testing::Values(
        LengthCase{0x08, 11, std::nullopt, true}, LengthCase{0x08, 10, std::nullopt, false},
        LengthCase{0x08, 12, std::nullopt, false}, LengthCase{0x09, 27, std::nullopt, true},
        LengthCase{0x09, 26, std::nullopt, false}, LengthCase{0x10, 11, 0xC0, true},
        LengthCase{0x10, 16, 0xC5, true}, LengthCase{0x10, 15, 0xC5, false},
        LengthCase{0x11, 11, 0xC0, true}, LengthCase{0x11, 41, 0xDE, true},
        LengthCase{0x11, 12, 0xDF, false}, LengthCase{0x12, 11, 0xDF, true},
        LengthCase{0x12, 10, std::nullopt, false}, LengthCase{0x13, 27, std::nullopt, true},
        LengthCase{0x13, 28, std::nullopt, false}, LengthCase{0x14, 11, std::nullopt, true},
        LengthCase{0x14, 12, std::nullopt, false},
        // At most 64 bytes in all.
        LengthCase{0xC0, 59, std::nullopt, true}, LengthCase{0xC0, 60, std::nullopt, false},
        LengthCase{0xC0, 5, std::nullopt, true}));

TEST_F(RecordTest, AHeaderWithoutABodyIsRefusedBeforeTheType) {
    for (unsigned length : {0u, 4u}) {
        Bytes bytes = CountingRecord(0xC0, length);
        std::unique_ptr<CSdr> record = Create(0xC0);
        EXPECT_EQ(record->DecodeSDR(bytes.data()), PEMRIC_BAD_RECORD_LENGTH) << length;
        RecHdrStructTag header;
        EXPECT_EQ(record->DecodeHeader(bytes.data(), header), PEMRIC_BAD_RECORD_LENGTH);
    }
    EXPECT_EQ(
        Log(),
        "CSdr::DecodeHeader - Bad Record Length\r\nCSdr::DecodeHeader - Bad Record Length\r\n"
        "CSdr::DecodeHeader - Bad Record Length\r\nCSdr::DecodeHeader - Bad Record Length\r\n");
}

TEST_F(RecordTest, DecodeHeaderReadsTheRecordIdHighByteFirst) {
    std::unique_ptr<CSdr> record = Create(0x01);
    const Bytes bytes{0x12, 0x34, 0x51, 0x01, 0x05};
    RecHdrStructTag header;
    ASSERT_EQ(record->DecodeHeader(bytes.data(), header), PEMRIC_SUCCESS);
    EXPECT_EQ(header.recordId, 0x1234);
    EXPECT_EQ(header.sdrVersion, 0x51);
    EXPECT_EQ(header.recordType, 0x01);
    EXPECT_EQ(header.recordLength, 5);
}

}  // namespace
