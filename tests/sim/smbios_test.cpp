// The SMBIOS tables as a program finds them: the entry point searched for
// in the mapped F0000h segment, the structure table mapped where the entry
// point says, every byte read through the platform layer.
#include "sim/smbios/smbios.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <functional>
#include <numeric>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "hw/hw.h"
#include "sim/bios/bios_flash.h"
#include "tests/sim/settings_of.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kSegment = 0xF0000;
constexpr std::size_t kSegmentBytes = 0xFFFF;
constexpr std::uint64_t kPage = 4096;

struct Structure {
    std::uint8_t type = 0;
    Bytes formatted;
    std::vector<std::string> strings;
};

// What a reader of the tables finds, with every bound checked here.
struct Found {
    std::vector<std::uint64_t> anchors;  // "_SM_" on 16-byte boundaries
    Bytes entry;                         // the first entry point's 31 bytes
    std::uint32_t tableAddress = 0;
    std::uint16_t tableLength = 0;
    std::uint16_t count = 0;
    std::vector<Structure> structures;  // the counted ones
    std::string error;                  // why the walk stopped early
};

class PhysicalMemory {
  public:
    PhysicalMemory() : mFd(hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDONLY)) {}
    ~PhysicalMemory() { hw::CloseDevice(mFd); }

    Bytes Read(std::uint64_t address, std::size_t length) {
        const std::uint64_t base = address / kPage * kPage;
        const std::size_t mapped = static_cast<std::size_t>(address - base) + length;
        void* view = hw::MapDevice(mFd, base, mapped, PROT_READ, MAP_SHARED);
        EXPECT_NE(view, MAP_FAILED);
        Bytes bytes(length);
        hw::CopyFromMapped(bytes.data(), static_cast<const std::uint8_t*>(view) + (address - base),
                           length);
        hw::UnmapDevice(view, mapped);
        return bytes;
    }

  private:
    int mFd;
};

