// After a failed flash pass the simulated build of tarvo tells the user how
// to put a whole BIOS back; each command it advises is taken from its own
// output and run, with the fault gone, against the same damaged flash, which
// must then hold the image byte for byte. And a closed output must not cut
// the flash passes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/common/files.h"
#include "tests/common/run_command.h"

namespace {

using test_support::CommandOutcome;
using test_support::ReadBytes;
using test_support::RunCommand;

class Recovery : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/tarvorecXXXXXX";
        dir = ::mkdtemp(name);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // A 512 KB server of eight 64 KB blocks (the top one the boot block),
    // its factory flash, and a new image for it.
    void Init() {
        std::filesystem::remove_all(State());
        ASSERT_EQ(Simctl("init bios.rom_kb=512").code, 0);
        ASSERT_EQ(Simctl("dump-rom " + File("factory.rom")).code, 0);
        ASSERT_EQ(Simctl("build-rom " + File("new.rom") + " --rom-id=SRVBD011").code, 0);
    }
    CommandOutcome Simctl(const std::string& args) {
        return RunCommand(std::string(SIMCTL_PATH) + " " + State() + " " + args);
    }
    // Runs a command line with the simulated server, from the test's folder.
    CommandOutcome Run(const std::string& commandLine) {
        return RunCommand("cd " + dir.string() + " && SRVFW_SIM=" + State() + " " + commandLine);
    }
    std::vector<std::uint8_t> Flash() {
        EXPECT_EQ(Simctl("dump-rom " + File("now.rom")).code, 0);
        return ReadBytes(File("now.rom"));
    }
    std::string File(const char* name) const { return (dir / name).string(); }
    std::string State() const { return (dir / "server").string(); }
    std::filesystem::path dir;
};

// The indented command line that follows the line containing `lead`.
std::string AdvisedCommand(const std::string& output, const std::string& lead) {
    const std::size_t at = output.find(lead);
    if (at == std::string::npos) return "";
    const std::size_t start = output.find("\n   ", at);
    if (start == std::string::npos) return "";
    const std::size_t end = output.find('\n', start + 4);
    return output.substr(start + 4, end - start - 4);
}

struct FaultCase {
    const char* name;
    const char* setting;  // KEY=VALUE for simctl set
    int code;
    const char* error;
    const char* changed;  // the blocks the advice lists
    bool romIdErased;     // the boot block, which holds the ROM ID, was touched
};

const FaultCase kFaults[] = {
    {"erase", "bios.fault.erase=0x90000", 67, "Unable to erase block: 0x00090000\n",
     "(2): 0x00080000-0x0009FFFF", false},
    {"write", "bios.fault.write=0xA0800", 68, "Unable to write block: 0x000A0000\n",
     "(7): 0x00080000-0x000EFFFF", false},
    {"verify", "bios.fault.stuck_bits=0xB0010:0xFF", 69,
     "Block data does not match file: 0x000B0000\n", "(7): 0x00080000-0x000EFFFF", false},
    {"boot_block_erase", "bios.fault.erase=0xF0000", 67, "Unable to erase block: 0x000F0000\n",
     "(8): 0x00080000-0x000FFFFF", true},
    {"boot_block_write", "bios.fault.write=0xFFC00", 68, "Unable to write block: 0x000F0000\n",
     "(8): 0x00080000-0x000FFFFF", true},
};

class AdvisedRestore : public Recovery, public ::testing::WithParamInterface<FaultCase> {
  protected:
    // Flashes new.rom (saving the flash first) under the fault, checks the
    // report, clears the fault and returns the advice.
    std::string FailedFlash() {
        const FaultCase& fault = GetParam();
        Init();
        EXPECT_EQ(Simctl(std::string("set ") + fault.setting).code, 0);
        const CommandOutcome failed =
            Run(std::string(TARVO_SIM_PATH) + " /q /osaved.rom /inew.rom /pbn");
        EXPECT_EQ(failed.code, fault.code) << failed.output;
        // The report as it always was, then the advice.
        const std::string report = std::string("\nERROR: ") + fault.error + "\n\n";
        EXPECT_EQ(failed.output.find(report), 0u) << failed.output;
        EXPECT_TRUE(failed.Shows(
            " The flash now holds neither the old BIOS nor all of the new one.\n"
            " Blocks erased or rewritten " +
            std::string(fault.changed) +
            "\n Do not restart or switch off the machine: it may not start from this flash.\n"))
            << failed.output;
        EXPECT_EQ(failed.Shows("/n because the flash's ROM ID was erased"), fault.romIdErased);
        const std::string key =
            std::string(fault.setting).substr(0, std::string(fault.setting).find('='));
        EXPECT_EQ(Simctl("set " + key + "=").code, 0);  // the part works again
        EXPECT_NE(Flash(), ReadBytes(File("new.rom")));
        return failed.output;
    }
};

