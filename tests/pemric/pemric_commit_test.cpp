// Commits through the table: the file set written to the BMC on the path
// the platform chooses, the records the tags let through, and failures
// that say so and leave the text for the host.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "pemric_library.h"
#include "sim/bmc/sdr/sdr_record_builder.h"

namespace pemric_test {
namespace {

constexpr std::uint32_t kNotLoaded = 0xC006000B;
constexpr int kPlatformClearAndAdd = 11;
const std::wstring kCommitFailed =
    L"Writing the SDRs to the BMC failed; the repository may not hold what it held before";

std::vector<Record> Sample() {
    using namespace sim::sdr;
    return {FullSensor({.number = 0x01, .sensorType = 0x01, .entityId = 0x03, .name = "CPU1 Temp"}),
            FullSensor({.number = 0x10, .sensorType = 0x02, .entityId = 0x07, .name = "12V"}),
            FruDeviceLocator(0, "Baseboard FRU"), McDeviceLocator("BMC")};
}

class PemricCommitTest : public PemricLibraryTest {
  protected:
    // An SDR file of Sample(), saved from a repository that held it; the
    // records counted in file order get the tags given for them.
    std::wstring SampleFile(const std::map<unsigned, std::string>& tags = {}) {
        Boot(Sample());
        const std::filesystem::path path = mScratch.Path() / "sample.sdr";
        EXPECT_EQ(t.LoadConfigurationFromSystem(&t), 0u);
        EXPECT_EQ(t.SaveConfigurationToFile(&t, path.wstring().c_str(), nullptr), 0u);
        std::ifstream in(path);
        std::ostringstream out;
        std::string line;
        unsigned record = 0;
        while (std::getline(in, line)) {
            out << line << '\n';
            if (line.rfind("RecordType:", 0) != 0) continue;
            if (const auto tag = tags.find(record++); tag != tags.end()) {
                out << "Tag: '" << tag->second << "'\n";
            }
        }
        in.close();
        std::ofstream(path) << out.str();
        return path.wstring();
    }

    // Boots a server whose repository holds one other record and loads the
    // file into the file set.
    void LoadFileOnOtherServer(const std::wstring& file, int platform,
                               const std::map<std::string, std::string>& settings = {}) {
        Boot({sim::sdr::OemRecord(0x000157, {1, 2, 3, 4})}, settings, platform);
        ASSERT_EQ(t.LoadConfigurationFromFile(&t, file.c_str(), nullptr), 0u);
        TakeRequests();
    }

    std::string Operations() {
        std::string operations;
        std::string last;
        for (const auto& request : TakeRequests()) {
            if (request.operation == last) continue;
            operations += (operations.empty() ? "" : " ") + request.operation;
            last = request.operation;
        }
        return operations;
    }
};

TEST_F(PemricCommitTest, ACommitNeedsALoadedFile) {
    Boot(Sample());
    EXPECT_EQ(t.CommitConfigurationToSystem(&t), kNotLoaded);
    EXPECT_TRUE(TakeRequests().empty());
}

TEST_F(PemricCommitTest, TheAreaPathMakesTheFileTheRepositoryWithTheFilesIds) {
    const std::wstring file = SampleFile();
    const std::vector<Record> saved = Held();
    LoadFileOnOtherServer(file, 0);
    ASSERT_EQ(t.CommitConfigurationToSystem(&t), 0u);
    EXPECT_EQ(Operations(), "open write close");
    // In the library's type order: the sensors, then the FRU locator, then
    // the controller.
    EXPECT_EQ(Held(), std::vector<Bytes>({saved[0], saved[1], saved[2], saved[3]}));
    EXPECT_EQ(LastError(), L"");
}

TEST_F(PemricCommitTest, TheClearAndAddPathAddsEachRecordAndReadsTheRepositoryBack) {
    const std::wstring file = SampleFile();
    LoadFileOnOtherServer(file, kPlatformClearAndAdd);
    ASSERT_EQ(t.CommitConfigurationToSystem(&t), 0u);
    EXPECT_EQ(Operations(),
              "reserve clear reserve add reserve add reserve add reserve add info "
              "reserve get reserve get reserve get reserve get");
    EXPECT_EQ(WithoutIds(Held()), WithoutIds(Sample()));
}

TEST_F(PemricCommitTest, AFailedCommitReturnsItsCodeAndTheFailureText) {
    const std::wstring file = SampleFile();
    struct Case {
        const char* what;
        int platform;
        std::map<std::string, std::string> settings;
        std::uint32_t status;
    } cases[] = {
        {"an add refused", kPlatformClearAndAdd, {{"sdr.fault.refuse_part", "3"}}, 0xC0060013},
        {"an erase that never ends",
         kPlatformClearAndAdd,
         {{"sdr.fault.erase_stuck", "1"}},
         0xC006003B},
        {"an area write refused", 0, {{"sdr.fault.refuse_part", "2"}}, 0xC006003B},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoadFileOnOtherServer(file, c.platform, c.settings);
        EXPECT_EQ(t.CommitConfigurationToSystem(&t), c.status);
        EXPECT_EQ(LastError(), kCommitFailed);
    }
}

TEST_F(PemricCommitTest, TaggedRecordsAreWrittenOnlyForATagSetWithoutRegardToCase) {
    const std::wstring file = SampleFile({{1, "rack7"}, {2, "Lab"}});
    const std::vector<Record> saved = Held();
    struct Case {
        const char* what;
        std::vector<std::wstring> set;
        std::vector<std::wstring> cleared;
        std::vector<Record> written;
    } cases[] = {
        {"no tag set", {}, {}, {saved[0], saved[3]}},
        {"one tag, in other case", {L"RACK7"}, {}, {saved[0], saved[1], saved[3]}},
        {"both tags", {L"rack7", L"lab"}, {}, {saved[0], saved[1], saved[2], saved[3]}},
        {"a tag set twice, then cleared", {L"rack7", L"rack7"}, {L"rack7"}, {saved[0], saved[3]}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoadFileOnOtherServer(file, 0);
        for (std::wstring tag : c.set) ASSERT_EQ(t.SetTag(&t, tag.data()), 0u);
        for (std::wstring tag : c.cleared) ASSERT_EQ(t.ClearTag(&t, tag.data()), 0u);
        // What the table says a commit would write, record by record.
        ASSERT_EQ(t.SelectFileData(&t), 0u);
        ASSERT_EQ(t.SelectSdrList(&t, SDR_LIST_FULL_SENSOR), 0u);
        unsigned count = 0;
        ASSERT_EQ(t.GetNumberOfSdrs(&t, count), 0u);
        ASSERT_EQ(count, 2u);
        ASSERT_EQ(t.SelectSdr(&t, 1), 0u);
        bool committed = false;
        ASSERT_EQ(t.IsSdrCommitted(&t, committed), 0u);
        EXPECT_EQ(committed, c.written.size() > 2);
        wchar_t* tags = nullptr;
        ASSERT_EQ(t.GetSdrTags(&t, tags), 0u);
        EXPECT_EQ(std::wstring(tags), L"rack7\n");

        ASSERT_EQ(t.CommitConfigurationToSystem(&t), 0u);
        EXPECT_EQ(Held(), c.written);
    }
}

}  // namespace
}  // namespace pemric_test
