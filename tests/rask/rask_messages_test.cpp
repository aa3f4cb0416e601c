// What a host reads after a failure: the flash layer's results mapped to
// the public codes, and their texts word for word.
#include "rask/rask_messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "rask/rask_status.h"

namespace {

using namespace Rask_Private;

std::wstring Message(unsigned code) {
    wchar_t text[256];
    FormatRaskMessage(code, text, 256);
    return text;
}

TEST(RaskCodes, FlashResultsMapToTheirPublicCodesAndTheRestToUnknown) {
    struct Case {
        unsigned result;
        unsigned code;
    };
    const Case cases[] = {
        {0, 0},
        {2, 0xC00E0002},
        {3, 0xC00E0003},
        {4, 0xC00E0004},
        {9, 0xC00E0009},
        {12, 0xC00E000C},
        {13, 0xC00E000D},
        {17, 0xC00E0011},
        {18, 0xC00E0012},
        {19, 0xC00E0014},
        {23, 0xC00E0018},
        {24, 0xC00E001F},
        // No flash result makes C00E0013h; these have no mapping of their own.
        {1, 0xC00E0001},
        {25, 0xC00E0001},
        {50, 0xC00E0001},
        {52, 0xC00E0001},
        {59, 0xC00E0001},
        // Set-notify on a board that cannot be told.
        {26, 0xC00E001B},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PublicCode(static_cast<FUL_RETURN>(c.result)), c.code) << c.result;
    }
}

TEST(RaskCodes, TextsNameTheDriverTheErrnoAndTheUnknownCode) {
    errno = 13;
    EXPECT_EQ(
        Message(0xC00E000B),
        L"Unable to communicate with the /dev/mem driver, (errno 13).\n        The driver may "
        L"not be installed.");
    EXPECT_EQ(Message(0xC00E000A), L"Unable to load or initialize the /dev/mem driver.");
    EXPECT_EQ(Message(0xC00E001A),
              L"Unable to load librask.so.\n        The utility may not be completely installed.");
    EXPECT_EQ(Message(0xC00E0001), L"Unknown Error in the Rask Protocol: ErrorCode = 0xc00e0001.");
    // Locking has no text of its own.
    EXPECT_EQ(Message(0xC00E001E), L"Unknown Error in the Rask Protocol: ErrorCode = 0xc00e001e.");
    // The blanks are the BIOS update protocol's own.
    EXPECT_EQ(Message(0xC00E000E),
              L"Failed to locate or  verify the BIOS Flash Segment Table.\n        The system BIOS "
              L"may not support online updates.");
    EXPECT_EQ(Message(0xC00E0019), L"Rask Protocol Interface has not been initialized.");
}

TEST(RaskCodes, ATextLongerThanTheBufferIsCutAndTerminated) {
    wchar_t text[12];
    FormatRaskMessage(0xC00E0018, text, 12);
    EXPECT_EQ(std::wstring(text).size(), 11u);
}

}  // namespace
