// The management engine's update through the table: reset into transfer
// mode, erase, open, one byte per write, close with length and checksum,
// and back to normal operation; the engine's faults end in clear errors
// with the engine out of transfer mode.
#include "sim/bmc/fw/me_staging.h"
#include "sim/core/machine.h"
#include "tests/duvane/duvane_library.h"

namespace duvane_test {
namespace {

constexpr int kTransferFailed = static_cast<int>(0xC00A001A);
constexpr int kControllerFailed = static_cast<int>(0xC00A0019);

sim::ManagementEngine& Engine() {
    return *sim::TheMachine().Find<sim::ManagementEngine>();
}

Bytes Filler(std::size_t size) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return image;
}

// The words of the image (an odd last byte as the high byte of its word),
// negated: computed here apart from the library and the simulator.
std::uint16_t ExpectedChecksum(const Bytes& image) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        sum += i + 1 < image.size() ? image[i] + 256u * image[i + 1] : 256u * image[i];
    }
    return static_cast<std::uint16_t>(-sum);
}

// The operations, with a run of one operation shown once with its count.
std::string Collapsed(const std::vector<sim::vendor::LoggedRequest>& requests) {
    std::string text;
    for (std::size_t i = 0; i < requests.size();) {
        std::size_t run = 1;
        while (i + run < requests.size() && requests[i + run].operation == requests[i].operation) {
            ++run;
        }
        text += (text.empty() ? "" : " ") + requests[i].operation;
        if (run > 1) text += "*" + std::to_string(run);
        i += run;
    }
    return text;
}

class DuvaneStagingTest : public DuvaneLibraryTest {
  protected:
    int Commit(const Bytes& image, const std::map<std::string, std::string>& settings,
               int platform) {
        Boot(settings, platform);
        EXPECT_EQ(Load(image, FW_FILE_ME_BINARY), 0) << LastError();
        EXPECT_EQ(t.SelectDeviceAddress(&t, DUVANE_DEVICE_ME), 0);
        EXPECT_EQ(t.SelectFwAreaforUpdate(&t, BMC_FW_AREA_OPCODE), 0);
        return t.CommitConfigurationToSystem(&t);
    }
};

TEST_F(DuvaneStagingTest, AnImageIsStagedWholeAndTheEngineRunsItAfterwards) {
    for (const std::size_t size : {std::size_t{40}, std::size_t{41}}) {
        SCOPED_TRACE(size);
        const Bytes image = Filler(size);
        ASSERT_EQ(Commit(image, {{"ipmb.me.staging.erase_ms", "2500"}}, 1), 0) << LastError();
        const auto requests = TakeVendor("me");
        // The erase answers busy until its 2.5 s have passed, one poll a second.
        EXPECT_EQ(Collapsed(requests), "status reset status erase*4 status*2 open status write*" +
                                           std::to_string(size) + " close reset");
        const auto writes = TakeVendor("me", "write");
        ASSERT_EQ(writes.size(), size);
        for (std::size_t i = 0; i < size; ++i) {
            EXPECT_EQ(writes[i].address, (i + 1) & 0xFF);
            EXPECT_EQ(writes[i].value, 1u);
        }
        const auto close = TakeVendor("me", "close");
        ASSERT_EQ(close.size(), 1u);
        EXPECT_EQ(close[0].value, size);
        EXPECT_EQ(close[0].address, ExpectedChecksum(image));
        EXPECT_EQ(close[0].completionCode, 0x00);
        EXPECT_EQ(Engine().RunningImage(), image);
        EXPECT_FALSE(Engine().InTransferMode());
        // The percentages of the writes end at 100.
        ASSERT_FALSE(gProgress.empty());
        EXPECT_EQ(gProgress.back().type, PROGRESS_PERCENT);
        EXPECT_EQ(gProgress.back().text, Text(42));
        EXPECT_EQ(gProgress.back().percent, 100u);
        t.DeInitialize(&t);
        gProgress.clear();
    }
}

