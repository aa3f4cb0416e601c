// srvfw's bios commands through the built program, loading the simulated
// BIOS library against a simulated server that simctl sets up: the words
// and exit codes, and an area written, read back in another run, and after
// a failed write put back with the very command srvfw names.
#include <gtest/gtest.h>

#include "tests/host/srvfw_run_fixture.h"

namespace {

using test_support::CommandOutcome;
using test_support::ReadBytes;
using test_support::ReadText;
using test_support::WriteBytes;

class BiosOnSimulatedServer : public test_support::SrvfwRun {
  protected:
    BiosOnSimulatedServer() : SrvfwRun("biosbin") {}

    // The area's bytes as "bios read" saves them to a new file `name`.
    std::vector<std::uint8_t> ReadArea(const std::string& area, const std::string& name) {
        const CommandOutcome read = Srvfw("bios read " + area + " " + dir / name);
        EXPECT_EQ(read.code, 0) << read.output;
        return ReadBytes(dir / name);
    }
};

TEST_F(BiosOnSimulatedServer, WrongWordsAndFilesEndWithTheirExitCodes) {
    const struct {
        std::string args;
        int code;
        const char* said;
    } cases[] = {
        {"bios", 1, "missing a bios command"},
        {"bios flash", 1, "unknown command \"bios flash\""},
        {"bios read", 1, "AREA"},
        {"bios read 1", 1, "FILE"},
        {"bios tables extra", 1, "extra"},
        {"bios write 1 DIR/new.bin --dry-run --backup DIR/b", 1, "--backup has no use"},
        {"bios notify maybe", 1, "notify takes status, set or reset"},
        {"--locale de-de bios tables", 1, "--locale has no use"},
        {"--lib-dir DIR bios tables", 2, "librask.so.9"},
        {"bios read 9 DIR/x.bin", 5, "the BIOS has no area \"9\"; its areas are 1 \"Main BIOS\""},
        {"bios write 2 DIR/missing.bin", 4, "cannot read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const CommandOutcome run = Srvfw(InScratch(c.args));
        EXPECT_EQ(run.code, c.code) << run.output;
        EXPECT_TRUE(run.Shows(c.said)) << run.output;
    }
    EXPECT_TRUE(Named("x.bin").empty());
}

TEST_F(BiosOnSimulatedServer, TablesInJsonNameTheAreasAndTheNotification) {
    const CommandOutcome tables = SrvfwResult("--json bios tables");
    ASSERT_EQ(tables.code, 0) << tables.output;
    EXPECT_EQ(Json(tables.output, "[a['name'] for a in d['areas']]"),
              R"(["Main BIOS", "Microcode", "Setup Defaults", "Boot Block"])");
    EXPECT_EQ(Json(tables.output, "[s['partition'] for s in d['segments']]"), "[2, 2, 1]");
    EXPECT_EQ(Json(tables.output, "d['notification']['state']"), "\"none\"");
    EXPECT_EQ(Json(tables.output, "d['flash']['interface']"), "\"memory\"");
}

// What one run writes the next reads: the flash is kept in the server's
// state directory.
TEST_F(BiosOnSimulatedServer, AnAreaWrittenIsReadBackAndTheBiosToldOfIt) {
    std::vector<std::uint8_t> image = ReadArea("Microcode", "old.bin");
    ASSERT_EQ(image.size(), 0x10000u);
    for (std::uint8_t& byte : image) byte = static_cast<std::uint8_t>(~byte);
    WriteBytes(dir / "new.bin", image);
    const CommandOutcome written = SrvfwResult("--json bios write microcode new.bin --notify");
    ASSERT_EQ(written.code, 0) << written.output << ReadText(dir / "stderr");
    EXPECT_EQ(Json(written.output, "[d['written'], d['notified']]"), "[true, true]");
    EXPECT_EQ(Json(written.output, "d['backup']"), "\"" + dir / "new.bin.backup-Microcode\"");
    EXPECT_EQ(ReadArea("2", "back.bin"), image);
    EXPECT_EQ(ReadBytes(dir / "new.bin.backup-Microcode"), ReadBytes(dir / "old.bin"));
    const CommandOutcome state = SrvfwResult("--json bios notify");
    EXPECT_EQ(Json(state.output, "d['state']"), "\"pending\"");
}

TEST_F(BiosOnSimulatedServer, AfterAFailedWriteTheNamedCommandPutsTheBackupBack) {
    const std::vector<std::uint8_t> old = ReadArea("1", "old.bin");
    std::vector<std::uint8_t> image = old;
    for (std::uint8_t& byte : image) byte ^= 0xA5;
    WriteBytes(dir / "new.bin", image);
    ASSERT_EQ(Simctl("set flash.fault.program=0xFFF31000").code, 0);
    const CommandOutcome failed = Srvfw("bios write 1 new.bin");
    EXPECT_EQ(failed.code, 3) << failed.output;
    EXPECT_TRUE(failed.Shows("block 4 at 0xFFF30000 mixed, block 5 at 0xFFF40000 erased"))
        << failed.output;
    const std::string hint = "\"srvfw --sim " + state + " bios write 1 ";
    const std::size_t at = failed.output.find(hint);
    ASSERT_NE(at, std::string::npos) << failed.output;
    const std::size_t end = failed.output.find('"', at + 1);
    std::string restore = failed.output.substr(at + 1, end - at - 1);
    restore.replace(0, 5, SRVFW_PATH);

    ASSERT_EQ(Simctl("set flash.fault.program=").code, 0);
    const CommandOutcome restored = test_support::RunCommand(restore);
    ASSERT_EQ(restored.code, 0) << restore << "\n" << restored.output;
    EXPECT_EQ(ReadArea("1", "restored.bin"), old);
}

}  // namespace
