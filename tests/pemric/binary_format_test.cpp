#include <gtest/gtest.h>

#include "pemric/pemric_status.h"
#include "record_fixture.h"

using namespace Pemric_Private;

namespace {

struct BinaryCase {
    unsigned value;
    unsigned bits;
    const wchar_t* text;
    unsigned status;
};

void PrintTo(const BinaryCase& c, std::ostream* os) {
    *os << c.value << " in " << c.bits << " bits";
}

class BinaryFormatTest : public RecordTest, public ::testing::WithParamInterface<BinaryCase> {};

TEST_P(BinaryFormatTest, GroupsDigitsInFoursFromTheRight) {
    std::unique_ptr<CSdr> record = Create(0x01);
    wchar_t text[kSdrTextLength];
    EXPECT_EQ(record->BinaryFormat(text, GetParam().value, GetParam().bits), GetParam().status);
    EXPECT_STREQ(text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Widths, BinaryFormatTest,
                         ::testing::Values(BinaryCase{5, 4, L"0101b", PEMRIC_SUCCESS},
                                           BinaryCase{0, 8, L"0000 0000b", PEMRIC_SUCCESS},
                                           BinaryCase{0x3FF, 10, L"11 1111 1111b", PEMRIC_SUCCESS},
                                           BinaryCase{0x155, 10, L"01 0101 0101b", PEMRIC_SUCCESS},
                                           BinaryCase{2, 2, L"10b", PEMRIC_SUCCESS},
                                           BinaryCase{0x2A, 6, L"10 1010b", PEMRIC_SUCCESS},
                                           // Too wide: the low bits are still shown.
                                           BinaryCase{300, 8, L"0010 1100b", PEMRIC_VALUE_TOO_WIDE},
                                           BinaryCase{16, 4, L"0000b", PEMRIC_VALUE_TOO_WIDE}));

TEST_F(RecordTest, BinaryFormatStaysInsideASmallBuffer) {
    std::unique_ptr<CSdr> record = Create(0x01);
    wchar_t text[6];
    EXPECT_EQ(record->BinaryFormat(text, 0x3FF, 10), PEMRIC_SUCCESS);
    EXPECT_STREQ(text, L"11 11");
}

}  // namespace
