#include "pemric_library.h"

#include <dlfcn.h>

#include "sim/bmc/sdr/sdr_record_builder.h"
#include "sim/bmc/sdr/sdr_repository.h"
#include "sim/core/machine.h"

namespace pemric_test {

_EFI_SDR_INTERFACE& Table() {
    static void* library = dlopen(LIBPEMRIC_PATH, RTLD_NOW);
    void* entry = library != nullptr ? dlsym(library, "GetPemricInterface") : nullptr;
    if (entry == nullptr) throw std::runtime_error(std::string("libpemric: ") + dlerror());
    return *reinterpret_cast<GET_PEMRIC_INTERFACE>(entry)();
}

void PemricLibraryTest::SetUp() {
    mPreviousDirectory = std::filesystem::current_path();
    std::filesystem::current_path(mScratch.Path());
}

void PemricLibraryTest::TearDown() {
    t.DeInitialize(&t);
    std::filesystem::current_path(mPreviousDirectory);
}

void PemricLibraryTest::Boot(const std::vector<Record>& records,
                             const std::map<std::string, std::string>& settings, int platform) {
    sim::Settings all;
    all.Set("sdr.initial", "empty");
    for (const auto& [key, value] : settings) all.Set(key, value);
    sim::ResetMachine(all);
    if (!records.empty()) {
        std::vector<Record> numbered = records;
        sim::sdr::NumberRecords(numbered);
        const auto refused = sim::TheMachine().Find<sim::SdrRepository>()->Replace(numbered);
        ASSERT_FALSE(refused.has_value()) << *refused;
    }
    std::filesystem::current_path(PEMRIC_RESOURCE_DIR);
    const std::uint32_t status = t.Initialize(&t, platform);
    std::filesystem::current_path(mScratch.Path());
    ASSERT_EQ(status, 0u);
    TakeRequests();
}

std::vector<Record> PemricLibraryTest::Held() {
    return sim::TheMachine().Find<sim::SdrRepository>()->Records();
}

std::vector<sim::sdr::LoggedRequest> PemricLibraryTest::TakeRequests() {
    sim::RequestLog& log = sim::TheMachine().Log();
    auto requests = sim::sdr::LoggedRequests(log);
    log.Clear();
    return requests;
}

std::wstring PemricLibraryTest::LastError() {
    wchar_t* text = nullptr;
    EXPECT_EQ(t.GetLastErrorMessage(&t, text), 0u);
    return text != nullptr ? text : L"(null)";
}

std::vector<Bytes> PemricLibraryTest::RecordsOfList(unsigned typeIndex) {
    std::vector<Bytes> records;
    EXPECT_EQ(t.SelectSdrList(&t, typeIndex), 0u);
    unsigned count = 0;
    EXPECT_EQ(t.GetNumberOfSdrs(&t, count), 0u);
    for (unsigned i = 0; i < count; ++i) {
        EXPECT_EQ(t.SelectSdr(&t, i), 0u);
        const unsigned char* bytes = nullptr;
        unsigned length = 0;
        EXPECT_EQ(t.GetSdrData(&t, bytes, length), 0u);
        if (bytes != nullptr) records.emplace_back(bytes, bytes + length);
    }
    return records;
}

std::vector<Bytes> PemricLibraryTest::AllRecords() {
    std::vector<Bytes> all;
    for (unsigned type = 0; type < SDR_LIST_COUNT; ++type) {
        for (Bytes& record : RecordsOfList(type)) all.push_back(std::move(record));
    }
    return all;
}

std::vector<std::pair<std::wstring, std::wstring>> PemricLibraryTest::Fields() {
    std::vector<std::pair<std::wstring, std::wstring>> fields;
    unsigned count = 0;
    EXPECT_EQ(t.GetNumberOfFields(&t, count), 0u);
    for (unsigned i = 0; i < count; ++i) {
        EXPECT_EQ(t.SelectField(&t, i), 0u);
        wchar_t* title = nullptr;
        wchar_t* value = nullptr;
        EXPECT_EQ(t.GetFieldTitle(&t, title), 0u);
        EXPECT_EQ(t.GetFieldValue(&t, value), 0u);
        fields.emplace_back(title != nullptr ? title : L"", value != nullptr ? value : L"");
    }
    return fields;
}

std::wstring PemricLibraryTest::Name() {
    wchar_t* name = nullptr;
    EXPECT_EQ(t.GetName(&t, name), 0u);
    return name != nullptr ? name : L"(null)";
}

std::vector<Bytes> WithoutIds(std::vector<Bytes> records) {
    for (Bytes& record : records) {
        record[0] = 0;
        record[1] = 0;
    }
    return records;
}

}  // namespace pemric_test
