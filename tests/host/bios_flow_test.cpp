// srvfw's bios commands in the test's process over a BIOS library made for
// the test: what srvfw asks of the library (one range a call, in which
// order), what it refuses before it touches the flash, what a dry run
// leaves alone, and what it says of each block after a failed write.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "host/srvfw.h"
#include "tests/common/files.h"
#include "tests/host/bios_table_builder.h"
#include "tests/host/fake_library/fake_rask.h"

namespace {

using test_support::ReadBytes;
using test_support::WriteBytes;

constexpr std::uint32_t kBase = 0xFFF00000;
const std::vector<std::uint32_t> kMainBlocks = {0xFFF20000, 0xFFF30000, 0xFFF40000};

class BiosFlow : public ::testing::Test {
  protected:
    void SetUp() override {
        mLoaded = dlopen(FAKE_RASK_DIR "/librask.so.9", RTLD_NOW);
        ASSERT_NE(mLoaded, nullptr) << dlerror();
        script = reinterpret_cast<FakeRaskScript* (*)()>(dlsym(mLoaded, "FakeRaskScriptOf"))();
        *script = FakeRaskScript{};
        script->fst =
            test_support::BuildFst({{1, 1, 0xFFFE0000, 0xFFFFFFFF}, {2, 2, kBase, 0xFFFDFFFF}});
        script->fat = test_support::BuildFat(
            {{1, "Boot Block", "1.0", {0xFFFE0000}, 1}, {2, "Main BIOS", "R01.02", kMainBlocks}});
        script->flash.assign(0x100000, 0xFF);
        // The old image: each block filled with its number.
        for (std::size_t i = 0; i < kMainBlocks.size(); ++i) {
            std::fill_n(script->flash.begin() + (kMainBlocks[i] - kBase), 0x10000, 0x10 + i);
        }
        image.assign(0x30000, 0);
        for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i);
        WriteBytes(imageFile, image);
    }
    void TearDown() override { dlclose(mLoaded); }

    int Srvfw(std::vector<std::string> args) {
        args.insert(args.begin(), {"--lib-dir", FAKE_RASK_DIR, "--res-dir", dir.Path().string()});
        out.str({});
        err.str({});
        script->calls.clear();
        return srvfw::Run(args, out, err, false);
    }
    std::vector<std::string> Calls(const std::string& prefix) const {
        std::vector<std::string> calls;
        for (const std::string& call : script->calls) {
            if (call.starts_with(prefix)) calls.push_back(call);
        }
        return calls;
    }
    std::vector<std::uint8_t> Flash(std::uint32_t at, std::size_t bytes) const {
        const auto begin = script->flash.begin() + (at - kBase);
        return {begin, begin + static_cast<std::ptrdiff_t>(bytes)};
    }
    static std::vector<std::string> EachBlock(const std::string& call) {
        std::vector<std::string> calls;
        for (const char* block : {"FFF20000-FFF2FFFF", "FFF30000-FFF3FFFF", "FFF40000-FFF4FFFF"}) {
            calls.push_back(call + " " + block);
        }
        return calls;
    }
    bool Said(const std::string& text) const { return err.str().find(text) != std::string::npos; }

    FakeRaskScript* script = nullptr;
    test_support::TempDir dir{"biosflow"};
    std::string imageFile = dir / "new.bin";
    std::vector<std::uint8_t> image;
    std::ostringstream out;
    std::ostringstream err;

  private:
    void* mLoaded = nullptr;
};

TEST_F(BiosFlow, TheLibraryStartsWithThePlatformAndNoCallbacksOrTexts) {
    ASSERT_EQ(Srvfw({"--platform", "11", "bios", "tables"}), 0) << err.str();
    EXPECT_EQ(script->platform, 11);
    EXPECT_FALSE(script->skipPrimary);
    EXPECT_EQ(script->calls.front(), "Initialize");
    EXPECT_EQ(script->calls.back(), "DeInitialize");
    // No string files: no resource folder is needed.
    err.str({});
    EXPECT_EQ(srvfw::Run({"--lib-dir", FAKE_RASK_DIR, "--res-dir", dir / "none", "bios", "notify"},
                         out, err, false),
              0)
        << err.str();
    // Nothing to translate: a locale is a mistake said before loading.
    EXPECT_EQ(Srvfw({"--locale", "de-de", "bios", "tables"}), 1);
    EXPECT_TRUE(Said("--locale has no use with the BIOS library")) << err.str();
    EXPECT_TRUE(script->calls.empty());
}

