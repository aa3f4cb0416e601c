// "srvfw bios" run in the test's own process against the simulated boards,
// through the simulated BIOS library it loads: what reached the flash part
// (the part's cells and the request log's flash and SPI cycles), what a
// failed write left in each block, and the update notification as the
// simulated BIOS took it.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/bios/bios_flash.h"
#include "sim/core/machine.h"
#include "tests/common/files.h"
#include "tests/host/srvfw_in_process_fixture.h"

namespace {

using test_support::ReadBytes;
using test_support::WriteBytes;

constexpr std::uint64_t k4G = 0x100000000ULL;

class BiosInProcess : public test_support::SrvfwInProcess {
  protected:
    std::span<const std::uint8_t> Part() {
        return sim::TheMachine().FindFlashPart(sim::kBiosFlashPart)->Cells().Bytes();
    }
    // The part's bytes at a physical address below 4 GB.
    std::vector<std::uint8_t> Cells(std::uint64_t address, std::size_t bytes) {
        const std::span<const std::uint8_t> part = Part();
        const auto from = part.begin() + static_cast<std::ptrdiff_t>(address - (k4G - part.size()));
        return {from, from + static_cast<std::ptrdiff_t>(bytes)};
    }
    std::vector<sim::LogEntry> Log(const std::string& component) {
        return sim::TheMachine().Log().Of(component);
    }
    // The first range's flash address of an area, as "bios tables" gives it.
    std::uint32_t AreaStart(const std::vector<std::string>& frame, const std::string& name) {
        std::vector<std::string> args = frame;
        args.insert(args.end(), {"--json", "bios", "tables"});
        EXPECT_EQ(Srvfw(args), 0) << err.str();
        const std::string document = out.str();
        const std::size_t area = document.find("\"name\": \"" + name + "\"");
        const std::string key = "\"flash_start\": ";
        const std::size_t start = document.find(key, area);
        EXPECT_NE(start, std::string::npos) << document;
        return static_cast<std::uint32_t>(std::stoul(document.substr(start + key.size())));
    }
    // The area's image with every byte changed.
    std::vector<std::uint8_t> Changed(const std::vector<std::uint8_t>& image) {
        std::vector<std::uint8_t> changed = image;
        for (std::uint8_t& byte : changed) byte ^= 0x5A;
        return changed;
    }

