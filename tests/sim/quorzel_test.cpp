// The kernel module quorzel_mod and its driver as a program meets them:
// through the shell's module programs, /proc/devices, device nodes, ioctl
// and mmap of the platform layer.
#include "sim/bios/quorzel.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "hw/hw.h"
#include "tests/sim/bios_caller.h"

namespace {

using sim::quorzel::BufferRecord;

sim::Machine& Reset(std::initializer_list<std::pair<const char*, const char*>> settings) {
    return sim::ResetMachine(simtest::SettingsOf(settings));
}

int Shell(const std::string& command) {
    const int status = hw::RunShell(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The /proc/devices line that names the driver, empty when none does.
std::string DriverLine() {
    std::FILE* devices = hw::OpenProcDevices();
    char line[128];
    std::string found;
    while (devices != nullptr && std::fgets(line, sizeof line, devices) != nullptr) {
        if (std::string(line).find("quorzel") != std::string::npos) found = line;
    }
    if (devices != nullptr) std::fclose(devices);
    return found;
}

sim::QuorzelModule& Module() {
    return *sim::TheMachine().Find<sim::QuorzelModule>();
}

int OpenNode(unsigned major = 254) {
    hw::MakeNode(sim::quorzel::kNodePath, S_IFCHR | 0666, makedev(major, 0));
    return hw::OpenDevice(sim::quorzel::kNodePath, O_RDWR);
}

// errno of an ioctl, 0 when it succeeded.
int IoctlError(int fd, unsigned long request, BufferRecord& record) {
    errno = 0;
    return hw::IoctlDevice(fd, request, &record) == 0 ? 0 : errno;
}

// ------------------------------------------------------------ loading

TEST(QuorzelModule, InsmodLoadsOnlyTheAcceptedForms) {
    struct Case {
        const char* accepts;  // nullptr: the default
        const char* command;
        int status;
    };
    const Case cases[] = {
        {nullptr, "insmod ./quorzel_mod.o 2> /dev/null > /dev/null", 0},
        {nullptr, "insmod quorzel_mod 2> /dev/null > /dev/null", 0},
        {nullptr, "insmod ./other_mod.o", 1},
        {nullptr, "insmod", 1},
        {"quorzel_mod", "insmod ./quorzel_mod.o", 1},
        {"quorzel_mod", "insmod quorzel_mod", 0},
        {"./quorzel_mod.o", "insmod quorzel_mod", 1},
        {"", "insmod ./quorzel_mod.o", 1},
        {"", "insmod quorzel_mod", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.accepts ? c.accepts : "(default)") + ": " + c.command);
        if (c.accepts != nullptr) {
            Reset({{"quorzel.insmod_accepts", c.accepts}});
        } else {
            Reset({});
        }
        EXPECT_EQ(Shell(c.command), c.status);
        EXPECT_EQ(Module().Loaded(), c.status == 0);
        EXPECT_EQ(DriverLine(), c.status == 0 ? "254 quorzel\n" : "");
        const auto log = sim::TheMachine().Log().Of("quorzel");
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].operation, "insmod");
        EXPECT_EQ(log[0].value, static_cast<std::uint64_t>(c.status));
    }
}

TEST(QuorzelModule, LoadingTwiceFailsAndTheMajorIsTheConfiguredOne) {
    Reset({{"quorzel.major", "0"}});
    ASSERT_EQ(Shell("insmod ./quorzel_mod.o"), 0);
    EXPECT_EQ(Shell("insmod quorzel_mod"), 1);  // File exists
    EXPECT_EQ(DriverLine(), "  0 quorzel\n");

    Reset({{"quorzel.major", "231"}, {"quorzel.loaded", "1"}});
    EXPECT_EQ(DriverLine(), "231 quorzel\n");
    EXPECT_TRUE(sim::TheMachine().Log().Entries().empty());  // nobody asked for it
}

