// What the FRU model tests share: a FRU storage made of an image in memory,
// and a string table whose texts show their own numbers.
#ifndef SRVFW_TESTS_ORVEL_FRU_TEST_SUPPORT_H
#define SRVFW_TESTS_ORVEL_FRU_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "fru_image_builder.h"
#include "orvel/fru.h"
#include "tests/common/files.h"

namespace fru_test {

// One read the library asked for.
struct Read {
    std::uint16_t offset;
    std::size_t count;
    bool operator==(const Read&) const = default;
};

// A device holding `image`: a read outside it fails, as a device answers
// a read past its end. Every read asked for is logged.
class ImageStorage {
  public:
    explicit ImageStorage(Bytes image) : mImage(std::move(image)) {}

    Orvel_Private::FruReader Reader();
    const std::vector<Read>& Reads() const { return mReads; }

  private:
    Bytes mImage;
    std::vector<Read> mReads;
};

// Installs, for its lifetime, a string table in which text k reads "#k",
// followed by the directives of the formatted texts: "#137 %ls" shows
// "#137 " and the title it was given.
class NumberedStrings {
  public:
    NumberedStrings();
    ~NumberedStrings();
    NumberedStrings(const NumberedStrings&) = delete;
    NumberedStrings& operator=(const NumberedStrings&) = delete;

  private:
    test_support::TempDir mDir{"orvel-strings"};
};

// The current last-error text, taken as GetLastErrorMessage takes it.
std::wstring TakeLastError();

}  // namespace fru_test

#endif