std::uint16_t Word(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
std::uint32_t Dword(const Bytes& bytes, std::size_t at) {
    return Word(bytes, at) | static_cast<std::uint32_t>(Word(bytes, at + 2)) << 16;
}
bool SumsToZero(const Bytes& bytes, std::size_t from, std::size_t length) {
    return std::accumulate(bytes.begin() + from, bytes.begin() + from + length, 0u) % 256 == 0;
}

// Walks count structures of the table; stops at the first that does not fit.
void Walk(const Bytes& table, Found* found) {
    std::size_t at = 0;
    for (unsigned i = 0; i < found->count; ++i) {
        if (at + 4 > table.size() || at + table[at + 1] > table.size() || table[at + 1] < 4) {
            found->error = "structure " + std::to_string(i) + " runs off the table";
            return;
        }
        Structure structure{
            table[at], Bytes(table.begin() + at, table.begin() + at + table[at + 1]), {}};
        std::size_t strings = at + table[at + 1];
        while (strings < table.size() && table[strings] != 0) {
            std::string text;
            while (strings < table.size() && table[strings] != 0) text += char(table[strings++]);
            structure.strings.push_back(text);
            ++strings;
        }
        if (structure.strings.empty()) ++strings;  // the first of the two zeros
        if (strings >= table.size()) {
            found->error = "strings of structure " + std::to_string(i) + " run off the table";
            return;
        }
        at = strings + 1;
        found->structures.push_back(structure);
    }
}

Found FindTables() {
    PhysicalMemory memory;
    Found found;
    const Bytes segment = memory.Read(kSegment, kSegmentBytes);
    for (std::size_t offset = 0; offset + 4 <= segment.size(); offset += 16) {
        if (std::string(segment.begin() + offset, segment.begin() + offset + 4) == "_SM_") {
            found.anchors.push_back(kSegment + offset);
        }
    }
    if (found.anchors.empty()) return found;
    const std::size_t at = found.anchors[0] - kSegment;
    found.entry.assign(segment.begin() + at, segment.begin() + at + 0x1F);
    found.tableLength = Word(found.entry, 0x16);
    found.tableAddress = Dword(found.entry, 0x18);
    found.count = Word(found.entry, 0x1C);
    Walk(memory.Read(found.tableAddress, found.tableLength), &found);
    return found;
}

const Structure* OfType(const Found& found, std::uint8_t type) {
    for (const Structure& structure : found.structures) {
        if (structure.type == type) return &structure;
    }
    return nullptr;
}

std::vector<std::uint8_t> Types(const Found& found) {
    std::vector<std::uint8_t> types;
    for (const Structure& structure : found.structures) types.push_back(structure.type);
    return types;
}

sim::Machine& Reset(simtest::SettingPairs settings = {}) {
    return sim::ResetMachine(simtest::SettingsOf(settings));
}

// ------------------------------------------------------------ the default tables

TEST(Smbios, TheEntryPointAndItsTableDescribeTheMachine) {
    Reset();
    const Found found = FindTables();
    ASSERT_EQ(found.anchors, std::vector<std::uint64_t>{0xF1000});
    const Bytes& entry = found.entry;
    EXPECT_EQ(entry[0x05], 0x1F);
    EXPECT_TRUE(SumsToZero(entry, 0, 0x1F)) << "entry point checksum";
    EXPECT_EQ(std::string(entry.begin() + 0x10, entry.begin() + 0x15), "_DMI_");
    EXPECT_TRUE(SumsToZero(entry, 0x10, 0x0F)) << "intermediate checksum";
    EXPECT_EQ(entry[0x06], 2);
    EXPECT_EQ(entry[0x07], 7);
    EXPECT_EQ(entry[0x1E], 0x27);
    EXPECT_EQ(found.tableAddress, 0xE8000u);

    ASSERT_EQ(found.error, "");
    EXPECT_EQ(Types(found), (std::vector<std::uint8_t>{0, 1, 38, 127}));
    std::size_t largest = 0;
    std::size_t total = 0;
    for (const Structure& structure : found.structures) {
        std::size_t bytes = structure.formatted.size() + 1;
        for (const std::string& text : structure.strings) bytes += text.size() + 1;
        if (structure.strings.empty()) ++bytes;
        largest = std::max(largest, bytes);
        total += bytes;
    }
    EXPECT_EQ(Word(entry, 0x08), largest);
    EXPECT_EQ(found.tableLength, total);

    const Structure* bios = OfType(found, 0);
    ASSERT_NE(bios, nullptr);
    ASSERT_GE(bios->strings.size(), 2u);
    EXPECT_EQ(bios->strings[bios->formatted[0x05] - 1], "SRVBD010");  // version: the ROM ID
    EXPECT_EQ(bios->formatted[0x09], 0x0F);                           // 16 x 64 KB

    const Structure* ipmi = OfType(found, 38);
    ASSERT_NE(ipmi, nullptr);
    EXPECT_EQ(ipmi->formatted, (Bytes{38, 0x12, ipmi->formatted[2], ipmi->formatted[3],
                                      0x01,                          // KCS
                                      0x20,                          // IPMI 2.0
                                      0x20,                          // BMC slave address
                                      0xFF,                          // no NV storage
                                      0xA3, 0x0C, 0, 0, 0, 0, 0, 0,  // 0CA2h, I/O space
                                      0x00, 0x00}));
    EXPECT_TRUE(ipmi->strings.empty());
    EXPECT_EQ(OfType(found, 127)->formatted.size(), 4u);
}

TEST(Smbios, TheDefaultPlacesLeaveTheBiosFlashServiceItsOwn) {
    sim::Machine& machine = Reset();
    const sim::BiosFlashConfig& bios = machine.Find<sim::BiosFlashService>()->Config();
    const sim::SmbiosTables& smbios = *machine.Find<sim::SmbiosTables>();
    struct Range {
        std::uint64_t first, end;
        bool Overlaps(const Range& other) const { return first < other.end && other.first < end; }
    };
    const Range anchor{bios.AnchorAddress(), bios.RequestAddress() + sim::bios::kRequestBytes};
    const Range tables{bios.InfoSegmentAddress() + bios.infoPointer,
                       bios.InfoSegmentAddress() + bios.NvramTableOffset() + 0x100};
    const Range entry{smbios.Config().entryPoint, smbios.Config().entryPoint + 0x1F};
    const auto& last = smbios.Structures().back();
    const Range table{smbios.Config().tableAddress, last.address + last.totalBytes};
    for (const Range& ours : {entry, table}) {
        EXPECT_FALSE(ours.Overlaps(anchor));
        EXPECT_FALSE(ours.Overlaps(tables));
    }
    const Bytes signature = PhysicalMemory().Read(bios.AnchorAddress(), 4);
    EXPECT_EQ(std::string(signature.begin(), signature.end()), "$ASF");
}

// ------------------------------------------------------------ configured tables

TEST(Smbios, SettingsShapeTheTablesAProgramFinds) {
    struct Case {
        const char* name;
        simtest::SettingPairs settings;
        std::function<void(const Found&)> check;
    };
    auto ipmiOf = [](const Found& found) -> Bytes {
        const Structure* ipmi = OfType(found, 38);
        return ipmi == nullptr ? Bytes{} : ipmi->formatted;
    };
    const Case cases[] = {
        {"another BIOS",
         {{"bios.rom_kb", "512"}, {"bios.rom_id", "SRVBD077"}},
         [](const Found& found) {
             const Structure* bios = OfType(found, 0);
             ASSERT_NE(bios, nullptr);
             EXPECT_EQ(bios->strings.at(1), "SRVBD077");
             EXPECT_EQ(bios->formatted[0x09], 0x07);
         }},
        {"the KCS interface elsewhere",
         {{"kcs.base", "0xCA8"}},
         [&](const Found& found) { EXPECT_EQ(Word(ipmiOf(found), 8), 0x0CA9); }},
        {"a base other than the interface's",
         {{"smbios.ipmi.base", "0xCA4"}},
         [&](const Found& found) { EXPECT_EQ(Word(ipmiOf(found), 8), 0x0CA5); }},
        {"an odd base keeps its bit 0 in the modifier",
         {{"smbios.ipmi.base", "0xCA3"}},
         [&](const Found& found) {
             EXPECT_EQ(Word(ipmiOf(found), 8), 0x0CA3);
             EXPECT_EQ(ipmiOf(found)[0x10], 0x10);
         }},
        {"a memory-mapped interface",
         {{"smbios.ipmi.io", "0"}, {"smbios.ipmi.base", "0xFED40000"}},
         [&](const Found& found) { EXPECT_EQ(Dword(ipmiOf(found), 8), 0xFED40000u); }},
        {"a BT interface",
         {{"smbios.ipmi.interface", "3"}},
         [&](const Found& found) { EXPECT_EQ(ipmiOf(found)[4], 3); }},
        {"an IPMI 1.5 BMC",
         {{"bmc.ipmi_version", "0x51"}},
         [&](const Found& found) { EXPECT_EQ(ipmiOf(found)[5], 0x15); }},
        {"no IPMI device",
         {{"smbios.ipmi", "0"}},
         [](const Found& found) {
             EXPECT_EQ(Types(found), (std::vector<std::uint8_t>{0, 1, 127}));
         }},
        // Strict /dev/mem would refuse to map it; the reader here maps it.
        {"the table in extended memory",
         {{"smbios.table_address", "0x200000"}, {"host.strict_devmem", "0"}},
         [](const Found& found) {
             EXPECT_EQ(found.tableAddress, 0x200000u);
             EXPECT_EQ(Types(found), (std::vector<std::uint8_t>{0, 1, 38, 127}));
         }},
        {"a count that leaves the IPMI device out",
         {{"smbios.structure_count", "2"}},
         [](const Found& found) {
             EXPECT_EQ(Types(found), (std::vector<std::uint8_t>{0, 1}));
         }},
        {"a table length too short for the table",
         {{"smbios.table_length", "0x40"}},
         [](const Found& found) {
             EXPECT_EQ(found.tableLength, 0x40);
             EXPECT_EQ(found.error, "structure 1 runs off the table");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(c.settings);
        const Found found = FindTables();
        ASSERT_EQ(found.anchors.size(), 1u);
        EXPECT_TRUE(SumsToZero(found.entry, 0, 0x1F));
        EXPECT_TRUE(SumsToZero(found.entry, 0x10, 0x0F));
        c.check(found);
    }
}

TEST(Smbios, AnEntryPointOffTheParagraphGridIsNotFoundAndNoneIsThereWhenAbsent) {
    Reset({{"smbios.entry_point", "0xF1008"}});
    EXPECT_TRUE(FindTables().anchors.empty());
    const Bytes bytes = PhysicalMemory().Read(0xF1008, 4);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "_SM_");

    sim::Machine& machine = Reset({{"smbios.present", "0"}});
    EXPECT_TRUE(FindTables().anchors.empty());
    std::ostringstream description;
    machine.Find<sim::SmbiosTables>()->Describe(description);
    EXPECT_EQ(description.str(), "    no SMBIOS entry point\n");
}

TEST(Smbios, PokesDamageTheTablesAfterTheBiosLaidThemOut) {
    const Found first = (Reset(), FindTables());
    const sim::SmbiosTables& tables = *sim::TheMachine().Find<sim::SmbiosTables>();
    const std::uint64_t ipmi = *tables.AddressOf(38);
    char lengthPoke[32];
    std::snprintf(lengthPoke, sizeof lengthPoke, "0x%llX:FF",
                  static_cast<unsigned long long>(ipmi + 1));
    char checksumPoke[32];
    std::snprintf(checksumPoke, sizeof checksumPoke, "0xF1004:%02X", (first.entry[4] + 1) & 0xFF);

    Reset({{"memory.poke", lengthPoke}});
    EXPECT_EQ(FindTables().error, "structure 2 runs off the table");

    Reset({{"memory.poke", checksumPoke}});
    const Found damaged = FindTables();
    EXPECT_FALSE(SumsToZero(damaged.entry, 0, 0x1F));
    EXPECT_TRUE(SumsToZero(damaged.entry, 0x10, 0x0F));
}

TEST(Smbios, PlacesThatCannotHoldTheTablesAreRefused) {
    const std::pair<const char*, const char*> bad[] = {
        {"smbios.table_address", "0xA0000"},  // the VGA hole
        {"smbios.entry_point", "0xE0000"},    // below the F segment
        {"smbios.entry_point", "0xFFFF0"},    // would run past 1 MB
        {"smbios.table_length", "0x10000"},  {"smbios.ipmi", "2"},
    };
    simtest::ExpectEachSettingRefused(bad);
}

}  // namespace
