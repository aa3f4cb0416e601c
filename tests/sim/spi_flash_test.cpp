// The SPI parts as their datasheets describe them, one transfer at a time:
// what each command does to the cells and the status register, and what a
// part makes of bytes it does not expect.
#include "sim/chipset/spi_flash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "sim/chipset/board.h"
#include "tests/sim/settings_of.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kKiB = 1024;

// One part on its own bus, with its own clock.
struct PartOnBus {
    PartOnBus(const char* name, simtest::SettingPairs settings = {})
        : part(*sim::FindFlashChipNamed(name), "bios"),
          flash(part, clock, sim::SpiFlashSettings::FromSettings(simtest::SettingsOf(settings))) {}

    Bytes Send(Bytes sent, std::size_t readCount = 0) { return flash.Transfer(sent, readCount); }
    std::uint8_t Status() { return Send({0x05}, 1)[0]; }
    Bytes Read(std::uint32_t offset, std::size_t count) {
        return Send({0x03, static_cast<std::uint8_t>(offset >> 16),
                     static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset)},
                    count);
    }
    void Settle() { clock.Advance(1'000'000'000); }
    // Write enable, then the command, then the time it takes.
    void Enabled(Bytes command) {
        Send({0x06});
        Send(std::move(command));
        Settle();
    }
    Bytes Cells(std::uint32_t offset, std::size_t count) const {
        const auto bytes = part.Cells().Bytes(offset, count);
        return {bytes.begin(), bytes.end()};
    }

    sim::VirtualClock clock;
    sim::FlashPart part;
    sim::SpiFlash flash;
};

Bytes Addressed(std::uint8_t opcode, std::uint32_t offset, Bytes data = {}) {
    Bytes bytes(4 + data.size());
    bytes[0] = opcode;
    bytes[1] = static_cast<std::uint8_t>(offset >> 16);
    bytes[2] = static_cast<std::uint8_t>(offset >> 8);
    bytes[3] = static_cast<std::uint8_t>(offset);
    std::copy(data.begin(), data.end(), bytes.begin() + 4);
    return bytes;
}

TEST(SpiFlashRows, TheNewPartsCarryTheirDatasheetIdsSizesAndBlocks) {
    struct Case {
        const char* name;
        std::uint8_t manufacturer;
        std::uint16_t device;
        std::uint32_t size;
        std::uint32_t blocks64k;  // of D8h
    };
    const Case cases[] = {
        {"AT25DF321", 0x1F, 0x4700, 4096 * kKiB, 64},
        {"25F160S33", 0x89, 0x8911, 2048 * kKiB, 32},
        {"25F320S33", 0x89, 0x8912, 4096 * kKiB, 64},
        {"25F640S33", 0x89, 0x8913, 8192 * kKiB, 128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const sim::FlashChip* chip = sim::FindFlashChipNamed(c.name);
        ASSERT_NE(chip, nullptr);
        EXPECT_EQ(sim::FindFlashChip(c.manufacturer, c.device), chip);
        EXPECT_EQ(chip->sizeBytes, c.size);
        EXPECT_EQ(chip->bus, sim::FlashBus::kSpi);
        EXPECT_EQ(chip->commands, sim::FlashCommandSet::kSpiPageProgram);
        EXPECT_EQ(chip->programBytes, 256u);
        bool found = false;
        for (const sim::EraseCommand& eraser : chip->erasers) {
            EXPECT_EQ(eraser.Bytes(), c.size) << +eraser.opcode;
            if (eraser.opcode != 0xD8) continue;
            found = true;
            ASSERT_EQ(eraser.regions.size(), 1u);
            EXPECT_EQ(eraser.regions[0].blockBytes, 64 * kKiB);
            EXPECT_EQ(eraser.regions[0].count, c.blocks64k);
        }
        EXPECT_TRUE(found);
    }
}

TEST(SpiFlash, JedecIdIsThePartsOwnOrTheOverride) {
    struct Case {
        const char* name;
        simtest::SettingPairs settings;
        Bytes id;
    };
    const Case cases[] = {
        {"AT25DF321", {}, {0x1F, 0x47, 0x00, 0xFF}},
        {"25F160S33", {}, {0x89, 0x89, 0x11, 0xFF}},
        {"25F640S33", {}, {0x89, 0x89, 0x13, 0xFF}},
        {"SST25VF016B", {}, {0xBF, 0x25, 0x41, 0xFF}},
        {"W25Q64.V", {}, {0xEF, 0x40, 0x17, 0xFF}},
        {"SST25VF016B", {{"spi.fault.jedec_id", "0x1F4700"}}, {0x1F, 0x47, 0x00, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PartOnBus bus(c.name, c.settings);
        EXPECT_EQ(bus.Send({0x9F}, 4), c.id);
        // Sent with address bytes, the ID went out while they were clocked.
        EXPECT_EQ(bus.Send({0x9F, 0, 0, 0}, 3), (Bytes{0xFF, 0xFF, 0xFF}));
    }
}

TEST(SpiFlash, PageProgramWrapsInsideItsPageAndNeedsWriteEnable) {
    PartOnBus bus("AT25DF321");
    // Without write enable nothing changes.
    bus.Send(Addressed(0x02, 0x100, {0x11}));
    EXPECT_EQ(bus.Cells(0x100, 1), Bytes{0xFF});

    // Four bytes from two below the page's end: two at its end, two at its
    // start; the next page is untouched.
    bus.Enabled(Addressed(0x02, 0x1FE, {0xA1, 0xA2, 0xA3, 0xA4}));
    EXPECT_EQ(bus.Cells(0x1FE, 2), (Bytes{0xA1, 0xA2}));
    EXPECT_EQ(bus.Cells(0x100, 2), (Bytes{0xA3, 0xA4}));
    EXPECT_EQ(bus.Cells(0x200, 1), Bytes{0xFF});
    EXPECT_EQ(bus.Read(0x1FE, 2), (Bytes{0xA1, 0xA2}));
    // The latch cleared when the program ended.
    EXPECT_EQ(bus.Status() & 0x02, 0);

    // Programming only clears bits.
    bus.Enabled(Addressed(0x02, 0x1FE, {0x0F}));
    EXPECT_EQ(bus.Cells(0x1FE, 1), Bytes{0x01});
}

TEST(SpiFlash, MoreThanAPageKeepsTheLastPagesWorth) {
    PartOnBus bus("25F640S33");
    Bytes data(300);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    bus.Enabled(Addressed(0x02, 0x1000, data));
    // Bytes 44..299 land from the page's start.
    EXPECT_EQ(bus.Cells(0x1000, 2), (Bytes{44, 45}));
    EXPECT_EQ(bus.Cells(0x10FF, 1), Bytes{43});
}

TEST(SpiFlash, BusyUntilTheProgramOrEraseEndsAndOnlyStatusAnswersMeanwhile) {
    PartOnBus bus("AT25DF321", {{"spi.erase_us", "1000"}});
    bus.Enabled(Addressed(0x02, 0x10000, {0x00}));
    bus.Send({0x06});
    bus.Send(Addressed(0xD8, 0x10000));
    EXPECT_EQ(bus.Status() & 0x01, 1);
    EXPECT_EQ(bus.Read(0x10000, 1), Bytes{0xFF});  // not answered: the line floats
    bus.Send({0x06});                              // not taken while busy
    bus.clock.Advance(999'000);
    EXPECT_EQ(bus.Status() & 0x03, 1);
    bus.clock.Advance(1'000);
    EXPECT_EQ(bus.Status() & 0x01, 0);
    // The whole 64 KB block went, and nothing beyond it.
    EXPECT_EQ(bus.Cells(0x10000, 1), Bytes{0xFF});
    bus.Enabled(Addressed(0x02, 0x20000, {0x00}));
    bus.Enabled(Addressed(0xD8, 0x1FFFF));
    EXPECT_EQ(bus.Cells(0x20000, 1), Bytes{0x00});
}

TEST(SpiFlash, APartStuckBusyAnswersOnlyItsStatus) {
    PartOnBus bus("AT25DF321", {{"spi.fault.stuck_busy", "1"}});
    EXPECT_EQ(bus.Status() & 0x01, 1);
    EXPECT_EQ(bus.Send({0x9F}, 3), (Bytes{0xFF, 0xFF, 0xFF}));
    bus.Enabled(Addressed(0x02, 0x100, {0x00}));
    EXPECT_EQ(bus.Cells(0x100, 1), Bytes{0xFF});
    EXPECT_EQ(bus.Status() & 0x03, 1);
}

TEST(SpiFlash, ExtraAddressBytesDoNotStopAOneByteCommand) {
    PartOnBus bus("AT25DF321");
    bus.Send({0x06, 0x12, 0x34, 0x56});
    EXPECT_EQ(bus.Status() & 0x02, 0x02);
    bus.Send({0x04, 0x00, 0x00, 0x00});
    EXPECT_EQ(bus.Status() & 0x02, 0);
}

TEST(SpiFlash, ReadSentWithoutAddressTakesTheFirstBytesReadAsItsAddress) {
    PartOnBus bus("AT25DF321");
    bus.Enabled(Addressed(0x02, 0, {0x5A, 0xA5}));
    EXPECT_EQ(bus.Send({0x03}, 5), (Bytes{0xFF, 0xFF, 0xFF, 0x5A, 0xA5}));
}

TEST(SpiFlash, SstProgramsAByteOrWordsInAaiAndEndsWithWriteDisable) {
    PartOnBus bus("SST25VF016B");
    // 02h programs one byte only.
    bus.Enabled(Addressed(0x02, 0x10, {0x12, 0x34}));
    EXPECT_EQ(bus.Cells(0x10, 2), (Bytes{0x12, 0xFF}));

    // AAI from an odd address starts at the even one below.
    bus.Send({0x06});
    bus.Send(Addressed(0xAD, 0x21, {0x01, 0x02}));
    EXPECT_EQ(bus.Status() & 0x43, 0x43);  // AAI, latch, busy
    bus.Settle();
    bus.Send({0x03, 0, 0, 0}, 1);  // not taken inside AAI
    bus.Send({0xAD, 0x03, 0x04});
    bus.Settle();
    bus.Send({0xAD, 0x05, 0x06});
    bus.Settle();
    bus.Send({0x04});
    EXPECT_EQ(bus.Status() & 0x43, 0);
    EXPECT_EQ(bus.Cells(0x20, 6), (Bytes{1, 2, 3, 4, 5, 6}));
    // After the end, ADh without an address is no program.
    bus.Send({0xAD, 0x00, 0x00});
    EXPECT_EQ(bus.Cells(0x26, 2), (Bytes{0xFF, 0xFF}));
}

TEST(SpiFlash, ProtectionBitsRefuseProgramAndEraseInTheirRange) {
    struct Case {
        const char* name;
        const char* status;     // at POST
        Bytes unprotect;        // the write-status sequence that lifts it
        std::uint32_t inside;   // a protected offset
        std::uint32_t outside;  // an unprotected one (or the same, all protected)
    };
    const Case cases[] = {
        // SST: BP2:0 = 001b protects the top 64 KB; 50h enables a status write.
        {"SST25VF016B", "0x04", {0x50}, 0x1F0000, 0x1EFFFF},
        // All protected at 111b.
        {"SST25VF016B", "0x1C", {0x06}, 0x000000, 0x000000},
        // Atmel: all sectors (SWP 11b), lifted by writing bits 5:2 as 0.
        {"AT25DF321", "0x0C", {0x06}, 0x000000, 0x000000},
        // Winbond: 001b the top 1/64; TB=1 (20h) from the bottom.
        {"W25Q64.V", "0x04", {0x06}, 0x7E0000, 0x7DFFFF},
        {"W25Q64.V", "0x24", {0x06}, 0x01FFFF, 0x020000},
        {"25F640S33", "0x1C", {0x06}, 0x000000, 0x000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.status);
        PartOnBus bus(c.name, {{"spi.status", c.status}});
        bus.Enabled(Addressed(0x02, c.inside, {0x00}));
        EXPECT_EQ(bus.Cells(c.inside, 1), Bytes{0xFF});
        EXPECT_EQ(bus.Status() & 0x02, 0);  // the refused command cleared the latch
        if (c.outside != c.inside) {
            bus.Enabled(Addressed(0x02, c.outside, {0x00}));
            EXPECT_EQ(bus.Cells(c.outside, 1), Bytes{0x00});
        }
        // Lift it, then the program goes through.
        bus.Send(c.unprotect);
        bus.Send({0x01, 0x00});
        bus.Settle();
        bus.Enabled(Addressed(0x02, c.inside, {0x00}));
        EXPECT_EQ(bus.Cells(c.inside, 1), Bytes{0x00});
    }
}

TEST(SpiFlash, WriteStatusNeedsItsEnableAndAtmelsLockHoldsProtection) {
    // A status write without 06h (or 50h on SST) is not taken.
    PartOnBus sst("SST25VF016B", {{"spi.status", "0x1C"}});
    sst.Send({0x01, 0x00});
    EXPECT_EQ(sst.Status() & 0x1C, 0x1C);
    // 50h is SST's alone.
    PartOnBus intel("25F160S33", {{"spi.status", "0x1C"}});
    intel.Send({0x50});
    intel.Send({0x01, 0x00});
    EXPECT_EQ(intel.Status() & 0x1C, 0x1C);

    // Atmel: global protect by ones, and with SPRL set it stays.
    PartOnBus atmel("AT25DF321");
    atmel.Enabled({0x01, 0xBC});
    EXPECT_EQ(atmel.Status() & 0x8C, 0x8C);
    atmel.Enabled({0x01, 0x80});
    EXPECT_EQ(atmel.Status() & 0x0C, 0x0C);
    atmel.Enabled({0x01, 0x00});  // clears SPRL only
    EXPECT_EQ(atmel.Status() & 0x8C, 0x0C);
    atmel.Enabled({0x01, 0x00});
    EXPECT_EQ(atmel.Status() & 0x8C, 0x00);
}

TEST(SpiFlash, FailedOrHangingProgramAndEraseLeaveTheCells) {
    struct Case {
        const char* name;
        const char* key;
        Bytes command;
        std::uint8_t status;  // after the time the command takes (busy bit aside)
        bool busyForever;
    };
    const Case cases[] = {
        // Intel S33 reports the failure in bits 6 (program) and 5 (erase).
        {"25F640S33", "spi.fault.program", Addressed(0x02, 0x10010, {0x00}), 0x40, false},
        {"25F640S33", "spi.fault.erase", Addressed(0xD8, 0x10000), 0x20, false},
        // Others keep quiet, but Atmel's EPE.
        {"SST25VF016B", "spi.fault.program", Addressed(0x02, 0x10010, {0x00}), 0x00, false},
        {"W25Q64.V", "spi.fault.erase", Addressed(0xD8, 0x1FFFF), 0x00, false},
        {"AT25DF321", "spi.fault.erase", Addressed(0xD8, 0x10000), 0x20, false},
        {"AT25DF321", "spi.fault.hang", Addressed(0x02, 0x10010, {0x00}), 0x00, true},
        {"W25Q64.V", "spi.fault.hang", Addressed(0xD8, 0x10000), 0x00, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.key);
        PartOnBus bus(c.name, {{c.key, "0x10010"}});
        bus.part.Cells().Program(0x10000, Bytes(0x20, 0x55));
        bus.Enabled(c.command);
        EXPECT_EQ(bus.Cells(0x10010, 1), Bytes{0x55});
        const std::uint8_t status = bus.Status();
        EXPECT_EQ(status & 0x01, c.busyForever ? 1 : 0);
        if (!c.busyForever) {
            EXPECT_EQ(status & 0x60, c.status);
        }
        // Elsewhere the part works (unless it never came back).
        bus.Enabled(Addressed(0x02, 0x40000, {0x00}));
        EXPECT_EQ(bus.Cells(0x40000, 1),
                  Bytes{c.busyForever ? std::uint8_t{0xFF} : std::uint8_t{0x00}});
        // A good program clears Intel's error bits.
        if (!c.busyForever) {
            EXPECT_EQ(bus.Status() & 0x60, 0);
        }
    }
}

}  // namespace