struct StagingFault {
    const char* name;
    std::map<std::string, std::string> settings;
    int platform;
    int status;
    unsigned message;  // string index of the last-error text, 0 none asserted
    const char* operations;
};

TEST_F(DuvaneStagingTest, FaultsEndTheUpdateWithTheEngineOutOfTransferMode) {
    const StagingFault cases[] = {
        {"erase refused",
         {{"ipmb.me.fault.erase_refused", "always"}},
         1,
         kTransferFailed,
         13,
         "status reset status erase reset"},
        {"erase never finishes",
         {{"ipmb.me.fault.erase_stuck", "1"}},
         1,
         kTransferFailed,
         12,
         "status reset status erase*60 reset"},
        {"not compatible",
         {{"ipmb.me.fault.not_compatible", "erase"}},
         1,
         kTransferFailed,
         29,
         "status reset status erase*60 reset"},
        {"open refused",
         {{"ipmb.me.fault.not_compatible", "open"}},
         1,
         kTransferFailed,
         29,
         "status reset status erase status*2 open reset"},
        // The third write fails: no close follows, and the failure is the
        // write's.
        {"write refused",
         {{"ipmb.me.fault.refuse_write", "3"}},
         1,
         kTransferFailed,
         0,
         "status reset status erase status*2 open status write*3 status reset"},
        {"status busy, retried",
         {{"ipmb.me.fault.status_busy", "3"}},
         1,
         0,
         0,
         "status*4 reset status erase status*2 open status write*8 close reset"},
        {"status busy too long",
         {{"ipmb.me.fault.status_busy", "always"}},
         1,
         kTransferFailed,
         10,
         "status*10"},
        {"node busy on another platform",
         {{"ipmb.me.staging.busy_code", "0xC0"}, {"ipmb.me.fault.status_busy", "2"}},
         0,
         0,
         0,
         "status*3 reset status erase status*2 open status write*8 close reset"},
        {"reset does not take",
         {{"ipmb.me.fault.reset_stays_normal", "1"}},
         1,
         kControllerFailed,
         30,
         "status reset"},
        {"close refused",
         {{"ipmb.me.fault.close_checksum", "1"}},
         1,
         kTransferFailed,
         0,
         "status reset status erase status*2 open status write*8 close reset"},
    };
    for (const StagingFault& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<std::string, std::string> settings = c.settings;
        settings.emplace("ipmb.me.staging.erase_ms", "0");
        EXPECT_EQ(Commit(Filler(8), settings, c.platform), c.status) << LastError();
        EXPECT_EQ(Collapsed(TakeVendor("me")), c.operations);
        if (c.message != 0) {
            EXPECT_EQ(LastError(), Text(c.message));
        }
        EXPECT_FALSE(Engine().InTransferMode());
        // Only a whole, closed image runs.
        EXPECT_EQ(Engine().RunningImage() == Filler(8), c.status == 0);
        t.DeInitialize(&t);
    }
}

TEST_F(DuvaneStagingTest, WithNoAreaSelectedNothingIsStagedAndTheSlotIsUsedUp) {
    Boot({{"ipmb.me.staging.erase_ms", "0"}});
    ASSERT_EQ(Load(Filler(8), FW_FILE_ME_BINARY), 0);
    ASSERT_EQ(t.SelectDeviceAddress(&t, DUVANE_DEVICE_ME), 0);
    // Nothing selected: the engine is reset and erased but nothing staged.
    EXPECT_EQ(t.CommitConfigurationToSystem(&t), 0);
    EXPECT_EQ(Collapsed(TakeVendor("me")), "status reset status erase status reset");
    EXPECT_FALSE(Engine().InTransferMode());
    // The slot was committed once; the next commit has no image.
    EXPECT_EQ(t.CommitConfigurationToSystem(&t), kNoImage);
}

}  // namespace
}  // namespace duvane_test
