#include "bmc/string_locale.h"

#include <gtest/gtest.h>

#include "scratch_dir.h"
#include "str_file_image.h"

namespace {

constexpr wchar_t kFileName[] = L"lib/str/lib.str";

class StringLocaleTest : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        WriteFile("enus/lib/str/lib.str", StrFileImage::Of({u"Hello"}).Bytes());
        WriteFile("dede/lib/str/lib.str", StrFileImage::Of({u"Hallo"}).Bytes());
        StrFileImage unreadable = StrFileImage::Of({u"Salut", u"x"});
        unreadable.offsets[1] = 0x10000;  // Initialize takes it, CacheAll does not
        WriteFile("frfr/lib/str/lib.str", unreadable.Bytes());
        ASSERT_EQ(SwitchStringLocale(mTable, L"en", L"us", kFileName), LocaleSwitch::Switched);
        ASSERT_NE(mTable, nullptr);
    }

    std::unique_ptr<CStringResource> mTable;
};

TEST_F(StringLocaleTest, FirstLoadIsCached) {
    const wchar_t* hello = mTable->GetString(0);
    EXPECT_STREQ(hello, L"Hello");
    EXPECT_EQ(mTable->CacheAll(), STR_SUCCESS);
    EXPECT_EQ(mTable->GetString(0), hello);  // the block was already there
}

TEST_F(StringLocaleTest, SwitchReplacesTheTable) {
    EXPECT_EQ(SwitchStringLocale(mTable, L"de", L"de", kFileName), LocaleSwitch::Switched);
    EXPECT_STREQ(mTable->GetString(0), L"Hallo");
}

struct FailedSwitchCase {
    const char* name;
    const wchar_t* language;
    const wchar_t* country;
    LocaleSwitch result;
};

void PrintTo(const FailedSwitchCase& c, std::ostream* os) {
    *os << c.name;
}

class StringLocaleFailure : public StringLocaleTest,
                            public ::testing::WithParamInterface<FailedSwitchCase> {};

TEST_P(StringLocaleFailure, KeepsThePreviousTable) {
    const CStringResource* before = mTable.get();
    EXPECT_EQ(SwitchStringLocale(mTable, GetParam().language, GetParam().country, kFileName),
              GetParam().result);
    EXPECT_EQ(mTable.get(), before);
    EXPECT_STREQ(mTable->GetString(0), L"Hello");
}

const FailedSwitchCase kFailedSwitchCases[] = {
    {"NoSuchFile", L"xx", L"yy", LocaleSwitch::LoadFailed},
    {"NoLanguage", nullptr, L"us", LocaleSwitch::LoadFailed},
    {"FileThatCannotBeCached", L"fr", L"fr", LocaleSwitch::CacheFailed},
};

INSTANTIATE_TEST_SUITE_P(Locales, StringLocaleFailure, ::testing::ValuesIn(kFailedSwitchCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
