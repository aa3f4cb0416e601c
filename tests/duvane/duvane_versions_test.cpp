// The running versions of the controllers, the RMM version, version lists
// and the front panel lock, through the table against the simulated BMC.
#include <span>

#include "tests/duvane/duvane_library.h"

namespace duvane_test {
namespace {

constexpr int kRmmPlatform = 15;

std::wstring SystemVersion(_EFI_DUVANE_INTERFACE& t, EFWUPDATE_DEVICE_AREA area) {
    wchar_t version[DUVANE_VERSION_LENGTH];
    std::fill(std::begin(version), std::end(version), L'#');
    EXPECT_EQ(t.SelectDeviceArea(&t, area), 0);
    const int status = t.GetVersionFromSystem(&t, version);
    if (status != 0) return L"status " + std::to_wstring(status);
    // Always terminated inside the host's buffer.
    EXPECT_EQ(version[DUVANE_VERSION_LENGTH - 1], L'\0');
    return version;
}

struct DeviceVersions {
    const char* name;
    std::map<std::string, std::string> settings;
    unsigned char address;
    const wchar_t* opcode;
    const wchar_t* boot;
    const wchar_t* pia;
};

TEST_F(DuvaneLibraryTest, RunningVersionsComeFromEachControllersDeviceId) {
    const DeviceVersions cases[] = {
        {"BMC",
         {{"bmc.firmware", "2.35"}, {"bmc.aux_firmware", "01100203"}},
         DUVANE_DEVICE_BMC,
         L"2.35",
         L"1.10",
         L"2.03"},
        {"front panel",
         {{"ipmb.front_panel.firmware", "1.07"}, {"ipmb.front_panel.aux_firmware", "00420100"}},
         DUVANE_DEVICE_FRONT_PANEL,
         L"1.07",
         L"0.42",
         L"1.00"},
        // A hot-swap controller reports its boot version where the others
        // have the operational code's, and no PIA.
        {"hot-swap", {{"ipmb.hsc0.firmware", "3.01"}}, DUVANE_DEVICE_HSC0, L"3.01", L"3.01", L""},
        {"engine", {{"ipmb.me.firmware", "4.12"}}, DUVANE_DEVICE_ME, L"4.12", L"", L""},
    };
    for (const DeviceVersions& c : cases) {
        SCOPED_TRACE(c.name);
        Boot(c.settings);
        ASSERT_EQ(t.SelectDeviceAddress(&t, c.address), 0);
        ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0) << LastError();
        EXPECT_EQ(SystemVersion(t, EFWUPDATE_DEVICE_AREA_OPCODE), c.opcode);
        EXPECT_EQ(SystemVersion(t, EFWUPDATE_DEVICE_AREA_EFS), c.opcode);
        EXPECT_EQ(SystemVersion(t, EFWUPDATE_DEVICE_AREA_BOOT), c.boot);
        EXPECT_EQ(SystemVersion(t, EFWUPDATE_DEVICE_AREA_PIA), c.pia);
        t.DeInitialize(&t);
    }
}

TEST_F(DuvaneLibraryTest, VersionsNeedADeviceAndAnAreaAndAnAnsweringController) {
    Boot({{"ipmb.hsc1.fault.answer", "0x06:0x01:0xC3"}});
    wchar_t version[DUVANE_VERSION_LENGTH];
    EXPECT_EQ(t.GetVersionFromSystem(&t, version), static_cast<int>(0xC00A000B));
    EXPECT_EQ(t.LoadConfigurationFromSystem(&t), static_cast<int>(0xC00A0013));
    ASSERT_EQ(t.SelectDeviceAddress(&t, DUVANE_DEVICE_BMC), 0);
    ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0);
    EXPECT_EQ(t.GetVersionFromSystem(&t, version), static_cast<int>(0xC00A0013));
    // A controller that does not answer takes the loaded versions with it.
    ASSERT_EQ(t.SelectDeviceAddress(&t, DUVANE_DEVICE_HSC1), 0);
    EXPECT_EQ(t.LoadConfigurationFromSystem(&t), static_cast<int>(0xC00A0019));
    EXPECT_NE(LastError().find(L"C2"), std::wstring::npos) << LastError();
    EXPECT_EQ(SystemVersion(t, EFWUPDATE_DEVICE_AREA_OPCODE),
              L"status " + std::to_wstring(static_cast<int>(0xC00A000B)));
}

struct RmmCase {
    const char* name;
    std::map<std::string, std::string> settings;
    int platform;
    const wchar_t* version;
    const char* queries;
};

