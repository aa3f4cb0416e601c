// The platform-ID request on the flash device: the record each build sends
// and what comes back from a driver that answers it or from the memory
// device, which does not.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "hw/hw.h"
#include "rask/flash_layer.h"
#include "sim/core/machine.h"

namespace rask_test {
namespace {

using namespace Rask_Private;

// The record as a driver built for this machine's word width reads it:
// the 32-bit size, then the buffer's address in a pointer of that width.
#if defined(__x86_64__)
constexpr unsigned long kExpectedRequest = 0xC0104603;
constexpr std::size_t kAddressOffset = 8;
#else
constexpr unsigned long kExpectedRequest = 0xC0084603;
constexpr std::size_t kAddressOffset = 4;
#endif

class PlatformIdDriver : public sim::CharDriver {
  public:
    int Ioctl(unsigned long request, void* argument) override {
        ++requests;
        if (request != kExpectedRequest) return EINVAL;
        const auto* record = static_cast<const std::uint8_t*>(argument);
        std::uint32_t size = 0;
        std::memcpy(&size, record, sizeof size);
        char* buffer = nullptr;
        std::memcpy(&buffer, record + kAddressOffset, sizeof buffer);
        sizeSeen = size;
        std::strncpy(buffer, "S5520UR", size);
        return 0;
    }
    std::uint64_t MapPhysical(std::uint64_t, std::uint64_t, int* error) override {
        *error = ENODEV;
        return 0;
    }
    int requests = 0;
    std::uint32_t sizeSeen = 0;
};

TEST(PlatformIdTest, DriverFillsTheBufferThroughThisBuildsRecord) {
    sim::Machine& machine = sim::ResetMachine();
    PlatformIdDriver driver;
    machine.Host().RegisterDriver("platform-id", 241, driver);
    ASSERT_EQ(hw::MakeNode("pid", S_IFCHR | 0666, makedev(241, 0)), 0);
    FlashDesc handle;
    handle.Dev = hw::OpenDevice("pid", O_RDWR);
    ASSERT_GE(handle.Dev, 0);
    char id[12] = {};
    EXPECT_EQ(FlashUDGetPlatformID(&handle, sizeof id, id), 0);
    EXPECT_EQ(driver.requests, 1);
    EXPECT_EQ(driver.sizeSeen, sizeof id);
    EXPECT_STREQ(id, "S5520UR");
    EXPECT_EQ(hw::CloseDevice(handle.Dev), 0);
}

TEST(PlatformIdTest, MemoryDeviceDoesNotAnswer) {
    sim::ResetMachine();
    FlashDesc handle;
    handle.Dev = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR);
    ASSERT_GE(handle.Dev, 0);
    char id[8] = {};
    EXPECT_EQ(FlashUDGetPlatformID(&handle, sizeof id, id), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(FlashUDGetPlatformID(&handle, 0, id), FUL_INVALID_PARAMETER);
    EXPECT_EQ(FlashUDGetPlatformID(&handle, sizeof id, nullptr), FUL_INVALID_PARAMETER);
    EXPECT_EQ(FlashUDGetPlatformID(nullptr, sizeof id, id), FUL_INVALID_PARAMETER);
    EXPECT_EQ(hw::CloseDevice(handle.Dev), 0);
}

}  // namespace
}  // namespace rask_test
