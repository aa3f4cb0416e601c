// What the simulated BIOS keeps in its flash, as a program below 4 GB
// finds it: the volume in a window of its own, tables that describe the
// whole part, a flags block with its notify field; the rest of the factory
// contents untouched; and the notify SMI's work on the field.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "sim/bios/bios_flash.h"
#include "sim/firmware/boot_firmware.h"
#include "tests/sim/settings_of.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint64_t k4G = 0x100000000;
constexpr std::uint64_t kBlock = 0x10000;

std::uint64_t Le(std::span<const std::uint8_t> bytes, std::size_t at, unsigned width) {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= std::uint64_t{bytes[at + i]} << (8 * i);
    return value;
}

Bytes Flash(sim::Machine& machine) {
    const auto cells = machine.FindFlashPart(sim::kBiosFlashPart)->Cells().Bytes();
    return {cells.begin(), cells.end()};
}

// The physical address's byte in the part (it ends at 4 GB).
std::size_t At(const Bytes& flash, std::uint64_t physical) {
    return static_cast<std::size_t>(physical - (k4G - flash.size()));
}

std::optional<std::size_t> Find(std::span<const std::uint8_t> bytes, std::string_view what) {
    const auto at = std::search(bytes.begin(), bytes.end(), what.begin(), what.end());
    if (at == bytes.end()) return std::nullopt;
    return at - bytes.begin();
}

// As an update program looks for the volume: windows of FFFFh bytes down
// from FFFF0000h, the first "_FVH" in each, which must be at offset 40.
std::optional<std::uint64_t> FindVolume(const Bytes& flash) {
    for (std::uint64_t i = 1; i <= 10 && i * kBlock <= flash.size(); ++i) {
        const std::uint64_t window = k4G - kBlock * i;
        const auto signature = Find(std::span(flash).subspan(At(flash, window), 0xFFFF), "_FVH");
        if (signature && *signature == 40) return window;
    }
    return std::nullopt;
}

// The tables file's section data, from a walk of the volume's files.
std::optional<Bytes> TablesSection(const Bytes& flash, std::uint64_t volume) {
    const std::span<const std::uint8_t> fv = std::span(flash).subspan(At(flash, volume));
    const std::uint64_t length = Le(fv, 32, 8);
    constexpr std::uint8_t kTablesName[] = {0x63, 0xA0, 0xFD, 0xFF, 0xB2, 0xF5, 0xB5, 0x4E,
                                            0xA7, 0xB4, 0x48, 0x63, 0xFC, 0x49, 0x19, 0xA2};
    for (std::uint64_t at = Le(fv, 48, 2); at + 24 <= length;
         at = (at + Le(fv, at + 20, 3) + 7) / 8 * 8) {
        if (Le(fv, at + 20, 3) < 24) return std::nullopt;
        if (std::equal(std::begin(kTablesName), std::end(kTablesName), fv.begin() + at)) {
            const std::uint64_t section = Le(fv, at + 24, 3);
            return Bytes(fv.begin() + at + 28, fv.begin() + at + 24 + section);
        }
    }
    return std::nullopt;
}

struct Segment {
    std::uint64_t tag, partition, start, limit;
};

std::vector<Segment> Segments(const Bytes& section) {
    const auto fst = std::span(section).subspan(*Find(section, "FLASHTBL"));
    std::vector<Segment> segments;
    for (std::size_t at = 32; at < Le(fst, 28, 4); at += 32) {
        segments.push_back(
            {Le(fst, at, 4), Le(fst, at + 4, 2), Le(fst, at + 8, 8), Le(fst, at + 16, 8)});
    }
    return segments;
}

struct Range {
    std::uint64_t segment, start, limit;
};

// Every range record that describes something, with its area's name.
std::vector<std::pair<std::string, Range>> Ranges(const Bytes& section) {
    const auto fat = std::span(section).subspan(*Find(section, "AREA TBL"));
    std::vector<std::pair<std::string, Range>> ranges;
    std::size_t at = 36 + Le(fat, 64, 4);
    while (Le(fat, at + 28, 8) != 0) {
        const std::string name(reinterpret_cast<const char*>(fat.data() + at + 164));
        for (at += 420; Le(fat, at, 4) != 0; at += 24) {
            ranges.push_back(
                {name, {Le(fat, at + 12, 4), Le(fat, at + 16, 4), Le(fat, at + 20, 4)}});
        }
        at += 24;
    }
    return ranges;
}

