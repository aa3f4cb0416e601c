// Flash parts as data: the chip table's rows hold together, a part is found
// by the IDs it answers with, the BIOS flash service and any other holder of
// the board's part see the same cells, and a part's contents are kept in the
// state directory as they always were.
#include "sim/flash/flash_part.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/flash/flash_chip.h"
#include "tests/common/files.h"
#include "tests/sim/bios_caller.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kKiB = 1024;
constexpr std::uint32_t kMiB = 1024 * kKiB;

Bytes Pattern(std::size_t length, std::uint8_t first) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(first + i * 13);
    return bytes;
}

bool IsSpi(sim::FlashCommandSet commands) {
    return commands == sim::FlashCommandSet::kSpiPageProgram ||
           commands == sim::FlashCommandSet::kSpiAaiWordProgram;
}

// What one program command of each command set takes at the most.
std::uint32_t ProgramBytesOf(sim::FlashCommandSet commands) {
    switch (commands) {
        case sim::FlashCommandSet::kSpiPageProgram:
            return 256;
        case sim::FlashCommandSet::kSpiAaiWordProgram:
        case sim::FlashCommandSet::kJedecWordProgram:
        case sim::FlashCommandSet::kIntelWordProgram:
            return 2;
        case sim::FlashCommandSet::kJedecByteProgram:
        case sim::FlashCommandSet::kIntelByteProgram:
            return 1;
    }
    return 0;
}

// A row holds together: every erase command's blocks cover the part exactly
// and none is empty, the program size is what the command set programs, and
// only SPI command sets sit on the SPI bus.
void ExpectConsistent(const sim::FlashChip& chip) {
    SCOPED_TRACE(std::string(chip.name));
    EXPECT_FALSE(chip.name.empty());
    EXPECT_FALSE(chip.erasers.empty());
    for (const sim::EraseCommand& eraser : chip.erasers) {
        SCOPED_TRACE(eraser.opcode);
        EXPECT_EQ(eraser.Bytes(), chip.sizeBytes);
        for (const sim::EraseRegion& region : eraser.regions) {
            EXPECT_GT(region.blockBytes, 0u);
            EXPECT_GT(region.count, 0u);
        }
    }
    EXPECT_EQ(chip.programBytes, ProgramBytesOf(chip.commands));
    EXPECT_EQ(chip.bus == sim::FlashBus::kSpi, IsSpi(chip.commands));
}

TEST(FlashChips, EveryRowHoldsTogetherAndAnswersWithIdsOfItsOwn) {
    const auto chips = sim::FlashChips();
    ASSERT_FALSE(chips.empty());
    for (const sim::FlashChip& chip : chips) {
        ExpectConsistent(chip);
        EXPECT_GT(chip.sizeBytes, 0u);
        EXPECT_FALSE(chip.vendor.empty());
        // No two rows answer the ID command alike, or one could not be told
        // from the other.
        EXPECT_EQ(sim::FindFlashChip(chip.manufacturerId, chip.deviceId), &chip) << chip.name;
    }
    // What a later BIOS library needs to meet: each command set, and a
    // part that is not on the SPI bus.
    for (const auto commands :
         {sim::FlashCommandSet::kSpiPageProgram, sim::FlashCommandSet::kSpiAaiWordProgram,
          sim::FlashCommandSet::kJedecByteProgram, sim::FlashCommandSet::kJedecWordProgram,
          sim::FlashCommandSet::kIntelByteProgram, sim::FlashCommandSet::kIntelWordProgram}) {
        EXPECT_TRUE(std::any_of(chips.begin(), chips.end(), [&](const sim::FlashChip& chip) {
            return chip.commands == commands;
        })) << static_cast<int>(commands);
    }
    EXPECT_TRUE(std::any_of(chips.begin(), chips.end(), [](const sim::FlashChip& chip) {
        return chip.bus == sim::FlashBus::kFwh;
    }));
}

TEST(FlashChips, APartIsFoundByItsJedecIds) {
    struct Case {
        std::uint8_t manufacturer;
        std::uint16_t device;
        const char* name;  // null: no listed part answers so
    };
    const Case cases[] = {
        {0xC2, 0x2014, "MX25L8005"},   {0xEF, 0x4017, "W25Q64.V"},    {0xBF, 0x258E, "SST25VF080B"},
        {0xBF, 0x2541, "SST25VF016B"}, {0xBF, 0x005A, "SST49LF008A"}, {0x01, 0x225B, "Am29LV800BB"},
        {0x89, 0x00AC, "82802AC"},     {0x89, 0x88C5, "28F320C3B"},   {0x89, 0x88C4, nullptr},
        {0x1F, 0x4700, "AT25DF321"},   {0x89, 0x8911, "25F160S33"},   {0x89, 0x8912, "25F320S33"},
        {0x89, 0x8913, "25F640S33"},   {0x89, 0x8915, nullptr},       {0xC2, 0x2015, nullptr},
        {0xEF, 0x2014, nullptr},       {0xFF, 0xFFFF, nullptr},       {0x00, 0x0000, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << +c.manufacturer << "/" << c.device);
        const sim::FlashChip* chip = sim::FindFlashChip(c.manufacturer, c.device);
        if (c.name == nullptr) {
            EXPECT_EQ(chip, nullptr);
            continue;
        }
        ASSERT_NE(chip, nullptr);
        EXPECT_EQ(chip->name, c.name);
    }
}

