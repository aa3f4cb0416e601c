// liborvel's sim build as a host meets it: opened with dlopen, reached
// through its interface table, against a simulated server built afresh for
// each test. The library reads its string file from the build's resource
// folder, so Initialize runs there; everything else runs in a scratch
// folder of the test's own.
#ifndef SRVFW_TESTS_ORVEL_ORVEL_LIBRARY_H
#define SRVFW_TESTS_ORVEL_ORVEL_LIBRARY_H

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "include/orvel_interface.h"
#include "sim/bmc/fru/fru_device.h"
#include "sim/bmc/fru/fru_log.h"
#include "sim/core/settings.h"
#include "tests/common/files.h"

namespace orvel_test {

using Bytes = std::vector<std::uint8_t>;

// The table of the loaded library; the library stays loaded for the
// process, as a host keeps it.
EFI_FRU_INTERFACE& Table();
// An exported function of the library, found by its symbol name.
void* Symbol(const char* name);

class OrvelLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh server with these settings (sim/bmc/fru/fru_storage.h); the library
    // is initialised against it with platform code `platform`.
    void Boot(const sim::Settings& settings = {}, int platform = 0);
    // Replaces the contents of a simulated FRU device; the rest reads FFh.
    void FillDevice(const std::string& device, const Bytes& image);
    Bytes DeviceContents(const std::string& device);
    // What the simulated FRU devices were asked since the last call.
    std::vector<sim::fru::LoggedAccess> TakeAccesses(const std::string& device = "");

    // The current last-error text, as GetLastErrorMessage hands it out.
    std::wstring LastError();
    // Walks list, FRU, area and field; each must select.
    void SelectField(FRU_LIST list, std::uint32_t fru, FRU_AREA area, FRU_FIELD field);
    std::wstring FieldText();

    EFI_FRU_INTERFACE& t = Table();
    test_support::TempDir mScratch{"orvel-host"};

  private:
    std::filesystem::path mPreviousDirectory;
};

}  // namespace orvel_test

#endif
