// libpemric through dlopen and its interface table, against the simulated
// BMC's repository: the lifecycle and its guards, loading the repository
// and browsing every record list, the properties, files saved and loaded,
// commits on both paths with tags, and the versions in OEM records.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "pemric_library.h"
#include "sim/bmc/sdr/sdr_record_builder.h"
#include "sim/core/machine.h"

namespace pemric_test {
namespace {

constexpr std::uint32_t kNotInitialized = 0xC006000F;
constexpr std::uint32_t kNotLoaded = 0xC006000B;
constexpr std::uint32_t kIndexOutOfRange = 0xC006000D;

std::vector<Record> Sample() {
    using namespace sim::sdr;
    return {McDeviceLocator("BMC"),
            FullSensor({.number = 0x01, .sensorType = 0x01, .entityId = 0x03, .name = "CPU1 Temp"}),
            FullSensor({.number = 0x10, .sensorType = 0x02, .entityId = 0x07, .name = "12V"}),
            CompactSensor({.number = 0x30, .sensorType = 0x08, .entityId = 0x0A, .name = "PSU1"}),
            FruDeviceLocator(0, "Baseboard FRU"),
            OemRecord(0x000157, {'S', 'D', 'R', ' ', 'V', 'e', 'r', 's', 'i', 'o', 'n',
                                 ' ', '1', '.', '2', '3', ' ', 'b', 'u', 'i', 'l', 'd'})};
}

// The sample's records in the library's type order.
std::vector<Bytes> SampleInTypeOrder() {
    const std::vector<Record> sample = Sample();
    return WithoutIds(
        std::vector<Bytes>({sample[1], sample[2], sample[3], sample[4], sample[0], sample[5]}));
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(PemricLibraryTest, EveryEntryIsGuardedUntilInitializeAndAfterDeInitialize) {
    Boot(Sample());
    ASSERT_EQ(t.DeInitialize(&t), 0u);
    bool flag = false;
    unsigned count = 0;
    wchar_t* text = nullptr;
    EXPECT_EQ(t.IsLoaded(&t, flag), kNotInitialized);
    EXPECT_EQ(t.LoadConfigurationFromSystem(&t), kNotInitialized);
    EXPECT_EQ(t.GetNumberOfSdrs(&t, count), kNotInitialized);
    EXPECT_EQ(t.GetLastErrorMessage(&t, text), kNotInitialized);
    EXPECT_EQ(t.SelectSdrList(&t, 1), kNotInitialized);
    EXPECT_EQ(t.DeInitialize(&t), kNotInitialized);
    EXPECT_EQ(t.Revision, 0x00010000u);
}

TEST_F(PemricLibraryTest, InitializeWithoutItsStringFileFailsAndSaysWhy) {
    sim::ResetMachine({});
    EXPECT_EQ(t.Initialize(&t, 0), kNotInitialized);
    EXPECT_EQ(LastError(), L"Unable to open Pemric.str file.");
}

TEST_F(PemricLibraryTest, TheRepositoryLoadsIntoTheSystemSetAndEveryListCanBeBrowsed) {
    Boot(Sample());
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    bool loaded = true;
    // The host's selection (the file set) is kept.
    ASSERT_EQ(t.IsLoaded(&t, loaded), 0u);
    EXPECT_FALSE(loaded);
    ASSERT_EQ(t.SelectSysData(&t), 0u);
    bool modified = false;
    ASSERT_EQ(t.IsLoaded(&t, loaded), 0u);
    ASSERT_EQ(t.IsModified(&t, modified), 0u);
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(modified);
    // A record needs the count first.
    EXPECT_EQ(t.SelectSdr(&t, 0), kIndexOutOfRange);
    unsigned count = 0;
    ASSERT_EQ(t.GetNumberOfSdrs(&t, count), 0u);
    EXPECT_EQ(count, 2u);  // the full sensors: the list every set starts on
    EXPECT_EQ(t.SelectSdr(&t, 2), kIndexOutOfRange);
    ASSERT_EQ(t.SelectSdr(&t, 1), 0u);
    unsigned type = 0;
    ASSERT_EQ(t.GetTypeAsInteger(&t, type), 0u);
    EXPECT_EQ(type, 1u);
    EXPECT_NE(Name().find(L"12V"), std::wstring::npos) << Name();
    const auto fields = Fields();
    ASSERT_FALSE(fields.empty());
    EXPECT_EQ(fields.back().second, L"12V");

    EXPECT_EQ(WithoutIds(AllRecords()), SampleInTypeOrder());
    EXPECT_EQ(t.SelectSdrList(&t, SDR_LIST_COUNT), kIndexOutOfRange);
    wchar_t* name = nullptr;
    ASSERT_EQ(t.ConvertTypeToString(&t, SDR_LIST_FRU_DEVICE_LOCATOR, name), 0u);
    EXPECT_EQ(std::wstring(name), L"FRU Device Locator Record");
}

TEST_F(PemricLibraryTest, ALoadReadsEveryRecordUnderItsOwnReservationWithCountingProgress) {
    static std::vector<std::pair<unsigned, unsigned>> counts;
    counts.clear();
    Boot(Sample());
    ASSERT_EQ(t.SetProgressCallback(&t,
                                    [](PROGRESS_CALLBACK_TYPE type, const wchar_t*, unsigned done,
                                       unsigned total) -> unsigned {
                                        if (type == PROGRESS_COUNT)
                                            counts.emplace_back(done, total);
                                        return 0;
                                    }),
              0u);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    const auto requests = TakeRequests();
    unsigned reservations = 0;
    for (const auto& request : requests) reservations += request.operation == "reserve";
    EXPECT_EQ(reservations, 6u);
    EXPECT_EQ(requests.front().operation, "info");
    ASSERT_EQ(counts.size(), 6u);
    EXPECT_EQ(counts.back(), std::make_pair(6u, 6u));
}

TEST_F(PemricLibraryTest, AnEmptyRepositoryOrARepositoryWithoutFullSensorsIsToldApart) {
    Boot({});
    EXPECT_EQ(t.LoadConfigurationFromSystem(&t), 0xC006002Fu);
    Boot({sim::sdr::FruDeviceLocator(0, "Baseboard FRU")});
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    ASSERT_EQ(t.SelectSysData(&t), 0u);
    unsigned count = 9;
    ASSERT_EQ(t.GetNumberOfSdrs(&t, count), 0u);
    EXPECT_EQ(count, 0u);
}

TEST_F(PemricLibraryTest, PropertiesShowTheRepositoryInformation) {
    Boot(Sample(), {});
    ASSERT_EQ(t.LoadPropertiesFromSystem(&t), 0u);
    ASSERT_EQ(t.SelectSysData(&t), 0u);
    wchar_t buffer[SDR_PROPERTY_TEXT_LENGTH] = L"untouched";
    wchar_t* out = buffer;
    EXPECT_EQ(t.GetPropertyValue(&t, out), 0xC0060034u);
    unsigned count = 0;
    ASSERT_EQ(t.GetNumberOfProperties(&t, count), 0u);
    EXPECT_EQ(count, 5u);
    const std::pair<SDR_PROPERTY, std::wstring> expected[] = {
        {SDR_PROPERTY_VERSION, L"1.5"},
        {SDR_PROPERTY_RECORD_COUNT, L"6"},
        {SDR_PROPERTY_ADDITION_TIME, L"01/01/2026 00:00:00 UTC"},
        {SDR_PROPERTY_ERASE_TIME, L"since the BMC started"},
    };
    for (const auto& [property, value] : expected) {
        ASSERT_EQ(t.SelectProperty(&t, property), 0u);
        ASSERT_EQ(t.GetPropertyValue(&t, out), 0u);
        EXPECT_EQ(std::wstring(buffer), value) << property;
    }
    ASSERT_EQ(t.SelectProperty(&t, SDR_PROPERTY_VERSION), 0u);
    ASSERT_EQ(t.GetPropertyTitle(&t, out), 0u);
    EXPECT_EQ(std::wstring(buffer), L"SDR Version");
    // Past the last property the buffer stays as it was.
    ASSERT_EQ(t.SelectProperty(&t, 7), 0u);
    ASSERT_EQ(t.GetPropertyValue(&t, out), 0u);
    EXPECT_EQ(std::wstring(buffer), L"SDR Version");

    std::size_t used = 0;
    for (const Record& record : Sample()) used += record.size();
    Boot(Sample(), {{"sdr.capacity", std::to_string(used)}});
    ASSERT_EQ(t.LoadPropertiesFromSystem(&t), 0u);
    ASSERT_EQ(t.SelectSysData(&t), 0u);
    ASSERT_EQ(t.GetNumberOfProperties(&t, count), 0u);
    EXPECT_EQ(count, 6u);
    ASSERT_EQ(t.SelectProperty(&t, SDR_PROPERTY_FULL), 0u);
    ASSERT_EQ(t.GetPropertyValue(&t, out), 0u);
    EXPECT_EQ(std::wstring(buffer), L"The SDR repository is full");
}

TEST_F(PemricLibraryTest, ASavedRepositoryLoadsBackAsTheSameRecords) {
    Boot(Sample());
    const std::wstring path = (mScratch.Path() / "saved.sdr").wstring();
    EXPECT_EQ(t.SaveConfigurationToFile(&t, path.c_str(), nullptr), kNotLoaded);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    ASSERT_EQ(t.SaveConfigurationToFile(&t, path.c_str(), nullptr), 0u);
    ASSERT_EQ(t.LoadConfigurationFromFile(&t, path.c_str(), nullptr), 0u);
    ASSERT_EQ(t.SelectFileData(&t), 0u);
    const std::vector<Bytes> fromFile = AllRecords();
    ASSERT_EQ(t.SelectSysData(&t), 0u);
    EXPECT_EQ(fromFile, AllRecords());
    EXPECT_EQ(WithoutIds(fromFile), SampleInTypeOrder());
    // The file says which version the repository's OEM record names.
    EXPECT_NE(ReadText(mScratch.Path() / "saved.sdr").find("1.23"), std::string::npos);
}

TEST_F(PemricLibraryTest, FilesThatCannotBeOpenedFailWithThePathInTheLastError) {
    Boot(Sample());
    const std::wstring missing = (mScratch.Path() / "missing.sdr").wstring();
    EXPECT_EQ(t.LoadConfigurationFromFile(&t, missing.c_str(), nullptr), 0xC006002Eu);
    EXPECT_EQ(LastError(), L"Cannot open the SDR file " + missing);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    const std::wstring unwritable = (mScratch.Path() / "no-such-dir" / "x.sdr").wstring();
    EXPECT_EQ(t.SaveConfigurationToFile(&t, unwritable.c_str(), nullptr), 0xC006000Au);
    EXPECT_EQ(LastError(), L"Cannot open the SDR file " + unwritable);
}

TEST_F(PemricLibraryTest, VersionsComeFromTheOemRecordsText) {
    Boot(Sample());
    wchar_t* version = nullptr;
    EXPECT_EQ(t.GetVersionFromSystem(&t, version), kNotLoaded);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    ASSERT_EQ(t.GetVersionFromSystem(&t, version), 0u);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(std::wstring(version), L"1.23");
    EXPECT_EQ(t.GetPackageVersionFromSystem(&t, version), 0xC006003Du);
    EXPECT_EQ(version, nullptr);
    EXPECT_EQ(LastError(), L"No SDR package version was found in the OEM records");

    Boot({sim::sdr::FruDeviceLocator(0, "Baseboard FRU")});
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
    EXPECT_EQ(t.GetVersionFromSystem(&t, version), 0xC006003Cu);
}

TEST_F(PemricLibraryTest, TheLanguageNeedsBothPartsAndAFailedSwitchKeepsTheTable) {
    Boot(Sample());
    wchar_t en[] = L"en";
    wchar_t xx[] = L"xx";
    EXPECT_EQ(t.SetLanguageLocale(&t, en, nullptr), 0xC006003Au);
    EXPECT_EQ(t.SetLanguageLocale(&t, xx, xx), kNotInitialized);
    EXPECT_EQ(LastError(), L"Unable to open Pemric.str file.");
    wchar_t* name = nullptr;
    ASSERT_EQ(t.ConvertTypeToString(&t, SDR_LIST_OEM, name), 0u);
    EXPECT_EQ(std::wstring(name), L"OEM Record");
}

}  // namespace
}  // namespace pemric_test
