// The simulated kernel as a program meets it through the platform layer:
// the strict memory device, its module list, and ipmi_si finding (or not
// finding) the BMC's interface where SMBIOS says it is.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <string>

#include "hw/hw.h"
#include "sim/core/kernel_ipmi_device.h"
#include "tests/sim/settings_of.h"

namespace {

struct MapCase {
    const char* what;
    std::uint64_t offset;
    std::size_t length;
    int error;  // 0: maps
};

// The default machine: RAM 0-9FFFFh and E0000h-FFFFFh below 1 MiB, RAM
// from 1 MiB to 16 MiB, the transfer buffer's RAM page at 7E000000h.
constexpr MapCase kDefaultMachine[] = {
    {"conventional RAM in the first MiB", 0x0, 0x1000, 0},
    {"the BIOS segment", 0xF0000, 0x10000, 0},
    {"up to the end of the first MiB", 0xE0000, 0x20000, 0},
    {"one byte into RAM above 1 MiB", 0xF0000, 0x10001, EPERM},
    {"the first page above 1 MiB", 0x100000, 0x1000, EPERM},
    {"the last page of RAM", 0xFFF000, 0x1000, EPERM},
    {"the hole above RAM", 0x1000000, 0x10000, 0},
    {"a hole that ends in RAM", 0x7DFFF000, 0x2000, EPERM},
    {"an offset off the page grid", 0xE0040, 0xFFFF, EINVAL},
    {"an unaligned offset in the hole", 0x1000010, 0x100, EINVAL},
    {"length 0", 0xF0000, 0, EINVAL},
};

int MapResult(std::uint64_t offset, std::size_t length) {
    const int fd = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDONLY);
    EXPECT_GE(fd, 0);
    void* view = hw::MapDevice(fd, offset, length, PROT_READ, MAP_SHARED);
    const int error = view == MAP_FAILED ? errno : 0;
    if (view != MAP_FAILED) hw::UnmapDevice(view, length);
    hw::CloseDevice(fd);
    return error;
}

TEST(StrictDevmem, RefusesSystemRamAboveTheFirstMiBAndUnalignedOffsets) {
    for (const MapCase& c : kDefaultMachine) {
        SCOPED_TRACE(c.what);
        sim::Machine& machine = sim::ResetMachine();
        EXPECT_EQ(MapResult(c.offset, c.length), c.error);
        const auto refused = machine.Log().Of("host");
        const auto entry = std::find_if(refused.begin(), refused.end(), [](const sim::LogEntry& e) {
            return e.operation == "mmap-refused";
        });
        ASSERT_EQ(entry != refused.end(), c.error != 0);
        if (c.error == 0) continue;
        EXPECT_EQ(entry->address, c.offset);
        EXPECT_EQ(entry->value, static_cast<std::uint64_t>(c.error));
        if (c.error == EPERM) {
            EXPECT_NE(entry->detail.find("strict /dev/mem: System RAM"), std::string::npos);
        }
    }
}

TEST(StrictDevmem, ASettingTurnsTheRamCheckOffButNotTheAlignmentCheck) {
    sim::ResetMachine(simtest::SettingsOf({{"host.strict_devmem", "0"}}));
    EXPECT_EQ(MapResult(0x100000, 0x1000), 0);
    EXPECT_EQ(MapResult(0x7E000000, 0x1000), 0);
    EXPECT_EQ(MapResult(0xE0040, 0x100), EINVAL);
    // An injected refusal still comes first.
    sim::ResetMachine(simtest::SettingsOf(
        {{"host.strict_devmem", "0"}, {"host.fault.mmap", "0x100000:0x1000:13"}}));
    EXPECT_EQ(MapResult(0x100000, 0x1000), EACCES);
    const std::pair<const char*, const char*> bad[] = {{"host.strict_devmem", "2"}};
    simtest::ExpectEachSettingRefused(bad);
}

TEST(StrictDevmem, TheFirstMiBShowsWhatIsThere) {
    sim::Machine& machine = sim::ResetMachine();
    machine.Memory().Write(0xF8000, 4, 0x12345678);
    const int fd = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDONLY);
    void* view = hw::MapDevice(fd, 0xF0000, 0x10000, PROT_READ, MAP_SHARED);
    ASSERT_NE(view, MAP_FAILED);
    EXPECT_EQ(hw::Read32(static_cast<const std::uint8_t*>(view) + 0x8000), 0x12345678u);
    hw::UnmapDevice(view, 0x10000);
    hw::CloseDevice(fd);
}

// ------------------------------------------------------------ modules

bool ProcDevicesLists(const std::string& name) {
    std::FILE* devices = hw::OpenProcDevices();
    char line[128];
    bool found = false;
    while (std::fgets(line, sizeof line, devices) != nullptr) {
        if (std::string(line).find(" " + name + "\n") != std::string::npos) found = true;
    }
    std::fclose(devices);
    return found;
}

struct ModuleCase {
    const char* modules;
    bool msghandler, si, devintf;
    bool node;
};