TEST(QuorzelModule, RmmodUnloadsOnlyALoadedModuleNotInUse) {
    Reset({});
    EXPECT_EQ(Shell("rmmod quorzel_mod"), 1);  // not loaded
    ASSERT_EQ(Shell("insmod ./quorzel_mod.o"), 0);
    EXPECT_EQ(Shell("rmmod quorzel"), 1);  // the driver's name is not the module's

    const int fd = OpenNode();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Shell("rmmod quorzel_mod"), 1);  // in use
    EXPECT_TRUE(Module().Loaded());
    ASSERT_EQ(hw::CloseDevice(fd), 0);

    EXPECT_EQ(Shell("rmmod ./quorzel_mod.o"), 0);
    EXPECT_FALSE(Module().Loaded());
    EXPECT_EQ(DriverLine(), "");
    // The node stays, but nothing answers behind it.
    EXPECT_EQ(hw::OpenDevice(sim::quorzel::kNodePath, O_RDWR), -1);
    EXPECT_EQ(errno, ENXIO);

    const auto log = sim::TheMachine().Log().Of("quorzel");
    std::vector<std::pair<std::string, std::uint64_t>> seen;
    for (const auto& entry : log) seen.emplace_back(entry.operation, entry.value);
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::uint64_t>>{
                        {"rmmod", 1}, {"insmod", 0}, {"rmmod", 1}, {"rmmod", 1}, {"rmmod", 0}}));
}

TEST(QuorzelModule, ModprobeFindsStockModulesButNotThisOne) {
    Reset({});
    EXPECT_EQ(Shell("modprobe quorzel_mod"), 1);
    EXPECT_FALSE(Module().Loaded());
    EXPECT_EQ(Shell("modprobe usb-storage"), 0);
    ASSERT_EQ(Shell("insmod quorzel_mod"), 0);
    EXPECT_EQ(Shell("modprobe -r quorzel_mod"), 0);
    EXPECT_FALSE(Module().Loaded());
}

TEST(QuorzelModule, NodesPresentAtStartOpenOnlyWithTheirDriver) {
    struct Case {
        std::initializer_list<std::pair<const char*, const char*>> settings;
        int error;  // of opening "quorz"
    };
    const Case cases[] = {
        {{{"quorzel.node", "1"}, {"quorzel.loaded", "1"}}, 0},
        {{{"quorzel.node", "1"}}, ENXIO},
        {{{"quorzel.node", "1"}, {"quorzel.loaded", "1"}, {"quorzel.node_major", "200"}}, ENXIO},
        {{{"quorzel.loaded", "1"}}, ENOENT},
    };
    for (const Case& c : cases) {
        Reset(c.settings);
        errno = 0;
        const int fd = hw::OpenDevice(sim::quorzel::kNodePath, O_RDWR);
        EXPECT_EQ(fd >= 0 ? 0 : errno, c.error);
        if (fd >= 0) hw::CloseDevice(fd);
    }
}

// ------------------------------------------------------------ the driver

TEST(QuorzelDriver, AllocMapAndFreeOneBuffer) {
    sim::Machine& machine = Reset({{"quorzel.loaded", "1"}});
    const int fd = OpenNode();
    ASSERT_GE(fd, 0);
    BufferRecord record{1024, 0x1234, 0};
    ASSERT_EQ(IoctlError(fd, sim::quorzel::kAlloc, record), 0);
    EXPECT_EQ(record.physical, 0x7E000000ul);
    EXPECT_EQ(record.size, 1024ul);
    EXPECT_EQ(record.unused, 0x1234ul);

    auto* buffer =
        static_cast<std::uint8_t*>(hw::MapDevice(fd, 0, 1024, PROT_READ | PROT_WRITE, MAP_SHARED));
    ASSERT_NE(buffer, MAP_FAILED);
    hw::Write32(buffer + 1020, 0xCAFEF00D);
    EXPECT_EQ(machine.MemoryRead(record.physical + 1020, 4), 0xCAFEF00Du);

    EXPECT_EQ(IoctlError(fd, sim::quorzel::kFree, record), 0);
    EXPECT_FALSE(Module().BufferAllocated());
    EXPECT_EQ(hw::UnmapDevice(buffer, 1024), 0);
    EXPECT_EQ(hw::CloseDevice(fd), 0);

    const auto log = machine.Log().Of("quorzel");
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].operation, "QUORZ_ALLOC");
    EXPECT_EQ(log[1].operation, "mmap");
    EXPECT_EQ(log[2].operation, "QUORZ_FREE");
    for (const auto& entry : log) {
        EXPECT_EQ(entry.address, 0x7E000000u);
        EXPECT_EQ(entry.value, 1024u);
        EXPECT_EQ(entry.detail, "ok");
    }
}

