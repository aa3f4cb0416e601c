// What keeps a run of tarvo from leaving the flash or the disk damaged:
// stop signals held over the flash passes, the advice after a failed pass,
// "/u" alone, input that is not a regular file, and the temporary file of
// "/o".
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "hw/hw.h"
#include "tarvo/pending_file.h"
#include "tarvo/recovery_advice.h"
#include "tests/common/files.h"
#include "tests/tarvo/tarvo_fixture.h"

namespace tarvo_test {
namespace {

using Safety = TarvoTest;

// Position of the first request-log entry matching component and operation
// (and value, when given), or the log's length.
std::size_t LogPosition(const std::vector<sim::LogEntry>& log, const std::string& component,
                        const std::string& operation, std::optional<std::uint64_t> value = {}) {
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i].component == component && log[i].operation == operation &&
            (!value || log[i].value == *value)) {
            return i;
        }
    }
    return log.size();
}

std::size_t LastPosition(const std::vector<sim::LogEntry>& log, const std::string& component,
                         const std::string& operation) {
    std::size_t last = log.size();
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i].component == component && log[i].operation == operation) last = i;
    }
    return last;
}

class StopSignalDuringWrite : public TarvoTest, public ::testing::WithParamInterface<int> {};

TEST_P(StopSignalDuringWrite, TheFlashIsFinishedThenTheRunStops) {
    const int signal = GetParam();
    // The signal arrives in the middle of the write sweep, block 1 half
    // written.
    Boot({{"bios.fault.signal", "0xD8000:" + std::to_string(signal)}});
    const std::vector<std::uint8_t> image = Image().BootBlockMarker().Build();
    const Outcome run = Tarvo({"/q", "/pbnc", "/t", "/i" + WriteFile("new.rom", image)});

    EXPECT_EQ(run.code, 70) << run.output;
    EXPECT_EQ(run.output, Error(std::string("Stopped by ") + hw::SignalName(signal) +
                                " after the flash was written and verified in full"));
    EXPECT_EQ(FlashContents(), image);
    // Nothing after the passes: no CMOS, no ROM ID line (checked above).
    EXPECT_TRUE(Machine().Log().Of("cmos").empty());

    const auto& log = Machine().Log().Entries();
    const std::size_t hold = LogPosition(log, "host", "signal-hold");
    const std::size_t raised = LogPosition(log, "bios", "raise-signal", signal);
    const std::size_t release = LogPosition(log, "host", "signal-release", signal);
    ASSERT_LT(raised, log.size());
    EXPECT_LT(hold, LogPosition(log, "bios", "FLASH_ERASE"));
    EXPECT_LT(raised, LastPosition(log, "bios", "FLASH_WRITE")) << "raised mid-sweep";
    EXPECT_LT(LastPosition(log, "bios", "FLASH_READ"), release) << "verified before release";
    EXPECT_EQ(BiosCalls("FLASH_WRITE").size(), 4 * 64u);
    EXPECT_EQ(BiosCalls("FLASH_CLOSE").size(), 1u);
    EXPECT_FALSE(Module().Loaded());
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalDuringWrite, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(hw::SignalName(info.param)); });

TEST_F(Safety, ASignalDuringAFailedPassFollowsTheAdvice) {
    Boot({{"bios.fault.signal", "0xC0000:15"}, {"bios.fault.write", "0xD0400"}});
    const std::string file = WriteFile("new.rom", Image().Build());
    const Outcome run = Tarvo({"/q", "/i" + file});
    EXPECT_EQ(run.code, 68) << "the failure stays the exit code";
    const std::size_t report = run.output.find(Error("Unable to write block: 0x000D0000\n"));
    const std::size_t advice =
        run.output.find(" Blocks erased or rewritten (2): 0x000C0000-0x000DFFFF\n");
    const std::size_t stopped = run.output.find(Error("Stopped by SIGTERM"));
    EXPECT_EQ(report, 0u) << run.output;
    EXPECT_LT(report, advice);
    EXPECT_LT(advice, stopped);
    EXPECT_NE(stopped, std::string::npos) << run.output;
    EXPECT_TRUE(run.Shows("\n   tarvo /q /i" + file + "\n")) << run.output;
}

TEST_F(Safety, AdviceNamesTheChangedBlocksOfEachPass) {
    struct Case {
        std::vector<std::string> options;
        const char* fault;
        const char* blocks;
        bool needsN;
    } cases[] = {
        // The main pass reached the first block only.
        {{"/q"}, "0xC0000", "(1): 0x000C0000-0x000CFFFF", false},
        // The boot block pass, after a whole main pass (block 0 and NVRAM;
        // block 1 is non-critical).
        {{"/q", "/pbn"}, "0xF0000", "(3): 0x000C0000-0x000CFFFF 0x000E0000-0x000FFFFF", true},
        // Only the non-critical block that was selected.
        {{"/q", "/k1"}, "0xE0000", "(1): 0x000E0000-0x000EFFFF", false},
        // /n already given: not added again.
        {{"/q", "/n", "/pbn"},
         "0xF0000",
         "(3): 0x000C0000-0x000CFFFF 0x000E0000-0x000FFFFF",
         false},
    };
    for (const Case& c : cases) {
        Boot({{"bios.fault.erase", c.fault}});
        std::vector<std::string> args = c.options;
        const std::string file = WriteFile(
            "new.rom",
            Image().NonCriticalBlock(0x10000, 0x10000).NonCriticalBlock(0x20000, 0x10000).Build());
        args.push_back("/i" + file);
        const Outcome run = Tarvo(args);
        EXPECT_EQ(run.code, 67) << run.output;
        EXPECT_TRUE(run.Shows(std::string(" Blocks erased or rewritten ") + c.blocks + "\n"))
            << run.output;
        std::string command = "tarvo";
        for (const std::string& arg : args) command += " " + arg;
        if (c.needsN) command += " /n";
        EXPECT_TRUE(
            run.Shows("run the same command again from this directory:\n   " + command + "\n"))
            << run.output;
        EXPECT_FALSE(run.Shows("/o saved")) << "no saved file to speak of";
    }
}