TEST_F(DuvaneLibraryTest, TheRmmVersionIsAskedOnTheRmmPlatformOnly) {
    const RmmCase cases[] = {
        {"present", {{"bmc.rmm.version", "2.0A"}}, kRmmPlatform, L"2.0A", "features features"},
        {"absent", {{"bmc.rmm.present", "0"}}, kRmmPlatform, L"", "features"},
        {"no data", {{"bmc.fault.features_no_data", "always"}}, kRmmPlatform, L"", "features"},
        {"other platform", {}, 1, L"", ""},
    };
    for (const RmmCase& c : cases) {
        SCOPED_TRACE(c.name);
        Boot(c.settings, c.platform);
        ASSERT_EQ(t.SelectDeviceAddress(&t, DUVANE_DEVICE_BMC), 0);
        ASSERT_EQ(t.LoadConfigurationFromSystem(&t), 0) << LastError();
        EXPECT_EQ(SystemVersion(t, EFWUPDATE_DEVICE_AREA_RMM), c.version);
        EXPECT_EQ(VendorOperations("fw"), c.queries);
        t.DeInitialize(&t);
    }
}

struct SupportCase {
    const wchar_t* version;
    std::vector<const wchar_t*> list;
    int status;
    bool supported;
};

TEST_F(DuvaneLibraryTest, VersionListsCompareMajorThenMinor) {
    Boot();
    const SupportCase cases[] = {
        {L"01.05", {L"01.00-01.09"}, 0, true},
        {L"01.05", {L"01.06+"}, 0, false},
        {L"01.05", {L"01.05"}, 0, true},
        {L"1.5", {L"01.05"}, 0, true},
        {L"01.09", {L"01.00-01.09"}, 0, true},
        {L"01.0A", {L"01.00-01.09"}, 0, false},
        // A hexadecimal minor of 10h is above 09h but still below 2.00.
        {L"01.10", {L"02.00+"}, 0, false},
        {L"01.10", {L"01.00-01.FF"}, 0, true},
        {L"02.00", {L"01.10-01.FF"}, 0, false},
        {L"02.00", {L"01.50", L"01.10+"}, 0, true},
        {L"01.05", {}, 0, false},
        {L"01.05", {L"beta"}, static_cast<int>(0xC00A000C), false},
        {L"01.05", {L"01.00-"}, static_cast<int>(0xC00A000C), false},
        {L"abc", {L"01.00+"}, static_cast<int>(0xC00A000C), false},
    };
    for (const SupportCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.version, c.version + wcslen(c.version)));
        bool supported = !c.supported;
        std::vector<const wchar_t*> list = c.list;
        EXPECT_EQ(t.IsVersionSupported(&t, c.version, list.data(),
                                       static_cast<unsigned>(list.size()), supported),
                  c.status);
        EXPECT_EQ(supported, c.supported);
        if (c.status != 0) {
            EXPECT_NE(LastError().find(L"cannot be read"), std::wstring::npos);
        }
    }
}

struct LockCase {
    const char* name;
    std::map<std::string, std::string> settings;
    bool lock;
    int status;
    const char* operations;
    std::uint64_t flags;  // the lock byte or the chassis flags asked for
};

class DuvaneLockTest : public DuvaneLibraryTest {
  protected:
    // The BMC's type is asked once in a process, so each test keeps to
    // cases of one type.
    void Run(std::span<const LockCase> cases) {
        for (const LockCase& c : cases) {
            SCOPED_TRACE(c.name);
            Boot(c.settings);
            EXPECT_EQ(t.LockFrontPanel(&t, c.lock), c.status);
            const auto requests = TakeVendor("fw");
            EXPECT_EQ(VendorOperations("fw"), c.operations);
            if (!requests.empty()) {
                EXPECT_EQ(requests.back().address, c.flags);
            }
            if (c.status != 0) {
                EXPECT_EQ(LastError(), Text(c.lock ? 31 : 32));
            }
            t.DeInitialize(&t);
        }
    }
};

TEST_F(DuvaneLockTest, ABmcWithTheVendorCommandLocksByIt) {
    const LockCase cases[] = {
        {"lock", {}, true, 0, "panel_lock", 0xF0},
        {"unlock", {{"bmc.front_panel.locked", "1"}}, false, 0, "panel_lock", 0x00},
        {"refused",
         {{"bmc.fault.answer", "0x30:0x1E:0xC1"}},
         true,
         static_cast<int>(0xC00A001E),
         "",
         0},
        {"unlock refused",
         {{"bmc.fault.answer", "0x30:0x1E:0xC1"}},
         false,
         static_cast<int>(0xC00A001E),
         "",
         0},
    };
    Run(cases);
}

TEST_F(DuvaneLockTest, OtherBmcsLockThroughTheChassisCapabilities) {
    const LockCase cases[] = {
        {"lock", {{"bmc.product_id", "0x4311"}}, true, 0, "chassis_get chassis_set", 0x02},
        {"unlock",
         {{"bmc.product_id", "0x4311"}, {"chassis.capabilities", "0x02"}},
         false,
         0,
         "chassis_get chassis_set",
         0x00},
        {"set refused",
         {{"bmc.product_id", "0x4311"}, {"bmc.fault.answer", "0x00:0x05:0xC1"}},
         true,
         static_cast<int>(0xC00A001E),
         "chassis_get",
         0},
    };
    Run(cases);
}

}  // namespace
}  // namespace duvane_test
