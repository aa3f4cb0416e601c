// The operating-system side of the simulated server: the memory device,
// device nodes and drivers, /proc/devices, the shell and the state
// directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "hw/hw.h"
#include "sim/core/legacy_devices.h"
#include "sim/core/machine.h"

namespace {

class FakeDriver : public sim::CharDriver {
  public:
    int opens = 0;
    unsigned long lastRequest = 0;
    int Open() override { return ++opens, 0; }
    int Ioctl(unsigned long request, void* argument) override {
        lastRequest = request;
        *static_cast<int*>(argument) = 42;
        return request == 0x4160 ? 0 : EINVAL;
    }
    std::uint64_t MapPhysical(std::uint64_t offset, std::uint64_t, int*) override {
        return 0x300000 + offset;
    }
};

TEST(SimHost, MemoryDeviceOpenFaultsStayDistinguishable) {
    sim::Machine& machine = sim::ResetMachine();
    for (const int error : {EACCES, EBUSY}) {
        machine.Host().Faults().openErrno[hw::kPhysicalMemoryDevice] = error;
        errno = 0;
        EXPECT_EQ(hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR), -1);
        EXPECT_EQ(errno, error);
        EXPECT_EQ(hw::OpenDeviceStream(hw::kPhysicalMemoryDevice, "r+"), nullptr);
        EXPECT_EQ(errno, error);
    }
    machine.Host().Faults().openErrno.clear();
    std::FILE* stream = hw::OpenDeviceStream(hw::kPhysicalMemoryDevice, "r+");
    ASSERT_NE(stream, nullptr);
    void* view = hw::MapDevice(fileno(stream), 0xF0000, 0xFFFF, PROT_READ | PROT_WRITE, MAP_SHARED);
    EXPECT_NE(view, MAP_FAILED);
    EXPECT_EQ(hw::CloseDeviceStream(stream), 0);
    EXPECT_EQ(machine.Host().OpenDescriptors(), 0u);
}

