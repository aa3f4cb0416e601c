// srvfw's fw commands through the built program, loading the simulated
// firmware library against a simulated server whose controllers simctl
// sets up, builds images for and shows. The JSON documents are read by
// Python's json module, as a script would read them.
#include <gtest/gtest.h>

#include "tests/host/srvfw_run_fixture.h"

namespace {

using test_support::CommandOutcome;
using test_support::ReadText;

class FwOnSimulatedServer : public test_support::SrvfwRun {
  protected:
    FwOnSimulatedServer() : SrvfwRun("fwbin") {}
    // The BMC reports boot code and platform information area 1.00 beside
    // its operational code's 1.20, as a board in the field does.
    void SetUp() override { ASSERT_EQ(Simctl("init bmc.aux_firmware=01000100").code, 0); }

    // An image simctl builds into the scratch directory; its path.
    std::string Image(const std::string& name, const std::string& args) const {
        const std::string file = dir / name;
        const CommandOutcome built = Simctl("fw-image " + file + " " + args);
        EXPECT_EQ(built.code, 0) << built.output;
        return file;
    }
    std::string BmcVersion(const std::string& area) const {
        const CommandOutcome versions = SrvfwResult("--json fw versions --device 20h");
        EXPECT_EQ(versions.code, 0) << versions.output;
        return Json(versions.output, "d['controllers'][0]['versions']['" + area + "']");
    }
    std::string Stderr() const { return ReadText(dir / "stderr"); }
};

TEST_F(FwOnSimulatedServer, InfoShowsTheImagesControllerAreasAndVersions) {
    const struct {
        const char* name;
        const char* args;
        int address;
        const char* areas;  // as JSON: the areas' names
        const char* opcode;
    } cases[] = {
        {"bmc.hex", "--device 0x20 --version 2.01", 0x20, R"(["boot", "opcode", "pia", "efs"])",
         "2.01"},
        {"bmc.bin", "--device 0x20 --version 2.01 --format bin", 0x20,
         R"(["boot", "opcode", "pia", "efs"])", "2.01"},
        {"fp.hex", "--device 0x22 --version 1.30", 0x22, R"(["boot", "opcode"])", "1.30"},
        {"hsc.bin", "--device 0xC0 --version 1.05 --format bin", 0xC0,
         R"(["boot", "opcode", "pia"])", "1.05"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string image = Image(c.name, c.args);
        const CommandOutcome json = SrvfwResult("--json fw info " + image);
        ASSERT_EQ(json.code, 0) << json.output << Stderr();
        EXPECT_EQ(Json(json.output, "d['device']['address']"), std::to_string(c.address));
        EXPECT_EQ(Json(json.output, "[a['name'] for a in d['areas']]"), c.areas);
        EXPECT_EQ(Json(json.output, "[a['version'] for a in d['areas'] if a['name']=='opcode']"),
                  std::string("[\"") + c.opcode + "\"]");
        EXPECT_EQ(Json(json.output, "d['type']"),
                  std::string(c.name).ends_with(".hex") ? "\"hex\"" : "\"bin\"");
        const CommandOutcome text = SrvfwResult("fw info " + image);
        ASSERT_EQ(text.code, 0) << text.output;
        EXPECT_TRUE(text.Shows("  opcode  " + std::string(c.opcode))) << text.output;
    }
}

// A hex file read as what its name does not say is refused as a file the
// library cannot read, with its reason.
TEST_F(FwOnSimulatedServer, InfoRefusesImagesTheLibraryCannotRead) {
    const std::string hex = Image("bmc.hex", "--device 0x20");
    const std::string broken = Image("broken.hex", "--device 0x20 --broken line-checksum");
    const struct {
        std::string args;
        int code;
    } cases[] = {
        {"fw info " + broken, 4},
        {"fw info " + dir / "missing.hex", 4},
        {"fw info --type elf " + hex, 1},
        {"fw info", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const CommandOutcome info = Srvfw(c.args);
        EXPECT_EQ(info.code, c.code) << info.output;
        EXPECT_TRUE(info.Shows("srvfw: ")) << info.output;
    }
    // Hex text read as a binary image holds no information block the
    // library can find: srvfw says so rather than inventing areas.
    const CommandOutcome asBinary = SrvfwResult("fw info --type bin " + hex);
    EXPECT_EQ(asBinary.code, 0) << asBinary.output;
    EXPECT_TRUE(asBinary.Shows("Areas: none with an information block")) << asBinary.output;
}

TEST_F(FwOnSimulatedServer, VersionsShowsEveryControllerAndOneThatDoesNotAnswer) {
    const CommandOutcome all = SrvfwResult("--json fw versions");
    ASSERT_EQ(all.code, 0) << all.output << Stderr();
    EXPECT_EQ(Json(all.output, "[c['address'] for c in d['controllers']]"),
              "[32, 34, 192, 194, 44]");
    EXPECT_EQ(Json(all.output, "[c['answers'] for c in d['controllers']]"),
              "[true, true, true, true, true]");
    EXPECT_EQ(Json(all.output, "d['controllers'][0]['versions']['opcode']"), "\"1.20\"");

    ASSERT_EQ(Simctl("set ipmb.front_panel.fault.nak=always").code, 0);
    const CommandOutcome missing = SrvfwResult("--json fw versions");
    ASSERT_EQ(missing.code, 0) << missing.output << Stderr();
    EXPECT_EQ(Json(missing.output, "[c['answers'] for c in d['controllers']]"),
              "[true, false, true, true, true]");
    EXPECT_NE(Json(missing.output, "d['controllers'][1]['error']"), "\"\"");
    const CommandOutcome text = SrvfwResult("fw versions");
    EXPECT_TRUE(text.Shows("22h front-panel controller")) << text.output;
    EXPECT_TRUE(text.Shows("does not answer: ")) << text.output;

    const CommandOutcome named = Srvfw("fw versions --device 22h");
    EXPECT_EQ(named.code, 3) << named.output;
    EXPECT_TRUE(named.Shows("front-panel controller at 22h")) << named.output;
}

TEST_F(FwOnSimulatedServer, CheckSaysWhetherTheImageIsForThisSystemAndWhatWouldChange) {
    const std::string image = Image("bmc.hex", "--device 0x20 --version 2.01");
    const CommandOutcome fits =
        SrvfwResult("--json fw check " + image + " --supported 1.00-1.09,1.20+");
    ASSERT_EQ(fits.code, 0) << fits.output << Stderr();
    EXPECT_EQ(Json(fits.output, "d['for_system']"), "true");
    EXPECT_EQ(Json(fits.output, "{a['name']: a['changes'] for a in d['areas']}"),
              R"({"boot": false, "opcode": true, "pia": false, "efs": true})");
    EXPECT_EQ(Json(fits.output, "{a['name']: a['supported'] for a in d['supported']}"),
              R"({"boot": true, "opcode": true, "pia": true, "efs": true})");

    const CommandOutcome older = SrvfwResult("--json fw check " + image + " --supported 1.00");
    ASSERT_EQ(older.code, 0) << older.output;
    EXPECT_EQ(Json(older.output, "{a['name']: a['supported'] for a in d['supported']}"),
              R"({"boot": true, "opcode": false, "pia": true, "efs": false})");

    const CommandOutcome unreadable = Srvfw("fw check " + image + " --supported x.y");
    EXPECT_EQ(unreadable.code, 1) << unreadable.output;

    ASSERT_EQ(Simctl("set bmc.product_id=0x0777").code, 0);
    const CommandOutcome other = Srvfw("fw check " + image);
    EXPECT_EQ(other.code, 9) << other.output;
    EXPECT_TRUE(other.Shows("For this system:  NO")) << other.output;
}

TEST_F(FwOnSimulatedServer, UpdateIsRefusedWithoutYesWhenTheImageIsNotForThisSystem) {
    const std::string image = Image("bmc.hex", "--device 0x20 --version 2.01");
    ASSERT_EQ(Simctl("set bmc.product_id=0x0777").code, 0);
    for (const char* dryRun : {"", " --dry-run"}) {
        SCOPED_TRACE(dryRun);
        const CommandOutcome refused = Srvfw("fw update " + image + dryRun);
        EXPECT_EQ(refused.code, 9) << refused.output;
        EXPECT_TRUE(refused.Shows("is not for this system")) << refused.output;
        EXPECT_TRUE(refused.Shows("nothing was written")) << refused.output;
        EXPECT_TRUE(refused.Shows("--yes")) << refused.output;
    }
    EXPECT_EQ(BmcVersion("opcode"), "\"1.20\"");
    const CommandOutcome forced = SrvfwResult("fw update " + image + " --yes");
    ASSERT_EQ(forced.code, 0) << forced.output << Stderr();
    EXPECT_EQ(BmcVersion("opcode"), "\"2.01\"");
}

TEST_F(FwOnSimulatedServer, DryRunSaysWhatWouldBeWrittenAndWritesNothing) {
    const std::string image = Image("bmc.hex", "--device 0x20 --version 2.01");
    const CommandOutcome plan = SrvfwResult("--json fw update " + image + " --dry-run");
    ASSERT_EQ(plan.code, 0) << plan.output << Stderr();
    EXPECT_EQ(Json(plan.output, "[d['dry_run'], d['written']]"), "[true, false]");
    EXPECT_EQ(Json(plan.output,
                   "[[a['name'], a['running_before'], a['image_version']] for a in "
                   "d['areas']]"),
              R"([["boot", "1.00", "1.00"], ["opcode", "1.20", "2.01"], ["pia", "1.00", "1.00"], )"
              R"(["efs", "1.20", "1.00"]])");
    const CommandOutcome text = SrvfwResult("fw update " + image + " --dry-run --area opcode");
    ASSERT_EQ(text.code, 0) << text.output;
    EXPECT_TRUE(text.Shows("Dry run: would update 20h BMC")) << text.output;
    EXPECT_TRUE(text.Shows("  opcode  1.20 -> 2.01\n")) << text.output;
    EXPECT_FALSE(text.Shows("  boot ")) << text.output;
    EXPECT_TRUE(text.Shows("Nothing was written.")) << text.output;
    EXPECT_EQ(BmcVersion("opcode"), "\"1.20\"");
}

TEST_F(FwOnSimulatedServer, UpdateWritesAndVerifiesEachAreaWithABarPerPhase) {
    const std::string image = Image("bmc.hex", "--device 0x20 --version 2.01");
    const CommandOutcome updated =
        SrvfwResult("--json fw update " + image + " --area opcode --area pia");
    ASSERT_EQ(updated.code, 0) << updated.output << Stderr();
    EXPECT_EQ(Json(updated.output, "[d['dry_run'], d['written']]"), "[false, true]");
    EXPECT_EQ(Json(updated.output, "[[a['name'], a['running_after']] for a in d['areas']]"),
              R"([["opcode", "2.01"], ["pia", "1.00"]])");
    // Each phase reached its end, write before verify, then the BMC's
    // restart, in the library's own words.
    EXPECT_EQ(Json(updated.output, "len(d['completed'])"), "5") << updated.output;
    EXPECT_EQ(Json(updated.output, "d['completed'][-1]"),
              "\"Waiting for the controller to restart\"");
    const std::string progress = Stderr();
    EXPECT_NE(progress.find("\"progress\":\"percent\""), std::string::npos) << progress;
    EXPECT_NE(progress.find("\"percent\":100"), std::string::npos) << progress;
    EXPECT_EQ(BmcVersion("opcode"), "\"2.01\"");

    const CommandOutcome text = Srvfw("fw update " + image + " --area opcode");
    ASSERT_EQ(text.code, 0) << text.output;
    EXPECT_TRUE(text.Shows("Updated 20h BMC")) << text.output;
    EXPECT_TRUE(text.Shows("  opcode  2.01 -> 2.01  written and verified; runs 2.01 now"))
        << text.output;
    EXPECT_TRUE(text.Shows("100%")) << text.output;
}

TEST_F(FwOnSimulatedServer, UpdateRefusesAreasTheImageDoesNotHoldAndOtherControllers) {
    const std::string frontPanel = Image("fp.hex", "--device 0x22");
    const struct {
        std::string args;
        int code;
        const char* words;
    } cases[] = {
        {"fw update " + frontPanel + " --area pia", 5, "holds no platform information area"},
        {"fw update " + frontPanel + " --device 20h", 5, "not for --device 20h"},
        {"fw update " + frontPanel + " --area kernel", 1, "unknown area"},
        {"fw update " + frontPanel + " --device 21h", 1, "not a controller's address"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const CommandOutcome refused = Srvfw(c.args);
        EXPECT_EQ(refused.code, c.code) << refused.output;
        EXPECT_TRUE(refused.Shows(c.words)) << refused.output;
    }
}

TEST_F(FwOnSimulatedServer, AFailedUpdateGivesTheLibrarysReasonAndWhatWasDone) {
    const std::string image = Image("bmc.hex", "--device 0x20 --version 2.01");
    ASSERT_EQ(Simctl("set fw.bmc.fault.bad_checksum=always").code, 0);
    const CommandOutcome failed = Srvfw("fw update " + image + " --area opcode");
    EXPECT_EQ(failed.code, 3) << failed.output;
    EXPECT_TRUE(failed.Shows("updating the BMC at 20h: ")) << failed.output;
    EXPECT_TRUE(failed.Shows("(status 0xC00A")) << failed.output;
    EXPECT_TRUE(failed.Shows("left firmware transfer mode")) << failed.output;

    const CommandOutcome json = SrvfwResult("--json fw update " + image + " --area opcode");
    EXPECT_EQ(json.code, 3) << json.output;
    EXPECT_EQ(Json(json.output, "d['error']['exit_code']"), "3");
    EXPECT_EQ(Json(json.output, "d['error']['status'][:6]"), "\"0xC00A\"");
}

}  // namespace
