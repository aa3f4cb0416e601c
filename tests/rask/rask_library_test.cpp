// librask's sim build as a host meets it: opened with dlopen, reached
// through its table, against a simulated server built afresh for each test.
// The library object's lifecycle and the last-error rules.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "include/rask_interface.h"
#include "sim/core/machine.h"

namespace {

constexpr unsigned kNotInitialized = 0xC00E0019;
constexpr unsigned kNotOpen = 0xC00E001C;
constexpr unsigned kNoError = 0xC00E001D;
constexpr unsigned kUnsupported = 0xC00E001B;
constexpr unsigned kBufferTooSmall = 0xC00E0007;
constexpr unsigned kLockingFailed = 0xC00E001E;

_EFI_RASK_IF& Table() {
    static void* library = dlopen(LIBRASK_PATH, RTLD_NOW);
    void* entry = library != nullptr ? dlsym(library, "GetRaskInterface") : nullptr;
    if (entry == nullptr) throw std::runtime_error(std::string("librask: ") + dlerror());
    return *reinterpret_cast<_EFI_RASK_IF* (*)()>(entry)();
}

class RaskLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        // The message of a failure an earlier test left is not this one's.
        wchar_t* text = nullptr;
        t.GetLastErrorMessage(&t, text);
    }

    void TearDown() override {
        // Undo every counted Initialize, so the next test starts without an
        // object.
        for (int i = 0; i < 8; ++i) t.DeInitialize(&t);
    }

    void Boot(const std::map<std::string, std::string>& settings = {}) {
        sim::Settings all;
        for (const auto& [key, value] : settings) all.Set(key, value);
        sim::ResetMachine(all);
    }

    unsigned Initialize(int platform = 0) {
        const bool skip = false;
        return t.Initialize(&t, platform, skip);
    }

    // The pending message, or "(none)" when the library has none.
    std::wstring TakeMessage() {
        wchar_t* text = nullptr;
        const unsigned status = t.GetLastErrorMessage(&t, text);
        if (status == kNoError) return L"(none)";
        EXPECT_EQ(status, 0u);
        return text != nullptr ? text : L"(null)";
    }

    unsigned SegmentTableSize() {
        unsigned size = 0;
        const unsigned status = t.GetSegmentTbl(&t, &size, nullptr);
        if (status != kBufferTooSmall) return status;
        // Asking for the size is a failure the library records; it is not
        // the one a test looks for.
        EXPECT_EQ(TakeMessage(), L"The output buffer size is too small to hold requested data.");
        return size;
    }

    std::vector<sim::LogEntry> PciWrites() {
        std::vector<sim::LogEntry> writes;
        for (const auto& entry : sim::TheMachine().Log().Of("pci")) {
            if (entry.operation == "write") writes.push_back(entry);
        }
        return writes;
    }

    _EFI_RASK_IF& t = Table();
};

TEST_F(RaskLibrary, TheTableHasItsRevisionAndEverySlot) {
    EXPECT_EQ(t.Revision, 0x00010000u);
    const auto* slots = reinterpret_cast<void* const*>(reinterpret_cast<const char*>(&t) +
                                                       offsetof(_EFI_RASK_IF, Initialize));
    const std::size_t count =
        (sizeof(_EFI_RASK_IF) - offsetof(_EFI_RASK_IF, Initialize)) / sizeof(void*);
    for (std::size_t i = 0; i < count; ++i) EXPECT_NE(slots[i], nullptr) << "slot " << i + 1;
}

TEST_F(RaskLibrary, BeforeInitializeTheFlashEntriesAnswerNotInitialized) {
    Boot();
    unsigned size = 0;
    EXPECT_EQ(t.GetBiosAreaTbl(&t, &size, nullptr), kNotInitialized);
    EXPECT_EQ(t.OpenRaskDriver(&t), kNotInitialized);
    EXPECT_EQ(TakeMessage(), L"(none)");
}

