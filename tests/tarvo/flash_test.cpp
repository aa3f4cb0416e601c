// Programming the flash, saving it, and what the BIOS was asked on the way.
#include <fstream>

#include "tests/common/files.h"
#include "tests/tarvo/tarvo_fixture.h"

namespace tarvo_test {
namespace {

using Flashing = TarvoTest;

bool SameRange(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
               std::size_t offset, std::size_t length) {
    return std::equal(a.begin() + offset, a.begin() + offset + length, b.begin() + offset);
}

// The sequence of BIOS calls, compressed to "OP@address" strings.
std::vector<std::string> Calls(const std::vector<sim::LogEntry>& entries) {
    std::vector<std::string> calls;
    for (const auto& entry : entries) {
        char text[48];
        std::snprintf(text, sizeof text, "%s@%05llX", entry.operation.c_str() + 6,
                      static_cast<unsigned long long>(entry.address));
        calls.push_back(text);
    }
    return calls;
}

TEST_F(Flashing, WholeMainBiosInThreeSweeps) {
    Boot();
    const std::vector<std::uint8_t> before = FlashContents();
    const std::vector<std::uint8_t> image = Image().Build();
    const Outcome run = Tarvo({"/i" + WriteFile("new.rom", image)});
    ASSERT_EQ(run.code, 0) << run.output;
    const std::vector<std::uint8_t> after = FlashContents();
    EXPECT_TRUE(SameRange(after, image, 0, 0x20000)) << "blocks 0 and 1 programmed";
    EXPECT_TRUE(SameRange(after, before, 0x20000, 0x20000)) << "NVRAM and boot block untouched";

    // Erase both blocks, then 64 writes each, then 64 verifying reads each.
    const auto calls = Calls(BiosCalls());
    ASSERT_EQ(calls.size(), 1 + 1 + 2 + 128 + 128 + 1u);
    EXPECT_EQ(calls[0], "OPEN@00000");
    EXPECT_EQ(calls[1], "READ@FFC00");  // the BIOS's ROM ID
    EXPECT_EQ(calls[2], "ERASE@C0000");
    EXPECT_EQ(calls[3], "ERASE@D0000");
    EXPECT_EQ(calls[4], "WRITE@C0000");
    EXPECT_EQ(calls[5], "WRITE@C0400");
    EXPECT_EQ(calls[4 + 127], "WRITE@DFC00");
    EXPECT_EQ(calls[4 + 128], "READ@C0000");
    EXPECT_EQ(calls[4 + 255], "READ@DFC00");
    EXPECT_EQ(calls.back(), "CLOSE@DFC00");
    for (const auto& erase : BiosCalls("FLASH_ERASE")) EXPECT_EQ(erase.value, 0x10000u);
    for (const auto& write : BiosCalls("FLASH_WRITE")) EXPECT_EQ(write.value, 1024u);

    EXPECT_TRUE(run.Shows(" Reading file .......... \r"));
    EXPECT_TRUE(run.Shows(" Erasing flash ......... 0x000D0000 (25%) \r"));
    EXPECT_TRUE(run.Shows(" Writing flash ......... 0x000DFC00 (49%) \r"));
    EXPECT_TRUE(run.Shows(" Verifying flash ....... done              \n"));
    EXPECT_FALSE(run.Shows("BootBlock"));
}

TEST_F(Flashing, BootBlockPassComesAfterTheMainPass) {
    Boot();
    const std::vector<std::uint8_t> image = Image().BootBlockMarker().Build();
    const Outcome run = Tarvo({"/pbn", "/i" + WriteFile("new.rom", image)});
    ASSERT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(FlashContents(), image);
    std::vector<std::uint64_t> erased;
    for (const auto& call : BiosCalls("FLASH_ERASE")) erased.push_back(call.address);
    EXPECT_EQ(erased, (std::vector<std::uint64_t>{0xC0000, 0xD0000, 0xE0000, 0xF0000}));
    const auto calls = Calls(BiosCalls());
    const auto bootErase = std::find(calls.begin(), calls.end(), "ERASE@F0000");
    const auto lastMainVerify = std::find(calls.begin(), calls.end(), "READ@EFC00");
    EXPECT_LT(lastMainVerify, bootErase) << "boot block erased after the main verify sweep";
    const std::size_t labels[] = {
        run.output.find(" Verifying flash ......."), run.output.find(" Erasing BootBlock ....."),
        run.output.find(" Writing BootBlock ....."), run.output.find(" Verifying BootBlock ...")};
    for (std::size_t i = 1; i < 4; ++i) EXPECT_LT(labels[i - 1], labels[i]);
}

TEST_F(Flashing, KAndCTogetherProgramMainAndNonCriticalOnly) {
    Boot();
    ASSERT_EQ(Tarvo({"/q", "/k", "/pn", "/c",
                     "/i" + WriteFile("nc.rom", Image().NonCriticalBlock(0x0, 0x100).Build())})
                  .code,
              0);
    // /k clears /pn: NVRAM stays; /c brings the main BIOS back.
    std::vector<std::uint64_t> erased;
    for (const auto& call : BiosCalls("FLASH_ERASE")) erased.push_back(call.address);
    EXPECT_EQ(erased, (std::vector<std::uint64_t>{0xC0000, 0xD0000}));
}

// A block whose size is no multiple of 1 KB: its erase covers it all, but
// its last partial kilobyte is neither written nor verified.
TEST_F(Flashing, PartialKilobyteIsOnlyErased) {
    Boot({{"bios.blocks", "0xC0000:0x10200,0xD0200:0xFE00,0xE0000:0x10000,0xF0000:0x10000"},
          {"bios.nvram", "0xE0000"}});
    const std::vector<std::uint8_t> image = Image().Build();
    ASSERT_EQ(Tarvo({"/q", "/i" + WriteFile("new.rom", image)}).code, 0);
    const auto erases = BiosCalls("FLASH_ERASE");
    ASSERT_EQ(erases.size(), 2u);
    EXPECT_EQ(erases[0].value, 0x10200u);
    std::size_t writesInFirstBlock = 0;
    for (const auto& call : BiosCalls("FLASH_WRITE")) writesInFirstBlock += call.address < 0xD0200;
    EXPECT_EQ(writesInFirstBlock, 64u);
    const std::vector<std::uint8_t> flash = FlashContents();
    EXPECT_TRUE(SameRange(flash, image, 0, 0x10000));
    EXPECT_TRUE(std::all_of(flash.begin() + 0x10000, flash.begin() + 0x10200, [](std::uint8_t b) {
        return b == 0xFF;
    })) << "erased, never written";
}

TEST_F(Flashing, FailuresStopWithTheBlockAddress) {
    struct Case {
        const char* key;
        const char* value;
        int code;
        const char* message;
    } cases[] = {
        {"bios.fault.erase", "0xD0000", 67, "Unable to erase block: 0x000D0000\n"},
        {"bios.fault.write", "0xD0800", 68, "Unable to write block: 0x000D0000\n"},
        {"bios.fault.stuck_bits", "0xD0010:0x01", 69,
         "Block data does not match file: 0x000D0000\n"},
        {"bios.fault.read", "0xC0400", 69, "Block data does not match file: 0x000C0000\n"},
    };
    for (const Case& c : cases) {
        Boot({{c.key, c.value}});
        std::vector<std::uint8_t> image = Image().Build();
        image[0x10010] &= 0xFE;  // a bit the stuck cell cannot take
        const Outcome run = Tarvo({"/q", "/pc", "/i" + WriteFile("new.rom", image)});
        EXPECT_EQ(run.code, c.code) << c.key << run.output;
        EXPECT_TRUE(run.Shows(Error(c.message))) << c.key << run.output;
        EXPECT_EQ(BiosCalls("FLASH_CLOSE").size(), 1u) << "the interface is closed on failure";
        EXPECT_TRUE(Machine().Log().Of("cmos").empty()) << "no CMOS after a failure";
        EXPECT_FALSE(Module().Loaded());
    }
}

TEST_F(Flashing, DestroyCmosChecksumAfterProgramming) {
    sim::Machine& machine = Boot();
    machine.Log().RecordPorts(true);
    machine.PortOut(0x70, 0x2E);
    machine.PortOut(0x71, 0x5A);
    machine.Log().Clear();
    ASSERT_EQ(Tarvo({"/q", "/pc", "/i" + WriteFile("new.rom", Image().Build())}).code, 0);
    machine.PortOut(0x70, 0x2E);
    EXPECT_EQ(machine.PortIn(0x71), 0xA5);
    // Each port access is followed by four delay writes of the same byte to 80h.
    std::vector<std::string> cmos;
    for (const auto& entry : machine.Log().Of("port")) {
        if (entry.address == 0x70 || entry.address == 0x71 ||
            (entry.address == 0x80 && !cmos.empty() && cmos.size() < 20)) {
            char text[24];
            std::snprintf(text, sizeof text, "%s %02llX=%02llX", entry.operation.c_str(),
                          static_cast<unsigned long long>(entry.address),
                          static_cast<unsigned long long>(entry.value));
            cmos.push_back(text);
        }
    }
    ASSERT_GE(cmos.size(), 20u);
    const std::vector<std::string> expected = {
        "out 70=2E", "out 80=2E", "out 80=2E", "out 80=2E", "out 80=2E", "in 71=5A",  "out 80=5A",
        "out 80=5A", "out 80=5A", "out 80=5A", "out 70=2E", "out 80=2E", "out 80=2E", "out 80=2E",
        "out 80=2E", "out 71=A5", "out 80=A5", "out 80=A5", "out 80=A5", "out 80=A5"};
    EXPECT_EQ(std::vector<std::string>(cmos.begin(), cmos.begin() + 20), expected);
}

TEST_F(Flashing, QuietModePrintsNoProgress) {
    Boot();
    const Outcome run = Tarvo({"/q", "/t", "/i" + WriteFile("new.rom", Image().Build())});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.output, "\n ROM ID = SRVBD010\n") << "the ROM ID as it was when the run began";
}

TEST_F(Flashing, SaveFlashWritesEveryBlockAtItsOffset) {
    Boot();
    const std::vector<std::uint8_t> installed = FlashContents();
    const std::filesystem::path saved = dir / "saved.rom";
    const Outcome run = Tarvo({"/o" + saved.string()});
    ASSERT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(test_support::ReadBytes(saved), installed);
    EXPECT_TRUE(run.Shows(" Reading flash ......... 0x000FFC00 (99%) \r"));
    EXPECT_EQ(BiosCalls("FLASH_READ").size(), 1 + 256u);
    const auto mode = std::filesystem::status(saved).permissions();
    EXPECT_NE(mode & std::filesystem::perms::others_read, std::filesystem::perms::none)
        << "created as a plain file would be";
}

TEST_F(Flashing, SaveBeforeProgramming) {
    Boot();
    const std::vector<std::uint8_t> installed = FlashContents();
    const std::filesystem::path saved = dir / "saved.rom";
    ASSERT_EQ(
        Tarvo({"/q", "/o" + saved.string(), "/i" + WriteFile("new.rom", Image().Build())}).code, 0);
    EXPECT_EQ(test_support::ReadBytes(saved), installed);
    EXPECT_NE(FlashContents(), installed);
}

TEST_F(Flashing, FailedSaveLeavesNoPartialFile) {
    Boot({{"bios.fault.read", "0xE0400"}});
    const std::filesystem::path saved = dir / "saved.rom";
    std::ofstream(saved) << "older save";
    const Outcome run =
        Tarvo({"/q", "/o" + saved.string(), "/i" + WriteFile("new.rom", Image().Build())});
    EXPECT_EQ(run.code, 66);
    EXPECT_TRUE(run.Shows(Error("Unable to read block: 0x000E0000\n")));
    std::ifstream in(saved);
    std::string contents((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(contents, "older save");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 2u) << "no temporary file left beside it";
    EXPECT_TRUE(BiosCalls("FLASH_ERASE").empty()) << "nothing programmed after a failed save";

    const Outcome nowhere = Tarvo({"/q", "/o" + (dir / "no/such/dir/x.rom").string()});
    EXPECT_EQ(nowhere.code, 50);
    EXPECT_TRUE(nowhere.Shows(Error("Unable to create output file\n")));
}

}  // namespace
}  // namespace tarvo_test
