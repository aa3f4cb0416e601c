// simctl's firmware commands end to end: what they show and change is what
// the next machine built from the state directory has in its flash.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "sim/bios/bios_flash.h"
#include "sim/firmware/boot_firmware.h"
#include "tests/common/files.h"
#include "tests/common/run_command.h"

namespace {

class FirmwareSimctl : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/fwsimctlXXXXXX";
        dir = ::mkdtemp(name);
        state = (dir / "state").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    test_support::CommandOutcome Run(const std::string& args) {
        return test_support::RunCommand(std::string(SIMCTL_PATH) + " " + state + " " + args);
    }
    bool Shows(const test_support::CommandOutcome& outcome, const std::string& text) {
        return outcome.output.find(text) != std::string::npos;
    }
    // The state directory's machine, as the next program builds it.
    sim::NotifyState KeptNotifyState() {
        sim::Machine machine(sim::SettingsOf(state));
        sim::BuildMachine(machine);
        machine.LoadState(state);
        return sim::ReadNotifyState(machine.Find<sim::BootFirmware>()->NotifyField());
    }

    std::filesystem::path dir;
    std::string state;
};

TEST_F(FirmwareSimctl, ShowsTheVolumeAndItsTables) {
    ASSERT_EQ(Run("init board=fwh").code, 0);
    const auto shown = Run("bios-tables");
    ASSERT_EQ(shown.code, 0) << shown.output;
    EXPECT_TRUE(Shows(shown, "volume block at FFFD0000h"));
    EXPECT_TRUE(Shows(shown, "file system 7A9354D9-0468-444A-81CE-0BF617D890DF")) << shown.output;
    EXPECT_TRUE(Shows(shown, "file FFFDA063-F5B2-4EB5-A7B4-4863FC4919A2"));
    EXPECT_TRUE(Shows(shown, "FNT: AccessType 7, notify field of 16 bytes at FFFC0010h"));
    EXPECT_TRUE(Shows(shown, "segment 3: partition 1, FFFE0000h - FFFFFFFFh"));
    EXPECT_TRUE(Shows(shown, "area 1 \"Main BIOS\" version \"SRVBD010\""));
    EXPECT_FALSE(Shows(shown, "BAD"));
}

TEST_F(FirmwareSimctl, LaysTheTablesAgainMalformedAndWellFormed) {
    ASSERT_EQ(Run("init board=fwh").code, 0);
    ASSERT_EQ(Run("bios-tables-set fst-partition-3").code, 0);
    EXPECT_TRUE(Shows(Run("bios-tables"), "segment 1: partition 3"));
    ASSERT_EQ(Run("bios-tables-set bad-file-checksum").code, 0);
    EXPECT_TRUE(Shows(Run("bios-tables"), "data checksum BAD"));
    ASSERT_EQ(Run("bios-tables-set none").code, 0);
    const auto mended = Run("bios-tables");
    EXPECT_TRUE(Shows(mended, "segment 1: partition 2"));
    EXPECT_FALSE(Shows(mended, "BAD"));

    const auto unknown = Run("bios-tables-set fst-partition-4");
    EXPECT_EQ(unknown.code, 2);
    EXPECT_TRUE(Shows(unknown, "fat-only-closing")) << "the names it knows";
}

TEST_F(FirmwareSimctl, PutsTheNotifyFieldInAStateTheNextProgramSees) {
    ASSERT_EQ(Run("init board=fwh").code, 0);
    EXPECT_TRUE(Shows(Run("notify"), "notify field at FFFC0010h: fresh (FF FF"));
    for (const char* state : {"pending", "none", "used-up", "fresh"}) {
        SCOPED_TRACE(state);
        ASSERT_EQ(Run(std::string("notify-set ") + state).code, 0);
        EXPECT_TRUE(Shows(Run("notify"), std::string(": ") + state + " ("));
        EXPECT_EQ(KeptNotifyState(), *sim::NotifyStateByName(state));
    }
    EXPECT_EQ(Run("notify-set half").code, 2);
}

TEST_F(FirmwareSimctl, SaysWhenTheBiosKeepsNoTables) {
    ASSERT_EQ(Run("init firmware.tables=0").code, 0);
    for (const char* command : {"bios-tables", "notify", "notify-set pending"}) {
        const auto outcome = Run(command);
        EXPECT_EQ(outcome.code, 1) << command;
        EXPECT_TRUE(Shows(outcome, "keeps no flash tables")) << command;
    }
}

TEST_F(FirmwareSimctl, WritesATablesVolumeForAPartOfTheSizeAsked) {
    const std::string file = (dir / "tables.fv").string();
    const auto written = Run("tables-image " + file + " --size 0x400000 --fault fst-one-entry");
    ASSERT_EQ(written.code, 0) << written.output;
    const auto bytes = test_support::ReadBytes(file);
    ASSERT_EQ(bytes.size(), 0x10000u);
    EXPECT_EQ(std::memcmp(bytes.data() + 40, "_FVH", 4), 0);
    sim::Settings settings;
    settings.Set("firmware.fault", "fst-one-entry");
    settings.Set("firmware.notify_table", "1");
    sim::FlashChip chip;
    chip.sizeBytes = 0x400000;
    sim::BootFirmwareConfig config = sim::BootFirmwareConfig::FromSettings(settings, chip);
    config.romId = sim::kDefaultRomId;
    EXPECT_EQ(bytes, sim::BootFirmwareVolumeBlock(config));

    const auto small = Run("tables-image " + file + " --size 0x40000");
    EXPECT_EQ(small.code, 2);
    EXPECT_TRUE(Shows(small, "carries no tables"));
    EXPECT_EQ(Run("tables-image " + file).code, 2);
    EXPECT_EQ(Run("tables-image " + file + " --size 0x400000 --fault nonsense").code, 2);
}

}  // namespace
