// The firmware's SMBIOS entry points (32-bit "_SM_", 64-bit "_SM3_", UEFI
// placement) and the IPMI record's register spacing, read as a program
// reads them: the F0000h segment through the strict memory device. The
// layouts checked here are those of DMTF's DSP0134.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "hw/hw.h"
#include "sim/bmc/bmc.h"
#include "sim/smbios/smbios.h"
#include "tests/sim/kcs_host.h"
#include "tests/sim/settings_of.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kSegment = 0xF0000;
constexpr std::size_t kSegmentBytes = 0x10000;

// The bytes at a physical address, or none when the kernel refuses the
// mapping (errno set).
std::optional<Bytes> ReadPhysical(std::uint64_t address, std::size_t length) {
    const int fd = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDONLY);
    const std::uint64_t base = address / 4096 * 4096;
    const std::size_t mapped = static_cast<std::size_t>(address - base) + length;
    void* view = hw::MapDevice(fd, base, mapped, PROT_READ, MAP_SHARED);
    std::optional<Bytes> bytes;
    if (view != MAP_FAILED) {
        bytes.emplace(length);
        hw::CopyFromMapped(bytes->data(), static_cast<const std::uint8_t*>(view) + (address - base),
                           length);
        hw::UnmapDevice(view, mapped);
    }
    const int error = errno;
    hw::CloseDevice(fd);
    errno = error;
    return bytes;
}

std::uint64_t Le(const Bytes& bytes, std::size_t at, unsigned width) {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= std::uint64_t{bytes[at + i]} << (8 * i);
    return value;
}

bool SumsToZero(const Bytes& bytes, std::size_t from, std::size_t length) {
    return std::accumulate(bytes.begin() + from, bytes.begin() + from + length, 0u) % 256 == 0;
}

// Paragraphs of the F0000h segment that start with an anchor.
std::vector<std::uint64_t> Anchors(const Bytes& segment, const std::string& anchor) {
    std::vector<std::uint64_t> found;
    for (std::size_t at = 0; at + anchor.size() <= segment.size(); at += 16) {
        if (std::memcmp(segment.data() + at, anchor.data(), anchor.size()) == 0) {
            found.push_back(kSegment + at);
        }
    }
    return found;
}

// The table's length up to and with the end-of-table structure.
std::size_t LengthThroughEndOfTable(const Bytes& table) {
    std::size_t at = 0;
    while (at + 4 <= table.size()) {
        const std::uint8_t type = table[at];
        std::size_t next = at + table[at + 1];
        while (next + 1 < table.size() && (table[next] != 0 || table[next + 1] != 0)) ++next;
        at = next + 2;
        if (type == 127) return at;
    }
    return 0;
}

sim::Machine& Reset(simtest::SettingPairs settings) {
    return sim::ResetMachine(simtest::SettingsOf(settings));
}

struct EntryPointCase {
    const char* setting;
    std::vector<std::uint64_t> sm;   // where "_SM_" lies
    std::vector<std::uint64_t> sm3;  // where "_SM3_" lies
};

TEST(SmbiosEntryPoints, TheFirmwareOffersTheOnesTheSettingNames) {
    const EntryPointCase cases[] = {
        {"32", {0xF1000}, {}},
        {"64", {}, {0xF1000}},
        {"both", {0xF1000}, {0xF1020}},
    };
    for (const EntryPointCase& c : cases) {
        SCOPED_TRACE(c.setting);
        Reset({{"smbios.entry_points", c.setting}});
        const Bytes segment = *ReadPhysical(kSegment, kSegmentBytes);
        EXPECT_EQ(Anchors(segment, "_SM_"), c.sm);
        EXPECT_EQ(Anchors(segment, "_SM3_"), c.sm3);
    }
}

