// The frame's library handle over a table of a library made for the test:
// what it calls in the library, in which order and folder, and what it says
// when a library will not load, start or work.
#include "host/frame/library_handle.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "tests/common/files.h"
#include "tests/host/fake_library/fake_table.h"

namespace srvfw {

template <>
struct LibraryTraits<FAKE_TABLE> {
    static constexpr const char* kFile = "libfake_table.so";
    static constexpr const char* kEntryPoint = "GetFakeInterface";
    static constexpr std::uint32_t kRevision = kFakeTableRevision;
    static constexpr const char* kNoun = "fake library";
    static constexpr const char* kStringFile = "fake/str/fake.str";
    static constexpr bool kTalksToBmc = false;

    static auto InitializeArguments(const FrameOptions& options) {
        return std::tuple(options.platform);
    }
};

namespace {

using FakeLibrary = LibraryHandle<FAKE_TABLE>;

class LibraryHandleTest : public ::testing::Test {
  public:
    void SetUp() override {
        // The same library the handle opens, so that the test writes the
        // script the handle's library reads.
        mLoaded = dlopen(FAKE_LIBRARY_PATH, RTLD_NOW);
        ASSERT_NE(mLoaded, nullptr) << dlerror();
        mScript = reinterpret_cast<FakeScript* (*)()>(dlsym(mLoaded, "FakeScriptOf"))();
        mPlaces.libraries = std::filesystem::path(FAKE_LIBRARY_PATH).parent_path();
        mPlaces.resources = mResources.Path();
        AddStringFile("enus");
        mOptions.platform = 7;
        mOptions.debugLevel = 3;
    }
    void TearDown() override { dlclose(mLoaded); }

    void AddStringFile(const std::string& locale) {
        const auto folder = mResources.Path() / locale / "fake" / "str";
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "fake.str") << "strings";
    }
    void Fails(const std::string& entry, std::uint32_t status, const std::wstring& text = L"") {
        mScript->statuses.emplace_back(entry, status);
        mScript->lastError = text;
    }
    // The failure the handle's constructor (and then `work`) throws.
    template <class Work>
    Failure FailureOf(Work work) {
        try {
            FakeLibrary library(mPlaces, mOptions);
            work(library);
        } catch (const Failure& failure) {
            return failure;
        }
        ADD_FAILURE() << "no failure";
        return Failure(ExitCode::kUsage, "none");
    }
    std::vector<std::string> Calls() const { return mScript->calls; }
    std::string InResources() const {
        return " in " + std::filesystem::canonical(mResources.Path()).string();
    }

    test_support::TempDir mResources{"handle"};
    void* mLoaded = nullptr;
    FakeScript* mScript = nullptr;
    LibraryPlaces mPlaces;
    FrameOptions mOptions;
};

TEST_F(LibraryHandleTest, StartsInTheResourceFolderSetsItsOptionsAndStopsOnce) {
    const auto before = std::filesystem::current_path();
    {
        FakeLibrary library(mPlaces, mOptions);
        library.Call("working", &FAKE_TABLE::Work, 5);
        EXPECT_EQ(std::filesystem::current_path(), before);
    }
    EXPECT_EQ(Calls(),
              (std::vector<std::string>{"Initialize 7" + InResources(), "SetDebugLevel 3",
                                        "SetProgressCallback set", "SetDisplayCallback set",
                                        "Work 5", "DeInitialize"}));
}

TEST_F(LibraryHandleTest, ALanguageIsSetInTheResourceFolderAfterInitialize) {
    AddStringFile("dede");
    mOptions.language = "de";
    mOptions.country = "de";
    { FakeLibrary library(mPlaces, mOptions); }
    ASSERT_GE(Calls().size(), 2U);
    EXPECT_EQ(Calls()[1], "SetLanguageLocale de de");
}

// Each refusal while starting: the words, the exit code, and whether the
// library, once initialized, was stopped again.
TEST_F(LibraryHandleTest, AStartThatFailsSaysWhyAndStopsWhatItStarted) {
    struct Case {
        const char* name;
        std::function<void(LibraryHandleTest&)> arrange;
        std::string message;
        ExitCode code;
        bool deInitialized;
    };
    const std::vector<Case> cases = {
        {"another revision", [](LibraryHandleTest& t) { t.mScript->revision = 0x00020000; },
         "libfake_table.so is not a fake library srvfw knows (table revision 0x00020000, expected "
         "revision 0x00010000)",
         ExitCode::kNotLoadable, false},
        {"no string file",
         [](LibraryHandleTest& t) { std::filesystem::remove_all(t.mResources.Path() / "enus"); },
         "holds no enus/fake/str/fake.str (name the folder with --res-dir)", ExitCode::kNotLoadable,
         false},
        {"Initialize refuses", [](LibraryHandleTest& t) { t.Fails("Initialize", 0xC0070001); },
         "the fake library " FAKE_LIBRARY_PATH " did not start", ExitCode::kNotLoadable, false},
        {"the language is refused",
         [](LibraryHandleTest& t) {
             t.AddStringFile("frfr");
             t.mOptions.language = "fr";
             t.mOptions.country = "fr";
             t.Fails("SetLanguageLocale", 0xC007001F, L"no such strings");
         },
         "setting the language fr-fr: no such strings", ExitCode::kNotLoadable, true},
        {"the debug level is refused",
         [](LibraryHandleTest& t) { t.Fails("SetDebugLevel", 0xC0070005); },
         "setting the debug level: the fake library gave no reason", ExitCode::kLibraryCall, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        *mScript = FakeScript{};
        mOptions = FrameOptions{};
        AddStringFile("enus");
        c.arrange(*this);
        const Failure failure = FailureOf([](FakeLibrary&) {});
        EXPECT_EQ(failure.Code(), c.code);
        EXPECT_NE(std::string(failure.what()).find(c.message), std::string::npos) << failure.what();
        const auto calls = Calls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "DeInitialize"), c.deInitialized ? 1 : 0);
    }
}

TEST_F(LibraryHandleTest, AFailedCallCarriesTheLibrarysTextAndStatus) {
    Fails("Work", 0xC0070028, L"The BMC gave no answer");
    const Failure failure =
        FailureOf([](FakeLibrary& library) { library.Call("reading", &FAKE_TABLE::Work, 1); });
    EXPECT_EQ(failure.Code(), ExitCode::kLibraryCall);
    EXPECT_STREQ(failure.what(), "reading: The BMC gave no answer");
    EXPECT_EQ(failure.Status(), 0xC0070028U);
    // Asked once, right after the failure.
    const auto calls = Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "GetLastErrorMessage"), 1);
}

TEST_F(LibraryHandleTest, AnEntryTheTableLacksIsNotCalled) {
    mScript->withoutWork = true;
    const Failure failure =
        FailureOf([](FakeLibrary& library) { library.Try("Work", &FAKE_TABLE::Work, 1); });
    EXPECT_EQ(failure.Code(), ExitCode::kNotLoadable);
    EXPECT_STREQ(failure.what(), "the fake library's table has no entry for Work");
}

}  // namespace
}  // namespace srvfw
