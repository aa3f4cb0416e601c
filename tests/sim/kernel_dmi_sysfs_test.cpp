// The SMBIOS tables the simulated kernel exports in sysfs, read through
// hw::ReadDmiTable as a program reads /sys/firmware/dmi/tables: which
// entry point the kernel's search takes, the copy it made at boot and the
// table trimmed the way Linux trims it.
#include "sim/smbios/kernel_dmi_sysfs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <numeric>
#include <string>
#include <vector>

#include "hw/hw.h"
#include "sim/smbios/smbios.h"
#include "tests/sim/settings_of.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Read {
    int result = 0;
    int error = 0;
    Bytes bytes;
};

Read ReadTable(hw::DmiTable which) {
    Read read;
    read.result = hw::ReadDmiTable(which, read.bytes);
    read.error = read.result == 0 ? 0 : errno;
    return read;
}

Bytes Memory(sim::Machine& machine, std::uint64_t address, std::size_t length) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>(machine.Memory().Read(address + i, 1));
    }
    return bytes;
}

// The end of the n-th structure (0-based) of a table, its strings with it.
std::size_t EndOfStructure(const Bytes& table, unsigned n) {
    std::size_t at = 0;
    for (unsigned i = 0; i <= n; ++i) {
        std::size_t next = at + table[at + 1];
        while (table[next] != 0 || table[next + 1] != 0) ++next;
        at = next + 2;
    }
    return at;
}

sim::Machine& Reset(simtest::SettingPairs settings) {
    return sim::ResetMachine(simtest::SettingsOf(settings));
}

struct ExportCase {
    const char* what;
    simtest::SettingPairs settings;
    std::uint64_t entryAddress;
    std::string anchor;
    std::size_t entryBytes;
};

TEST(DmiSysfs, TheKernelExportsTheEntryPointItPrefersAndItsTable) {
    const ExportCase cases[] = {
        {"32-bit", {}, 0xF1000, "_SM_", 0x1F},
        {"64-bit", {{"smbios.entry_points", "64"}}, 0xF1000, "_SM3_", 0x18},
        // "_SM3_" wins although "_SM_" lies lower in the segment.
        {"both", {{"smbios.entry_points", "both"}}, 0xF1020, "_SM3_", 0x18},
        {"32-bit high in the segment", {{"smbios.entry_point", "0xFFFE0"}}, 0xFFFE0, "_SM_", 0x1F},
        {"UEFI, both",
         {{"smbios.efi", "1"}, {"smbios.entry_points", "both"}},
         0xFF0020,
         "_SM3_",
         0x18},
        {"UEFI, 32-bit", {{"smbios.efi", "1"}}, 0xFF0000, "_SM_", 0x1F},
    };
    for (const ExportCase& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Machine& machine = Reset(c.settings);
        const Read entry = ReadTable(hw::DmiTable::kEntryPoint);
        ASSERT_EQ(entry.result, 0);
        EXPECT_EQ(entry.bytes, Memory(machine, c.entryAddress, c.entryBytes));
        EXPECT_EQ(std::string(entry.bytes.begin(), entry.bytes.begin() + c.anchor.size()),
                  c.anchor);
        const Read table = ReadTable(hw::DmiTable::kStructureTable);
        ASSERT_EQ(table.result, 0);
        const std::uint64_t tableAddress = machine.Find<sim::SmbiosTables>()->Config().tableAddress;
        const auto& placed = machine.Find<sim::SmbiosTables>()->Structures();
        const std::size_t length = placed.back().address + placed.back().totalBytes - tableAddress;
        EXPECT_EQ(table.bytes, Memory(machine, tableAddress, length));
        const auto reads = machine.Log().Of("dmi_sysfs");
        ASSERT_EQ(reads.size(), 2u);
        EXPECT_EQ(reads[0].detail, "smbios_entry_point");
        EXPECT_EQ(reads[0].value, c.entryBytes);
        EXPECT_EQ(reads[1].detail, "DMI");
        EXPECT_EQ(reads[1].value, length);
    }
}