TEST_F(BiosFlow, TablesShowSegmentsAreasNotificationAndTheFlash) {
    ASSERT_EQ(Srvfw({"--platform", "11", "bios", "tables"}), 0) << err.str();
    const std::string text = out.str();
    for (const char* line :
         {"  tag 2  partition 2  FFF00000-FFFDFFFF",
          "  2  \"Main BIOS\"  version \"R01.02\"  196608 bytes",
          "      00020000-0002FFFF at FFF40000-FFF4FFFF  segment 2 (partition 2)",
          "Notification: 2 byte(s) at FFF80010; no update pending",
          "Flash: platform 11, spi (part kind 1, JEDEC ID 1F 47 00, addresses from FFC00000), top "
          "swap off"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    script->withNotifyTable = false;
    script->notifyState = RASK_NOTIFY_NO_FIELD;
    ASSERT_EQ(Srvfw({"--json", "bios", "tables"}), 0) << err.str();
    EXPECT_NE(out.str().find("\"table\": null"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("\"state\": \"no-field\""), std::string::npos) << out.str();
}

TEST_F(BiosFlow, ReadSavesTheAreaRangeByRangeToANewFile) {
    const std::string saved = dir / "saved.bin";
    ASSERT_EQ(Srvfw({"bios", "read", "main bios", saved}), 0) << err.str();
    EXPECT_EQ(Calls("Read"), EachBlock("Read"));
    const std::vector<std::uint8_t> bytes = ReadBytes(saved);
    ASSERT_EQ(bytes.size(), 0x30000u);
    EXPECT_EQ(bytes[0], 0x10);
    EXPECT_EQ(bytes[0x2FFFF], 0x12);
    // An existing name is never written over.
    EXPECT_EQ(Srvfw({"bios", "read", "2", saved}), 4);
    EXPECT_TRUE(Said("exists already")) << err.str();
    EXPECT_EQ(ReadBytes(saved), bytes);
    EXPECT_EQ(Srvfw({"bios", "read", "7", dir / "other.bin"}), 5);
    EXPECT_TRUE(Said("its areas are 1 \"Boot Block\", 2 \"Main BIOS\"")) << err.str();
}

TEST_F(BiosFlow, AWriteSavesTheAreaThenErasesWritesAndReadsBackEachBlock) {
    ASSERT_EQ(Srvfw({"bios", "write", "2", imageFile, "--notify"}), 0) << err.str();
    std::vector<std::string> expected = {"Check 3 ranges"};
    for (const char* phase : {"Read", "Erase", "Write", "Read"}) {
        for (const std::string& call : EachBlock(phase)) expected.push_back(call);
    }
    expected.push_back("Notify set");
    std::vector<std::string> work;
    for (const std::string& call : script->calls) {
        if (call != "Initialize" && call != "DeInitialize") work.push_back(call);
    }
    EXPECT_EQ(work, expected);
    EXPECT_EQ(Flash(0xFFF20000, 0x30000), image);
    const std::vector<std::uint8_t> backup = ReadBytes(dir / "new.bin.backup-Main_BIOS");
    ASSERT_EQ(backup.size(), 0x30000u);
    EXPECT_EQ(backup[0x10000], 0x11);
    EXPECT_TRUE(out.str().find("Written and verified: 3 block(s).") != std::string::npos)
        << out.str();
    for (const char* bar : {"Erasing area 2 [", "Writing area 2 [", "Verifying area 2 ["}) {
        EXPECT_TRUE(Said(bar)) << bar;
    }
    // A second write finds the default name taken and numbers the next.
    ASSERT_EQ(Srvfw({"bios", "write", "2", imageFile}), 0) << err.str();
    EXPECT_EQ(ReadBytes(dir / "new.bin.backup-Main_BIOS-2"), image);
    EXPECT_TRUE(Calls("Notify").empty());
}

TEST_F(BiosFlow, WhatCannotBeWrittenIsRefusedBeforeTheFlashIsTouched) {
    const std::string shorter = dir / "short.bin";
    WriteBytes(shorter, std::vector<std::uint8_t>(0x20000, 0));
    const struct {
        std::vector<std::string> args;
        int code;
        const char* said;
        std::uint32_t checkStatus = 0;
    } cases[] = {
        {{"bios", "write", "2", shorter}, 5, "holds 131072 bytes, area 2 \"Main BIOS\" 196608"},
        {{"bios", "write", "2", dir / "missing.bin"}, 4, "cannot read"},
        {{"bios", "write", "2", dir.Path().string()}, 4, "not a regular file"},
        {{"bios", "write", "1", imageFile}, 5, "holds 196608 bytes"},
        {{"bios", "write", "2", imageFile}, 3, "Refused by the fake.", 0xC00E0011},
        {{"bios", "write", "2", imageFile, "--backup", dir / "new.bin"}, 4, "exists already"},
        {{"bios", "write", "2", imageFile, "--dry-run", "--notify"}, 1, "--notify has no use"},
        {{"bios", "write", "2", imageFile, "--dry-run", "--backup", "b"}, 1, "--backup has no use"},
        {{"bios", "write", "2"}, 1, "FILE"},
        {{"bios", "notify", "later"}, 1, "notify takes status, set or reset"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        script->checkStatus = c.checkStatus;
        EXPECT_EQ(Srvfw(c.args), c.code);
        EXPECT_TRUE(Said(c.said)) << err.str();
        EXPECT_TRUE(Calls("Erase").empty());
        EXPECT_TRUE(Calls("Write").empty());
        EXPECT_TRUE(Calls("Notify").empty());
    }
}

TEST_F(BiosFlow, AnAreaThatCannotBeReadIsNeitherBackedUpNorWritten) {
    script->failReadAt = 0xFFF30000;
    EXPECT_EQ(Srvfw({"bios", "write", "2", imageFile}), 3);
    EXPECT_TRUE(
        Said("srvfw: reading block 2 at 0xFFF30000 of area 2 \"Main BIOS\": Failed to "
             "read data from BIOS Flash. Nothing was written."))
        << err.str();
    EXPECT_TRUE(Calls("Erase").empty());
    EXPECT_TRUE(Calls("Write").empty());
    EXPECT_TRUE(ReadBytes(dir / "new.bin.backup-Main_BIOS").empty());
}

TEST_F(BiosFlow, ADryRunSaysWhichBlocksWouldChangeAndWritesNothing) {
    // The new image's middle block the same as the flash's.
    std::fill_n(image.begin() + 0x10000, 0x10000, 0x11);
    WriteBytes(imageFile, image);
    const std::vector<std::uint8_t> before = script->flash;
    ASSERT_EQ(Srvfw({"bios", "write", "main BIOS", imageFile, "--dry-run"}), 0) << err.str();
    EXPECT_EQ(Calls("Check"), std::vector<std::string>{"Check 3 ranges"});
    EXPECT_TRUE(Calls("Erase").empty());
    EXPECT_TRUE(Calls("Write").empty());
    EXPECT_EQ(script->flash, before);
    const std::string text = out.str();
    EXPECT_NE(text.find("  FFF30000  65536 bytes  the same"), std::string::npos) << text;
    EXPECT_NE(text.find("  FFF40000  65536 bytes  would change"), std::string::npos) << text;
    EXPECT_NE(text.find("2 of 3 block(s) would change. Nothing was written."), std::string::npos);
    EXPECT_TRUE(test_support::ReadBytes(dir / "new.bin.backup-Main_BIOS").empty());
}

// After a failure each block is read back and named, with the command that
// writes the backup back; the library's own text for the failure is the
// one shown, not one left from asking the tables' sizes.
TEST_F(BiosFlow, AFailedWriteNamesEachBlocksStateAndTheWayBack) {
    const struct {
        const char* name;
        std::optional<std::uint32_t> eraseFails, writeFails;
        int code;
        const char* doing;
        const char* states;
    } cases[] = {
        {"first erase", 0xFFF20000, std::nullopt, 7, "erasing block 1 at 0xFFF20000",
         "Every block of area 2 \"Main BIOS\" still holds what it held before (block 1 at "
         "0xFFF20000 unchanged, block 2 at 0xFFF30000 unchanged, block 3 at 0xFFF40000 "
         "unchanged)"},
        {"third erase", 0xFFF40000, std::nullopt, 3, "erasing block 3 at 0xFFF40000",
         "block 1 at 0xFFF20000 erased, block 2 at 0xFFF30000 erased, block 3 at 0xFFF40000 "
         "unchanged"},
        {"second write", std::nullopt, 0xFFF30000, 3, "writing block 2 at 0xFFF30000",
         "block 1 at 0xFFF20000 written, block 2 at 0xFFF30000 mixed, block 3 at 0xFFF40000 "
         "erased"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        script->failEraseAt = c.eraseFails;
        script->failWriteAt = c.writeFails;
        const std::string backup = dir / (std::string(c.name) + ".backup");
        EXPECT_EQ(Srvfw({"--platform", "11", "bios", "write", "2", imageFile, "--backup", backup,
                         "--notify"}),
                  c.code);
        EXPECT_TRUE(Said(std::string("srvfw: ") + c.doing + " of area 2 \"Main BIOS\": "))
            << err.str();
        EXPECT_TRUE(Said("failure in the fake.")) << err.str();
        EXPECT_FALSE(Said("too small")) << err.str();
        EXPECT_TRUE(Said(c.states)) << err.str();
        EXPECT_TRUE(Said("The area as it was is saved in " + backup + "; \"srvfw --lib-dir " +
                         FAKE_RASK_DIR + " --res-dir " + dir.Path().string() +
                         " --platform 11 bios write 2 " + backup + "\" writes it back."))
            << err.str();
        EXPECT_EQ(ReadBytes(backup).size(), 0x30000u);
        EXPECT_TRUE(Calls("Notify").empty());
    }
}

TEST_F(BiosFlow, NotifySetsResetsAndSaysWhereThePlatformTakesNone) {
    ASSERT_EQ(Srvfw({"bios", "notify"}), 0) << err.str();
    EXPECT_NE(out.str().find("Update notification: no update pending"), std::string::npos);
    EXPECT_TRUE(Calls("Notify").empty());
    ASSERT_EQ(Srvfw({"--json", "bios", "notify", "set"}), 0) << err.str();
    EXPECT_EQ(Calls("Notify"), std::vector<std::string>{"Notify set"});
    EXPECT_NE(out.str().find("\"state\": \"pending\""), std::string::npos) << out.str();
    ASSERT_EQ(Srvfw({"bios", "notify", "reset"}), 0) << err.str();
    EXPECT_EQ(Calls("Notify"), std::vector<std::string>{"Notify reset"});
    script->notifyStatus = 0xC00E001B;
    EXPECT_EQ(Srvfw({"--platform", "9", "bios", "notify", "set"}), 3);
    EXPECT_TRUE(Said("the BIOS of platform 9 takes no update notification")) << err.str();
}

TEST_F(BiosFlow, SmbiosShowsTheEntryPointAsLongAsItSaysAndTheTableItNames) {
    script->smbiosEntry = {'_', 'S', 'M', '_', 0, 0x1F};
    script->smbiosEntry.resize(0x1F, 0);
    script->smbiosEntry[22] = 5;  // a table of 5 bytes
    script->smbiosTable = {1, 2, 3, 4, 5, 6, 7};
    ASSERT_EQ(Srvfw({"bios", "smbios", "--entry-point"}), 0) << err.str();
    EXPECT_NE(out.str().find("SMBIOS entry point (31 bytes):"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("00000000  5F 53 4D 5F 00 1F"), std::string::npos) << out.str();
    ASSERT_EQ(Srvfw({"--json", "bios", "smbios"}), 0) << err.str();
    EXPECT_NE(out.str().find("\"bytes\": \"01 02 03 04 05\""), std::string::npos) << out.str();
}

TEST_F(BiosFlow, APlatformIdTheMemoryDeviceDoesNotGiveIsAFailureWithItsReason) {
    EXPECT_EQ(Srvfw({"bios", "platform-id"}), 3);
    EXPECT_TRUE(Said("reading the platform ID: Unknown Error")) << err.str();
    EXPECT_TRUE(Said("Only a platform driver")) << err.str();
}

}  // namespace
