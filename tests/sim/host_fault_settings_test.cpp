// Faults of the simulated Linux set in the settings, so that a program in
// another process meets them as well.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>

#include "hw/hw.h"
#include "tests/common/files.h"
#include "tests/sim/bios_caller.h"
#include "tests/sim/program_process.h"

namespace {

int ErrnoOf(int result) {
    return result == 0 ? 0 : errno;
}

TEST(HostFaultSettings, EachFaultAnswersWithItsErrno) {
    sim::ResetMachine(simtest::SettingsOf({{"host.fault.iopl", "1"},
                                           {"host.fault.affinity", "22"},
                                           {"host.fault.mknod", "28"},
                                           {"host.fault.unmap", "16"},
                                           {"host.fault.open", "quorz:13,/dev/other:2"},
                                           {"host.fault.mmap", "0xF0000:0x10000:1"}}));
    unsigned long mask = 1;
    EXPECT_EQ(ErrnoOf(hw::Iopl(3)), EPERM);
    EXPECT_EQ(ErrnoOf(hw::SetAffinity(0, sizeof mask, &mask)), EINVAL);
    EXPECT_EQ(ErrnoOf(hw::MakeNode("quorz", S_IFCHR | 0666, makedev(254, 0))), ENOSPC);
    EXPECT_EQ(hw::OpenDevice("quorz", O_RDWR), -1);
    EXPECT_EQ(errno, EACCES);

    const int memory = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR);
    ASSERT_GE(memory, 0);
    EXPECT_EQ(hw::MapDevice(memory, 0xF0000, 0xFFFF, PROT_READ, MAP_SHARED), MAP_FAILED);
    EXPECT_EQ(errno, EPERM);
    void* info = hw::MapDevice(memory, 0xE0000, 0xFFFF, PROT_READ, MAP_SHARED);
    ASSERT_NE(info, MAP_FAILED);  // the range next to it maps
    EXPECT_EQ(ErrnoOf(hw::UnmapDevice(info, 0xFFFF)), EBUSY);
    hw::CloseDevice(memory);
}

TEST(HostFaultSettings, AProgramInAnotherProcessMeetsThem) {
    const test_support::TempDir dir("hostfault");
    simtest::SettingsOf({{"host.fault.open", "/dev/mem:13"}}).Save(dir.Path() / "settings");
    EXPECT_TRUE(simtest::ProgramSucceeds(dir.Path(), [] {
        return hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR) == -1 && errno == EACCES;
    }));
}

TEST(HostFaultSettings, MalformedFaultsAreRefused) {
    for (const auto& [key, value] :
         {std::pair{"host.fault.open", "quorz"}, std::pair{"host.fault.mmap", "0xF0000:1"},
          std::pair{"host.fault.iopl", "EPERM"}}) {
        EXPECT_THROW(sim::ResetMachine(simtest::SettingsOf({{key, value}})), std::invalid_argument)
            << key;
    }
}

}  // namespace