TEST(SimHost, NodeOpensOnlyWithItsDriverRegistered) {
    sim::Machine& machine = sim::ResetMachine();
    FakeDriver driver;
    EXPECT_EQ(hw::OpenDevice("quorz", O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
    ASSERT_EQ(hw::MakeNode("quorz", S_IFCHR | 0666, makedev(240, 0)), 0);
    EXPECT_EQ(hw::MakeNode("quorz", S_IFCHR | 0666, makedev(240, 0)), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(hw::OpenDevice("quorz", O_RDWR), -1);
    EXPECT_EQ(errno, ENXIO);

    machine.Host().RegisterDriver("quorzel", 240, driver);
    const int fd = hw::OpenDevice("quorz", O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(driver.opens, 1);
    int record = 0;
    EXPECT_EQ(hw::IoctlDevice(fd, 0x4160, &record), 0);
    EXPECT_EQ(record, 42);
    EXPECT_EQ(hw::IoctlDevice(fd, 0x9999, &record), -1);
    EXPECT_EQ(errno, EINVAL);

    auto* buffer =
        static_cast<std::uint8_t*>(hw::MapDevice(fd, 0, 1024, PROT_READ | PROT_WRITE, MAP_SHARED));
    ASSERT_NE(buffer, MAP_FAILED);
    hw::Write8(buffer + 3, 0x77);
    EXPECT_EQ(machine.Memory().Bytes(0x300003, 1)[0], 0x77);

    EXPECT_EQ(hw::CloseDevice(fd), 0);
    EXPECT_EQ(hw::RemoveNode("quorz"), 0);
    EXPECT_EQ(hw::RemoveNode("quorz"), -1);
    EXPECT_EQ(errno, ENOENT);

    machine.Host().Faults().mknodErrno = EPERM;
    EXPECT_EQ(hw::MakeNode("quorz", S_IFCHR | 0666, makedev(240, 0)), -1);
    EXPECT_EQ(errno, EPERM);
}

TEST(SimHost, ProcDevicesListsRegisteredDriversByMajor) {
    sim::Machine& machine = sim::ResetMachine();
    FakeDriver driver;
    machine.Host().RegisterDriver("quorzel", 240, driver);
    std::FILE* devices = hw::OpenProcDevices();
    ASSERT_NE(devices, nullptr);
    char line[128];
    std::string found;
    ASSERT_NE(std::fgets(line, sizeof line, devices), nullptr);
    EXPECT_STREQ(line, "Character devices:\n");
    while (std::fgets(line, sizeof line, devices) != nullptr) {
        if (std::string(line).find("quorzel") != std::string::npos) found = line;
    }
    std::fclose(devices);
    EXPECT_EQ(found, "240 quorzel\n");
    EXPECT_EQ(std::atoi(found.c_str()), 240);

    machine.Host().UnregisterDriver("quorzel");
    EXPECT_EQ(machine.Host().ProcDevicesText().find("quorzel"), std::string::npos);
}

TEST(SimHost, ShellRunsRegisteredProgramsWithoutTheirRedirections) {
    sim::Machine& machine = sim::ResetMachine();
    std::vector<std::string> seen;
    machine.Host().AddProgram("insmod", [&](const std::vector<std::string>& words) {
        seen = words;
        return words.size() == 2 && words[1] == "./quorzel_mod.o" ? 0 : 1;
    });
    int status = hw::RunShell("insmod ./quorzel_mod.o 2> /dev/null > /dev/null");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(seen, (std::vector<std::string>{"insmod", "./quorzel_mod.o"}));

    status = hw::RunShell("insmod quorzel_mod 2>/dev/null >/dev/null");
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(seen, (std::vector<std::string>{"insmod", "quorzel_mod"}));

    status = hw::RunShell("lsusb -v");
    EXPECT_EQ(WEXITSTATUS(status), 127);  // no such program

    const auto shell = machine.Log().Of("host");
    int commands = 0;
    for (const auto& entry : shell) commands += entry.operation == "shell";
    EXPECT_EQ(commands, 3);
}

TEST(SimHost, IoplAndAffinityFaults) {
    sim::Machine& machine = sim::ResetMachine();
    unsigned long mask = 1;
    EXPECT_EQ(hw::Iopl(3), 0);
    EXPECT_EQ(hw::SetAffinity(0, sizeof mask, &mask), 0);
    machine.Host().Faults().ioplErrno = EPERM;
    machine.Host().Faults().affinityErrno = EINVAL;
    EXPECT_EQ(hw::Iopl(3), -1);
    EXPECT_EQ(errno, EPERM);
    EXPECT_EQ(hw::SetAffinity(0, sizeof mask, &mask), -1);
    EXPECT_EQ(errno, EINVAL);
    const auto affinity = machine.Log().Of("host");
    bool logged = false;
    for (const auto& entry : affinity) {
        logged |= entry.operation == "sched_setaffinity" && entry.value == 1 &&
                  entry.width == sizeof mask;
    }
    EXPECT_TRUE(logged);
}

// One process changes the server; the next one sees the change.
TEST(SimStateDirectory, StateSurvivesTheProcess) {
    char name[] = "/tmp/simstateXXXXXX";
    const std::filesystem::path dir = ::mkdtemp(name);
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("SRVFW_SIM", dir.c_str(), 1);
        hw::OutByte(0x70, 0x10);
        hw::OutByte(0x71, 0x3C);
        int fd = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR);
        sim::TheMachine().Memory().Find("conventional")->persistent = true;
        auto* low =
            static_cast<std::uint8_t*>(hw::MapDevice(fd, 0x1000, 16, PROT_WRITE, MAP_SHARED));
        hw::Write8(low, 0x99);
        std::exit(0);  // the state is saved on the way out
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_TRUE(std::filesystem::exists(dir / "settings"));

    sim::Machine next(sim::SettingsOf(dir));
    sim::BuildMachine(next);
    next.Memory().Find("conventional")->persistent = true;
    next.LoadState(dir);
    EXPECT_EQ(next.Find<sim::CmosRam>()->Bytes()[0x10], 0x3C);
    EXPECT_EQ(next.Memory().Bytes(0x1000, 1)[0], 0x99);
    std::filesystem::remove_all(dir);
}

TEST(SimSettings, ParsesAssignmentsAndRefusesMalformedLines) {
    sim::Settings settings;
    EXPECT_FALSE(settings.Parse("# comment\nram.mb = 32\nbios.rom_kb=0x400\n\nname=x # note\n"));
    EXPECT_EQ(settings.GetNumber("ram.mb", 0), 32u);
    EXPECT_EQ(settings.GetNumber("bios.rom_kb", 0), 1024u);
    EXPECT_EQ(settings.Get("name", ""), "x");
    EXPECT_EQ(settings.GetNumber("name", 7), 7u);
    const auto error = settings.Parse("good=1\nno equals sign\n");
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("line 2"), std::string::npos);
    EXPECT_TRUE(settings.ParseAssignment("=5"));

    sim::Settings reread;
    EXPECT_FALSE(reread.Parse(settings.Format()));
    EXPECT_EQ(reread.All(), settings.All());
}

TEST(SimMachine, RamSizeComesFromTheSettings) {
    sim::Settings settings;
    settings.Set("ram.mb", "4");
    sim::Machine& machine = sim::ResetMachine(settings);
    const sim::MemoryRegion* extended = machine.Memory().Find("extended");
    ASSERT_NE(extended, nullptr);
    EXPECT_EQ(extended->base + extended->size, 4u * 1024 * 1024);
    EXPECT_THROW(machine.Memory().AddRam("overlap", 0xFFFFF, 2), std::logic_error);
}

}  // namespace