TEST(FlashChips, TheBoardCarriesAListedPartOfTheRomsSizeOrAnUnlistedOne) {
    struct Case {
        std::uint32_t sizeBytes;
        const char* name;
        std::uint32_t blockBytes;  // of the unlisted part's one erase command
    };
    const Case cases[] = {
        {1 * kMiB, "MX25L8005", 0},          {2 * kMiB, "SST25VF016B", 0},
        {8 * kMiB, "W25Q64.V", 0},           {1536 * kKiB, "unlisted", 64 * kKiB},
        {1000 * kKiB, "unlisted", 4 * kKiB}, {1 * kKiB, "unlisted", 1 * kKiB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sizeBytes);
        const sim::FlashChip chip = sim::BoardFlashChip(c.sizeBytes);
        EXPECT_EQ(chip.name, c.name);
        EXPECT_EQ(chip.sizeBytes, c.sizeBytes);
        ExpectConsistent(chip);
        if (c.blockBytes == 0) continue;
        EXPECT_EQ(chip.erasers[0].regions[0].blockBytes, c.blockBytes);
        EXPECT_EQ(sim::FindFlashChip(chip.manufacturerId, chip.deviceId), nullptr);
    }
    // A board without a ROM (a broken BIOS a test asks for) has a part with
    // nothing to erase.
    EXPECT_EQ(sim::BoardFlashChip(0).erasers[0].Bytes(), 0u);
}

// ------------------------------------------------------------ holders of one part

TEST(FlashPart, TheBiosServiceAndASecondHolderSeeTheSameCells) {
    sim::Machine& machine = sim::ResetMachine();
    sim::FlashPart* part = machine.FindFlashPart(sim::kBiosFlashPart);
    ASSERT_NE(part, nullptr);
    sim::BiosFlashService& bios = *machine.Find<sim::BiosFlashService>();
    EXPECT_EQ(&bios.Part(), part);
    // The default board, a firmware hub board.
    EXPECT_EQ(part->Chip().name, "82802AC");
    EXPECT_EQ(part->Cells().Size(), bios.Layout().romBytes);

    // What the service programs, the other holder reads.
    simtest::BiosCaller caller;
    const Bytes written = Pattern(kKiB, 5);
    ASSERT_EQ(caller.Open(), 0);
    ASSERT_EQ(caller.Erase(0xE0000, 0x10000), 0);
    ASSERT_EQ(caller.Write(0xE0400, written), 0);
    const auto held = part->Cells().Bytes(0xE0400 - bios.Layout().BaseOffset(), kKiB);
    EXPECT_TRUE(std::equal(held.begin(), held.end(), written.begin()));

    // What the other holder puts in the cells, as a programmer clip would,
    // the service reads back.
    Bytes image(part->Cells().Size(), 0xFF);
    const Bytes clipped = Pattern(kKiB, 77);
    std::copy(clipped.begin(), clipped.end(), image.begin());
    ASSERT_TRUE(part->Cells().Fill(image));
    ASSERT_EQ(caller.Read(bios.Layout().BaseOffset()), 0);
    EXPECT_EQ(caller.Buffer(), clipped);
    const sim::LogEntry read = machine.Log().Of("bios").back();
    EXPECT_EQ(read.operation, "FLASH_READ");
    EXPECT_EQ(read.address, bios.Layout().BaseOffset());
    EXPECT_EQ(read.detail, "status=00");
}

TEST(FlashPart, ItsContentsRoundTripThroughTheStateDirectory) {
    test_support::TempDir dir("flash-part");
    const sim::FlashChip chip = *sim::FindFlashChip(0xBF, 0x005A);
    sim::FlashPart part(chip, "fwh");
    const Bytes data = Pattern(300, 1);
    part.Cells().Program(0x1234, data);
    ASSERT_TRUE(part.SaveState(dir.Path()));
    // The file is the cells as they are, byte for byte.
    const Bytes kept = test_support::ReadBytes(dir.Path() / "fwh.bin");
    ASSERT_EQ(kept.size(), chip.sizeBytes);
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), part.Cells().Bytes().begin()));

    sim::FlashPart again(chip, "fwh");
    again.LoadState(dir.Path());
    const auto loaded = again.Cells().Bytes(0x1234, data.size());
    EXPECT_TRUE(std::equal(loaded.begin(), loaded.end(), data.begin()));

    // A part of another size keeps its own (erased) cells.
    sim::FlashPart larger(*sim::FindFlashChip(0xBF, 0x2541), "fwh");
    larger.LoadState(dir.Path());
    EXPECT_EQ(larger.Cells().Bytes(0x1234, 1)[0], 0xFF);

    // The machine keeps its BIOS part where the BIOS flash always was.
    sim::Machine machine;
    sim::BuildMachine(machine);
    sim::FlashArray& cells = machine.FindFlashPart(sim::kBiosFlashPart)->Cells();
    cells.Erase(0, 1);
    cells.Program(0, Bytes{0x12});
    ASSERT_TRUE(machine.SaveState(dir.Path()));
    EXPECT_EQ(test_support::ReadBytes(dir.Path() / "bios-flash.bin").at(0), 0x12);
    sim::Machine next;
    sim::BuildMachine(next);
    next.LoadState(dir.Path());
    EXPECT_EQ(next.Find<sim::BiosFlashService>()->Flash().Bytes(0, 1)[0], 0x12);
}

}  // namespace