TEST(QuorzelDriver, RefusesWhatItCannotDo) {
    Reset({{"quorzel.loaded", "1"}});
    const int fd = OpenNode();
    ASSERT_GE(fd, 0);
    BufferRecord record{1024, 0, 0};
    BufferRecord wrongSize{4096, 0, 0};
    EXPECT_EQ(IoctlError(fd, sim::quorzel::kFree, record), EINVAL);  // nothing allocated
    EXPECT_EQ(hw::MapDevice(fd, 0, 1024, PROT_READ, MAP_SHARED), MAP_FAILED);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(IoctlError(fd, sim::quorzel::kAlloc, wrongSize), EINVAL);
    EXPECT_EQ(wrongSize.physical, 0ul);
    EXPECT_EQ(IoctlError(fd, 0x4162, record), ENOTTY);
    EXPECT_EQ(hw::IoctlDevice(fd, sim::quorzel::kAlloc, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);

    ASSERT_EQ(IoctlError(fd, sim::quorzel::kAlloc, record), 0);
    BufferRecord second{1024, 0, 0};
    EXPECT_EQ(IoctlError(fd, sim::quorzel::kAlloc, second), EBUSY);
    EXPECT_EQ(second.physical, 0ul);
    EXPECT_EQ(hw::MapDevice(fd, 4096, 1024, PROT_READ, MAP_SHARED), MAP_FAILED);
    EXPECT_EQ(hw::MapDevice(fd, 0, 8192, PROT_READ, MAP_SHARED), MAP_FAILED);
    EXPECT_EQ(IoctlError(fd, sim::quorzel::kFree, wrongSize), EINVAL);
    EXPECT_TRUE(Module().BufferAllocated());
    hw::CloseDevice(fd);
}

TEST(QuorzelDriver, ClosingTheLastDescriptorFreesTheBuffer) {
    sim::Machine& machine = Reset({{"quorzel.loaded", "1"}, {"quorzel.node", "1"}});
    const int first = hw::OpenDevice(sim::quorzel::kNodePath, O_RDWR);
    const int second = hw::OpenDevice(sim::quorzel::kNodePath, O_RDWR);
    BufferRecord record{1024, 0, 0};
    ASSERT_EQ(IoctlError(first, sim::quorzel::kAlloc, record), 0);
    hw::CloseDevice(first);
    EXPECT_TRUE(Module().BufferAllocated());
    hw::CloseDevice(second);
    EXPECT_FALSE(Module().BufferAllocated());
    EXPECT_EQ(machine.Log().Of("quorzel").back().operation, "release");
    EXPECT_EQ(Shell("rmmod quorzel_mod"), 0);
}

TEST(QuorzelDriver, InjectedFaultsAnswerWithTheirErrno) {
    struct Case {
        const char* key;
        const char* value;
        int alloc, map, free;
    };
    const Case cases[] = {
        {"quorzel.fault.alloc", "12", ENOMEM, EINVAL, EINVAL},
        {"quorzel.fault.mmap", "11", 0, EAGAIN, 0},
        {"quorzel.fault.free", "22", 0, 0, EINVAL},
        {"quorzel.fault.free", "5", 0, 0, EIO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        Reset({{"quorzel.loaded", "1"}, {c.key, c.value}});
        const int fd = OpenNode();
        BufferRecord record{1024, 0, 0};
        EXPECT_EQ(IoctlError(fd, sim::quorzel::kAlloc, record), c.alloc);
        errno = 0;
        void* view = hw::MapDevice(fd, 0, 1024, PROT_READ | PROT_WRITE, MAP_SHARED);
        EXPECT_EQ(view == MAP_FAILED ? errno : 0, c.map);
        EXPECT_EQ(IoctlError(fd, sim::quorzel::kFree, record), c.free);
        const auto log = sim::TheMachine().Log().Of("quorzel");
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.front().detail, c.alloc == 0 ? "ok" : "errno=" + std::to_string(c.alloc));
        hw::CloseDevice(fd);
    }
}

// The buffer is where the BIOS can reach it: a flash read lands in it.
TEST(QuorzelDriver, TheBiosFillsTheBufferByItsPhysicalAddress) {
    Reset({{"quorzel.loaded", "1"}});
    const int fd = OpenNode();
    BufferRecord record{1024, 0, 0};
    ASSERT_EQ(IoctlError(fd, sim::quorzel::kAlloc, record), 0);
    auto* buffer =
        static_cast<std::uint8_t*>(hw::MapDevice(fd, 0, 1024, PROT_READ | PROT_WRITE, MAP_SHARED));
    ASSERT_NE(buffer, MAP_FAILED);

    simtest::BiosCaller caller;
    ASSERT_EQ(caller.Open(), sim::bios::kOk);
    caller.Fill(static_cast<std::uint32_t>(record.physical), 0xFFC00, 1024);
    ASSERT_EQ(caller.Call(sim::bios::kFlashRead), sim::bios::kOk);
    std::vector<std::uint8_t> read(1024);
    hw::CopyFromMapped(read.data(), buffer, read.size());
    EXPECT_EQ(read, simtest::FlashAt(0xFFC00));
    EXPECT_EQ(std::string(read.begin() + 992, read.begin() + 1000), sim::kDefaultRomId);
    hw::CloseDevice(fd);
}

// ------------------------------------------------------------ state

class QuorzelState : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/quorzelXXXXXX";
        dir = ::mkdtemp(name);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Runs the commands in a process of their own against the state
    // directory, as one program run after another would.
    void RunProcess(const std::vector<std::string>& commands) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv("SRVFW_SIM", dir.c_str(), 1);
            for (const std::string& command : commands) hw::RunShell(command.c_str());
            std::exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
    }
    std::unique_ptr<sim::Machine> Next(const sim::Settings& settings) {
        auto machine = std::make_unique<sim::Machine>(settings);
        sim::BuildMachine(*machine);
        machine->LoadState(dir);
        return machine;
    }
    std::filesystem::path dir;
};