TEST(KernelModules, TheBootListLoadsModulesWithWhatTheyNeed) {
    const ModuleCase cases[] = {
        {"", false, false, false, false},
        {"ipmi_devintf", true, false, true, false},
        {"ipmi_si", true, true, false, false},
        {"ipmi_si,ipmi_devintf", true, true, true, true},
        {"ipmi-si, ipmi_devintf", true, true, true, true},
        {"ipmi_msghandler", true, false, false, false},
    };
    for (const ModuleCase& c : cases) {
        SCOPED_TRACE(c.modules);
        sim::Machine& machine =
            sim::ResetMachine(simtest::SettingsOf({{"kernel.modules", c.modules}}));
        EXPECT_EQ(hw::KernelModulePresent("ipmi_msghandler"), c.msghandler);
        EXPECT_EQ(hw::KernelModulePresent("ipmi_si"), c.si);
        EXPECT_EQ(hw::KernelModulePresent("ipmi_devintf"), c.devintf);
        EXPECT_EQ(ProcDevicesLists("ipmidev"), c.devintf);
        EXPECT_EQ(machine.Host().NodeExists("/dev/ipmi0"), c.node);
        if (c.node) {
            EXPECT_EQ(*machine.Host().NodeDevice("/dev/ipmi0"),
                      makedev(sim::kernel_ipmi::kDefaultMajor, 0));
        }
        const auto looks = machine.Log().Of("host");
        EXPECT_EQ(std::count_if(looks.begin(), looks.end(),
                                [](const sim::LogEntry& e) { return e.operation == "sys-module"; }),
                  3);
    }
    const std::pair<const char*, const char*> bad[] = {{"kernel.modules", "ipmi si"},
                                                       {"kernel.modules", "../ipmi_si"},
                                                       {"kernel.ipmi.node", "/dev/ipmi1"},
                                                       {"kernel.ipmi.major", "0"}};
    simtest::ExpectEachSettingRefused(bad);
}

TEST(KernelModules, TheTransferBufferModuleShowsWhileTheShellHasItLoaded) {
    sim::ResetMachine();
    EXPECT_FALSE(hw::KernelModulePresent("quorzel_mod"));
    ASSERT_EQ(hw::RunShell("insmod ./quorzel_mod.o"), 0);
    EXPECT_TRUE(hw::KernelModulePresent("quorzel_mod"));
    ASSERT_EQ(hw::RunShell("rmmod quorzel_mod"), 0);
    EXPECT_FALSE(hw::KernelModulePresent("quorzel_mod"));
    sim::ResetMachine(simtest::SettingsOf({{"quorzel.loaded", "1"}}));
    EXPECT_TRUE(hw::KernelModulePresent("quorzel_mod"));
}

struct SystemInterfaceCase {
    const char* what;
    simtest::SettingPairs settings;
    bool loads;
};

TEST(KernelModules, IpmiSiLoadsOnlyWhereSmbiosNamesAnAnsweringKcsInterface) {
    const SystemInterfaceCase cases[] = {
        {"the default machine", {}, true},
        {"32-bit registers on both sides", {{"kcs.spacing", "4"}}, true},
        {"16-byte registers on both sides", {{"kcs.spacing", "16"}, {"kcs.base", "0xCA0"}}, true},
        {"SMBIOS states another spacing",
         {{"kcs.spacing", "4"}, {"smbios.ipmi.spacing", "1"}},
         false},
        {"SMBIOS states another base", {{"smbios.ipmi.base", "0xCA8"}}, false},
        {"SMBIOS states the base's low bit", {{"smbios.ipmi.lsb", "1"}}, false},
        {"SMBIOS states memory space", {{"smbios.ipmi.io", "0"}}, false},
        {"SMBIOS states a BT interface", {{"smbios.ipmi.interface", "3"}}, false},
        {"no IPMI device in SMBIOS", {{"smbios.ipmi", "0"}}, false},
        {"no SMBIOS at all", {{"smbios.present", "0"}}, false},
        {"no KCS interface", {{"kcs.present", "0"}}, false},
        {"a hung BMC", {{"kcs.fault.ibf_stuck", "1"}}, false},
        {"the tables only for UEFI", {{"smbios.efi", "1"}}, true},
        {"the tables not exported to sysfs", {{"kernel.dmi_sysfs", "0"}}, true},
    };
    for (const SystemInterfaceCase& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Settings settings = simtest::SettingsOf(c.settings);
        settings.Set("kernel.modules", "ipmi_si,ipmi_devintf");
        sim::Machine& machine = sim::ResetMachine(settings);
        const auto* kernel = machine.Find<sim::KernelIpmi>();
        EXPECT_EQ(hw::KernelModulePresent("ipmi_si"), c.loads) << kernel->SystemInterfaceFailure();
        EXPECT_EQ(kernel->SystemInterfaceFailure().empty(), c.loads);
        EXPECT_EQ(machine.Host().NodeExists("/dev/ipmi0"), c.loads);
        // ipmi_devintf loads whatever becomes of ipmi_si.
        EXPECT_TRUE(hw::KernelModulePresent("ipmi_devintf"));
    }
}

}  // namespace