    test_support::TempDir dir{"biosproc"};
};

// On the firmware hub the area goes out as one block erase and byte
// programs inside that block, and the part then holds the image.
TEST_F(BiosInProcess, AWriteOnTheFirmwareHubErasesAndProgramsOnlyItsBlock) {
    Boot({});
    const std::uint32_t start = AreaStart({}, "Microcode");
    const std::string old = dir / "old.bin";
    ASSERT_EQ(Srvfw({"bios", "read", "microcode", old}), 0) << err.str();
    EXPECT_EQ(ReadBytes(old), Cells(start, 0x10000));
    const std::vector<std::uint8_t> image = Changed(ReadBytes(old));
    WriteBytes(dir / "new.bin", image);
    sim::TheMachine().Log().Clear();
    ASSERT_EQ(Srvfw({"bios", "write", "2", dir / "new.bin"}), 0) << err.str();
    EXPECT_EQ(Cells(start, 0x10000), image);
    EXPECT_EQ(ReadBytes(dir / "new.bin.backup-Microcode"), ReadBytes(old));
    std::size_t erases = 0;
    std::size_t programs = 0;
    for (const sim::LogEntry& entry : Log("flash")) {
        if (entry.operation == "erase") {
            ++erases;
            EXPECT_EQ(entry.address & ~0xFFFFULL, start);
        }
        if (entry.operation == "program") {
            ++programs;
            EXPECT_GE(entry.address, start);
            EXPECT_LT(entry.address, start + 0x10000ULL);
        }
    }
    EXPECT_EQ(erases, 1u);
    EXPECT_GT(programs, 0u);
}

// On the ICH9 board (platform 11) the write goes through the SPI
// controller: one 64 KB erase at the block's offset, then page programs of
// at most 64 bytes that stay inside the block and inside a 256-byte page.
TEST_F(BiosInProcess, AWriteThroughTheSpiControllerStaysInItsBlockAndPages) {
    Boot({{"board", "ich9-spi"}});
    const std::vector<std::string> platform = {"--platform", "11"};
    const std::uint32_t start = AreaStart(platform, "Microcode");
    const std::uint32_t offset = static_cast<std::uint32_t>(start - (k4G - Part().size()));
    std::vector<std::uint8_t> image = Changed(Cells(start, 0x10000));
    WriteBytes(dir / "new.bin", image);
    sim::TheMachine().Log().Clear();
    ASSERT_EQ(Srvfw({"--platform", "11", "bios", "write", "Microcode", dir / "new.bin"}), 0)
        << err.str();
    EXPECT_EQ(Cells(start, 0x10000), image);
    std::vector<std::uint64_t> erased;
    std::size_t programmed = 0;
    for (const sim::LogEntry& entry : Log("spi")) {
        if (entry.operation == "block-erase") erased.push_back(entry.address);
        if (entry.operation != "page-program") continue;
        programmed += entry.value;
        EXPECT_LE(entry.value, 64u);
        EXPECT_EQ(entry.address / 256, (entry.address + entry.value - 1) / 256) << entry.address;
        EXPECT_GE(entry.address, offset);
        EXPECT_LE(entry.address + entry.value, offset + 0x10000ULL);
    }
    EXPECT_EQ(erased, std::vector<std::uint64_t>{offset});
    EXPECT_GT(programmed, 0u);
}

// A program that fails part way: the blocks before it hold the new image,
// the one it failed in part of it, those after it are erased; the backup
// holds the old image and the message says how to write it back.
TEST_F(BiosInProcess, AFailedWriteSaysWhatEachBlockHoldsAndHowToWriteTheBackupBack) {
    Boot({});
    const std::uint32_t start = AreaStart({}, "Main BIOS");
    Boot({{"flash.fault.program", std::to_string(start + 0x12345)}});
    const std::vector<std::uint8_t> old = Cells(start, 0xA0000);
    WriteBytes(dir / "new.bin", Changed(old));
    EXPECT_EQ(Srvfw({"bios", "write", "main bios", dir / "new.bin", "--notify"}), 3);
    const std::string said = err.str();
    EXPECT_NE(said.find("srvfw: writing block 2 at "), std::string::npos) << said;
    EXPECT_NE(said.find("block 1 at "), std::string::npos);
    for (const char* state : {" written, block 2", " mixed, block 3", " erased, block 4"}) {
        EXPECT_NE(said.find(state), std::string::npos) << state << "\n" << said;
    }
    const std::string backup = dir / "new.bin.backup-Main_BIOS";
    EXPECT_EQ(ReadBytes(backup), old);
    EXPECT_NE(said.find(" bios write 1 " + backup + "\" writes it back."), std::string::npos)
        << said;
    // Nothing told the BIOS of an update that did not happen.
    EXPECT_TRUE(Log("firmware").empty());
    EXPECT_TRUE(std::ranges::all_of(Cells(start + 0x20000, 0x10000),
                                    [](std::uint8_t byte) { return byte == 0xFF; }));
}

// An erase the part reports failed (the Intel part's status says so) on
// the first block changes nothing: the exit code says the flash holds what
// it held.
TEST_F(BiosInProcess, AnEraseThatFailsFirstLeavesTheAreaAsItWas) {
    Boot({{"board", "pch-spi"}});
    const std::uint32_t start = AreaStart({"--platform", "15"}, "Microcode");
    const std::uint32_t offset = static_cast<std::uint32_t>(start - (k4G - Part().size()));
    Boot({{"board", "pch-spi"}, {"spi.fault.erase", std::to_string(offset)}});
    const std::vector<std::uint8_t> old = Cells(start, 0x10000);
    WriteBytes(dir / "new.bin", Changed(old));
    EXPECT_EQ(Srvfw({"--platform", "15", "bios", "write", "2", dir / "new.bin"}), 7);
    EXPECT_NE(err.str().find("still holds what it held before (block 1 at "), std::string::npos)
        << err.str();
    EXPECT_EQ(Cells(start, 0x10000), old);
}

TEST_F(BiosInProcess, TheNotificationGoesToTheFlagsBlockOrTheSmiAsThePlatformTakesIt) {
    Boot({});
    ASSERT_EQ(Srvfw({"bios", "notify", "set"}), 0) << err.str();
    EXPECT_NE(out.str().find("Update notification: an update is pending"), std::string::npos)
        << out.str();
    ASSERT_EQ(Srvfw({"bios", "notify", "reset"}), 0) << err.str();
    EXPECT_NE(out.str().find("Update notification: no update pending"), std::string::npos);

    Boot({{"board", "ich9-spi"}});
    sim::TheMachine().Log().Clear();
    ASSERT_EQ(Srvfw({"--platform", "11", "bios", "notify", "set"}), 0) << err.str();
    // The software SMI: the simulated BIOS clears the field's bit itself.
    const std::vector<sim::LogEntry> notified = Log("firmware");
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_EQ(notified[0].operation, "notify");
    EXPECT_EQ(notified[0].detail, "pending");
    EXPECT_NE(out.str().find("this platform has no notify field"), std::string::npos);

    Boot({{"board", "ich7-spi"}});
    EXPECT_EQ(Srvfw({"--platform", "9", "bios", "notify", "set"}), 3);
    EXPECT_NE(err.str().find("the BIOS of platform 9 takes no update notification"),
              std::string::npos)
        << err.str();
}

// Platform 9 has no way to tell its BIOS: the write stands, and the
// failure to tell says so.
TEST_F(BiosInProcess, AWriteWithNotifyOnPlatform9IsWrittenAndSaysTheBiosCannotBeTold) {
    Boot({{"board", "ich7-spi"}});
    const std::uint32_t start = AreaStart({"--platform", "9"}, "Microcode");
    const std::vector<std::uint8_t> image = Changed(Cells(start, 0x10000));
    WriteBytes(dir / "new.bin", image);
    EXPECT_EQ(Srvfw({"--platform", "9", "bios", "write", "2", dir / "new.bin", "--notify"}), 3);
    EXPECT_NE(err.str().find("area 2 \"Microcode\" is written and verified, but telling the BIOS "
                             "of the update failed: the BIOS of platform 9 takes no update "
                             "notification."),
              std::string::npos)
        << err.str();
    EXPECT_EQ(Cells(start, 0x10000), image);
    EXPECT_TRUE(Log("firmware").empty());
}

TEST_F(BiosInProcess, TablesTellHowEachBoardsFlashIsReached) {
    const struct {
        const char* board;
        const char* platform;
        const char* flash;
    } cases[] = {
        {"fwh", "0", "Flash: platform 0, memory, top swap off"},
        {"fwh", "2", "Flash: platform 2, memory, top swap off"},
        {"ich9-spi", "11", "Flash: platform 11, spi (part kind 1, JEDEC ID 1F 47 00"},
        {"pch-spi", "15", "Flash: platform 15, spi (part kind 2, JEDEC ID 89 89 13"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.board);
        Boot({{"board", c.board}});
        ASSERT_EQ(Srvfw({"--platform", c.platform, "bios", "tables"}), 0) << err.str();
        EXPECT_NE(out.str().find(c.flash), std::string::npos) << out.str();
        EXPECT_NE(out.str().find("\"Boot Block\""), std::string::npos);
    }
}

// The library's own words for a BIOS it cannot update, also when it
// cannot start.
TEST_F(BiosInProcess, ABiosWithoutTheTablesACommandNeedsIsRefusedWithTheLibrarysReason) {
    const struct {
        const char* setting;
        const char* value;
        std::vector<std::string> args;
        int code;
        const char* said;
    } cases[] = {
        {"firmware.tables",
         "0",
         {"bios", "tables"},
         2,
         "did not start: Unable to find necessary BIOS Information Tables."},
        {"firmware.fault",
         "no-area-table",
         {"bios", "read", "1", "x.bin"},
         3,
         "the BIOS keeps no Flash Area Table"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        Boot({{c.setting, c.value}});
        std::vector<std::string> args = c.args;
        if (args.size() == 4) args[3] = dir / args[3];
        EXPECT_EQ(Srvfw(args), c.code);
        EXPECT_NE(err.str().find(c.said), std::string::npos) << err.str();
        for (const sim::LogEntry& entry : Log("flash")) {
            EXPECT_NE(entry.operation, "erase");
            EXPECT_NE(entry.operation, "program");
        }
    }
    Boot({{"firmware.fault", "no-area-table"}});
    ASSERT_EQ(Srvfw({"bios", "tables"}), 0) << err.str();
    EXPECT_NE(out.str().find("Areas: none (the BIOS keeps no Flash Area Table)"), std::string::npos)
        << out.str();
}

// A used-up field: set erases the flags block and writes it back, and the
// update is then pending.
TEST_F(BiosInProcess, SettingAUsedUpNotificationRestoresTheFlagsBlockFirst) {
    Boot({{"firmware.notify", "used-up"}});
    ASSERT_EQ(Srvfw({"bios", "notify"}), 0) << err.str();
    EXPECT_NE(out.str().find("the field is used up"), std::string::npos) << out.str();
    sim::TheMachine().Log().Clear();
    ASSERT_EQ(Srvfw({"bios", "notify", "set"}), 0) << err.str();
    EXPECT_NE(out.str().find("Update notification: an update is pending"), std::string::npos)
        << out.str();
    std::size_t erases = 0;
    for (const sim::LogEntry& entry : Log("flash")) erases += entry.operation == "erase" ? 1 : 0;
    EXPECT_EQ(erases, 1u);
}

}  // namespace