sim::Machine& Boot(simtest::SettingPairs settings) {
    return sim::ResetMachine(simtest::SettingsOf(settings));
}

TEST(BootFirmware, EveryPartSizeCarriesTablesThatDescribeItWhole) {
    for (const char* romKb : {"512", "1024", "2048", "4096", "8192"}) {
        SCOPED_TRACE(std::string("bios.rom_kb=") + romKb);
        const Bytes flash = Flash(Boot({{"bios.rom_kb", romKb}, {"firmware.notify_table", "1"}}));
        const std::uint64_t base = k4G - flash.size();
        const auto volume = FindVolume(flash);
        ASSERT_TRUE(volume);
        EXPECT_EQ(*volume, k4G - 3 * kBlock);
        const auto section = TablesSection(flash, *volume);
        ASSERT_TRUE(section);

        // Segments: contiguous from the part's base to 4 GB, partition 1
        // exactly the top 128 KB.
        const auto segments = Segments(*section);
        ASSERT_GE(segments.size(), 2u);
        std::uint64_t next = base;
        for (const Segment& s : segments) {
            EXPECT_EQ(s.start, next);
            EXPECT_EQ(s.partition, s.start >= k4G - 2 * kBlock ? 1u : 2u);
            next = s.limit + 1;
        }
        EXPECT_EQ(next, k4G);

        // Each range a 64 KB block inside the segment it names.
        const auto ranges = Ranges(*section);
        ASSERT_FALSE(ranges.empty());
        std::vector<std::string> names;
        for (const auto& [name, range] : ranges) {
            const Range r = range;
            if (names.empty() || names.back() != name) names.push_back(name);
            const auto segment = std::find_if(segments.begin(), segments.end(),
                                              [&](const Segment& s) { return s.tag == r.segment; });
            ASSERT_NE(segment, segments.end()) << name;
            EXPECT_TRUE(segment->start <= r.start && r.start <= r.limit &&
                        r.limit <= segment->limit)
                << name;
            EXPECT_EQ(r.start % kBlock, 0u) << name;
            EXPECT_EQ(r.limit - r.start + 1, kBlock) << name;
        }
        EXPECT_EQ(names, (std::vector<std::string>{"Main BIOS", "Microcode", "Setup Defaults",
                                                   "Boot Block"}));

        // The notify field lies in the flags block, a block of its own.
        const auto fnt = std::span(*section).subspan(*Find(*section, "NOTIFYBT"));
        const std::uint64_t field = Le(fnt, 56, 8);
        const std::uint64_t flags = field & ~(kBlock - 1);
        EXPECT_NE(flags, *volume);
        EXPECT_EQ(std::memcmp(flash.data() + At(flash, flags), "FLAGSBLK", 8), 0);
        const std::uint64_t length = Le(fnt, 44, 2);
        EXPECT_TRUE(std::all_of(flash.begin() + At(flash, field),
                                flash.begin() + At(flash, field + length),
                                [](auto b) { return b == 0xFF; }))
            << "a fresh field";
    }
}

TEST(BootFirmware, LeavesTheRestOfTheFactoryContentsAsTheBiosFlashServiceMadeThem) {
    for (const char* romKb : {"256", "512", "1024"}) {
        SCOPED_TRACE(std::string("bios.rom_kb=") + romKb);
        const Bytes with = Flash(Boot({{"bios.rom_kb", romKb}}));
        const Bytes without = Flash(Boot({{"bios.rom_kb", romKb}, {"firmware.tables", "0"}}));
        ASSERT_EQ(with.size(), without.size());
        const std::size_t changedFrom =
            with.size() >= 0x80000 ? with.size() - 4 * kBlock : with.size();
        const std::size_t changedTo =
            with.size() >= 0x80000 ? with.size() - 2 * kBlock : with.size();
        EXPECT_TRUE(std::equal(with.begin(), with.begin() + changedFrom, without.begin()));
        EXPECT_TRUE(std::equal(with.begin() + changedTo, with.end(), without.begin() + changedTo))
            << "the boot block region, the NVRAM block and the ROM ID";
        EXPECT_EQ(FindVolume(with).has_value(), with.size() >= 0x80000) << "no tables under 512 KB";
        EXPECT_FALSE(FindVolume(without));
    }
}