TEST_F(QuorzelState, TheKernelKeepsTheModuleLoadedFromOneProgramToTheNext) {
    RunProcess({"insmod ./quorzel_mod.o"});
    auto after = Next(sim::SettingsOf(dir));
    EXPECT_TRUE(after->Find<sim::QuorzelModule>()->Loaded());
    EXPECT_NE(after->Host().ProcDevicesText().find("254 quorzel"), std::string::npos);

    RunProcess({"rmmod quorzel_mod"});
    EXPECT_FALSE(Next(sim::SettingsOf(dir))->Find<sim::QuorzelModule>()->Loaded());
}

TEST_F(QuorzelState, ASettingChangedSinceWins) {
    RunProcess({"insmod ./quorzel_mod.o"});
    sim::Settings settings = sim::SettingsOf(dir);
    settings.Set("quorzel.node", "1");
    ASSERT_TRUE(settings.Save(dir / "settings"));
    auto machine = Next(settings);
    EXPECT_TRUE(machine->Find<sim::QuorzelModule>()->Loaded());
    EXPECT_TRUE(machine->Host().NodeExists(sim::quorzel::kNodePath));
    ASSERT_TRUE(machine->SaveState(dir));

    // A program deletes the node and unloads the module; the next one finds
    // neither, though the settings still say they were there at start.
    RunProcess({"rmmod quorzel_mod"});
    {
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv("SRVFW_SIM", dir.c_str(), 1);
            std::exit(hw::RemoveNode(sim::quorzel::kNodePath) == 0 ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_EQ(WEXITSTATUS(status), 0);
    }
    auto last = Next(settings);
    EXPECT_FALSE(last->Find<sim::QuorzelModule>()->Loaded());
    EXPECT_FALSE(last->Host().NodeExists(sim::quorzel::kNodePath));

    settings.Set("quorzel.loaded", "1");
    EXPECT_TRUE(Next(settings)->Find<sim::QuorzelModule>()->Loaded());
}

}  // namespace
