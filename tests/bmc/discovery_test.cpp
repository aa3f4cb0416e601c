// System interface discovery: the SMBIOS entry point and type 38 record of
// the simulated BIOS, the presence probe of the KCS status port, and what
// MainInit makes of each outcome.
#include <gtest/gtest.h>

#include "bmc/interface_report.h"
#include "bmc/kcs.h"
#include "bmc/message.h"
#include "bmc/message_state.h"
#include "tests/bmc/bmc_sim_fixture.h"

namespace bmc_test {
namespace {

constexpr char kNoTable[] = "SMBIOS Table Not Found!!!\n";
constexpr char kNoBmc[] = "No Response from BMC...Exiting\n";

std::string Narrow(const std::wstring& text) {
    return {text.begin(), text.end()};
}

struct DiscoveryCase {
    const char* name;
    std::map<std::string, std::string> settings;
    int result;
    int support;         // g_Mbmcsupport afterwards
    std::uint16_t base;  // kcsBaseAddress afterwards
    std::string printed;
};

// The search of physical memory: a kernel that offers no copies of the
// tables in sysfs, as older kernels do not.
std::map<std::string, std::string> WithoutSysfs(std::map<std::string, std::string> settings) {
    settings.emplace("kernel.dmi_sysfs", "0");
    return settings;
}

class DiscoveryTest : public BmcSimTest {
  protected:
    int RunMainInit(std::string* printed) {
        testing::internal::CaptureStdout();
        const int result = MainInit();
        *printed = testing::internal::GetCapturedStdout();
        return result;
    }
};

class Discovery : public DiscoveryTest, public ::testing::WithParamInterface<DiscoveryCase> {
  protected:
    void BootAndExpectOutcome(const std::map<std::string, std::string>& settings) {
        const DiscoveryCase& c = GetParam();
        Boot(settings);
        std::string printed;
        EXPECT_EQ(RunMainInit(&printed), c.result);
        EXPECT_EQ(printed, c.printed);
        EXPECT_EQ(g_Mbmcsupport, c.support);
        EXPECT_EQ(kcsBaseAddress, c.base);
        // The transport uses the base discovery found, 0CA2h until it finds one.
        EXPECT_EQ(KCSAddress, c.base != 0 ? c.base : 0x0CA2);
        // Every failure says what it was.
        EXPECT_EQ(!SystemInterfaceProblem().empty(), c.result != 0)
            << Narrow(SystemInterfaceProblem());
    }
};

TEST_P(Discovery, FindsTheKcsInterfaceOrSaysWhyNot) {
    BootAndExpectOutcome(WithoutSysfs(GetParam().settings));
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
                      kNoBmc},
        DiscoveryCase{"SixtyFourBitEntryPoint",
                      {{"smbios.entry_points", "64"}, {"kcs.base", "0xCA8"}},
                      0,
                      SYSTEM_INTERFACE_KCS,
                      0x0CA8,
                      ""},
        DiscoveryCase{"BothEntryPoints",
                      {{"smbios.entry_points", "both"}, {"kcs.base", "0xCA8"}},
                      0,
                      SYSTEM_INTERFACE_KCS,
                      0x0CA8,
                      ""},
        // Strict /dev/mem refuses RAM above the first MiB.
        DiscoveryCase{"TableAboveTheFirstMegabyte",
                      {{"smbios.table_address", "0x200000"}},
                      BMC_MAP_FAILED,
                      SYSTEM_INTERFACE_KCS,
                      0,
                      ""},
        // UEFI firmware leaves nothing in the F0000h segment.
        DiscoveryCase{"UefiFirmware",
                      {{"smbios.efi", "1"}},
                      BMC_NOT_AVAILABLE,
                      SYSTEM_INTERFACE_KCS,
                      0,
                      kNoTable}),
    [](const auto& info) { return std::string(info.param.name); });

class KernelTables : public Discovery {};

