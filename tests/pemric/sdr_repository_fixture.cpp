#include "sdr_repository_fixture.h"

#include "bmc/debug_log.h"
#include "sim/bmc/sdr/sdr_repository.h"

namespace sdr_repository_test {

using namespace Pemric_Private;

std::vector<Progress> SdrRepositoryTest::gProgress;
std::wstring SdrRepositoryTest::gDisplayed;

Record CountingRecord(std::uint8_t type, unsigned bodyLength, std::uint8_t seed) {
    Record bytes{0x00, 0x00, 0x51, type, static_cast<std::uint8_t>(bodyLength)};
    for (unsigned i = 0; i < bodyLength; ++i) bytes.push_back(static_cast<std::uint8_t>(seed + i));
    return bytes;
}

void SdrRepositoryTest::SetUp() {
    BmcSimTest::SetUp();
    SetLibDebugLevel(1);
    gProgress.clear();
    gDisplayed.clear();
    mTable = std::make_unique<CStringResource>();
    ASSERT_EQ(mTable->Initialize(L"" PEMRIC_STRING_FILE, 0), STR_SUCCESS);
    ASSERT_EQ(mTable->CacheAll(), STR_SUCCESS);
}

void SdrRepositoryTest::TearDown() {
    mSystem.reset();
    BmcSimTest::TearDown();
}

void SdrRepositoryTest::BootWith(const std::vector<Record>& records,
                                 const std::map<std::string, std::string>& settings) {
    std::map<std::string, std::string> all = {{"sdr.initial", "empty"}};
    for (const auto& [key, value] : settings) all[key] = value;
    Boot(all);
    std::vector<Record> numbered = records;
    for (std::size_t i = 0; i < numbered.size(); ++i) {
        sim::sdr::SetRecordId(numbered[i], static_cast<std::uint16_t>(i + 1));
    }
    if (!numbered.empty()) {
        const auto refused = Machine().Find<sim::SdrRepository>()->Replace(numbered);
        ASSERT_FALSE(refused.has_value()) << *refused;
    }
    Machine().Log().Clear();
}

SdrReadSystem SdrRepositoryTest::System() {
    return SdrReadSystem({*mRequest, *mResponse}, mTexts, {RecordProgress});
}

unsigned SdrRepositoryTest::RecordProgress(PROGRESS_CALLBACK_TYPE type, const wchar_t* text,
                                           unsigned done, unsigned total) {
    gProgress.push_back({type, text != nullptr ? text : L"(null)", done, total});
    return 0;
}

SdrCommit SdrRepositoryTest::Commit() {
    mSystem = std::make_unique<SdrReadSystem>(System());
    return SdrCommit(*mSystem, mTexts, {RecordProgress}, DisplayText, mSink);
}

std::vector<Record> SdrRepositoryTest::Held() {
    return Machine().Find<sim::SdrRepository>()->Records();
}

std::vector<LoggedRequest> SdrRepositoryTest::Requests(const std::string& operation) {
    return sim::sdr::LoggedRequests(Machine().Log(), operation);
}

std::string SdrRepositoryTest::Operations() {
    std::string operations;
    for (const LoggedRequest& request : Requests()) {
        operations += (operations.empty() ? "" : " ") + request.operation;
    }
    return operations;
}

std::wstring SdrRepositoryTest::Text(unsigned stringId) const {
    return mTexts.Text(stringId);
}

}  // namespace sdr_repository_test
