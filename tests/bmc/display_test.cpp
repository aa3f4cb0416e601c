#include "bmc/display.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> gShown;

void Show(const wchar_t* text) {
    gShown.emplace_back(text);
}

class DisplayTest : public ::testing::Test {
  protected:
    void SetUp() override { gShown.clear(); }
};

TEST_F(DisplayTest, FormatsOneMessageForTheCallback) {
    EXPECT_EQ(cbwprintf(Show, L"\n*%ls*\n\n", L"Unable to initialize DUVANE list"), 0);
    EXPECT_EQ(cbwprintf(Show, L"%d of %u: %02X", -1, 7u, 0xAB), 0);
    EXPECT_EQ(gShown, (std::vector<std::wstring>{L"\n*Unable to initialize DUVANE list*\n\n",
                                                 L"-1 of 7: AB"}));
}

TEST_F(DisplayTest, WithoutCallbackNothingIsShown) {
    EXPECT_EQ(cbwprintf(nullptr, L"%ls", L"lost"), 0);
    EXPECT_EQ(cbwprintf(Show, nullptr), 0);
    EXPECT_TRUE(gShown.empty());
}

struct LengthCase {
    std::size_t length;
    std::size_t shown;
};

void PrintTo(const LengthCase& c, std::ostream* os) {
    *os << c.length << " characters";
}

class DisplayLength : public DisplayTest, public ::testing::WithParamInterface<LengthCase> {};

// A message fits 1023 characters; a longer one arrives cut, never overflows.
TEST_P(DisplayLength, DeliversAtMost1023Characters) {
    std::wstring text;
    for (std::size_t i = 0; i < GetParam().length; ++i) text += static_cast<wchar_t>(L'a' + i % 26);
    EXPECT_EQ(cbwprintf(Show, L"%ls", text.c_str()), 0);
    ASSERT_EQ(gShown.size(), 1u);
    EXPECT_EQ(gShown[0], text.substr(0, GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(Lengths, DisplayLength,
                         ::testing::Values(LengthCase{0, 0}, LengthCase{1022, 1022},
                                           LengthCase{1023, 1023}, LengthCase{1024, 1023},
                                           LengthCase{5000, 1023}));

}  // namespace
