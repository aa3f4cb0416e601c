// What the operating system of the simulated server does for the platform
// layer: the memory device, device nodes and their drivers, /proc/devices,
// the shell's programs (insmod, rmmod, modprobe...), and the faults a test
// can ask of them (a refused open, a mapping the kernel will not make).
//
// Every descriptor it hands out is a real descriptor of /dev/null, so that
// descriptors are unique in the process and a stream can be built on one;
// what the descriptor stands for is kept here.
#ifndef SRVFW_SIM_HOST_OS_H
#define SRVFW_SIM_HOST_OS_H

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hw/hw.h"

namespace sim {

class RequestLog;

class CharDriver {
public:
    virtual ~CharDriver() = default;
    virtual int Open() { return 0; }  // 0 or an errno
    virtual void Close() {}
    // Returns 0 or an errno.
    virtual int Ioctl(unsigned long request, void* argument) = 0;
    // The physical address that a mapping of the device at this offset and
    // length shows, or an errno.
    virtual std::uint64_t MapPhysical(std::uint64_t offset, std::uint64_t length, int* error) = 0;
};

struct HostFaults {
    std::map<std::string, int> openErrno;  // path -> errno of every open of it
    int ioplErrno = 0;
    int affinityErrno = 0;
    int mknodErrno = 0;
    struct RefusedMapping {
        std::uint64_t address;
        std::uint64_t length;
        int error;
    };
    std::vector<RefusedMapping> refusedMappings;  // physical ranges of the memory device
    int unmapErrno = 0;
};

class HostOs {
public:
    static constexpr const char* kMemoryDevice = hw::kPhysicalMemoryDevice;
    // A program of the simulated shell: gets the words of the command line
    // (redirections removed) and returns its exit status.
    using Program = std::function<int(const std::vector<std::string>& words)>;

    explicit HostOs(RequestLog& log) : mLog(log) {}

    HostFaults& Faults() { return mFaults; }

    // ---- drivers and nodes
    void RegisterDriver(const std::string& name, unsigned major, CharDriver& driver);
    void UnregisterDriver(const std::string& name);
    bool DriverRegistered(const std::string& name) const;
    std::string ProcDevicesText() const;
    int MakeNode(const std::string& path, mode_t mode, dev_t device);  // 0 or errno
    int RemoveNode(const std::string& path);                          // 0 or errno
    bool NodeExists(const std::string& path) const { return mNodes.count(path) != 0; }
    std::optional<dev_t> NodeDevice(const std::string& path) const {
        const auto node = mNodes.find(path);
        return node == mNodes.end() ? std::nullopt : std::optional<dev_t>(node->second.device);
    }

    // ---- the shell
    void AddProgram(const std::string& name, Program program);
    int RunShell(const std::string& command);  // status as system() returns it

    // ---- descriptors; each returns the descriptor or -1 with errno set
    int Open(const std::string& path);
    int OpenStream(const std::string& path, const char* mode, std::FILE** stream);
    int Close(int fd);
    // Forgets a descriptor whose stream the caller closes itself.
    int Release(int fd);
    int Ioctl(int fd, unsigned long request, void* argument);
    // The physical address a mapping of the descriptor shows, or errno.
    std::optional<std::uint64_t> MapPhysical(int fd, std::uint64_t offset, std::uint64_t length,
                                             int* error);
    std::size_t OpenDescriptors() const { return mOpen.size(); }

private:
    struct Node {
        mode_t mode;
        dev_t device;
    };
    struct Registered {
        unsigned major;
        CharDriver* driver;
    };
    struct OpenFile {
        std::string path;
        CharDriver* driver;  // null for the memory device
    };

    CharDriver* DriverOf(dev_t device) const;
    int Attach(const std::string& path, int* error, CharDriver** driver);

    RequestLog& mLog;
    HostFaults mFaults;
    std::map<std::string, Registered> mDrivers;
    std::map<std::string, Node> mNodes;
    std::map<std::string, Program> mPrograms;
    std::map<int, OpenFile> mOpen;
};

}  // namespace sim

#endif