TEST(SmbiosEntryPoints, The64BitEntryPointHasTheSpecificationsLayout) {
    sim::Machine& machine = Reset({{"smbios.entry_points", "64"}});
    const Bytes entry = *ReadPhysical(0xF1000, 0x18);
    EXPECT_EQ(std::string(entry.begin(), entry.begin() + 5), "_SM3_");
    EXPECT_EQ(entry[0x06], 0x18);  // length
    EXPECT_TRUE(SumsToZero(entry, 0, 0x18));
    EXPECT_EQ(entry[0x07], 3);  // major
    EXPECT_EQ(entry[0x08], 0);  // minor
    EXPECT_EQ(entry[0x09], 0);  // docrev
    EXPECT_EQ(entry[0x0A], 1);  // entry point revision
    EXPECT_EQ(entry[0x0B], 0);  // reserved
    const std::uint64_t table = Le(entry, 0x10, 8);
    EXPECT_EQ(table, 0xE8000u);
    // No count: the maximum size covers the structures through type 127.
    const Bytes bytes = *ReadPhysical(table, 0x1000);
    EXPECT_EQ(Le(entry, 0x0C, 4), LengthThroughEndOfTable(bytes));
    EXPECT_EQ(machine.Find<sim::SmbiosTables>()->EntryPoint64(), 0xF1000u);
    EXPECT_EQ(machine.Find<sim::SmbiosTables>()->EntryPoint32(), std::nullopt);
}

TEST(SmbiosEntryPoints, BothDescribeOneTableAndStateOneVersion) {
    Reset({{"smbios.entry_points", "both"},
           {"smbios.version", "3.2.1"},
           {"smbios.table_max_size", "0x2000"}});
    const Bytes sm = *ReadPhysical(0xF1000, 0x1F);
    const Bytes sm3 = *ReadPhysical(0xF1020, 0x18);
    EXPECT_TRUE(SumsToZero(sm, 0, 0x1F));
    EXPECT_TRUE(SumsToZero(sm, 0x10, 0x0F));
    EXPECT_TRUE(SumsToZero(sm3, 0, 0x18));
    EXPECT_EQ(Le(sm, 0x18, 4), Le(sm3, 0x10, 8));
    EXPECT_EQ(sm[0x06], 3);
    EXPECT_EQ(sm[0x07], 2);
    EXPECT_EQ(sm[0x1E], 0x32);  // BCD revision
    EXPECT_EQ(sm3[0x07], 3);
    EXPECT_EQ(sm3[0x08], 2);
    EXPECT_EQ(sm3[0x09], 1);
    EXPECT_EQ(Le(sm3, 0x0C, 4), 0x2000u);
    // The 32-bit one alone keeps its version 2.7 and BCD 27h.
    Reset({});
    const Bytes alone = *ReadPhysical(0xF1000, 0x1F);
    EXPECT_EQ(alone[0x06], 2);
    EXPECT_EQ(alone[0x07], 7);
    EXPECT_EQ(alone[0x1E], 0x27);
}

TEST(SmbiosEntryPoints, UefiFirmwareLeavesTheSegmentEmptyAndTheTablesAboveOneMiB) {
    sim::Machine& machine = Reset({{"smbios.efi", "1"}, {"smbios.entry_points", "both"}});
    const Bytes segment = *ReadPhysical(kSegment, kSegmentBytes);
    EXPECT_TRUE(Anchors(segment, "_SM_").empty());
    EXPECT_TRUE(Anchors(segment, "_SM3_").empty());
    const auto* tables = machine.Find<sim::SmbiosTables>();
    // The last 64 KB of the default 16 MB of RAM.
    EXPECT_EQ(tables->EntryPoint32(), 0xFF0000u);
    EXPECT_EQ(tables->EntryPoint64(), 0xFF0020u);
    EXPECT_EQ(tables->Config().tableAddress, 0xFF0100u);
    EXPECT_EQ(ReadPhysical(0xFF0000, 0x1F), std::nullopt);
    EXPECT_EQ(errno, EPERM);
    // Without strict /dev/mem the entry point is there to read.
    Reset({{"smbios.efi", "1"}, {"host.strict_devmem", "0"}});
    const auto entry = ReadPhysical(0xFF0000, 0x1F);
    ASSERT_TRUE(entry);
    EXPECT_EQ(std::string(entry->begin(), entry->begin() + 4), "_SM_");
    EXPECT_EQ(Le(*entry, 0x18, 4), 0xFF0100u);
}