TEST(BootFirmware, TheSpiBoardsTablesHaveNoNotifyTable) {
    struct Case {
        simtest::SettingPairs settings;
        bool notifyTable;
    } cases[] = {
        {{{"board", "ich9-spi"}}, false},
        {{{"board", "pch-spi"}}, false},
        {{{"board", "ich7-spi"}}, false},
        {{{"board", "fwh"}}, true},
        {{{"board", "word16"}}, true},
        {{{"board", "pch-spi"}, {"firmware.notify_table", "1"}}, true},
        {{{"chipset.straps", "spi"}}, false},
        {{{"chipset.straps", "lpc"}}, true},
        {{{"ram.mb", "16"}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings.begin()->second);
        const Bytes flash = Flash(Boot(c.settings));
        const auto volume = FindVolume(flash);
        ASSERT_TRUE(volume);
        const auto section = TablesSection(flash, *volume);
        ASSERT_TRUE(section);
        EXPECT_EQ(Find(*section, "NOTIFYBT").has_value(), c.notifyTable);
        EXPECT_TRUE(Find(*section, "FLASHTBL"));
    }
}

TEST(BootFirmware, VolumeFaultsMoveOrSpoilWhatTheSearchChecks) {
    const Bytes fvhMisplaced = Flash(Boot({{"firmware.fault", "fvh-misplaced"}}));
    EXPECT_FALSE(FindVolume(fvhMisplaced));
    EXPECT_EQ(
        Find(std::span(fvhMisplaced).subspan(At(fvhMisplaced, k4G - 3 * kBlock), 0xFFFF), "_FVH"),
        8u);
    const Bytes unaligned = Flash(Boot({{"firmware.fault", "volume-unaligned"}}));
    EXPECT_FALSE(FindVolume(unaligned));
    EXPECT_EQ(
        std::memcmp(unaligned.data() + At(unaligned, k4G - 3 * kBlock + 0x1000 + 40), "_FVH", 4),
        0);
    const Bytes wrongFs = Flash(Boot({{"firmware.fault", "wrong-file-system"}}));
    ASSERT_TRUE(FindVolume(wrongFs));
    EXPECT_EQ(Le(wrongFs, At(wrongFs, k4G - 3 * kBlock) + 16, 4), 0x8C8CE578u);
    const Bytes noFile = Flash(Boot({{"firmware.fault", "no-tables-file"}}));
    ASSERT_TRUE(FindVolume(noFile));
    EXPECT_FALSE(TablesSection(noFile, k4G - 3 * kBlock));
    const Bytes moved = Flash(Boot({{"firmware.volume", "0xFFF80000"}}));
    EXPECT_EQ(FindVolume(moved), 0xFFF80000u);
}

TEST(BootFirmware, RefusesSettingsItCannotBuild) {
    const std::pair<const char*, const char*> bad[] = {
        {"firmware.fault", "fst-partition-4"},  {"firmware.notify", "half-pending"},
        {"firmware.volume", "0xFFFD1000"},      {"firmware.volume", "0x10000"},
        {"firmware.flags_block", "0xFFFD0000"}, {"firmware.notify_bytes", "0"},
        {"firmware.notify_bytes", "0x10000"},
    };
    simtest::ExpectEachSettingRefused(bad);
}

sim::BootFirmware& Firmware() {
    return *sim::TheMachine().Find<sim::BootFirmware>();
}

void Notify(sim::Machine& machine) {
    machine.Log().Clear();
    machine.PortOut(0xB2, 0xA4);
}

std::vector<std::string> FirmwareLog(sim::Machine& machine) {
    std::vector<std::string> lines;
    for (const sim::LogEntry& e : machine.Log().Of("firmware")) {
        lines.push_back(e.operation + " " + e.detail + " " + std::to_string(e.value));
    }
    return lines;
}

TEST(BootFirmware, TheNotifySmiRecordsAPendingUpdateInTheField) {
    struct Case {
        const char* start;
        Bytes fieldAfter;  // its first two bytes
        std::vector<std::string> log;
    } cases[] = {
        {"fresh", {0xFE, 0xFF}, {"notify pending 0"}},
        {"pending", {0xFE, 0xFF}, {"notify already-pending 1"}},
        {"none", {0xF8, 0xFF}, {"notify pending 2"}},
        {"used-up", {0xFE, 0xFF}, {"notify restored 0", "notify pending 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        sim::Machine& machine = Boot({{"board", "pch-spi"}, {"firmware.notify", c.start}});
        const Bytes before = Flash(machine);
        Notify(machine);
        EXPECT_EQ(FirmwareLog(machine), c.log);
        const Bytes field = Firmware().NotifyField();
        ASSERT_EQ(field.size(), 16u);
        EXPECT_EQ(Bytes(field.begin(), field.begin() + 2), c.fieldAfter);
        EXPECT_TRUE(std::all_of(field.begin() + 2, field.end(), [](auto b) { return b == 0xFF; }));
        EXPECT_EQ(sim::ReadNotifyState(field), sim::NotifyState::kPending);
        // Nothing else of the flash changed: the flags block kept its header.
        const Bytes after = Flash(machine);
        const std::size_t fieldAt = At(after, Firmware().Config().NotifyField());
        for (std::size_t i = 0; i < after.size(); ++i) {
            if (i >= fieldAt && i < fieldAt + 16) continue;
            ASSERT_EQ(after[i], before[i]) << "at offset " << i;
        }
    }
}

TEST(BootFirmware, TheNotifySmiIsTheNewerSpiBoardsAndNeedsAFlagsBlock) {
    for (const char* board : {"fwh", "word16", "ich7-spi", "ich7-spi-intel"}) {
        SCOPED_TRACE(board);
        sim::Machine& machine = Boot({{"board", board}});
        Notify(machine);
        EXPECT_TRUE(FirmwareLog(machine).empty());
        ASSERT_EQ(machine.Log().Of("smi").size(), 1u);
        EXPECT_EQ(machine.Log().Of("smi")[0].operation, "unhandled");
        EXPECT_EQ(sim::ReadNotifyState(Firmware().NotifyField()), sim::NotifyState::kFresh);
    }
    for (const char* board : {"ich9-spi", "pch-spi", "pch-spi-unknown"}) {
        SCOPED_TRACE(board);
        sim::Machine& machine = Boot({{"board", board}});
        Notify(machine);
        EXPECT_EQ(FirmwareLog(machine), std::vector<std::string>{"notify pending 0"});
    }

    sim::Machine& bare = Boot({{"board", "pch-spi"}, {"firmware.tables", "0"}});
    Notify(bare);
    EXPECT_EQ(FirmwareLog(bare), std::vector<std::string>{"notify no-flags-block 0"});
}

TEST(BootFirmware, NotifyStatesReadFromTheFirstBitStillSet) {
    struct Case {
        Bytes field;
        sim::NotifyState state;
    } cases[] = {
        {{0xFF, 0xFF}, sim::NotifyState::kFresh},  {{0xFE, 0xFF}, sim::NotifyState::kPending},
        {{0xFC, 0xFF}, sim::NotifyState::kNone},   {{0x00, 0xFE}, sim::NotifyState::kPending},
        {{0x00, 0xFC}, sim::NotifyState::kNone},   {{0x00, 0x80}, sim::NotifyState::kPending},
        {{0x00, 0x00}, sim::NotifyState::kUsedUp}, {{}, sim::NotifyState::kUsedUp},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sim::ReadNotifyState(c.field), c.state)
            << (c.field.empty() ? 0 : int(c.field[0])) << " "
            << (c.field.size() > 1 ? int(c.field[1]) : 0);
    }
    for (const auto state : {sim::NotifyState::kFresh, sim::NotifyState::kPending,
                             sim::NotifyState::kNone, sim::NotifyState::kUsedUp}) {
        EXPECT_EQ(sim::ReadNotifyState(sim::NotifyFieldBytes(state, 16)), state);
    }
}

}  // namespace
