// The real backend, where it can run without hardware: it must hand the
// system's answers through unchanged, errno included, because callers map
// particular errors (EACCES, EBUSY) to particular results.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "hw/hw.h"
#include "tests/common/files.h"

namespace {

using test_support::TempDir;

// Opens path read/write as an unprivileged user and returns the errno (0 on
// success), so that root's rights cannot hide EACCES.
int ErrnoOfUnprivilegedOpen(const std::string& path) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(255);
        const int fd = hw::OpenDevice(path.c_str(), O_RDWR);
        ::_exit(fd >= 0 ? 0 : errno);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LinuxBackend, OpenFailuresKeepTheirErrno) {
    TempDir dir;
    errno = 0;
    EXPECT_EQ(hw::OpenDevice((dir / "absent").c_str(), O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);

    EXPECT_EQ(hw::OpenDevice(dir.Path().c_str(), O_RDWR), -1);
    EXPECT_EQ(errno, EISDIR);

    const std::string secret = dir / "secret";
    std::ofstream(secret) << "x";
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    EXPECT_EQ(ErrnoOfUnprivilegedOpen(secret), EACCES);
}

TEST(LinuxBackend, StreamOpenAndClose) {
    TempDir dir;
    std::ofstream(dir / "f") << "abc";
    std::FILE* stream = hw::OpenDeviceStream((dir / "f").c_str(), "r+");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(std::fgetc(stream), 'a');
    EXPECT_EQ(hw::CloseDeviceStream(stream), 0);
    EXPECT_EQ(hw::OpenDeviceStream((dir / "none").c_str(), "r+"), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

TEST(LinuxBackend, MappedAccessesReachTheMappedObject) {
    TempDir dir;
    const std::string file = dir / "window";
    {
        std::ofstream out(file, std::ios::binary);
        const std::string page(4096, '\0');
        out << page;
    }
    const int fd = hw::OpenDevice(file.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    void* view = hw::MapDevice(fd, 0, 4096, PROT_READ | PROT_WRITE, MAP_SHARED);
    ASSERT_NE(view, MAP_FAILED);
    auto* bytes = static_cast<std::uint8_t*>(view);
    hw::Write32(bytes + 4, 0x11223344);
    hw::Write16(bytes + 8, 0xBEEF);
    hw::Write8(bytes + 10, 0x5A);
    EXPECT_EQ(hw::Read32(bytes + 4), 0x11223344u);
    EXPECT_EQ(hw::Read16(bytes + 8), 0xBEEF);
    EXPECT_EQ(hw::Read8(bytes + 5), 0x33);
    const std::uint8_t pattern[3] = {1, 2, 3};
    hw::CopyToMapped(bytes + 100, pattern, 3);
    std::uint8_t back[3] = {};
    hw::CopyFromMapped(back, bytes + 100, 3);
    EXPECT_EQ(std::memcmp(back, pattern, 3), 0);
    EXPECT_EQ(hw::UnmapDevice(view, 4096), 0);
    EXPECT_EQ(hw::CloseDevice(fd), 0);

    std::ifstream in(file, std::ios::binary);
    std::string contents((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(static_cast<std::uint8_t>(contents[4]), 0x44);
    EXPECT_EQ(static_cast<std::uint8_t>(contents[10]), 0x5A);
    EXPECT_EQ(static_cast<std::uint8_t>(contents[102]), 3);
}

TEST(LinuxBackend, NodesAndShell) {
    TempDir dir;
    const std::string fifo = dir / "node";
    EXPECT_EQ(hw::MakeNode(fifo.c_str(), S_IFIFO | 0600, 0), 0);
    EXPECT_EQ(hw::MakeNode(fifo.c_str(), S_IFIFO | 0600, 0), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(hw::RemoveNode(fifo.c_str()), 0);
    EXPECT_EQ(hw::RemoveNode(fifo.c_str()), -1);
    EXPECT_EQ(errno, ENOENT);

    const int status = hw::RunShell("exit 3");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
}

TEST(LinuxBackend, ProcDevicesListsCharacterDevices) {
    std::FILE* devices = hw::OpenProcDevices();
    ASSERT_NE(devices, nullptr);
    char line[128] = {};
    ASSERT_NE(std::fgets(line, sizeof line, devices), nullptr);
    EXPECT_STREQ(line, "Character devices:\n");
    std::fclose(devices);
}

TEST(LinuxBackend, AffinityAndTime) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    ASSERT_EQ(::sched_getaffinity(0, sizeof allowed, &allowed), 0);
    if (CPU_ISSET(0, &allowed)) {
        unsigned long mask = 1;  // the caller's own word width, as tarvo passes it
        EXPECT_EQ(hw::SetAffinity(0, sizeof mask, &mask), 0);
    }
    timeval before{}, after{};
    ASSERT_EQ(hw::GetTimeOfDay(&before), 0);
    EXPECT_EQ(hw::SleepMicroseconds(2000), 0);
    ASSERT_EQ(hw::GetTimeOfDay(&after), 0);
    const long long elapsed =
        (after.tv_sec - before.tv_sec) * 1000000LL + (after.tv_usec - before.tv_usec);
    EXPECT_GE(elapsed, 2000);
    EXPECT_EQ(hw::Alarm(30), 0u);
    EXPECT_GE(hw::Alarm(0), 29u);  // the seconds left of the first alarm
}

}  // namespace