TEST(SmbiosEntryPoints, SettingsThatCannotBeBuiltAreRefused) {
    const std::pair<const char*, const char*> bad[] = {
        {"smbios.entry_points", "48"},
        {"smbios.version", "3"},
        {"smbios.version", "3.0.0.1"},
        {"smbios.version", "3.x"},
        {"smbios.entry_point64", "0xE0000"},
        {"smbios.entry_point64", "0xFFFF0"},
        {"smbios.table_max_size", "0x100000000"},
        {"smbios.ipmi.spacing", "2"},
        {"smbios.ipmi.lsb", "2"},
        {"kcs.spacing", "8"},
    };
    simtest::ExpectEachSettingRefused(bad);
    EXPECT_THROW(Reset({{"smbios.entry_points", "both"}, {"smbios.entry_point64", "0xF1010"}}),
                 std::invalid_argument);
    EXPECT_THROW(Reset({{"smbios.efi", "1"}, {"ram.mb", "1"}}), std::invalid_argument);
    EXPECT_THROW(Reset({{"kcs.spacing", "16"}, {"kcs.base", "0xFFF0"}}), std::invalid_argument);
}

// ------------------------------------------------------------ register spacing

struct SpacingCase {
    const char* spacing;
    std::uint16_t statusPort;
    std::uint8_t modifier;
};

TEST(SmbiosEntryPoints, TheIpmiRecordStatesTheSpacingTheKcsInterfaceDecodes) {
    const SpacingCase cases[] = {
        {"1", 0xCA3, 0x00},
        {"4", 0xCA6, 0x40},
        {"16", 0xCB2, 0x80},
    };
    for (const SpacingCase& c : cases) {
        SCOPED_TRACE(c.spacing);
        sim::Machine& machine = Reset({{"kcs.spacing", c.spacing}});
        const auto at = machine.Find<sim::SmbiosTables>()->AddressOf(38);
        ASSERT_TRUE(at);
        const Bytes record = *ReadPhysical(*at, 0x12);
        EXPECT_EQ(record[0x10], c.modifier);
        EXPECT_EQ(Le(record, 0x08, 8), 0xCA3u);  // CA2h, bit 0: I/O
        // Get Device ID over the ports at that spacing.
        simtest::KcsHost host(0xCA2, static_cast<unsigned>(std::stoul(c.spacing)));
        const Bytes frame = {0x06 << 2, 0x01};
        Bytes response;
        ASSERT_EQ(host.Exchange(frame, &response), simtest::KcsHost::Result::kOk);
        ASSERT_GE(response.size(), 3u);
        EXPECT_EQ(response[2], 0x00);
        EXPECT_EQ(machine.Log().Of("kcs").size(), 1u);
        // The port right after the data register answers only with byte
        // spacing.
        EXPECT_EQ(hw::InByte(0xCA3) == 0xFF, c.statusPort != 0xCA3);
    }
}

TEST(SmbiosEntryPoints, TheRecordCanStateASpacingOrLowBitOfItsOwn) {
    sim::Machine& machine = Reset({{"smbios.ipmi.spacing", "16"}, {"smbios.ipmi.lsb", "1"}});
    const Bytes record = *ReadPhysical(*machine.Find<sim::SmbiosTables>()->AddressOf(38), 0x12);
    EXPECT_EQ(record[0x10], 0x90);
    // The interface itself decodes byte spacing still.
    EXPECT_NE(hw::InByte(0xCA3), 0xFF);
}

}  // namespace
