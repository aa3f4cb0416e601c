#include "bmc/wide_file.h"

#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <string>

#include "scratch_dir.h"

namespace {

struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, Closer>;

class WideFileTest : public ScratchDirTest {
  protected:
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        ScratchDirTest::TearDown();
    }

    static std::string FirstLine(std::FILE* file) {
        char line[64] = {};
        return std::fgets(line, sizeof line, file) != nullptr ? line : "";
    }
};

TEST_F(WideFileTest, OpensWithPathAndMode) {
    WriteFile("plain.txt", "content");
    File file(wfopen(L"plain.txt", L"rb"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(FirstLine(file.get()), "content");
    EXPECT_EQ(wfopen(L"missing.txt", L"rb"), nullptr);
}

TEST_F(WideFileTest, NullArgumentOpensNothing) {
    WriteFile("plain.txt", "content");
    EXPECT_EQ(wfopen(nullptr, L"rb"), nullptr);
    EXPECT_EQ(wfopen(L"plain.txt", nullptr), nullptr);
}

// In UTF-8 a character may need up to four bytes: the converted path is
// longer than the wide one and must still arrive whole.
TEST_F(WideFileTest, ConvertsThePathWithTheLocale) {
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    WriteFile("\xE2\x82\xAC\xF0\x9F\x98\x80\xC3\xA9.txt", "euro");  // "€😀é.txt"
    File file(wfopen(L"\u20AC\U0001F600\u00E9.txt", L"r"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(FirstLine(file.get()), "euro");
}

TEST_F(WideFileTest, PathTheLocaleCannotEncodeOpensNothing) {
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    WriteFile("\xE2\x82\xAC.txt", "euro");
    EXPECT_EQ(wfopen(L"\u20AC.txt", L"r"), nullptr);
}

}  // namespace