TEST_F(RaskLibrary, TheEntriesWithoutWorkAnswerAsTheyAlwaysDid) {
    Boot();
    ASSERT_EQ(Initialize(), 0u);
    EXPECT_EQ(t.LoadConfigurationFromSystem(&t), kUnsupported);
    EXPECT_EQ(t.LoadConfigurationFromFile(&t, L"a", L"b"), kUnsupported);
    EXPECT_EQ(t.CommitConfigurationToSystem(&t), kUnsupported);
    EXPECT_EQ(t.SaveConfigurationToFile(&t, L"a", L"b"), kUnsupported);
    const PROGRESS_CALLBACK callback = nullptr;
    EXPECT_EQ(t.SetProgressCallback(&t, callback), kUnsupported);
    EXPECT_EQ(t.SetLanguageLocale(&t, L"en", L"us"), kUnsupported);
    bool loaded = true;
    bool modified = true;
    EXPECT_EQ(t.IsLoaded(&t, loaded), 0u);
    EXPECT_EQ(t.IsModified(&t, modified), 0u);
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(modified);
    const bool skip = true;
    EXPECT_EQ(t.SkipPrimaryCheck(&t, skip), 0u);
    EXPECT_EQ(t.SetDebugLevel(&t, 0), 0u);
    // None of them is a failure to report.
    EXPECT_EQ(TakeMessage(), L"(none)");
}

TEST_F(RaskLibrary, AFailedOpenLeavesTheObjectUncountedUntilTheDriverOpens) {
    struct Case {
        int error;
        unsigned code;
        const wchar_t* text;
    };
    const Case cases[] = {
        {EACCES, 0xC00E0004, L"Root privileges are required to run this application."},
        {EBUSY, 0xC00E0009, L"This application is already running in another process."},
        {ENOENT, 0xC00E000A, L"Unable to load or initialize the /dev/mem driver."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        Boot({{"host.fault.open", "/dev/mem:" + std::to_string(c.error)}});
        EXPECT_EQ(Initialize(), c.code);
        EXPECT_EQ(TakeMessage(), c.text);
        EXPECT_EQ(TakeMessage(), L"(none)");
        unsigned size = 0;
        EXPECT_EQ(t.GetSegmentTbl(&t, &size, nullptr), kNotOpen);
        // Not recorded: the flash entries' refusal is no failure of the
        // flash.
        EXPECT_EQ(TakeMessage(), L"(none)");
        // The object is there, uncounted: a second Initialize opens nothing
        // and counts.
        EXPECT_EQ(Initialize(), 0u);
        EXPECT_EQ(t.GetSegmentTbl(&t, &size, nullptr), kNotOpen);
        EXPECT_EQ(t.OpenRaskDriver(&t), c.code);
        EXPECT_EQ(TakeMessage(), c.text);
        sim::TheMachine().Host().Faults().openErrno.clear();
        EXPECT_EQ(t.OpenRaskDriver(&t), 0u);
        EXPECT_GT(SegmentTableSize(), 32u);
        EXPECT_EQ(t.DeInitialize(&t), 0u);
        EXPECT_EQ(t.GetSegmentTbl(&t, &size, nullptr), kNotInitialized);
    }
}

TEST_F(RaskLibrary, ADeInitializeAfterAFailedOpenFreesTheObjectItLeft) {
    Boot({{"host.fault.open", "/dev/mem:13"}});
    EXPECT_EQ(Initialize(), 0xC00E0004u);
    EXPECT_EQ(TakeMessage(), L"Root privileges are required to run this application.");
    EXPECT_EQ(t.DeInitialize(&t), 0u);
    // The object is gone: nothing answers until the next Initialize.
    EXPECT_EQ(t.OpenRaskDriver(&t), kNotInitialized);
    sim::TheMachine().Host().Faults().openErrno.clear();
    EXPECT_EQ(Initialize(), 0u);
    EXPECT_GT(SegmentTableSize(), 32u);
}

TEST_F(RaskLibrary, TheLastDeInitializeClosesTheDeviceAndLocksTheFlash) {
    Boot();
    ASSERT_EQ(Initialize(), 0u);
    ASSERT_EQ(Initialize(), 0u);
    EXPECT_EQ(t.DeInitialize(&t), 0u);
    EXPECT_GT(SegmentTableSize(), 32u);
    sim::TheMachine().Log().Clear();
    EXPECT_EQ(t.DeInitialize(&t), 0u);
    // Locking clears the BIOS write enable of the LPC bridge (bit 0 of DCh).
    const auto writes = PciWrites();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().address, 0xDCu);
    EXPECT_EQ(writes.back().value & 1, 0u);
    unsigned size = 0;
    EXPECT_EQ(t.GetSegmentTbl(&t, &size, nullptr), kNotInitialized);
    // Nothing is left to undo.
    EXPECT_EQ(t.DeInitialize(&t), 0u);
}

