// The block checksum, the hex pair sum and the Vitesse name rule.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "duvane/duvane_status.h"
#include "duvane/fw_file.h"
#include "image_fixture.h"

namespace duvane_test {
namespace {

using namespace DirectFwUpdate_Private;

struct BlockSum {
    const char* name;
    Bytes block;
    int size;
    bool holds;
};

class VerifyChecksumTest : public ::testing::TestWithParam<BlockSum> {};

TEST_P(VerifyChecksumTest, HoldsWhenTheWordSumEndsInAZeroByte) {
    const BlockSum& sum = GetParam();
    std::vector<unsigned short> words((sum.block.size() + 1) / 2);
    std::memcpy(words.data(), sum.block.data(), sum.block.size());
    EXPECT_EQ(CfwFile::VerifyChecksum(words.data(), sum.size), sum.holds);
}

INSTANTIATE_TEST_SUITE_P(Blocks, VerifyChecksumTest,
                         ::testing::Values(
                             // 0x2210 + 0x33F0 = 0x5600: only the low byte of the sum counts.
                             BlockSum{"HighBytesDoNotCount", {0x10, 0x22, 0xF0, 0x33}, 4, true},
                             BlockSum{"LowByteLeftOver", {0x10, 0x22, 0xF1, 0x33}, 4, false},
                             // Words are little-endian: only the bytes at even offsets reach the
                             // low byte of the sum.
                             BlockSum{"WordsAreLittleEndian", {0x01, 0x00, 0xFF, 0x00}, 4, true},
                             BlockSum{
                                 "BigEndianReadingWouldHold", {0x01, 0x01, 0x00, 0xFF}, 4, false},
                             BlockSum{"SizeCountsBytes", {0x01, 0x00, 0xFF, 0x00}, 2, false},
                             // An odd last byte is a word's low byte: 0x0010 + 0xF0 = 0x100.
                             BlockSum{"OddLastByteIsALowByte", {0x10, 0x00, 0xF0}, 3, true},
                             BlockSum{"EmptyBlock", {0x01}, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PairSum {
    const char* hex;
    int length;
    unsigned char sum;
};

class StrChecksumTest : public ::testing::TestWithParam<PairSum> {};

TEST_P(StrChecksumTest, SumsTheCompletePairs) {
    EXPECT_EQ(CfwFile::strChecksum(GetParam().hex, GetParam().length), GetParam().sum);
}

INSTANTIATE_TEST_SUITE_P(Pairs, StrChecksumTest,
                         ::testing::Values(PairSum{"10", 2, 0x10}, PairSum{"FFFF", 4, 0xFE},
                                           PairSum{"ff01", 4, 0x00},
                                           PairSum{"0100000001FE", 12, 0x00},
                                           PairSum{"0102030", 7, 0x06}, PairSum{"0102", 2, 0x01},
                                           PairSum{"G1", 2, 0x01}, PairSum{"12", 0, 0x00}));

struct DeviceName {
    const char* name;
    std::uint8_t address;
    bool vitesse;
};

class VitesseTest : public ImageTest, public ::testing::WithParamInterface<DeviceName> {};

// The name is compared over its own length with the start of "VSC".
TEST_P(VitesseTest, NameIsAPrefixOfVsc) {
    Bytes image = ErasedImage(0x400);
    Place(image, 0, BootInfoBlock({.deviceName = GetParam().name, .address = GetParam().address}));
    Place(image, 0x200, OpCodeInfoBlock());
    CfwFile file(FW_FILE_BINARY, 0);
    ASSERT_EQ(file.ProcessFile(WriteImage("hsc.bin", image).c_str(), nullptr), DUVANE_SUCCESS);
    EXPECT_EQ(file.IsHscVitesse(), GetParam().vitesse);
}

INSTANTIATE_TEST_SUITE_P(Names, VitesseTest,
                         ::testing::Values(DeviceName{"VSC", 0xC0, true},
                                           DeviceName{"", 0xC2, true}, DeviceName{"VS", 0xC0, true},
                                           DeviceName{"VSC7", 0xC0, false},
                                           DeviceName{"VSCAB", 0xC2, false},
                                           DeviceName{"vsc", 0xC0, false},
                                           DeviceName{"HSC", 0xC0, false}));

}  // namespace
}  // namespace duvane_test
