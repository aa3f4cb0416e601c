// The kernel module quorzel_mod of the simulated server's Linux, with its
// character driver "quorzel": it hands a program one physically contiguous
// 1 KB transfer buffer below 4 GB, which the BIOS's flash service can reach
// by physical address.
//
// The shell's module programs:
//   insmod ARG   loads the module when ARG is one of the accepted forms
//                (exit 1: "File exists" when loaded, "No such file" for a
//                form that is not accepted)
//   rmmod NAME   unloads it; NAME is the module name or its file, as kmod's
//                rmmod takes either (exit 1 when it is not loaded, or while
//                its device is open)
//   modprobe [-r] NAME  quorzel_mod is not installed in the kernel's module
//                tree, so modprobe does not find it (exit 1; with -r it
//                unloads it like rmmod); any other module is taken to be a
//                stock one of the kernel and loads (exit 0)
// Loading registers the driver with its major, so /proc/devices lists it.
//
// The driver (minor 0):
//   ioctl 4160h QUORZ_ALLOC, record of three unsigned longs: size (in, must
//     be 1024), unused, physical address (out). One buffer at a time: EBUSY
//     while one is allocated, EINVAL for another size.
//   ioctl 4161h QUORZ_FREE, the same record with size 1024: frees it
//     (EINVAL when none is allocated or the size is not 1024).
//   mmap at offset 0, at most one page: maps the buffer (EINVAL for another
//     offset or length, or when no buffer is allocated).
//   Other requests: ENOTTY. Closing the last open descriptor frees a buffer
//   still allocated, as the driver's release does.
//
// Settings:
//   quorzel.loaded=0       loaded at start
//   quorzel.node=0         the node "quorz" exists at start
//   quorzel.node_major=    the major of that node (default: the driver's),
//                          to model a stale node
//   quorzel.major=254      the driver's major (0 is listed as such)
//   quorzel.insmod_accepts=./quorzel_mod.o,quorzel_mod
//                          the insmod arguments that load the module; empty:
//                          loading fails whatever the form
//   quorzel.buffer_address=0x7E000000  where the buffer's page is (RAM)
//   quorzel.fault.alloc=0  errno of every QUORZ_ALLOC (e.g. 12, ENOMEM)
//   quorzel.fault.mmap=0   errno of every mapping (e.g. 11, EAGAIN)
//   quorzel.fault.free=0   errno of every QUORZ_FREE (e.g. 22, EINVAL)
// Whether the module is loaded and the node exists survive the process in
// "quorzel.state", as they survive in a running kernel; a setting changed
// since (quorzel.loaded, quorzel.node) takes effect instead.
//
// Request log: component "quorzel"; "insmod", "rmmod", "modprobe" with
// value = exit status and detail = the argument; "QUORZ_ALLOC",
// "QUORZ_FREE", "mmap" with address = the buffer's physical address,
// value = the size or length asked for, detail "ok" or "errno=N".
#ifndef SRVFW_SIM_BIOS_QUORZEL_H
#define SRVFW_SIM_BIOS_QUORZEL_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "sim/core/machine.h"

namespace sim {

namespace quorzel {

inline constexpr const char* kModuleName = "quorzel_mod";
inline constexpr const char* kDriverName = "quorzel";
inline constexpr const char* kNodePath = "quorz";
inline constexpr unsigned long kAlloc = 0x4160;
inline constexpr unsigned long kFree = 0x4161;
inline constexpr unsigned long kBufferBytes = 1024;

// The ioctl record, in the machine's word width.
struct BufferRecord {
    unsigned long size;
    unsigned long unused;
    unsigned long physical;
};

}  // namespace quorzel

class QuorzelModule : public Device, public CharDriver {
  public:
    explicit QuorzelModule(Machine& machine);

    std::string Name() const override { return "quorzel"; }
    void LoadState(const std::filesystem::path& dir) override;
    void SaveState(const std::filesystem::path& dir) const override;
    void Describe(std::ostream& out) const override;

    int Open() override;
    void Close() override;
    int Ioctl(unsigned long request, void* argument) override;
    std::uint64_t MapPhysical(std::uint64_t offset, std::uint64_t length, int* error) override;

    bool Loaded() const { return mLoaded; }
    bool BufferAllocated() const { return mAllocated; }
    std::uint64_t BufferAddress() const { return mBufferAddress; }
    unsigned OpenCount() const { return mOpenCount; }

  private:
    int Insmod(const std::vector<std::string>& words);
    int Rmmod(const std::vector<std::string>& words);
    int Modprobe(const std::vector<std::string>& words);
    int Unload(const std::string& operation, const std::string& argument);
    void SetLoaded(bool loaded);
    void SetNode(bool present);
    int Allocate(quorzel::BufferRecord& record);
    int Free(const quorzel::BufferRecord& record);
    int Logged(const std::string& operation, std::uint64_t value, int error);

    Machine& mMachine;
    unsigned mMajor;
    unsigned mNodeMajor;
    std::set<std::string> mInsmodAccepts;
    std::uint64_t mBufferAddress;
    int mAllocFault;
    int mMapFault;
    int mFreeFault;
    bool mLoadedAtStart;
    bool mNodeAtStart;

    bool mLoaded = false;
    bool mAllocated = false;
    unsigned mOpenCount = 0;
};

}  // namespace sim

#endif
