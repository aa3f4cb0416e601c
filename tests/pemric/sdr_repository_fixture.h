// Tests of the repository access: the library's reads and writes through
// the message layer against the simulated BMC's SDR repository, with the
// compiled English string table, the progress the host would see and the
// requests the repository logged.
#ifndef SRVFW_TESTS_PEMRIC_SDR_REPOSITORY_FIXTURE_H
#define SRVFW_TESTS_PEMRIC_SDR_REPOSITORY_FIXTURE_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "include/progress_callback.h"
#include "pemric/sdr_commit.h"
#include "pemric/sdr_read_system.h"
#include "pemric/sdr_texts.h"
#include "sim/bmc/sdr/sdr_log.h"
#include "sim/bmc/sdr/sdr_records.h"
#include "tests/bmc/bmc_sim_fixture.h"

namespace sdr_repository_test {

using sim::sdr::LoggedRequest;
using sim::sdr::Record;

// One call of the progress callback.
struct Progress {
    PROGRESS_CALLBACK_TYPE type;
    std::wstring text;
    unsigned done;
    unsigned total;
};

class SdrRepositoryTest : public bmc_test::BmcSimTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh server whose repository holds records (IDs 1, 2, ... in
    // order), changed by settings (sim/bmc/sdr/sdr_repository.h).
    void BootWith(const std::vector<Record>& records,
                  const std::map<std::string, std::string>& settings = {});
    // The repository access over the fixture's message records.
    Pemric_Private::SdrReadSystem System();
    // A commit over the fixture's records: its last-error text goes to
    // mLastError, its display texts to gDisplayed.
    Pemric_Private::SdrCommit Commit();

    std::vector<Record> Held();
    // What the repository was asked since the boot (one operation, or all).
    std::vector<LoggedRequest> Requests(const std::string& operation = "");
    // The operations in order, e.g. "reserve get get reserve get".
    std::string Operations();
    std::wstring Text(unsigned stringId) const;

    static std::vector<Progress> gProgress;
    static void DisplayText(const wchar_t* text) { gDisplayed += text; }
    static std::wstring gDisplayed;

    std::wstring mLastError;
    std::unique_ptr<CStringResource> mTable;
    Pemric_Private::CSdrTexts mTexts{mTable};

  private:
    struct Sink : Pemric_Private::CLastErrorSink {
        explicit Sink(std::wstring& text) : target(text) {}
        void SetLastErrorMessage(const std::wstring& text) override { target = text; }
        std::wstring& target;
    };
    static unsigned RecordProgress(PROGRESS_CALLBACK_TYPE type, const wchar_t* text, unsigned done,
                                   unsigned total);

    Sink mSink{mLastError};
    std::unique_ptr<BMC_MESSAGE> mRequest = std::make_unique<BMC_MESSAGE>();
    std::unique_ptr<BMC_MESSAGE> mResponse = std::make_unique<BMC_MESSAGE>();
    std::unique_ptr<Pemric_Private::SdrReadSystem> mSystem;
};

// A record of type with bodyLength body bytes counting from seed.
Record CountingRecord(std::uint8_t type, unsigned bodyLength, std::uint8_t seed = 0);

}  // namespace sdr_repository_test

#endif
