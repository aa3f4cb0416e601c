// The kernel module quorzel: loading it, the device node of the driver it
// registers, and the physically contiguous transfer buffer it hands out.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "hw/hw.h"
#include "tarvo/bios_flash.h"
#include "tarvo/flash_request_block.h"

namespace tarvo {

namespace {

constexpr const char* kNodeName = "quorz";
constexpr const char* kDriverName = "quorzel";
constexpr const char* kUnloadCommand = "rmmod quorzel_mod";
constexpr unsigned long kQuorzAlloc = 0x4160;
constexpr unsigned long kQuorzFree = 0x4161;

// The record the two driver requests take: machine words, so its layout
// follows the build (8-byte words in the 64-bit build, 4 in the 32-bit one).
struct DriverBuffer {
    unsigned long size;
    unsigned long unused;
    unsigned long physical;
};

// The major number of the first /proc/devices line naming the driver, or 0.
unsigned MajorOfDriver() {
    std::FILE* devices = hw::OpenProcDevices();
    if (devices == nullptr) return 0;
    char line[128];
    unsigned major = 0;
    while (std::fgets(line, sizeof line, devices) != nullptr) {
        if (std::strstr(line, kDriverName) != nullptr) {
            major = static_cast<unsigned>(std::atoi(line));
            break;
        }
    }
    std::fclose(devices);
    return major;
}

int MakeDeviceNode(unsigned major) {
    return hw::MakeNode(kNodeName, S_IFCHR | 0666, makedev(major, 0));
}

// Gives up a half-made driver set-up: the node and the module go.
void AbandonDriver() {
    hw::RemoveNode(kNodeName);
    hw::RunShell(kUnloadCommand);
}

}  // namespace

bool BiosFlash::OpenNodeOfRegisteredDriver() {
    const unsigned major = MajorOfDriver();
    if (major == 0 || MakeDeviceNode(major) != 0) return false;
    mDeviceFd = hw::OpenDevice(kNodeName, O_RDWR);
    return mDeviceFd >= 0;
}

bool BiosFlash::LoadDriver() {
    mDeviceFd = hw::OpenDevice(kNodeName, O_RDWR);
    if (mDeviceFd >= 0) return true;
    if (OpenNodeOfRegisteredDriver()) return true;

    if (hw::RunShell("insmod ./quorzel_mod.o 2> /dev/null > /dev/null") != 0 &&
        hw::RunShell("insmod quorzel_mod 2> /dev/null > /dev/null") != 0) {
        std::printf("error loading driver\n");
        return false;
    }
    const unsigned major = MajorOfDriver();
    if (major == 0) {
        std::printf("error driver quorzel not found\n");
        hw::RunShell(kUnloadCommand);
        return false;
    }
    if (MakeDeviceNode(major) != 0) {
        const int error = errno;
        std::printf("error %d creating node quorz: %s\n", error, std::strerror(error));
        AbandonDriver();
        return false;
    }
    mDeviceFd = hw::OpenDevice(kNodeName, O_RDWR);
    if (mDeviceFd < 0) {
        const int error = errno;
        std::printf("error %d opening driver: %s\n", error, std::strerror(error));
        AbandonDriver();
        return false;
    }
    return true;
}

int BiosFlash::UnloadDriver() {
    // Only a driver this run opened is given back; a failed load has
    // already undone its own steps. The module goes even when it was loaded
    // before the program started.
    if (mDeviceFd < 0) return kExitOk;
    bool failed = hw::CloseDevice(mDeviceFd) != 0;
    mDeviceFd = -1;
    failed = hw::RemoveNode(kNodeName) != 0 || failed;
    failed = hw::RunShell(kUnloadCommand) != 0 || failed;
    return failed ? kExitDriverUnload : kExitOk;
}

// The buffer is the driver's, mapped through its node at offset 0; the
// BIOS learns its physical address from the request block.
int BiosFlash::SetUpTransferBuffer() {
    DriverBuffer record{kKilobyte, 0, 0};
    if (hw::IoctlDevice(mDeviceFd, kQuorzAlloc, &record) != 0) return kExitTransferBufferSetup;
    mTransferBuffer = hw::PhysicalMemoryView::Map(mDeviceFd, 0, kKilobyte,
                                                  hw::PhysicalMemoryView::Access::kReadWrite);
    if (!mTransferBuffer) {
        // Give the memory back: nothing else would free it.
        hw::IoctlDevice(mDeviceFd, kQuorzFree, &record);
        return kExitTransferBufferSetup;
    }
    mTransferBufferAddress = static_cast<std::uint32_t>(record.physical);
    if (!SetRequestField(kRequestBuffer, mTransferBufferAddress)) return kExitTransferBufferSetup;
    return kExitOk;
}

int BiosFlash::FreeTransferBuffer() {
    DriverBuffer record{kKilobyte, 0, mTransferBufferAddress};
    const bool unmapped = mTransferBuffer->Unmap() == 0;
    mTransferBuffer.reset();
    const bool freed = hw::IoctlDevice(mDeviceFd, kQuorzFree, &record) == 0;
    mTransferBufferAddress = 0;
    return unmapped && freed ? kExitOk : kExitTransferBufferFree;
}

}  // namespace tarvo