TEST_P(AdvisedRestore, RunningTheSameCommandAgainWritesTheImage) {
    const std::string advice = FailedFlash();
    const std::string again = AdvisedCommand(advice, "run the same command again");
    const std::string expected =
        std::string(TARVO_SIM_PATH) + " /q /inew.rom /pbn" + (GetParam().romIdErased ? " /n" : "");
    EXPECT_EQ(again, expected) << advice;
    const CommandOutcome retry = Run(again);
    ASSERT_EQ(retry.code, 0) << retry.output;
    EXPECT_EQ(Flash(), ReadBytes(File("new.rom")));
    // The retry did not save the damaged flash over the good copy.
    EXPECT_EQ(ReadBytes(File("saved.rom")), ReadBytes(File("factory.rom")));
}

TEST_P(AdvisedRestore, FlashingTheSavedFileBringsBackTheOldBios) {
    const std::string advice = FailedFlash();
    const std::string back = AdvisedCommand(advice, "or flash the file that /o saved");
    EXPECT_EQ(back, std::string(TARVO_SIM_PATH) + " /q /isaved.rom /pbn" +
                        (GetParam().romIdErased ? " /n" : ""))
        << advice;
    const CommandOutcome restore = Run(back);
    ASSERT_EQ(restore.code, 0) << restore.output;
    EXPECT_EQ(Flash(), ReadBytes(File("factory.rom")));
}

TEST_P(AdvisedRestore, WithoutNTheRetryAfterAnErasedRomIdIsRefused) {
    // What the advice's /n is there for: where the failure left the ROM ID
    // erased, the plain command is refused; where it survived, it works.
    FailedFlash();
    const std::vector<std::uint8_t> flash = Flash();
    const bool erased = std::all_of(flash.end() - 32, flash.end() - 24,
                                    [](std::uint8_t byte) { return byte == 0xFF; });
    EXPECT_TRUE(!erased || GetParam().romIdErased) << "an erased ROM ID the advice did not see";
    const CommandOutcome plain = Run(std::string(TARVO_SIM_PATH) + " /q /inew.rom /pbn");
    if (erased) {
        EXPECT_EQ(plain.code, 4) << plain.output;
    } else {
        EXPECT_EQ(plain.code, 0) << plain.output;
        EXPECT_EQ(Flash(), ReadBytes(File("new.rom")));
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, AdvisedRestore, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Recovery, AdvisedCommandsQuoteWhatTheShellWouldSplit) {
    Init();
    ASSERT_EQ(Simctl("set bios.fault.write=0x80000").code, 0);
    std::filesystem::copy_file(File("new.rom"), File("new image.rom"));
    const CommandOutcome failed =
        Run(std::string(TARVO_SIM_PATH) + " /q \"/ofactory 'copy'.rom\" \"/inew image.rom\"");
    EXPECT_EQ(failed.code, 68);
    EXPECT_EQ(AdvisedCommand(failed.output, "run the same command again"),
              std::string(TARVO_SIM_PATH) + " /q '/inew image.rom'");
    EXPECT_EQ(AdvisedCommand(failed.output, "or flash the file that /o saved"),
              std::string(TARVO_SIM_PATH) + " /q '/ifactory '\\''copy'\\''.rom'");
    ASSERT_EQ(Simctl("set bios.fault.write=").code, 0);
    ASSERT_EQ(Run(AdvisedCommand(failed.output, "or flash the file that /o saved")).code, 0);
    EXPECT_EQ(Flash(), ReadBytes(File("factory.rom")));
}

// Runs tarvo with its standard output a pipe whose reading end is already
// closed; returns the exit status (or 128 + the signal that ended it).
int RunIntoClosedPipe(const std::string& state, const std::vector<std::string>& args) {
    int ends[2];
    if (::pipe(ends) != 0) return -1;
    ::close(ends[0]);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(ends[1], STDOUT_FILENO);
        ::setenv("SRVFW_SIM", state.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(TARVO_SIM_PATH)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(TARVO_SIM_PATH, argv.data());
        ::_exit(127);
    }
    ::close(ends[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(Recovery, AClosedOutputDoesNotCutTheFlashPasses) {
    Init();
    EXPECT_EQ(RunIntoClosedPipe(State(), {"/i" + File("new.rom"), "/pbn"}), 0);
    EXPECT_EQ(Flash(), ReadBytes(File("new.rom")));

    // As a user would do it: only the banner's first line is read.
    Init();
    const CommandOutcome head =
        RunCommand("bash -c 'SRVFW_SIM=" + State() + " " + TARVO_SIM_PATH + " /i" +
                   File("new.rom") + " /pbn | head -1; exit ${PIPESTATUS[0]}'");
    EXPECT_EQ(head.code, 0);
    EXPECT_EQ(head.output, "NAL Firmware Update Utility - Version 1.40 (for linux with driver)\n");
    EXPECT_EQ(Flash(), ReadBytes(File("new.rom")));
}

}  // namespace