// Where the kernel offers its copies of the tables they decide, as on every
// current kernel; /dev/mem is not needed.
TEST_P(KernelTables, FindTheKcsInterfaceOrSayWhyNot) {
    BootAndExpectOutcome(GetParam().settings);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, KernelTables,
    ::testing::Values(
        DiscoveryCase{"KcsAtTheDefaultPorts", {}, 0, SYSTEM_INTERFACE_KCS, 0x0CA2, ""},
        DiscoveryCase{"UefiServer",
                      {{"smbios.efi", "1"}, {"kcs.base", "0xCA8"}},
                      0,
                      SYSTEM_INTERFACE_KCS,
                      0x0CA8,
                      ""},
        DiscoveryCase{"UefiServerWithTheSixtyFourBitEntryPointOnly",
                      {{"smbios.efi", "1"}, {"smbios.entry_points", "64"}, {"kcs.base", "0xCA8"}},
                      0,
                      SYSTEM_INTERFACE_KCS,
                      0x0CA8,
                      ""},
        DiscoveryCase{"MemoryDeviceRefused",
                      {{"host.fault.open", "/dev/mem:13"}},
                      0,
                      SYSTEM_INTERFACE_KCS,
                      0x0CA2,
                      ""},
        DiscoveryCase{"NoIpmiRecord", {{"smbios.ipmi", "0"}}, 0, SYSTEM_INTERFACE_KCS, 0x0CA2, ""},
        DiscoveryCase{"BlockTransferInterface",
                      {{"smbios.ipmi.interface", "3"}},
                      BMC_NOT_AVAILABLE,
                      SYSTEM_INTERFACE_UNUSABLE,
                      0,
                      ""},
        // The kernel found no entry point, and the search finds none either.
        DiscoveryCase{"EntryPointOffTheParagraphs",
                      {{"smbios.entry_point", "0xF1008"}},
                      BMC_NOT_AVAILABLE,
                      SYSTEM_INTERFACE_KCS,
                      0,
                      kNoTable}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DiscoveryTest, TheKernelsCopiesNeedNoPhysicalMemory) {
    Boot({{"smbios.efi", "1"}});
    std::string printed;
    ASSERT_EQ(RunMainInit(&printed), 0);
    EXPECT_TRUE(Entries("host", "mmap").empty());
    EXPECT_EQ(Entries("dmi_sysfs", "read").size(), 2u);
}

// Registers spaced out as SMBIOS says: the status port is the data port
// plus the spacing, for the probe and for every request.
TEST_F(DiscoveryTest, RegistersSpacedOutAreDrivenAtTheirSpacing) {
    Boot({{"kcs.spacing", "4"}});
    std::string printed;
    ASSERT_EQ(RunMainInit(&printed), 0);
    EXPECT_EQ(KCSRegisterSpacing, 4);
    RecordPorts();
    const auto request = Request(0x06, 0x01);
    const auto response = Response();
    ASSERT_EQ(ProcessMessage(request.get(), response.get(), 5000), 0);
    EXPECT_EQ(response->completionCode, 0);
    const auto accesses = PortAccesses();
    ASSERT_FALSE(accesses.empty());
    for (const PortAccess& access : accesses) {
        EXPECT_TRUE(access.port == 0x0CA2 || access.port == 0x0CA6) << std::hex << access.port;
    }
}

TEST_F(DiscoveryTest, ProbeReadsTheStatusPortOfTheSmbiosBase) {
    Boot(WithoutSysfs({{"kcs.base", "0xCA8"}}));
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
    Boot(WithoutSysfs({}));
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

// ------------------------------------------------------------ mappings

struct Mapping {
    std::uint64_t address;
    std::uint64_t length;
    bool operator==(const Mapping&) const = default;
};
void PrintTo(const Mapping& m, std::ostream* os) {
    *os << std::hex << m.address << "+" << m.length;
}

class DiscoveryMappings : public DiscoveryTest {
  protected:
    std::vector<Mapping> Mapped() {
        std::vector<Mapping> mapped;
        for (const sim::LogEntry& e : Entries("host", "mmap"))
            mapped.push_back({e.address, e.value});
        return mapped;
    }
};

// Physical memory is mapped where the tables are and no further: a strict
// /dev/mem refuses RAM above the first MiB, and a table near the end of it
// would have a 64 KB mapping run there.
TEST_F(DiscoveryMappings, CoverTheStatedTableInWholePagesAndNoMore) {
    Boot(WithoutSysfs({{"smbios.table_address", "0xE8FF0"}, {"smbios.table_length", "0x60"}}));
    std::string printed;
    ASSERT_EQ(RunMainInit(&printed), 0);
    EXPECT_EQ(Mapped(), (std::vector<Mapping>{{0xF0000, 0x10000}, {0xE8000, 0x2000}}));
}

// The stated length is the table: a record beyond it is not read.
TEST_F(DiscoveryMappings, ARecordPastTheStatedLengthIsNotRead) {
    Boot(WithoutSysfs({{"smbios.table_length", "0x10"}, {"kcs.base", "0xCA8"}}));
    std::string printed;
    EXPECT_EQ(RunMainInit(&printed), BMC_MAP_FAILED);
    EXPECT_EQ(kcsBaseAddress, 0x0CA2);
    EXPECT_NE(SystemInterfaceProblem().find(L"damaged"), std::wstring::npos);
}

// After discovery every request goes to the interface SMBIOS named: at
// 0CA8h, nothing touches 0CA2h, and the answer comes without a wait.
TEST_F(DiscoveryTest, RequestsGoToTheDiscoveredPorts) {
    Boot({{"kcs.base", "0xCA8"}});
    std::string printed;
    ASSERT_EQ(RunMainInit(&printed), 0);
    RecordPorts();
    const auto request = Request(0x06, 0x01);
    const auto response = Response();
    const double before = VirtualSeconds();
    ASSERT_EQ(ProcessMessage(request.get(), response.get(), 5000), 0);
    EXPECT_EQ(response->completionCode, 0);
    EXPECT_LT(VirtualSeconds() - before, 1.0);
    const auto accesses = PortAccesses();
    ASSERT_FALSE(accesses.empty());
    for (const PortAccess& access : accesses) {
        EXPECT_TRUE(access.port == 0x0CA8 || access.port == 0x0CA9) << std::hex << access.port;
    }
}

}  // namespace
}  // namespace bmc_test
