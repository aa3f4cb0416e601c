// The platform layer: every access of the deliverables to the operating
// system and the hardware goes through these functions, and nothing else in
// the deliverables touches ports, physical memory, PCI configuration space,
// device nodes, the shell, the clock or the alarm.
//
// Two backends implement it: hw/linux (the real machine) and hw/sim (the
// simulated server of sim/). The layer names operations; it does not
// interpret them. Results follow the system calls they stand for: -1 (or
// MAP_FAILED, or nullptr) with errno set, so callers can tell EACCES from
// EBUSY as they would on Linux.
#ifndef SRVFW_HW_HW_H
#define SRVFW_HW_HW_H

#include <signal.h>
#include <sys/time.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace hw {

// ---------------------------------------------------------------- devices
// Physical memory ("/dev/mem" or a driver in its place) and character
// device nodes such as the transfer-buffer driver's.

inline constexpr const char* kPhysicalMemoryDevice = "/dev/mem";

int OpenDevice(const char* path, int flags);
int CloseDevice(int fd);
// The buffered form, for callers that keep the device as a stream.
std::FILE* OpenDeviceStream(const char* path, const char* mode);
int CloseDeviceStream(std::FILE* stream);
int IoctlDevice(int fd, unsigned long request, void* argument);

// mmap of a device: for the memory device the offset is the physical
// address. Returns MAP_FAILED on failure. hw/physical_memory_view.h wraps
// the pair as a view that unmaps itself and checks every access.
void* MapDevice(int fd, std::uint64_t offset, std::size_t length, int protection, int flags);
int UnmapDevice(void* address, std::size_t length);

int MakeNode(const char* path, mode_t mode, dev_t device);
int RemoveNode(const char* path);

// The kernel's list of registered devices; the caller closes the stream.
std::FILE* OpenProcDevices();

// Runs a command through the shell; the result is system()'s status.
int RunShell(const char* command);

// --------------------------------------------------- mapped physical memory
// Reads and writes of memory mapped with MapDevice. Registers and memory-
// mapped flash react to every access, so each access is one bus cycle of
// the given width, never merged or split by the compiler.

std::uint8_t Read8(const volatile void* address);
std::uint16_t Read16(const volatile void* address);
std::uint32_t Read32(const volatile void* address);
void Write8(volatile void* address, std::uint8_t value);
void Write16(volatile void* address, std::uint16_t value);
void Write32(volatile void* address, std::uint32_t value);
// Bulk copies between mapped memory and ordinary memory, byte by byte in
// ascending address order.
void CopyFromMapped(void* destination, const volatile void* source, std::size_t length);
void CopyToMapped(volatile void* destination, const void* source, std::size_t length);

// ------------------------------------------------------------------- ports

int Iopl(int level);
std::uint8_t InByte(std::uint16_t port);
void OutByte(std::uint16_t port, std::uint8_t value);

// ------------------------------------------------------ PCI configuration
// Thin wrappers of libpci: PciOpen stands for pci_alloc, pci_init and
// pci_scan_bus; PciClose for pci_cleanup.

struct PciAccess;
struct PciDevice;

PciAccess* PciOpen();
void PciClose(PciAccess* access);
PciDevice* PciGetDevice(PciAccess* access, int domain, int bus, int device, int function);
std::uint8_t PciRead8(PciDevice* device, int reg);
std::uint16_t PciRead16(PciDevice* device, int reg);
std::uint32_t PciRead32(PciDevice* device, int reg);
int PciWrite8(PciDevice* device, int reg, std::uint8_t value);
int PciWrite16(PciDevice* device, int reg, std::uint16_t value);

// ------------------------------------------------- firmware tables (sysfs)
// The SMBIOS tables as the kernel copied them at boot
// (/sys/firmware/dmi/tables/smbios_entry_point and .../DMI). Current
// kernels offer them on every machine, and on many UEFI servers they are
// the only way to the tables: strict /dev/mem refuses the RAM they lie in.

enum class DmiTable { kEntryPoint, kStructureTable };

// Fills `bytes` with the whole file and returns 0, or returns -1 with errno
// set (ENOENT where the kernel offers no such table).
int ReadDmiTable(DmiTable which, std::vector<std::uint8_t>& bytes);

// --------------------------------------------------- kernel IPMI driver
// The kernel's IPMI device (ipmi_devintf) is opened with OpenDevice and
// driven with IoctlDevice and the IPMICTL_* requests of <linux/ipmi.h>;
// responses are waited for with WaitReadable. The node names are the ones
// udev, devfs and older distributions give it, in the order to try them.

inline constexpr const char* kIpmiDeviceNodes[] = {"/dev/ipmi0", "/dev/ipmi/0", "/dev/ipmidev/0"};

// poll() for input on a device: 1 readable, 0 the time ran out, -1 with
// errno set.
int WaitReadable(int fd, int timeoutMs);

// Whether the kernel has a module (or built-in driver) of this name:
// /sys/module/<name> exists. ipmi_si, for one, owns the KCS ports.
bool KernelModulePresent(const char* name);

// ------------------------------------------------------- processor, time

// sched_setaffinity: the mask is the caller's, in its own word width.
int SetAffinity(pid_t pid, std::size_t maskBytes, const void* mask);

unsigned SleepSeconds(unsigned seconds);
int SleepMicroseconds(useconds_t microseconds);
int GetTimeOfDay(struct timeval* now);
// alarm(): SIGALRM reaches the process's handler when the time has passed.
unsigned Alarm(unsigned seconds);
// signal(SIGALRM, handler): the handler the alarm reaches (SIG_DFL to put
// the default action back).
void SetAlarmHandler(void (*handler)(int));

// ----------------------------------------------------------------- signals
// A write to firmware or FRU storage that stops half way leaves a machine
// that may not boot, so the programs that write keep the stop signals from
// cutting it: they are held for the length of the write and acted on after.
// The masks are the calling thread's; the programs that hold are
// single-threaded.

// Ignores SIGPIPE for the rest of the process: a closed output then fails a
// write (EPIPE) instead of killing the program in the middle of a write.
void IgnoreBrokenPipe();

// While alive, SIGINT, SIGTERM and SIGHUP are held (blocked), so that a write
// to firmware or FRU storage is never cut in the middle. Nested holds are
// fine: an inner one leaves the signals held for the outer one.
class StopSignalHold {
  public:
    StopSignalHold();
    // Releases, if Release() was not called: a signal that arrived while
    // held then takes its usual action.
    ~StopSignalHold();
    StopSignalHold(const StopSignalHold&) = delete;
    StopSignalHold& operator=(const StopSignalHold&) = delete;
    StopSignalHold(StopSignalHold&&) = delete;
    StopSignalHold& operator=(StopSignalHold&&) = delete;

    // Ends the hold. Returns the signal that arrived while held (consumed,
    // so it does not kill the process), or 0. The caller then stops with a
    // clear message. An inner hold reports the signal but leaves it pending
    // for the outer hold, which is the one that consumes it. A second call
    // returns 0.
    int Release();

  private:
    sigset_t mPrevious;  // the mask before the hold, put back on release
    bool mReleased = false;
};

// "SIGINT", "SIGTERM", "SIGHUP" (for messages); "SIGPIPE" and "SIGALRM" too,
// and "signal" for any other.
const char* SignalName(int signal);

}  // namespace hw

#endif  // SRVFW_HW_HW_H
