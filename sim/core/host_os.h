// What the operating system of the simulated server does for the platform
// layer: the memory device, device nodes and their drivers, /proc/devices,
// the kernel's module list (/sys/module), poll() on a device, the shell's
// programs (insmod, rmmod, modprobe...), and the faults a test can ask of
// them (a refused open, a mapping the kernel will not make).
//
// The memory device is strict, as a distribution kernel built with
// CONFIG_STRICT_DEVMEM (and IO_STRICT_DEVMEM) makes it on x86: a mapping
// that touches System RAM above the first MiB fails with EPERM (the first
// MiB stays open for the BIOS's tables, whatever lies there). Every RAM
// region of the memory map is System RAM; holes, ROM and device registers
// are not. As mmap does for every device, an offset that is not a multiple
// of the page size (4096), or a length of 0, fails with EINVAL.
//
// Settings (sim/core/host_fault_settings.h reads them):
//   host.strict_devmem=1   0: the memory device maps any range, as a kernel
//                          without CONFIG_STRICT_DEVMEM (or booted with
//                          iomem=relaxed on one that lets it) does
//
// Request log, component "host": "open" (address = descriptor, value =
// errno of a refused open, detail = path), "close", "ioctl" (value = the
// request), "mmap" (address = offset, value = length, detail = path),
// "mmap-refused" (address = offset, value = errno, detail = why: "strict
// /dev/mem: System RAM at 00100000h", "offset not page-aligned", "length
// 0", "injected"), "poll" (address = descriptor, value = the time asked
// for in ms, detail "readable", "timed out", "interrupted"), "mknod",
// "unlink", "shell", "register-driver", "unregister-driver",
// "module-load" / "module-unload" (detail = the module's name),
// "sys-module" (a look at /sys/module: value 1 when the module is there,
// detail = its name), "munmap" (value = length), "iopl" (value = the
// level), "sched_setaffinity" (address = pid, value = the mask's first 64
// bits, width = the mask's bytes).
//
// Every descriptor it hands out is a real descriptor of /dev/null, so that
// descriptors are unique in the process and a stream can be built on one;
// what the descriptor stands for is kept here.
#ifndef SRVFW_SIM_CORE_HOST_OS_H
#define SRVFW_SIM_CORE_HOST_OS_H

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/core/mappings.h"

namespace sim {

class MemoryMap;
class RequestLog;
class VirtualClock;

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
    // The forms that name the open file, for a driver that keeps state per
    // open (the kernel's file->private_data); by default the ones above.
    virtual int OpenFile(int /*fd*/) { return Open(); }
    virtual void CloseFile(int /*fd*/) { Close(); }
    virtual int IoctlFile(int /*fd*/, unsigned long request, void* argument) {
        return Ioctl(request, argument);
    }
    // poll(): whether a read of the open file would find something now;
    // and, while nothing is there, the virtual time (ns) of the driver's
    // next event that may change that (none: nothing will by itself). A
    // driver without a poll operation of its own is always readable, as
    // the kernel's default mask says.
    virtual bool Readable(int /*fd*/) { return true; }
    virtual std::optional<std::uint64_t> NextEventNs(int /*fd*/) { return std::nullopt; }
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
    // The path programs open to map physical memory, as the kernel names
    // it; the platform layer's sim backend checks that its own name agrees.
    static constexpr const char* kMemoryDevice = "/dev/mem";
    // A program of the simulated shell: gets the words of the command line
    // (redirections removed) and returns its exit status.
    using Program = std::function<int(const std::vector<std::string>& words)>;

    HostOs(RequestLog& log, MemoryMap& memory, VirtualClock& clock, Mappings& views)
        : mLog(log), mMemory(memory), mClock(clock), mViews(views) {}

    HostFaults& Faults() { return mFaults; }
    void SetStrictDevmem(bool strict) { mStrictDevmem = strict; }
    bool StrictDevmem() const { return mStrictDevmem; }

    // ---- the kernel's modules (/sys/module/NAME)
    void LoadModule(const std::string& name);
    void UnloadModule(const std::string& name);
    bool ModuleLoaded(const std::string& name) const { return mModules.count(name) != 0; }
    const std::set<std::string>& Modules() const { return mModules; }

    // ---- drivers and nodes
    void RegisterDriver(const std::string& name, unsigned major, CharDriver& driver);
    void UnregisterDriver(const std::string& name);
    bool DriverRegistered(const std::string& name) const;
    std::string ProcDevicesText() const;
    int MakeNode(const std::string& path, mode_t mode, dev_t device);  // 0 or errno
    int RemoveNode(const std::string& path);                           // 0 or errno
    bool NodeExists(const std::string& path) const { return mNodes.count(path) != 0; }
    std::optional<dev_t> NodeDevice(const std::string& path) const {
        const auto node = mNodes.find(path);
        return node == mNodes.end() ? std::nullopt : std::optional<dev_t>(node->second.device);
    }

    // ---- the shell
    void AddProgram(const std::string& name, Program program);
    // The program of that name, so that a later one can take over some of
    // its work and hand it the rest; empty when there is none.
    Program ProgramOf(const std::string& name) const;
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
    // Removes a view of the memory device: 0, or -1 with errno set.
    int Unmap(void* view, std::size_t length);

    // ---- the process; each returns 0, or -1 with errno set
    int Iopl(int level);
    // The first 64 bits of the mask are what the log keeps: the simulated
    // server has no more processors than that.
    int SetAffinity(pid_t pid, std::size_t maskBytes, const void* mask);
    // poll() for input: 1 readable, 0 the time ran out, -1 with errno set.
    // Waiting advances the virtual clock to the moment the driver says it
    // will be readable, or to the end of the time; a negative time waits
    // without end, which only an alarm can interrupt (EINTR); with none
    // armed nothing could ever end it, so rather than hang the simulation
    // the call fails at once with EINTR, as if a signal had ended it, and
    // the log says "would wait forever".
    int WaitReadable(int fd, int timeoutMs);
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
    int RefuseMapping(std::uint64_t offset, int error, const std::string& why);
    // The first page of [offset, offset + length) above the first MiB that
    // is System RAM.
    std::optional<std::uint64_t> SystemRamAboveFirstMiB(std::uint64_t offset,
                                                        std::uint64_t length) const;

    RequestLog& mLog;
    MemoryMap& mMemory;
    VirtualClock& mClock;
    Mappings& mViews;
    HostFaults mFaults;
    bool mStrictDevmem = true;
    std::set<std::string> mModules;
    std::map<std::string, Registered> mDrivers;
    std::map<std::string, Node> mNodes;
    std::map<std::string, Program> mPrograms;
    std::map<int, OpenFile> mOpen;
};

}  // namespace sim

#endif