TEST_F(RaskLibrary, TheFirstFailureSinceTheLastReadIsTheOneReported) {
    Boot();
    ASSERT_EQ(Initialize(), 0u);
    unsigned size = 0;
    EXPECT_EQ(t.GetSegmentTbl(&t, &size, nullptr), kBufferTooSmall);
    EXPECT_EQ(t.GetBiosAreaTbl(&t, nullptr, nullptr), 0xC00E0002u);
    EXPECT_EQ(TakeMessage(), L"The output buffer size is too small to hold requested data.");
    EXPECT_EQ(TakeMessage(), L"(none)");
    EXPECT_EQ(t.GetBiosAreaTbl(&t, nullptr, nullptr), 0xC00E0002u);
    EXPECT_EQ(TakeMessage(),
              L"A function argument passed into the Rask Interface is invalid or unrecognized.");
}

TEST_F(RaskLibrary, FlashLockingTakesOnlyTrueOrFalseAndNeedsTheDevice) {
    Boot();
    const bool lock = true;
    EXPECT_EQ(t.SetFlashLocking(lock), kLockingFailed);
    ASSERT_EQ(Initialize(), 0u);
    sim::TheMachine().Log().Clear();
    EXPECT_EQ(t.SetFlashLocking(lock), 0u);
    const auto writes = PciWrites();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().value & 1, 0u);
    const bool unlock = false;
    EXPECT_EQ(t.SetFlashLocking(unlock), 0u);
    EXPECT_EQ(PciWrites().back().value & 1, 1u);
    // A bool whose byte is neither 0 nor 1 is refused and touches nothing.
    unsigned char odd = 2;
    sim::TheMachine().Log().Clear();
    EXPECT_EQ(t.SetFlashLocking(*reinterpret_cast<const bool*>(&odd)), kLockingFailed);
    EXPECT_TRUE(PciWrites().empty());
    EXPECT_EQ(TakeMessage(), L"(none)");
}

TEST_F(RaskLibrary, NotifyFailuresAreReturnedButNotRecorded) {
    Boot({{"board", "ich7-spi"}});
    ASSERT_EQ(Initialize(9), 0u);
    const bool set = true;
    EXPECT_EQ(t.SetUpdateNotify(&t, set), kUnsupported);
    EXPECT_EQ(TakeMessage(), L"(none)");
    const bool reset = false;
    EXPECT_EQ(t.SetUpdateNotify(&t, reset), 0u);
}

TEST_F(RaskLibrary, ThePlatformIdNeedsADriverThatAnswersItsRequest) {
    Boot();
    ASSERT_EQ(Initialize(), 0u);
    wchar_t id[16] = L"unchanged";
    // /dev/mem answers no requests of its own.
    EXPECT_EQ(t.GetPlatformId(&t, 15, id), 0xC00E0001u);
    EXPECT_EQ(TakeMessage(), L"Unknown Error in the Rask Protocol: ErrorCode = 0xc00e0001.");
    EXPECT_EQ(std::wstring(id), L"unchanged");
    EXPECT_EQ(t.GetPlatformId(&t, 15, nullptr), 0xC00E0002u);
}

}  // namespace