TEST(DmiSysfs, TheTableIsTrimmedWhereTheKernelsWalkEnds) {
    // A 32-bit entry point that counts two structures: the kernel walks
    // two and exports no more.
    sim::Machine& machine = Reset({{"smbios.structure_count", "2"}});
    const Bytes whole = Memory(machine, 0xE8000, 0x400);
    const Read counted = ReadTable(hw::DmiTable::kStructureTable);
    ASSERT_EQ(counted.result, 0);
    EXPECT_EQ(counted.bytes.size(), EndOfStructure(whole, 1));
    // A 64-bit entry point with a generous maximum: up to type 127.
    Reset({{"smbios.entry_points", "64"}, {"smbios.table_max_size", "0x1000"}});
    const Read bounded = ReadTable(hw::DmiTable::kStructureTable);
    ASSERT_EQ(bounded.result, 0);
    EXPECT_EQ(bounded.bytes.size(), EndOfStructure(whole, 3));
    EXPECT_EQ(bounded.bytes[EndOfStructure(whole, 2)], 127);
    // A stated length shorter than the table: the file is that long.
    Reset({{"smbios.table_length", "0x20"}});
    EXPECT_EQ(ReadTable(hw::DmiTable::kStructureTable).bytes.size(), 0x20u);
}

struct MissingCase {
    const char* what;
    simtest::SettingPairs settings;
};

TEST(DmiSysfs, WithoutAnEntryPointTheKernelFindsOrExportsNothing) {
    const MissingCase cases[] = {
        {"no SMBIOS", {{"smbios.present", "0"}}},
        {"off the paragraph grid", {{"smbios.entry_point", "0xF1008"}}},
        {"a kernel that exports no tables", {{"kernel.dmi_sysfs", "0"}}},
        {"a damaged 64-bit entry point alone",
         {{"smbios.entry_points", "64"}, {"memory.poke", "0xF1006:10"}}},
        {"a table of length 0", {{"smbios.table_length", "0"}}},
    };
    for (const MissingCase& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Machine& machine = Reset(c.settings);
        for (const hw::DmiTable which :
             {hw::DmiTable::kEntryPoint, hw::DmiTable::kStructureTable}) {
            const Read read = ReadTable(which);
            EXPECT_EQ(read.result, -1);
            EXPECT_EQ(read.error, ENOENT);
        }
        const auto reads = machine.Log().Of("dmi_sysfs");
        ASSERT_EQ(reads.size(), 2u);
        EXPECT_EQ(reads[0].detail, "smbios_entry_point ENOENT");
    }
}

TEST(DmiSysfs, TheSearchFallsBackAsTheKernelsDoes) {
    // A "_SM3_" with a length byte below 24 beside a sound "_SM_": the
    // 32-bit one.
    Reset({{"smbios.entry_points", "both"}, {"memory.poke", "0xF1026:10"}});
    Read entry = ReadTable(hw::DmiTable::kEntryPoint);
    ASSERT_EQ(entry.result, 0);
    EXPECT_EQ(std::string(entry.bytes.begin(), entry.bytes.begin() + 4), "_SM_");
    // A "_SM_" whose checksum fails (one byte of it changed) with a sound
    // "_DMI_" part: legacy DMI, the 15 bytes from "_DMI_" on.
    sim::Machine& machine = Reset({{"memory.poke", "0xF100C:5A"}});
    entry = ReadTable(hw::DmiTable::kEntryPoint);
    ASSERT_EQ(entry.result, 0);
    EXPECT_EQ(entry.bytes, Memory(machine, 0xF1010, 15));
    EXPECT_EQ(ReadTable(hw::DmiTable::kStructureTable).result, 0);
    // A damaged "_DMI_" anchor: nothing.
    Reset({{"memory.poke", "0xF1010:58"}});
    EXPECT_EQ(ReadTable(hw::DmiTable::kEntryPoint).error, ENOENT);
}

TEST(DmiSysfs, TheEntryPointIsABootCopyAndTheTableIsLiveMemory) {
    // Two bytes of the formatted area changed so that the sum stays: the
    // firmware's own bytes, as the kernel copied them.
    sim::Machine& machine = Reset({{"memory.poke", "0xF100B:01FF"}});
    Read entry = ReadTable(hw::DmiTable::kEntryPoint);
    ASSERT_EQ(entry.result, 0);
    EXPECT_EQ(entry.bytes[0x0B], 0x01);
    EXPECT_EQ(entry.bytes[0x0C], 0xFF);
    // After boot: the copy keeps what it had, the mapped table shows the
    // change.
    machine.Memory().Write(0xF100B, 1, 0x00);
    machine.Memory().Write(0xE8004, 1, 0x7E);
    entry = ReadTable(hw::DmiTable::kEntryPoint);
    EXPECT_EQ(entry.bytes[0x0B], 0x01);
    EXPECT_EQ(ReadTable(hw::DmiTable::kStructureTable).bytes[4], 0x7E);
    // A poke of the table before boot shows as well.
    Reset({{"memory.poke", "0xE8005:42"}});
    EXPECT_EQ(ReadTable(hw::DmiTable::kStructureTable).bytes[5], 0x42);
}

}  // namespace
