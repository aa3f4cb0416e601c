// libpemric's sim build as a host meets it: opened with dlopen, reached
// through its interface table, against a simulated server built afresh for
// each test. Initialize runs in the build's resource folder, where the
// library finds its string file; everything else in a scratch folder.
#ifndef SRVFW_TESTS_PEMRIC_PEMRIC_LIBRARY_H
#define SRVFW_TESTS_PEMRIC_PEMRIC_LIBRARY_H

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "include/pemric_interface.h"
#include "sim/bmc/sdr/sdr_log.h"
#include "sim/bmc/sdr/sdr_records.h"
#include "sim/core/settings.h"
#include "tests/common/files.h"

namespace pemric_test {

using Bytes = std::vector<std::uint8_t>;
using sim::sdr::Record;

_EFI_SDR_INTERFACE& Table();

class PemricLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh server with these settings (sim/bmc/sdr/sdr_repository.h) whose
    // repository holds records (IDs from 1) unless they are none; the
    // library initialised against it with platform code `platform`.
    void Boot(const std::vector<Record>& records,
              const std::map<std::string, std::string>& settings = {}, int platform = 0);
    std::vector<Record> Held();
    // What the repository was asked since the last call.
    std::vector<sim::sdr::LoggedRequest> TakeRequests();

    std::wstring LastError();
    // The selected set's records of one type list, as GetSdrData gives them.
    std::vector<Bytes> RecordsOfList(unsigned typeIndex);
    // Every record of the selected set, in type order.
    std::vector<Bytes> AllRecords();
    // Field titles and values of the selected record.
    std::vector<std::pair<std::wstring, std::wstring>> Fields();
    std::wstring Name();

    _EFI_SDR_INTERFACE& t = Table();
    test_support::TempDir mScratch{"pemric-host"};

  private:
    std::filesystem::path mPreviousDirectory;
};

// The same records without their IDs, which the BMC assigns.
std::vector<Bytes> WithoutIds(std::vector<Bytes> records);

}  // namespace pemric_test

#endif
