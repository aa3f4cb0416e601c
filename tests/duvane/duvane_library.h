// libduvane's sim build as a host meets it: opened with dlopen, reached
// through its interface table, against a simulated server built afresh for
// each test. Initialize runs in the build's resource folder, where the
// library finds its string file; images are written to a scratch folder.
#ifndef SRVFW_TESTS_DUVANE_DUVANE_LIBRARY_H
#define SRVFW_TESTS_DUVANE_DUVANE_LIBRARY_H

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bmc/string_resource.h"
#include "include/duvane_interface.h"
#include "sim/bmc/fw/vendor_log.h"
#include "tests/common/files.h"

namespace duvane_test {

using Bytes = std::vector<std::uint8_t>;

inline constexpr int kNotInitialized = static_cast<int>(0xC00A0008);
inline constexpr int kNoImage = static_cast<int>(0xC00A000E);

_EFI_DUVANE_INTERFACE& Table();

// One call of the progress callback.
struct Progress {
    PROGRESS_CALLBACK_TYPE type;
    std::wstring text;
    unsigned percent;
};

class DuvaneLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh server with these settings, the library initialised against
    // it for `platform`, the callbacks recording, the request log empty.
    void Boot(const std::map<std::string, std::string>& settings = {}, int platform = 0);
    // The image written to the scratch folder and loaded into the next slot.
    int Load(const Bytes& image, FwFileType type, const std::string& name = "image.bin");
    std::wstring LastError();
    // The English text of a string of the library's table, unformatted.
    std::wstring Text(unsigned index);
    // What one of our vendor components ("me", "fw") was asked since the
    // last call (or since the boot).
    std::vector<sim::vendor::LoggedRequest> TakeVendor(const std::string& component,
                                                       const std::string& operation = "");
    std::string VendorOperations(const std::string& component);

    static std::vector<Progress> gProgress;
    static std::wstring gDisplayed;

    _EFI_DUVANE_INTERFACE& t = Table();
    test_support::TempDir mScratch{"duvane-host"};

  private:
    static unsigned RecordProgress(PROGRESS_CALLBACK_TYPE type, const wchar_t* text,
                                   unsigned percent, unsigned);
    static void RecordDisplay(const wchar_t* text) { gDisplayed += text; }
    std::filesystem::path mPreviousDirectory;
    std::unique_ptr<CStringResource> mTexts;
};

}  // namespace duvane_test

#endif
