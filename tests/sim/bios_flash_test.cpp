// The BIOS flash service as a program meets it: the anchor and tables in
// BIOS memory, the request block and the SMI port, through the platform
// layer.
#include "sim/bios/bios_flash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "hw/hw.h"
#include "sim/bios/rom_image_builder.h"
#include "tests/common/files.h"
#include "tests/sim/bios_caller.h"
#include "tests/sim/program_process.h"

namespace {

using simtest::BiosCaller;
using simtest::FlashAt;
using simtest::kBuffer;

constexpr std::uint32_t kKiB = 1024;

sim::Machine& Reset(std::initializer_list<std::pair<const char*, const char*>> settings) {
    return sim::ResetMachine(simtest::SettingsOf(settings));
}

std::vector<std::uint8_t> Pattern(std::uint8_t first) {
    std::vector<std::uint8_t> bytes(kKiB);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(first + i * 7);
    return bytes;
}

sim::LogEntry LastBiosEntry() {
    const auto entries = sim::TheMachine().Log().Of("bios");
    return entries.empty() ? sim::LogEntry{} : entries.back();
}

std::uint16_t Word(const std::uint8_t* at) {
    return hw::Read16(at);
}

// ------------------------------------------------------------ anchor and tables

struct LayoutCase {
    const char* name;
    std::initializer_list<std::pair<const char*, const char*>> settings;
    std::uint32_t anchorOffset;
    std::uint16_t infoSegment;
    std::uint16_t romKb;
    std::vector<sim::FlashBlock> blocks;
    std::uint16_t bootBlocks;
    std::vector<std::uint32_t> nvram;
};

std::vector<sim::FlashBlock> Ascending(std::uint32_t from, unsigned count, std::uint32_t size) {
    std::vector<sim::FlashBlock> blocks;
    for (unsigned i = 0; i < count; ++i) blocks.push_back({from + i * size, size});
    return blocks;
}

TEST(BiosTables, AnchorAndTablesDescribeTheConfiguredFlash) {
    const LayoutCase cases[] = {
        {"default", {}, 0x7F30, 0xE000, 1024, Ascending(0, 16, 0x10000), 1, {0xE0000}},
        {"512 KB, 32 KB blocks, two boot blocks, tables in the anchor's segment",
         {{"bios.rom_kb", "512"},
          {"bios.block_kb", "32"},
          {"bios.boot_blocks", "2"},
          {"bios.anchor_offset", "0x10"},
          {"bios.info_segment", "0xF000"},
          {"bios.info_pointer", "0x100"},
          {"bios.flash_info", "0x200"}},
         0x10,
         0xF000,
         512,
         Ascending(0x80000, 16, 0x8000),
         2,
         {0xE8000}},
        {"2 MB, explicit table top down, two NVRAM blocks",
         {{"bios.rom_kb", "2048"},
          {"bios.blocks", "0x1F0000:0x10000,0x100000:0xF0000,0:0x100000"},
          {"bios.boot_blocks", "1"},
          {"bios.nvram", "0x1F0000,0x100000"},
          {"bios.anchor_offset", "0xFFE0"},
          {"bios.request_distance", "0x0E"}},
         0xFFE0,
         0xE000,
         2048,
         {{0x1F0000, 0x10000}, {0x100000, 0xF0000}, {0, 0x100000}},
         1,
         {0x1F0000, 0x100000}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(c.settings);
        BiosCaller caller;
        const std::uint8_t* segment = caller.Segment();
        unsigned anchors = 0;
        for (unsigned offset = 0; offset + 4 <= 0xFFFF; ++offset) {
            if (hw::Read8(segment + offset) == '$' && hw::Read8(segment + offset + 1) == 'A' &&
                hw::Read8(segment + offset + 2) == 'S' && hw::Read8(segment + offset + 3) == 'F') {
                EXPECT_EQ(offset, c.anchorOffset);
                ++anchors;
            }
        }
        ASSERT_EQ(anchors, 1u);
        const std::uint8_t* anchor = segment + c.anchorOffset;
        EXPECT_EQ(Word(anchor + 10), c.infoSegment);
        EXPECT_EQ(Word(anchor + 12), 0xB2);

        const std::uint8_t* info = caller.Map(std::uint64_t{c.infoSegment} * 16, 0xFFFF);
        const std::uint8_t* flashInfo = info + hw::Read32(info + Word(anchor + 8));
        EXPECT_EQ(Word(flashInfo + 6), c.romKb);
        const std::uint8_t* blockTable = info + Word(flashInfo + 10);
        ASSERT_EQ(Word(blockTable), c.blocks.size());
        EXPECT_EQ(Word(blockTable + 2), c.bootBlocks);
        for (std::size_t i = 0; i < c.blocks.size(); ++i) {
            EXPECT_EQ(hw::Read32(blockTable + 4 + 8 * i), c.blocks[i].address) << i;
            EXPECT_EQ(hw::Read32(blockTable + 8 + 8 * i), c.blocks[i].size) << i;
        }
        const std::uint8_t* nvramTable = info + Word(flashInfo + 12);
        ASSERT_EQ(Word(nvramTable), c.nvram.size());
        for (std::size_t i = 0; i < c.nvram.size(); ++i) {
            EXPECT_EQ(hw::Read32(nvramTable + 2 + 8 * i), c.nvram[i]) << i;
        }

        // The request block the anchor names is the one the BIOS answers in.
        caller.Fill(kBuffer, 0, 0);
        hw::OutByte(0xB2, sim::bios::kFlashClose);
        EXPECT_EQ(hw::Read8(anchor + hw::Read8(anchor + 4) + sim::bios::kRequestStatus),
                  sim::bios::kNotOpen);
        hw::UnmapDevice(const_cast<std::uint8_t*>(info), 0xFFFF);
    }
}

TEST(BiosTables, AnInformationSegmentWithoutMemoryGetsRamOfItsOwn) {
    sim::Machine& machine = Reset({{"bios.info_segment", "0xD000"}});
    const sim::MemoryRegion* info = machine.Memory().Find("bios-info");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->base, 0xD0000u);
    EXPECT_EQ(machine.Memory().Read(0xD0000 + 0x80 + 6, 2), 1024u);

    // Tables that would straddle RAM and a hole cannot be built.
    EXPECT_THROW(Reset({{"bios.info_segment", "0x9FF0"}}), std::invalid_argument);
}

TEST(BiosTables, SettingsBuildBrokenBiosesForTheClientsChecks) {
    {
        SCOPED_TRACE("no anchor");
        sim::Machine& machine = Reset({{"bios.anchor", "0"}});
        for (std::uint64_t at = 0xF0000; at + 4 <= 0x100000; ++at) {
            ASSERT_NE(machine.Memory().Read(at, 4), 0x46534124u) << std::hex << at;  // "$ASF"
        }
    }
    {
        SCOPED_TRACE("ROM size 0");
        sim::Machine& machine = Reset({{"bios.rom_kb", "0"}});
        EXPECT_EQ(machine.Memory().Read(0xE0080 + 6, 2), 0u);
        EXPECT_EQ(machine.Memory().Read(0xE0090, 2), 0u);  // no blocks
        BiosCaller caller;
        EXPECT_EQ(caller.Open(), sim::bios::kOk);
        EXPECT_EQ(caller.Read(0xFFC00), sim::bios::kBadAddress);
    }
    {
        SCOPED_TRACE("a block outside the ROM");
        Reset({{"bios.blocks", "0:0x80000,0x200000:0x10000"}});
        BiosCaller caller;
        caller.Open();
        EXPECT_EQ(caller.Erase(0x200000, 0x10000), sim::bios::kBadAddress);
        EXPECT_EQ(LastBiosEntry().detail, "status=05: block outside the ROM");
    }
    {
        SCOPED_TRACE("a block count that runs past the segment, poked in");
        sim::Machine& machine = Reset({{"memory.poke", "0xE0090:FFFF,0xE0092:0100"}});
        EXPECT_EQ(machine.Memory().Read(0xE0090, 2), 0xFFFFu);
        EXPECT_EQ(machine.Memory().Read(0xE0092, 2), 0x0001u);
        EXPECT_EQ(machine.Memory().Read(0xE0094, 4), 0u);  // the entries are as they were
    }
    EXPECT_THROW(Reset({{"bios.rom_kb", "65536"}}), std::invalid_argument);
    EXPECT_THROW(Reset({{"bios.rom_id", "TOOLONGID"}}), std::invalid_argument);
    EXPECT_THROW(Reset({{"bios.blocks", "0x1000"}}), std::invalid_argument);
    EXPECT_THROW(Reset({{"bios.fault.read", "0x1000:x"}}), std::invalid_argument);
    EXPECT_THROW(Reset({{"memory.poke", "0xE0000:F"}}), std::invalid_argument);
}

// ------------------------------------------------------------ the functions

TEST(BiosFlash, ReadCopiesAKilobyteIntoTheBufferWithItsChecksum) {
    Reset({{"bios.rom_kb", "512"}, {"bios.rom_id", "ABCDE123"}});
    BiosCaller caller;
    ASSERT_EQ(caller.Open(), sim::bios::kOk);
    for (const std::uint32_t address : {0x80000u, 0xC0400u, 0xFFC00u, 0xFFA00u}) {
        SCOPED_TRACE(address);
        ASSERT_EQ(caller.Read(address), sim::bios::kOk);
        const auto buffer = caller.Buffer();
        EXPECT_EQ(buffer, FlashAt(address));
        EXPECT_EQ(caller.ChecksumField(), ~sim::WordSum(buffer));
        EXPECT_EQ(LastBiosEntry().operation, "FLASH_READ");
        EXPECT_EQ(LastBiosEntry().address, address);
        EXPECT_EQ(LastBiosEntry().value, kKiB);
        EXPECT_EQ(LastBiosEntry().detail, "status=00");
    }
    caller.Read(0xFFC00);
    const auto top = caller.Buffer();
    EXPECT_EQ(std::string(top.begin() + 992, top.begin() + 1000), "ABCDE123");
}

TEST(BiosFlash, EraseSetsTheBlockAndWritingCanOnlyClearBits) {
    Reset({});
    BiosCaller caller;
    caller.Open();
    const auto before = FlashAt(0xD0000, 0x30000);

    ASSERT_EQ(caller.Erase(0xE0000, 0x10000), sim::bios::kOk);
    const auto erased = FlashAt(0xE0000, 0x10000);
    EXPECT_TRUE(std::all_of(erased.begin(), erased.end(), [](auto b) { return b == 0xFF; }));

    const auto first = Pattern(0x31);
    ASSERT_EQ(caller.Write(0xE0400, first), sim::bios::kOk);
    EXPECT_EQ(FlashAt(0xE0400), first);
    ASSERT_EQ(caller.Read(0xE0400), sim::bios::kOk);
    EXPECT_EQ(caller.Buffer(), first);

    // Over programmed cells a second write leaves the AND of both: only an
    // erase brings bits back.
    const auto second = Pattern(0xC4);
    ASSERT_EQ(caller.Write(0xE0400, second), sim::bios::kOk);
    for (std::size_t i = 0; i < kKiB; ++i) ASSERT_EQ(FlashAt(0xE0400)[i], first[i] & second[i]);

    // Neither the rest of the block nor its neighbours were touched.
    EXPECT_EQ(FlashAt(0xE0000), std::vector<std::uint8_t>(kKiB, 0xFF));
    EXPECT_EQ(FlashAt(0xE0800), std::vector<std::uint8_t>(kKiB, 0xFF));
    EXPECT_TRUE(
        std::equal(before.begin(), before.begin() + 0x10000, FlashAt(0xD0000, 0x10000).begin()));
    EXPECT_TRUE(
        std::equal(before.begin() + 0x20000, before.end(), FlashAt(0xF0000, 0x10000).begin()));
}

TEST(BiosFlash, TheLogRecordsEveryRequestAsItWasMade) {
    Reset({});
    BiosCaller caller;
    caller.Open();
    caller.Read(0xF0000);
    caller.Erase(0xE0000, 0x10000);
    caller.Write(0xE0000, Pattern(1));
    caller.Call(sim::bios::kFlashClose);
    caller.Erase(0xE0000, 0x10000);
    const auto entries = sim::TheMachine().Log().Of("bios");
    const std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t, std::string>> expected =
        {
            {"FLASH_OPEN", 0, 0, "status=00"},
            {"FLASH_READ", 0xF0000, 1024, "status=00"},
            {"FLASH_ERASE", 0xE0000, 0x10000, "status=00"},
            {"FLASH_WRITE", 0xE0000, 1024, "status=00"},
            {"FLASH_CLOSE", 0xE0000, 1024, "status=00"},
            {"FLASH_ERASE", 0xE0000, 0x10000, "status=03: not open"},
        };
    ASSERT_EQ(entries.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& [operation, address, value, detail] = expected[i];
        EXPECT_EQ(entries[i].operation, operation) << i;
        EXPECT_EQ(entries[i].address, address) << i;
        EXPECT_EQ(entries[i].value, value) << i;
        EXPECT_EQ(entries[i].detail, detail) << i;
    }
    EXPECT_EQ(sim::bios::LoggedStatus(entries.back()), sim::bios::kNotOpen);
}

// A refused request leaves the flash, the buffer and (for reads) the
// checksum field as they were.
TEST(BiosFlash, RefusesBadRequestsWithoutTouchingAnything) {
    enum class Checksum { kNone, kValid, kWrong };
    struct Case {
        const char* name;
        bool open;
        std::uint8_t code;
        std::uint32_t buffer;
        std::uint32_t address;
        std::uint32_t length;
        Checksum checksum;
        std::uint8_t status;
    };
    using namespace sim::bios;
    // 512 KB: flash addresses 80000h to FFFFFh, 64 KB blocks.
    const Case cases[] = {
        {"read before open", false, kFlashRead, kBuffer, 0x80000, 1024, Checksum::kNone, kNotOpen},
        {"erase before open", false, kFlashErase, kBuffer, 0x80000, 0x10000, Checksum::kNone,
         kNotOpen},
        {"write before open", false, kFlashWrite, kBuffer, 0x80000, 1024, Checksum::kValid,
         kNotOpen},
        {"close before open", false, kFlashClose, kBuffer, 0, 0, Checksum::kNone, kNotOpen},
        {"open twice", true, kFlashOpen, kBuffer, 0, 0, Checksum::kNone, kAlreadyOpen},
        {"read of 512 bytes", true, kFlashRead, kBuffer, 0x80000, 512, Checksum::kNone, kBadLength},
        {"read of 2 KB", true, kFlashRead, kBuffer, 0x80000, 2048, Checksum::kNone, kBadLength},
        {"write of nothing", true, kFlashWrite, kBuffer, 0x80000, 0, Checksum::kValid, kBadLength},
        {"read below the ROM", true, kFlashRead, kBuffer, 0x7FC00, 1024, Checksum::kNone,
         kBadAddress},
        {"read across its end", true, kFlashRead, kBuffer, 0xFFE00, 1024, Checksum::kNone,
         kBadAddress},
        {"write above 1 MB", true, kFlashWrite, kBuffer, 0x100000, 1024, Checksum::kValid,
         kBadAddress},
        {"read at 4 GB - 1 KB", true, kFlashRead, kBuffer, 0xFFFFFC00, 1024, Checksum::kNone,
         kBadAddress},
        {"erase inside a block", true, kFlashErase, kBuffer, 0x80400, 0x10000, Checksum::kNone,
         kBadAddress},
        {"erase of half a block", true, kFlashErase, kBuffer, 0x80000, 0x8000, Checksum::kNone,
         kBadLength},
        {"erase of two blocks", true, kFlashErase, kBuffer, 0x80000, 0x20000, Checksum::kNone,
         kBadLength},
        {"read into a hole", true, kFlashRead, 0x50000000, 0x80000, 1024, Checksum::kNone,
         kBadBuffer},
        {"read across the end of RAM", true, kFlashRead, 0x9FE00, 0x80000, 1024, Checksum::kNone,
         kBadBuffer},
        {"write of a buffer that is not its checksum", true, kFlashWrite, kBuffer, 0x80000, 1024,
         Checksum::kWrong, kChecksumMismatch},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset({{"bios.rom_kb", "512"}});
        BiosCaller caller;
        if (c.open) {
            ASSERT_EQ(caller.Open(), kOk);
        }
        const std::vector<std::uint8_t> data(kKiB, 0x00);
        caller.SetBuffer(data);
        const std::uint32_t valid = sim::TransferChecksum(data);
        const std::uint32_t checksum = c.checksum == Checksum::kValid   ? valid
                                       : c.checksum == Checksum::kWrong ? valid + 1
                                                                        : 0x13572468;
        const auto flash = FlashAt(0x80000, 0x80000);
        caller.Fill(c.buffer, c.address, c.length, checksum);

        EXPECT_EQ(caller.Call(c.code), c.status);
        EXPECT_EQ(FlashAt(0x80000, 0x80000), flash);
        EXPECT_EQ(caller.Buffer(), data);
        EXPECT_EQ(caller.ChecksumField(), checksum);
        const sim::LogEntry entry = LastBiosEntry();
        EXPECT_EQ(entry.operation, sim::bios::FunctionName(c.code));
        EXPECT_EQ(sim::bios::LoggedStatus(entry), c.status);
        EXPECT_NE(entry.detail.find(": "), std::string::npos) << entry.detail;
    }
}

TEST(BiosFlash, OpenAndCloseAnswerAsConfigured) {
    struct Case {
        const char* openStatus;
        const char* closeStatus;
        std::uint8_t open;   // FLASH_OPEN's answer
        bool usable;         // a read succeeds after it
        std::uint8_t close;  // FLASH_CLOSE's answer
        bool openAfterClose;
    };
    const Case cases[] = {
        {"0", "0", 0x00, true, 0x00, false},
        {"1", "0", 0x01, false, sim::bios::kNotOpen, false},
        {"2", "0", 0x02, true, 0x00, false},  // "was already open": open all the same
        {"0x7F", "0", 0x7F, false, sim::bios::kNotOpen, false},
        {"0", "5", 0x00, true, 0x05, true},  // a failed close leaves it open
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("open ") + c.openStatus + ", close " + c.closeStatus);
        sim::Machine& machine =
            Reset({{"bios.open_status", c.openStatus}, {"bios.close_status", c.closeStatus}});
        BiosCaller caller;
        EXPECT_EQ(caller.Open(), c.open);
        EXPECT_EQ(caller.Read(0xF0000), c.usable ? sim::bios::kOk : sim::bios::kNotOpen);
        EXPECT_EQ(caller.Call(sim::bios::kFlashClose), c.close);
        EXPECT_EQ(machine.Find<sim::BiosFlashService>()->IsOpen(), c.openAfterClose);
        if (c.openAfterClose) {
            EXPECT_EQ(caller.Open(), sim::bios::kAlreadyOpen);
        }
    }
}

