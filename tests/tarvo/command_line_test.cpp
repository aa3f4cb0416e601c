// The command line's rules: which arguments are valid and what each sets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tarvo/options.h"

namespace tarvo {
namespace {

bool Parse(std::vector<std::string> args, Options& options) {
    std::vector<const char*> argv{"tarvo"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), options);
}

TEST(CommandLine, InvalidForms) {
    const std::vector<std::vector<std::string>> invalid = {
        {},                 // no argument at all
        {"/x"},             // no such option
        {"/I", "rom.bin"},  // options are case-sensitive
        {"-i"},             // not an option
        {"/"},              // too short
        {"/pbnx"},          // a /p letter other than b, n, c
        {"/iok.rom", "/q", "/p7"},
        {"/i" + std::string(128, 'a')},  // a name longer than 127 characters is never cut
        {"/o" + std::string(128, 'a')},
        {"/u" + std::string(128, 'a')},
    };
    for (const auto& args : invalid) {
        Options options;
        EXPECT_FALSE(Parse(args, options)) << (args.empty() ? "(none)" : args[0]);
    }
    Options options;
    EXPECT_TRUE(Parse({"/i" + std::string(127, 'a')}, options));
    EXPECT_EQ(options.inputFile.size(), 127u);
}

TEST(CommandLine, ValuesFollowTheLetterDirectly) {
    Options options;
    ASSERT_TRUE(
        Parse({"/inew.rom", "/oold.rom", "/ushow.rom", "/n", "/s", "/t", "/q", "/h"}, options));
    EXPECT_EQ(options.inputFile, "new.rom");
    EXPECT_TRUE(options.inputGiven);
    EXPECT_EQ(options.outputFile, "old.rom");
    EXPECT_TRUE(options.outputGiven);
    EXPECT_EQ(options.showFile, "show.rom");
    EXPECT_TRUE(options.showFileGiven);
    EXPECT_FALSE(options.checkRomId);
    EXPECT_EQ(options.signatureValue, 0x12);
    EXPECT_TRUE(options.showRomId);
    EXPECT_TRUE(options.quiet);
    EXPECT_TRUE(options.help);
    EXPECT_TRUE(options.programMainBios);
}

TEST(CommandLine, LaterOptionOverridesEarlier) {
    Options options;
    ASSERT_TRUE(Parse({"/ifirst.rom", "/isecond.rom"}, options));
    EXPECT_EQ(options.inputFile, "second.rom");
}

TEST(CommandLine, ProgramFlags) {
    struct Case {
        std::string arg;
        bool bootBlock, nvram, cmos;
    } cases[] = {
        {"/p", false, false, false},  // accepted, sets nothing
        {"/pb", true, false, false}, {"/pBn", true, true, false},
        {"/pC", false, false, true}, {"/pbnc", true, true, true},
    };
    for (const Case& c : cases) {
        Options options;
        ASSERT_TRUE(Parse({c.arg}, options)) << c.arg;
        EXPECT_EQ(options.programBootBlock, c.bootBlock) << c.arg;
        EXPECT_EQ(options.programNvram, c.nvram) << c.arg;
        EXPECT_EQ(options.destroyCmos, c.cmos) << c.arg;
    }
}

TEST(CommandLine, NonCriticalSelectionRules) {
    struct Case {
        std::vector<std::string> args;
        bool main, bootBlock, nvram, nonCritical;
        std::vector<std::uint8_t> numbers;
    } cases[] = {
        {{"/pbn"}, true, true, true, false, {}},
        {{"/pbn", "/k"}, false, false, false, true, {}},
        {{"/k3", "/pbn"}, false, false, false, true, {3}},
        {{"/c"}, true, false, false, true, {}},
        {{"/c1", "/c 2", "/k-1"}, true, false, false, true, {1, 2, 255}},
        {{"/pbn", "/k", "/c"}, true, false, false, true, {}},   // /k and /c: main + all nc
        {{"/pbn", "/d", "/c"}, false, false, false, true, {}},  // /d wins over /c
        {{"/kx"}, false, false, false, true, {0}},              // no digits: number 0
        {{"/k300"}, false, false, false, true, {44}},           // kept as one byte
    };
    for (const Case& c : cases) {
        Options options;
        ASSERT_TRUE(Parse(c.args, options)) << c.args[0];
        EXPECT_EQ(options.programMainBios, c.main) << c.args[0];
        EXPECT_EQ(options.programBootBlock, c.bootBlock) << c.args[0];
        EXPECT_EQ(options.programNvram, c.nvram) << c.args[0];
        EXPECT_EQ(options.nonCriticalSelected, c.nonCritical) << c.args[0];
        EXPECT_EQ(options.blockNumbers, c.numbers) << c.args[0];
    }
}

TEST(CommandLine, ParsingStartsFromCleanSettings) {
    Options options;
    ASSERT_TRUE(Parse({"/pbnc", "/k2", "/q"}, options));
    ASSERT_TRUE(Parse({"/t"}, options));
    EXPECT_FALSE(options.programBootBlock);
    EXPECT_FALSE(options.quiet);
    EXPECT_TRUE(options.blockNumbers.empty());
    EXPECT_TRUE(options.programMainBios);
}

}  // namespace
}  // namespace tarvo