namespace {

int ExitStatus(const char* command) {
    return hw::RunShell(command) >> 8;
}

TEST(KernelModules, TheShellLoadsAndUnloadsTheIpmiModules) {
    sim::Machine& machine = sim::ResetMachine();
    EXPECT_EQ(ExitStatus("modprobe ipmi_devintf"), 0);
    EXPECT_TRUE(hw::KernelModulePresent("ipmi_msghandler"));
    EXPECT_TRUE(ProcDevicesLists("ipmidev"));
    EXPECT_FALSE(machine.Host().NodeExists("/dev/ipmi0"));  // no interface yet
    EXPECT_EQ(ExitStatus("modprobe ipmi-si"), 0);
    EXPECT_EQ(ExitStatus("modprobe ipmi_si"), 0);  // loaded already
    EXPECT_TRUE(machine.Host().NodeExists("/dev/ipmi0"));

    const int fd = hw::OpenDevice("/dev/ipmi0", O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ExitStatus("rmmod ipmi_si"), 1);  // in use
    EXPECT_EQ(ExitStatus("rmmod ipmi_devintf"), 1);
    EXPECT_EQ(ExitStatus("rmmod ipmi_msghandler"), 1);
    hw::CloseDevice(fd);

    EXPECT_EQ(ExitStatus("rmmod /lib/modules/ipmi_si.ko"), 0);
    EXPECT_FALSE(hw::KernelModulePresent("ipmi_si"));
    EXPECT_FALSE(machine.Host().NodeExists("/dev/ipmi0"));
    EXPECT_EQ(ExitStatus("modprobe -r ipmi_devintf"), 0);
    EXPECT_FALSE(hw::KernelModulePresent("ipmi_devintf"));
    EXPECT_FALSE(hw::KernelModulePresent("ipmi_msghandler"));
    EXPECT_FALSE(ProcDevicesLists("ipmidev"));
    EXPECT_EQ(ExitStatus("rmmod ipmi_devintf"), 1);  // not loaded

    std::vector<std::pair<std::string, std::uint64_t>> logged;
    for (const sim::LogEntry& entry : machine.Log().Of("host")) {
        if (entry.operation == "modprobe" || entry.operation == "rmmod") {
            logged.emplace_back(entry.operation + " " + entry.detail, entry.value);
        }
    }
    const std::vector<std::pair<std::string, std::uint64_t>> expected = {
        {"modprobe ipmi_devintf", 0}, {"modprobe ipmi_si", 0},      {"modprobe ipmi_si", 0},
        {"rmmod ipmi_si", 1},         {"rmmod ipmi_devintf", 1},    {"rmmod ipmi_msghandler", 1},
        {"rmmod ipmi_si", 0},         {"modprobe ipmi_devintf", 0}, {"rmmod ipmi_devintf", 1}};
    EXPECT_EQ(logged, expected);
}

TEST(KernelModules, ModprobeOfIpmiSiFailsWithoutAnInterfaceAndLeavesOtherModulesToTheirProgram) {
    sim::Machine& machine = sim::ResetMachine(simtest::SettingsOf({{"kcs.present", "0"}}));
    EXPECT_EQ(ExitStatus("modprobe ipmi_si"), 1);
    EXPECT_FALSE(hw::KernelModulePresent("ipmi_si"));
    EXPECT_FALSE(machine.Find<sim::KernelIpmi>()->SystemInterfaceFailure().empty());
    // The transfer-buffer module and stock modules are the shell's as
    // before.
    EXPECT_EQ(ExitStatus("modprobe quorzel_mod"), 1);
    EXPECT_EQ(ExitStatus("modprobe e1000e"), 0);
    EXPECT_EQ(ExitStatus("insmod ./quorzel_mod.o"), 0);
    EXPECT_EQ(ExitStatus("rmmod quorzel_mod"), 0);
    EXPECT_EQ(machine.Log().Of("quorzel").size(), 4u);
}

}  // namespace

namespace {

TEST(KernelPoll, ADeviceWithoutAPollOfItsOwnIsReadableAtOnce) {
    sim::Machine& machine =
        sim::ResetMachine(simtest::SettingsOf({{"quorzel.loaded", "1"}, {"quorzel.node", "1"}}));
    const int quorz = hw::OpenDevice("quorz", O_RDWR);
    ASSERT_GE(quorz, 0);
    const std::uint64_t before = machine.Clock().NowNs();
    EXPECT_EQ(hw::WaitReadable(quorz, 1000), 1);
    EXPECT_EQ(machine.Clock().NowNs(), before);
    hw::CloseDevice(quorz);
    EXPECT_EQ(hw::WaitReadable(quorz, 1000), -1);
    EXPECT_EQ(errno, EBADF);
}

}  // namespace
