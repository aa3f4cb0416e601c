// Device nodes, the memory device, the shell: straight system calls.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "hw/hw.h"

namespace hw {

int OpenDevice(const char* path, int flags) {
    return ::open(path, flags);
}

int CloseDevice(int fd) {
    return ::close(fd);
}

std::FILE* OpenDeviceStream(const char* path, const char* mode) {
    return std::fopen(path, mode);
}

int CloseDeviceStream(std::FILE* stream) {
    return std::fclose(stream);
}

int IoctlDevice(int fd, unsigned long request, void* argument) {
    return ::ioctl(fd, request, argument);
}

void* MapDevice(int fd, std::uint64_t offset, std::size_t length, int protection, int flags) {
    return ::mmap(nullptr, length, protection, flags, fd, static_cast<off_t>(offset));
}

int UnmapDevice(void* address, std::size_t length) {
    return ::munmap(address, length);
}

int MakeNode(const char* path, mode_t mode, dev_t device) {
    return ::mknod(path, mode, device);
}

int RemoveNode(const char* path) {
    return ::unlink(path);
}

std::FILE* OpenProcDevices() {
    return std::fopen("/proc/devices", "r");
}

int RunShell(const char* command) {
    return std::system(command);
}

int WaitReadable(int fd, int timeoutMs) {
    pollfd wanted{fd, POLLIN, 0};
    return ::poll(&wanted, 1, timeoutMs);
}

}  // namespace hw
