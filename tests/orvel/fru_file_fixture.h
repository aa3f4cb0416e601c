// What the configuration file tests share: a scratch directory for the
// files, a string table whose file messages show their arguments, FRUs
// built from images, and a comparison of two FRUs as the file carries them.
#ifndef SRVFW_TESTS_ORVEL_FRU_FILE_FIXTURE_H
#define SRVFW_TESTS_ORVEL_FRU_FILE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "fru_image_builder.h"
#include "fru_test_support.h"
#include "orvel/fru.h"
#include "tests/common/files.h"

namespace fru_test {

class FruFileTest : public ::testing::Test {
  protected:
    void SetUp() override;

    std::string PathOf(const std::string& name) const { return mDir / name; }
    // Writes `text` to the file `name` of the scratch directory; its path.
    std::string WriteFile(const std::string& name, const std::string& text) const;
    static std::string ReadText(const std::string& path);
    static std::vector<std::string> SplitLines(const std::string& text);

    test_support::TempDir mDir{"orvel-fru-file"};
    NumberedStrings mStrings;
};

// Reads the FRU from a device holding `image`; the read must succeed.
void LoadImage(Orvel_Private::CFru& fru, const Bytes& image);

// Everything the file carries: header bytes, area images, custom fields,
// multi-records and the locator.
void ExpectSameFru(Orvel_Private::CFru& expected, Orvel_Private::CFru& actual);

// The text as the last-error message shows a path.
std::wstring Widen(std::string_view text);

}  // namespace fru_test

#endif
