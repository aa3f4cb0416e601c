// System interface discovery: the SMBIOS entry point and type 38 record of
// the simulated BIOS, the presence probe of the KCS status port, and what
// MainInit makes of each outcome.
#include <gtest/gtest.h>

#include "bmc/kcs.h"
#include "bmc/message.h"
#include "bmc/message_state.h"
#include "tests/bmc/bmc_sim_fixture.h"

namespace bmc_test {
namespace {

constexpr char kNoTable[] = "SMBIOS Table Not Found!!!\n";
constexpr char kNoBmc[] = "No Response from BMC...Exiting\n";

struct DiscoveryCase {
    const char* name;
    std::map<std::string, std::string> settings;
    int result;
    int support;         // g_Mbmcsupport afterwards
    std::uint16_t base;  // kcsBaseAddress afterwards
    std::string printed;
};

class DiscoveryTest : public BmcSimTest {
  protected:
    int RunMainInit(std::string* printed) {
        testing::internal::CaptureStdout();
        const int result = MainInit();
        *printed = testing::internal::GetCapturedStdout();
        return result;
    }
};

class Discovery : public DiscoveryTest, public ::testing::WithParamInterface<DiscoveryCase> {};

TEST_P(Discovery, FindsTheKcsInterfaceOrSaysWhyNot) {
    const DiscoveryCase& c = GetParam();
    Boot(c.settings);
    std::string printed;
    EXPECT_EQ(RunMainInit(&printed), c.result);
    EXPECT_EQ(printed, c.printed);
    EXPECT_EQ(g_Mbmcsupport, c.support);
    EXPECT_EQ(kcsBaseAddress, c.base);
    // The transport keeps to its own port whatever SMBIOS says.
    EXPECT_EQ(KCSAddress, 0x0CA2);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Discovery,
    ::testing::Values(
        DiscoveryCase{"KcsAtTheDefaultPorts", {}, 0, SYSTEM_INTERFACE_KCS, 0x0CA2, ""},
        DiscoveryCase{"KcsElsewhere", {{"kcs.base", "0xCA8"}}, 0, SYSTEM_INTERFACE_KCS, 0x0CA8, ""},
        // The I/O-space flag is bit 0; a base without it is taken as it is.
        DiscoveryCase{
            "BaseWithoutIoFlag", {{"smbios.ipmi.io", "0"}}, 0, SYSTEM_INTERFACE_KCS, 0x0CA2, ""},
        DiscoveryCase{"NoSmbios",
                      {{"smbios.present", "0"}},
                      BMC_NOT_AVAILABLE,
                      SYSTEM_INTERFACE_KCS,
                      0,
                      kNoTable},
        DiscoveryCase{"EntryPointOffTheParagraphs",
                      {{"smbios.entry_point", "0xF1008"}},
                      BMC_NOT_AVAILABLE,
                      SYSTEM_INTERFACE_KCS,
                      0,
                      kNoTable},
        DiscoveryCase{"BlockTransferInterface",
                      {{"smbios.ipmi.interface", "3"}},
                      BMC_NOT_AVAILABLE,
                      SYSTEM_INTERFACE_UNUSABLE,
                      0,
                      ""},
        DiscoveryCase{"NoIpmiRecord", {{"smbios.ipmi", "0"}}, 0, SYSTEM_INTERFACE_KCS, 0x0CA2, ""},
        // The record lies past the counted structures: the default port is
        // probed, and nothing answers there.
        DiscoveryCase{"IpmiRecordNotCounted",
                      {{"smbios.structure_count", "2"}, {"kcs.base", "0xCA8"}},
                      BMC_MAP_FAILED,
                      SYSTEM_INTERFACE_KCS,
                      0x0CA2,
                      kNoBmc},
        DiscoveryCase{"NoBmcAtTheSmbiosAddress",
                      {{"kcs.present", "0"}},
                      BMC_NOT_AVAILABLE,
                      SYSTEM_INTERFACE_KCS,
                      0x0CA2,
                      kNoBmc},
        DiscoveryCase{"NoBmcAtTheDefaultAddress",
                      {{"kcs.present", "0"}, {"smbios.ipmi", "0"}},
                      BMC_MAP_FAILED,
                      SYSTEM_INTERFACE_KCS,
                      0x0CA2,
                      kNoBmc},
        DiscoveryCase{"MemoryDeviceRefused",
                      {{"host.fault.open", "/dev/mem:13"}},
                      BMC_MAP_FAILED,
                      SYSTEM_INTERFACE_KCS,
                      0,
                      ""},
        DiscoveryCase{"BiosSegmentNotMapped",
                      {{"host.fault.mmap", "0xF0000:1:13"}},
                      BMC_MAP_FAILED,
                      SYSTEM_INTERFACE_KCS,
                      0,
                      ""},
        DiscoveryCase{"StructureTableNotMapped",
                      {{"host.fault.mmap", "0xE8000:1:13"}},
                      BMC_MAP_FAILED,
                      SYSTEM_INTERFACE_KCS,
                      0,
                      ""},
        // Without I/O privilege the probe cannot be made.
        DiscoveryCase{"NoIoPrivilege",
                      {{"host.fault.iopl", "1"}},
                      BMC_NOT_AVAILABLE,
                      SYSTEM_INTERFACE_KCS,
                      0x0CA2,
                      kNoBmc}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DiscoveryTest, ProbeReadsTheStatusPortOfTheSmbiosBase) {
    Boot({{"kcs.base", "0xCA8"}});
    RecordPorts();
    std::string printed;
    ASSERT_EQ(RunMainInit(&printed), 0);
    const auto accesses = PortAccesses();
    ASSERT_EQ(accesses.size(), 1u);
    EXPECT_FALSE(accesses[0].write);
    EXPECT_EQ(accesses[0].port, 0x0CA9);
}

// Nothing of the discovery is needed afterwards, so the memory device and
// its two mappings go, however often the library is initialized.
TEST_F(DiscoveryTest, ReleasesTheMemoryDeviceAndItsMappings) {
    Boot();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(BmcLibInitialize(), 0);
    EXPECT_EQ(Machine().Host().OpenDescriptors(), 0u);
    EXPECT_EQ(Machine().Views().Count(), 0u);
    EXPECT_EQ(Entries("host", "munmap").size(), 6u);
}

TEST_F(DiscoveryTest, LibraryInitializationReportsEveryFailureAsNotAvailable) {
    Boot({{"kcs.present", "0"}, {"smbios.ipmi", "0"}});
    testing::internal::CaptureStdout();
    EXPECT_EQ(BmcLibInitialize(), BMC_NOT_AVAILABLE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kNoBmc);
    EXPECT_EQ(BmcLibDeinitialize(), 0);
}

// ------------------------------------------------------------ the structure walk

// SMBIOS structures as the tests lay them out.
// A structure of this type and formatted length, zero-filled, and its
// string set.
Bytes Structure(std::uint8_t type, std::uint8_t length, const Bytes& strings = {0, 0}) {
    Bytes bytes(length, 0);
    bytes[0] = type;
    bytes[1] = length;
    bytes.insert(bytes.end(), strings.begin(), strings.end());
    return bytes;
}

Bytes IpmiRecord(std::uint8_t interfaceType, std::uint16_t base) {
    Bytes record = Structure(38, 0x12);
    record[4] = interfaceType;
    record[8] = base & 0xFF;
    record[9] = base >> 8;
    return record;
}

// A KCS record that ends before its base address: what follows it are its
// strings, "\x0C" here, which must not be taken for the address.
Bytes ShortIpmiRecord() {
    Bytes record = Structure(38, 9, {0x0C, 0, 0});
    record[4] = 1;
    record[8] = 0xA9;
    return record;
}

// Filler structures of 100h bytes, as many as fit below end.
Bytes FillTo(std::size_t end) {
    Bytes bytes;
    while (bytes.size() + 0x100 <= end) {
        const Bytes filler = Structure(1, 0xFE);
        bytes.insert(bytes.end(), filler.begin(), filler.end());
    }
    return bytes;
}

Bytes Concat(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// Structures written into RAM at a page of their own, and the entry point
// pointed at them.
class StructureWalk : public DiscoveryTest {
  protected:
    static constexpr std::uint64_t kTable = 0x20000;
    static constexpr std::uint64_t kEntryPoint = 0xF1000;
    static constexpr std::uint64_t kBiosSegment = 0xF0000;

    void SetUp() override {
        DiscoveryTest::SetUp();
        // The BMC is at CA8h, so the default port has nothing to answer:
        // a walk that finds no record ends in -1.
        Boot({{"kcs.base", "0xCA8"}});
    }

    // A walk that reads past its mapping reads whatever the process has
    // next to it; in the simulated server that is the other mapping, the
    // F0000h segment. KCS records wait there at the two places where a
    // walk over the tables below would go on, so that a read past the
    // mapping shows in the result.
    void PlantRecordsBeyondTheMapping() {
        sim::MemoryMap& memory = Machine().Memory();
        for (std::uint64_t a = kBiosSegment; a < kBiosSegment + 0x100; ++a) memory.Write(a, 1, 0);
        for (const std::uint64_t at : {kBiosSegment + 0x02, kBiosSegment + 0x81}) {
            const Bytes record = IpmiRecord(1, 0x0CA9);
            for (std::size_t i = 0; i < record.size(); ++i) memory.Write(at + i, 1, record[i]);
        }
    }

    void Place(const Bytes& table, std::uint16_t count) {
        sim::MemoryMap& memory = Machine().Memory();
        for (std::size_t i = 0; i < table.size(); ++i) memory.Write(kTable + i, 1, table[i]);
        memory.Write(kEntryPoint + 0x18, 4, kTable);
        memory.Write(kEntryPoint + 0x1C, 2, count);
    }

    std::string printed;
};

TEST_F(StructureWalk, FindsTheRecordPastStructuresWithStrings) {
    Bytes table = Structure(0, 0x18, {'B', 'I', 'O', 'S', 0, 'v', '1', 0, 0});
    const Bytes system = Structure(1, 0x1B, {'S', 0, 0});
    table.insert(table.end(), system.begin(), system.end());
    const Bytes ipmi = IpmiRecord(1, 0x0CA9);
    table.insert(table.end(), ipmi.begin(), ipmi.end());
    Place(table, 3);
    EXPECT_EQ(RunMainInit(&printed), 0);
    EXPECT_EQ(kcsBaseAddress, 0x0CA8);
}

struct WalkCase {
    const char* name;
    Bytes table;
    std::uint16_t count;
};

class StructureWalkEnds : public StructureWalk, public ::testing::WithParamInterface<WalkCase> {};

// What cannot be read inside the mapping ends the walk as if the record
// were not there.
TEST_P(StructureWalkEnds, AsIfThereWereNoRecord) {
    PlantRecordsBeyondTheMapping();
    Place(GetParam().table, GetParam().count);
    EXPECT_EQ(RunMainInit(&printed), BMC_MAP_FAILED);
    EXPECT_EQ(kcsBaseAddress, 0x0CA2);
    EXPECT_EQ(printed, kNoBmc);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, StructureWalkEnds,
    ::testing::Values(
        // 255 structures of 100h bytes, one of 80h, then one whose
        // formatted area crosses the end of the 64 KB mapping.
        WalkCase{"FormattedAreaRunsOffTheMapping",
                 Concat(Concat(FillTo(0xFF00), Structure(1, 0x7E)), Structure(1, 0xFF)), 0x102},
        // Strings that do not end before the mapping does.
        WalkCase{"StringSetRunsOffTheMapping", Concat(Structure(1, 4, {}), Bytes(0x10100, 'A')), 2},
        WalkCase{"IpmiRecordTooShortForItsBaseAddress", ShortIpmiRecord(), 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace bmc_test