// ------------------------------------------------------------ faults

TEST(BiosFaults, FailingReadsErasesAndWritesChangeNothing) {
    struct Case {
        const char* key;
        const char* value;
        std::uint8_t code;
        std::uint32_t address;  // of the request that the fault hits
        std::uint32_t spared;   // of a request next to it that succeeds
        std::uint8_t status;
    };
    using namespace sim::bios;
    const Case cases[] = {
        {"bios.fault.read", "0xF03FF", kFlashRead, 0xF0000, 0xF0400, kDeviceError},
        {"bios.fault.read", "0xF0000:0x41", kFlashRead, 0xF0000, 0xEFC00, 0x41},
        {"bios.fault.erase", "0xE1234", kFlashErase, 0xE0000, 0xD0000, kDeviceError},
        {"bios.fault.erase", "0xE0000:0x80", kFlashErase, 0xE0000, 0xF0000, 0x80},
        {"bios.fault.write", "0xE0400", kFlashWrite, 0xE0400, 0xE0800, kDeviceError},
        {"bios.fault.write", "0xE07FF:9", kFlashWrite, 0xE0400, 0xE0000, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        Reset({{c.key, c.value}});
        BiosCaller caller;
        caller.Open();
        if (c.code == kFlashWrite) {
            ASSERT_EQ(caller.Erase(0xE0000, 0x10000), kOk);
        }
        const std::vector<std::uint8_t> untouched(kKiB, 0xA5);
        const auto flash = FlashAt(0, 0x100000);
        const auto run = [&](std::uint32_t address) {
            if (c.code == kFlashRead) return (caller.SetBuffer(untouched), caller.Read(address));
            if (c.code == kFlashErase) return caller.Erase(address, 0x10000);
            return caller.Write(address, Pattern(0));
        };
        EXPECT_EQ(run(c.address), c.status);
        EXPECT_EQ(FlashAt(0, 0x100000), flash);
        if (c.code == kFlashRead) {
            EXPECT_EQ(caller.Buffer(), untouched);
        }
        EXPECT_EQ(sim::bios::LoggedStatus(LastBiosEntry()), c.status);
        EXPECT_EQ(run(c.spared), kOk);
    }
}

TEST(BiosFaults, AReadChecksumFaultAnswersSuccessWithAWrongChecksum) {
    for (const auto& [value, xorMask] :
         {std::pair{"0xF0010", 1u}, std::pair{"0xF0000:0x80000000", 0x80000000u}}) {
        SCOPED_TRACE(value);
        Reset({{"bios.fault.read_checksum", value}});
        BiosCaller caller;
        caller.Open();
        ASSERT_EQ(caller.Read(0xF0000), sim::bios::kOk);
        EXPECT_EQ(caller.Buffer(), FlashAt(0xF0000));
        EXPECT_EQ(caller.ChecksumField(), ~sim::WordSum(caller.Buffer()) ^ xorMask);
        ASSERT_EQ(caller.Read(0xF0400), sim::bios::kOk);
        EXPECT_EQ(caller.ChecksumField(), ~sim::WordSum(caller.Buffer()));
    }
}

TEST(BiosFaults, StuckBitsSurviveProgrammingAndShowOnlyOnReadBack) {
    Reset({{"bios.fault.stuck_bits", "0xE0405:0x81,0xE0410"}});
    BiosCaller caller;
    caller.Open();
    ASSERT_EQ(caller.Erase(0xE0000, 0x10000), sim::bios::kOk);
    const std::vector<std::uint8_t> zeros(kKiB, 0x00);
    ASSERT_EQ(caller.Write(0xE0400, zeros), sim::bios::kOk);  // the BIOS does not verify
    ASSERT_EQ(caller.Read(0xE0400), sim::bios::kOk);
    std::vector<std::uint8_t> expected = zeros;
    expected[5] = 0x81;
    expected[0x10] = 0x01;
    EXPECT_EQ(caller.Buffer(), expected);
}

// ------------------------------------------------------------ the SMI port

TEST(BiosFlash, CodesOfNoServiceAreLoggedAndLeaveTheRequestAlone) {
    Reset({});
    BiosCaller caller;
    caller.Fill(kBuffer, 0xF0000, 1024);
    EXPECT_EQ(caller.Call(0x55), 0xEE);
    EXPECT_EQ(hw::InByte(0xB2), 0x55);
    const auto smi = sim::TheMachine().Log().Of("smi");
    ASSERT_EQ(smi.size(), 1u);
    EXPECT_EQ(smi[0].operation, "unhandled");
    EXPECT_EQ(smi[0].value, 0x55u);
    EXPECT_TRUE(sim::TheMachine().Log().Of("bios").empty());
}

TEST(BiosFlash, AnotherSmiPortServesTheFlashAndB2hDoesNot) {
    Reset({{"bios.smi_port", "0x6B"}});
    BiosCaller caller;
    EXPECT_EQ(hw::Read16(caller.Segment() + 0x7F30 + 12), 0x6B);
    hw::OutByte(0xB2, sim::bios::kFlashOpen);
    EXPECT_FALSE(sim::TheMachine().Find<sim::BiosFlashService>()->IsOpen());
    EXPECT_EQ(caller.Open(), sim::bios::kOk);
}

// ------------------------------------------------------------ state

TEST(BiosState, FlashContentsAndTheOpenInterfaceSurviveTheProcess) {
    const test_support::TempDir state("biosstate");
    const std::filesystem::path& dir = state.Path();
    // Without FLASH_CLOSE; the state is saved on the way out.
    ASSERT_TRUE(simtest::ProgramSucceeds(dir, [] {
        BiosCaller caller;
        return caller.Open() == 0 && caller.Erase(0xE0000, 0x10000) == 0 &&
               caller.Write(0xE0400, Pattern(9)) == 0;
    }));

    sim::Machine next(sim::SettingsOf(dir));
    sim::BuildMachine(next);
    next.LoadState(dir);
    const sim::BiosFlashService& bios = *next.Find<sim::BiosFlashService>();
    EXPECT_TRUE(bios.IsOpen());
    const auto written = bios.Flash().Bytes(0xE0400, kKiB);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), Pattern(9).begin()));
    EXPECT_EQ(bios.Flash().Bytes(0xE0000, 1)[0], 0xFF);

    // A flash part of another size does not take the saved contents.
    sim::Settings smaller = sim::SettingsOf(dir);
    smaller.Set("bios.rom_kb", "512");
    sim::Machine other(smaller);
    sim::BuildMachine(other);
    other.LoadState(dir);
    EXPECT_EQ(other.Find<sim::BiosFlashService>()->InstalledRomId(), sim::kDefaultRomId);
}

}  // namespace
