// The frame's command line: options wherever they stand, in both forms,
// refused when repeated or missing a value, "--" ending them; the frame's
// own options and where they point srvfw for its libraries.
#include "host/frame/arguments.h"

#include <gtest/gtest.h>

#include <functional>

#include "host/frame/failure.h"
#include "host/frame/frame_options.h"
#include "host/frame/library_places.h"

namespace srvfw {
namespace {

Arguments Words(std::vector<std::string> words) {
    return Arguments(std::move(words));
}

void ExpectUsageError(const std::function<void()>& run, const std::string& words) {
    try {
        run();
        ADD_FAILURE() << "no usage error";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Code(), ExitCode::kUsage);
        EXPECT_NE(std::string(failure.what()).find(words), std::string::npos) << failure.what();
    }
}

TEST(Arguments, TakesOptionsWhereverTheyStandAndLeavesTheWords) {
    Arguments arguments =
        Words({"fru", "--sim", "state", "set", "--dry-run", "a=b", "--backup=x.fru"});
    EXPECT_EQ(arguments.TakeValue("--sim"), "state");
    EXPECT_TRUE(arguments.TakeFlag("--dry-run"));
    EXPECT_FALSE(arguments.TakeFlag("--json"));
    EXPECT_EQ(arguments.TakeValue("--backup"), "x.fru");
    EXPECT_EQ(arguments.TakeValue("--lib-dir"), std::nullopt);
    EXPECT_EQ(arguments.TakeWords(), (std::vector<std::string>{"fru", "set", "a=b"}));
    EXPECT_NO_THROW(arguments.ExpectNoMore());
}

TEST(Arguments, WordsAfterTheDoubleDashAreNeverOptions) {
    Arguments arguments = Words({"set", "--json", "--", "--json", "x=--dry-run"});
    EXPECT_TRUE(arguments.TakeFlag("--json"));
    EXPECT_FALSE(arguments.TakeFlag("--json"));
    EXPECT_EQ(arguments.TakeWords(), (std::vector<std::string>{"set", "--json", "x=--dry-run"}));
    EXPECT_NO_THROW(arguments.ExpectNoMore());
}

TEST(Arguments, RefusesWhatCannotBeMeant) {
    struct Case {
        std::vector<std::string> words;
        std::function<void(Arguments&)> take;
        std::string error;
    };
    const Case cases[] = {
        {{"--sim", "a", "--sim=b"},
         [](Arguments& a) { a.TakeValue("--sim"); },
         "--sim is given twice"},
        {{"--json", "--json"}, [](Arguments& a) { a.TakeFlag("--json"); }, "--json is given twice"},
        {{"--json=1"}, [](Arguments& a) { a.TakeFlag("--json"); }, "--json takes no value"},
        {{"show", "--sim"}, [](Arguments& a) { a.TakeValue("--sim"); }, "--sim needs a value"},
        // A forgotten value is not taken for a file named like an option.
        {{"--backup", "--dry-run"},
         [](Arguments& a) { a.TakeValue("--backup"); },
         "--backup needs a value"},
        {{"--sim", "--", "dir"}, [](Arguments& a) { a.TakeValue("--sim"); }, "--sim needs a value"},
        {{"show", "--colour"}, [](Arguments& a) { a.ExpectNoMore(); }, "unknown option --colour"},
        {{"show", "extra"}, [](Arguments& a) { a.ExpectNoMore(); }, "unexpected word \"show\""},
        {{"--json"}, [](Arguments& a) { a.TakeWord("FILE"); }, "missing FILE"},
    };
    for (const Case& c : cases) {
        Arguments arguments = Words(c.words);
        ExpectUsageError([&] { c.take(arguments); }, c.error);
    }
}

TEST(FrameOptions, TakesTheFramesOptionsInTheirForms) {
    Arguments arguments = Words({"--json", "fru", "--platform", "0x3", "--debug=2", "--locale",
                                 "en_US", "--sim", "state", "-h", "show", "--interface=kcs"});
    const FrameOptions options = TakeFrameOptions(arguments);
    EXPECT_TRUE(options.json);
    EXPECT_TRUE(options.help);
    EXPECT_EQ(options.platform, 3);
    EXPECT_EQ(options.debugLevel, 2u);
    EXPECT_EQ(options.language, "en");
    EXPECT_EQ(options.country, "us");
    EXPECT_EQ(options.bmcInterface, BmcInterface::kPorts);
    // Absolute: the libraries start with another current directory.
    EXPECT_EQ(options.simDir, std::filesystem::current_path() / "state");
    EXPECT_EQ(arguments.TakeWords(), (std::vector<std::string>{"fru", "show"}));
}

TEST(FrameOptions, DefaultsLeaveTheDebugLogOff) {
    Arguments arguments = Words({"fru", "show"});
    const FrameOptions options = TakeFrameOptions(arguments);
    EXPECT_EQ(options.debugLevel, 0u);
    EXPECT_EQ(options.platform, 0);
    EXPECT_FALSE(options.json);
    EXPECT_FALSE(options.language);
    EXPECT_EQ(options.bmcInterface, BmcInterface::kAuto);
}

TEST(FrameOptions, RefusesValuesOutOfTheirRange) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--debug", "4"}, "--debug takes a level from 0 to 3"},
        {{"--debug", "high"}, "--debug takes a level"},
        {{"--platform", "-1"}, "--platform takes a number"},
        {{"--locale", "english"}, "--locale takes a language and a country"},
        {{"--locale", "e1-us"}, "--locale takes a language and a country"},
        {{"--sim="}, "--sim needs a folder"},
        {{"--interface", "ports"}, "--interface takes auto, driver or kcs, not ports"},
    };
    for (const auto& [words, error] : cases) {
        Arguments arguments = Words(words);
        ExpectUsageError([&] { TakeFrameOptions(arguments); }, error);
    }
}

TEST(LibraryPlaces, FollowTheBuildLayoutUnlessNamed) {
    const std::filesystem::path bin = "/opt/srvfw/bin";
    struct Case {
        std::vector<std::string> words;
        std::filesystem::path libraries;
        std::filesystem::path resources;
    };
    const Case cases[] = {
        {{}, "/opt/srvfw/lib", "/opt/srvfw/res"},
        {{"--sim", "/state"}, "/opt/srvfw/sim/lib", "/opt/srvfw/res"},
        {{"--sim", "/state", "--lib-dir", "/mine"}, "/mine", "/opt/srvfw/res"},
        {{"--res-dir", "/strings"}, "/opt/srvfw/lib", "/strings"},
    };
    for (const Case& c : cases) {
        Arguments arguments = Words(c.words);
        const LibraryPlaces places = PlacesFor(TakeFrameOptions(arguments), bin);
        EXPECT_EQ(places.libraries, c.libraries);
        EXPECT_EQ(places.resources, c.resources);
    }
}

}  // namespace
}  // namespace srvfw
