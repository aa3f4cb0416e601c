// "srvfw sdr write" run in the test's own process, where the simulated BMC
// it talks to (through the simulated SDR library it loads) is the test's:
// the request log shows the repository read whole before the first request
// that changes it, the fault striking, and what srvfw wrote after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "sim/bmc/sdr/sdr_log.h"
#include "sim/bmc/sdr/sdr_repository.h"
#include "sim/core/machine.h"
#include "tests/common/files.h"
#include "tests/host/srvfw_in_process_fixture.h"

namespace {

using sim::sdr::LoggedRequest;
using sim::sdr::Record;

class SdrWriteInProcess : public test_support::SrvfwInProcess {
  protected:
    void SetUp() override {
        sim::ResetMachine();
        // Backups land in the current directory.
        std::filesystem::current_path(dir.Path());
    }
    void TearDown() override { std::filesystem::current_path(userDir); }

    const std::vector<Record>& Held() {
        return sim::TheMachine().Find<sim::SdrRepository>()->Records();
    }
    std::vector<LoggedRequest> Requests() {
        return sim::sdr::LoggedRequests(sim::TheMachine().Log());
    }
    // The saved repository with `from` replaced by `to` (of the same length).
    std::string Renamed(const std::string& from, const std::string& to) {
        EXPECT_EQ(Srvfw({"sdr", "save", "saved.sdr"}), 0) << err.str();
        std::ifstream in(dir / "saved.sdr");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        std::ofstream(dir / "renamed.sdr") << text;
        sim::TheMachine().Log().Clear();
        return dir / "renamed.sdr";
    }

