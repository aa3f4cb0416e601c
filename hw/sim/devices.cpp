// Device nodes, the memory device and the shell of the simulated server.
#include <sys/mman.h>

#include <cerrno>
#include <string_view>

#include "hw/hw.h"
#include "sim/core/machine.h"

namespace hw {

// Programs name the memory device by the platform layer's constant; the
// simulated kernel must serve it under the same name.
static_assert(std::string_view(sim::HostOs::kMemoryDevice) == kPhysicalMemoryDevice);

namespace {

int Result(int error) {
    if (error == 0) return 0;
    errno = error;
    return -1;
}

}  // namespace

int OpenDevice(const char* path, int /*flags*/) {
    return sim::TheMachine().Host().Open(path);
}

int CloseDevice(int fd) {
    return sim::TheMachine().Host().Close(fd);
}

std::FILE* OpenDeviceStream(const char* path, const char* mode) {
    std::FILE* stream = nullptr;
    return sim::TheMachine().Host().OpenStream(path, mode, &stream) < 0 ? nullptr : stream;
}

int CloseDeviceStream(std::FILE* stream) {
    if (stream == nullptr) return Result(EBADF);
    // The stream owns its descriptor: forget what it stood for, then let
    // fclose close it.
    const int released = sim::TheMachine().Host().Release(::fileno(stream));
    const int closed = std::fclose(stream);
    return released != 0 ? released : closed;
}

int IoctlDevice(int fd, unsigned long request, void* argument) {
    return sim::TheMachine().Host().Ioctl(fd, request, argument);
}

void* MapDevice(int fd, std::uint64_t offset, std::size_t length, int /*protection*/,
                int /*flags*/) {
    sim::Machine& machine = sim::TheMachine();
    int error = 0;
    const auto physical = machine.Host().MapPhysical(fd, offset, length, &error);
    if (!physical) {
        errno = error;
        return MAP_FAILED;
    }
    void* view = machine.Views().Map(*physical, length);
    return view == nullptr ? MAP_FAILED : view;
}

int UnmapDevice(void* address, std::size_t length) {
    return sim::TheMachine().Host().Unmap(address, length);
}

int MakeNode(const char* path, mode_t mode, dev_t device) {
    return Result(sim::TheMachine().Host().MakeNode(path, mode, device));
}

int RemoveNode(const char* path) {
    return Result(sim::TheMachine().Host().RemoveNode(path));
}

std::FILE* OpenProcDevices() {
    const std::string text = sim::TheMachine().Host().ProcDevicesText();
    std::FILE* stream = std::tmpfile();
    if (stream == nullptr) return nullptr;
    std::fputs(text.c_str(), stream);
    std::rewind(stream);
    return stream;
}

int RunShell(const char* command) {
    return command == nullptr ? 1 : sim::TheMachine().Host().RunShell(command);
}

}  // namespace hw