TEST_F(Safety, RecoveryCommandsLeaveOutWhatWouldDoHarm) {
    const char* argv[] = {"./tarvo", "/oold.rom", "/s", "/inew.rom", "/pbn", "/q"};
    EXPECT_EQ(tarvo::RecoveryCommand(6, argv, false), "./tarvo /s /inew.rom /pbn /q");
    EXPECT_EQ(tarvo::RecoveryCommand(6, argv, true), "./tarvo /s /inew.rom /pbn /q /n");
    const std::string saved = "old.rom";
    EXPECT_EQ(tarvo::RecoveryCommand(6, argv, true, &saved), "./tarvo /iold.rom /pbn /q /n");
    const char* odd[] = {"tarvo", "/ia b$(x).rom", ""};
    EXPECT_EQ(tarvo::RecoveryCommand(3, odd, false), "tarvo '/ia b$(x).rom' ''");
}

TEST_F(Safety, ShowFileAloneExitsWithItsResult) {
    Boot();
    const std::string good = WriteFile("good.rom", Image().Build());
    const std::string odd = WriteFile("odd.rom", std::vector<std::uint8_t>(384 * 1024, 0x41));
    struct Case {
        std::vector<std::string> args;
        int code;
        bool reachedTheBios;
    } cases[] = {
        {{"/u" + (dir / "none.rom").string()}, 49, false},
        {{"/q", "/n", "/u" + odd}, 3, false},
        {{"/u" + dir.string()}, 49, false},  // a directory
        {{"/u" + good}, 0, true},
        // With something else asked for, the sequence goes on as before.
        {{"/u" + odd, "/t"}, 0, true},
    };
    for (const Case& c : cases) {
        Boot();
        const Outcome run = Tarvo(c.args);
        EXPECT_EQ(run.code, c.code) << c.args[0] << run.output;
        EXPECT_EQ(!BiosCalls().empty(), c.reachedTheBios) << c.args[0];
    }
}

TEST_F(Safety, OnlyRegularFilesAreRead) {
    const std::string fifo = (dir / "image.fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> args;
        std::string file;
        int code;
    } cases[] = {
        {{"/i" + fifo}, fifo, 48},
        {{"/d", "/i/dev/zero"}, "/dev/zero", 48},
        {{"/i" + dir.string()}, dir.string(), 48},
        {{"/u" + fifo}, fifo, 49},
    };
    for (const Case& c : cases) {
        Boot();
        const Outcome run = Tarvo(c.args);  // a FIFO must not make this wait
        EXPECT_EQ(run.code, c.code) << c.file << run.output;
        EXPECT_TRUE(run.Shows(Error(
            c.file + " is not a regular file: a FIFO, a device or a directory is never read")))
            << run.output;
        EXPECT_TRUE(BiosCalls("FLASH_ERASE").empty());
    }
}

TEST_F(Safety, TheTemporaryFileNeverFollowsAPlantedLink) {
    const std::filesystem::path target = dir / "saved.rom";
    const std::filesystem::path elsewhere = dir / "elsewhere";
    std::filesystem::create_symlink(elsewhere, dir / "saved.rom.first");
    { std::ofstream(dir / "saved.rom.second") << "keep"; }
    const char* names[] = {"first", "second", "third"};
    std::size_t next = 0;
    tarvo::PendingFile file(target.string(), [&] { return std::string(names[next++ % 3]); });
    ASSERT_NE(file.Stream(), nullptr);
    EXPECT_EQ(file.TemporaryName(), (dir / "saved.rom.third").string());
    std::fputs("flash", file.Stream());
    ASSERT_TRUE(file.Commit());

    EXPECT_FALSE(std::filesystem::exists(elsewhere)) << "nothing created where the link points";
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "saved.rom.first"));
    EXPECT_EQ(test_support::ReadBytes(dir / "saved.rom.second"),
              (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(test_support::ReadBytes(target),
              (std::vector<std::uint8_t>{'f', 'l', 'a', 's', 'h'}));
    EXPECT_FALSE(std::filesystem::exists(dir / "saved.rom.third"));
}

TEST_F(Safety, TheTemporaryFileTakesTheUsualModeAndGoesAwayOnFailure) {
    const mode_t mask = ::umask(022);
    {
        tarvo::PendingFile file((dir / "a.rom").string());
        ASSERT_NE(file.Stream(), nullptr);
        struct stat status {};
        ASSERT_EQ(::stat(file.TemporaryName().c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0644u);
    }  // not committed
    ::umask(mask);
    EXPECT_TRUE(std::filesystem::is_empty(dir)) << "an abandoned file is removed";
}

TEST_F(Safety, SavingLeavesNoTemporaryFileBehind) {
    Boot();
    const std::string image = WriteFile("new.rom", Image().Build());
    ASSERT_EQ(Tarvo({"/q", "/o" + (dir / "saved.rom").string(), "/i" + image}).code, 0);
    Boot({{"bios.fault.read", "0xE0400"}});
    EXPECT_EQ(Tarvo({"/q", "/o" + (dir / "failed.rom").string()}).code, 66);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"new.rom", "saved.rom"}));
}

}  // namespace
}  // namespace tarvo_test