    std::filesystem::path userDir = std::filesystem::current_path();
    test_support::TempDir dir{"sdrproc"};
};

// The records without their IDs, in no order: a write adds them type by type.
std::vector<Record> Contents(const std::vector<Record>& records) {
    std::vector<Record> contents;
    for (const Record& record : records) contents.emplace_back(record.begin() + 2, record.end());
    std::sort(contents.begin(), contents.end());
    return contents;
}

bool Changes(const LoggedRequest& request) {
    return request.operation == "clear" || request.operation == "add" ||
           request.operation == "open" || request.operation == "write" ||
           request.operation == "close";
}

std::size_t FirstChange(const std::vector<LoggedRequest>& requests, std::size_t from = 0) {
    for (std::size_t i = from; i < requests.size(); ++i) {
        if (Changes(requests[i])) return i;
    }
    return requests.size();
}

// Every record of the repository was read at offset 0 before anything was
// changed: the backup holds them all. A read starts at record ID 0000h,
// which names the first record.
void ExpectEveryRecordReadBefore(const std::vector<LoggedRequest>& requests, std::size_t change,
                                 const std::vector<Record>& records) {
    for (const Record& record : records) {
        const unsigned id = &record == &records.front() ? 0 : record[0] | record[1] << 8;
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", id);
        const bool read =
            std::any_of(requests.begin(), requests.begin() + static_cast<std::ptrdiff_t>(change),
                        [&](const LoggedRequest& request) {
                            return request.operation == "get" && request.Field("record") == hex &&
                                   request.Field("offset") == "0";
                        });
        EXPECT_TRUE(read) << "record " << hex << " was not read before the write";
    }
}

std::size_t Count(const std::vector<LoggedRequest>& requests, const std::string& operation) {
    return static_cast<std::size_t>(std::count_if(
        requests.begin(), requests.end(),
        [&](const LoggedRequest& request) { return request.operation == operation; }));
}

TEST_F(SdrWriteInProcess, TheRepositoryIsReadWholeBeforeOneImageIsWrittenAndReadBack) {
    const std::vector<Record> before = Held();
    const std::string file = Renamed("'Watchdog'", "'Watchdo9'");
    ASSERT_EQ(Srvfw({"sdr", "write", file}), 0) << err.str();
    const std::vector<LoggedRequest> requests = Requests();
    const std::size_t change = FirstChange(requests);
    ASSERT_LT(change, requests.size());
    ExpectEveryRecordReadBefore(requests, change, before);
    EXPECT_EQ(Count(requests, "open"), 1u);
    EXPECT_EQ(Count(requests, "close"), 1u);
    EXPECT_EQ(Count(requests, "clear"), 0u);
    // Read back after the close.
    const auto close = std::find_if(requests.begin(), requests.end(),
                                    [](const LoggedRequest& r) { return r.operation == "close"; });
    EXPECT_EQ(close->completionCode, 0x00);
    EXPECT_TRUE(std::any_of(close, requests.end(),
                            [](const LoggedRequest& r) { return r.operation == "get"; }));
    ASSERT_EQ(Held().size(), before.size());
    const std::string renamed = "Watchdo9";
    EXPECT_TRUE(std::any_of(Held().begin(), Held().end(), [&](const Record& record) {
        return std::search(record.begin(), record.end(), renamed.begin(), renamed.end()) !=
               record.end();
    }));
}

// The clear-and-add path loses the fifth part: srvfw clears the repository
// again and adds the backup's records, and reads them back.
TEST_F(SdrWriteInProcess, APartTheBmcDropsIsUndoneByWritingTheBackupBack) {
    Boot({{"sdr.fault.drop_part", "5"}});
    const std::vector<Record> before = Held();
    const std::string file = Renamed("'Watchdog'", "'Watchdo9'");
    EXPECT_EQ(Srvfw({"--platform", "11", "sdr", "write", file}), 7) << err.str();
    EXPECT_NE(err.str().find("was written back from the backup"), std::string::npos) << err.str();
    const std::vector<LoggedRequest> requests = Requests();
    const std::size_t change = FirstChange(requests);
    ExpectEveryRecordReadBefore(requests, change, before);
    const auto dropped =
        std::find_if(requests.begin(), requests.end(), [](const LoggedRequest& request) {
            return request.operation == "add" &&
                   request.note.find("part dropped") != std::string::npos;
        });
    ASSERT_NE(dropped, requests.end());
    // The restore: a clear after the dropped part, then every record added.
    const auto restoreClear = std::find_if(dropped, requests.end(), [](const LoggedRequest& r) {
        return r.operation == "clear" && r.Field("flag") == "AA";
    });
    ASSERT_NE(restoreClear, requests.end());
    const std::size_t lastParts = static_cast<std::size_t>(std::count_if(
        restoreClear, requests.end(),
        [](const LoggedRequest& r) { return r.operation == "add" && r.Field("flag") == "01"; }));
    EXPECT_EQ(lastParts, before.size());
    EXPECT_EQ(Contents(Held()), Contents(before));
}

// The BMC refuses the image at its close, so it took none of it: srvfw
// reads the repository, finds it as it was and writes nothing more.
TEST_F(SdrWriteInProcess, ARefusedImageIsNotWrittenAgain) {
    Boot({{"sdr.fault.close_checksum", "always"}});
    const std::vector<Record> before = Held();
    const std::string file = Renamed("'Watchdog'", "'Watchdo9'");
    EXPECT_EQ(Srvfw({"sdr", "write", file}), 7) << err.str();
    const std::vector<LoggedRequest> requests = Requests();
    EXPECT_EQ(Count(requests, "open"), 1u);
    ASSERT_EQ(Count(requests, "close"), 1u);
    const auto close = std::find_if(requests.begin(), requests.end(),
                                    [](const LoggedRequest& r) { return r.operation == "close"; });
    EXPECT_EQ(close->completionCode, 0xCC);
    EXPECT_EQ(Held(), before);
}

// Neither the write nor the restore gets a part through after the fourth:
// the exit code and the message say the repository is not as it was.
TEST_F(SdrWriteInProcess, ARestoreThatFailsIsReportedAsSuch) {
    std::string dropped;
    for (int part = 5; part < 400; ++part) {
        dropped += (dropped.empty() ? "" : ",") + std::to_string(part);
    }
    Boot({{"sdr.fault.drop_part", dropped}});
    const std::vector<Record> before = Held();
    const std::string file = Renamed("'Watchdog'", "'Watchdo9'");
    EXPECT_EQ(Srvfw({"--platform", "11", "sdr", "write", file}), 8) << err.str();
    EXPECT_NE(err.str().find("The SDR repository is NOT as it was."), std::string::npos)
        << err.str();
    const std::vector<LoggedRequest> requests = Requests();
    // Two clears that started an erase: the write's and the restore's.
    EXPECT_EQ(static_cast<std::size_t>(std::count_if(requests.begin(), requests.end(),
                                                     [](const LoggedRequest& r) {
                                                         return r.operation == "clear" &&
                                                                r.Field("flag") == "AA";
                                                     })),
              2u);
    EXPECT_NE(Contents(Held()), Contents(before));
}

}  // namespace
