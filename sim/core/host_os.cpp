#include "sim/core/host_os.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "sim/core/clock.h"
#include "sim/core/memory_map.h"
#include "sim/core/request_log.h"

namespace sim {

namespace {

constexpr std::uint64_t kPageBytes = 4096;
constexpr std::uint64_t kFirstMiB = 0x100000;
constexpr std::uint64_t kNsPerMs = 1'000'000;

// A call the test made fail fails with its errno before it does anything;
// otherwise it does what it does.
template <class Call>
int Result(int injectedErrno, Call call) {
    if (injectedErrno == 0) return call();
    errno = injectedErrno;
    return -1;
}

// The fixed part of a Linux /proc/devices; registered drivers are added to
// the character devices.
constexpr const char* kFixedCharDevices[][2] = {
    {"1", "mem"}, {"4", "/dev/vc/0"}, {"4", "tty"},    {"5", "/dev/tty"}, {"5", "/dev/console"},
    {"7", "vcs"}, {"10", "misc"},     {"13", "input"}, {"89", "i2c"},     {"180", "usb"},
};

bool IsRedirection(const std::string& word) {
    const auto arrow = word.find_first_of("<>");
    return arrow != std::string::npos && word.find_first_not_of("0123456789&") == arrow;
}

std::vector<std::string> CommandWords(const std::string& command) {
    std::istringstream in(command);
    std::vector<std::string> words;
    std::string word;
    bool skipTarget = false;
    while (in >> word) {
        if (skipTarget) {
            skipTarget = false;
            continue;
        }
        if (IsRedirection(word)) {
            // "2>" stands alone before its target; "2>/dev/null" and
            // "2>&1" carry it.
            const auto last = word.find_last_of("<>&");
            skipTarget = last == word.size() - 1 && word.back() != '&';
            continue;
        }
        words.push_back(word);
    }
    return words;
}

}  // namespace

void HostOs::RegisterDriver(const std::string& name, unsigned major, CharDriver& driver) {
    mDrivers[name] = Registered{major, &driver};
    mLog.Add({"host", "register-driver", major, 0, 0, name});
}

void HostOs::UnregisterDriver(const std::string& name) {
    mDrivers.erase(name);
    mLog.Add({"host", "unregister-driver", 0, 0, 0, name});
}

void HostOs::LoadModule(const std::string& name) {
    if (mModules.insert(name).second) mLog.Add({"host", "module-load", 0, 0, 0, name});
}

void HostOs::UnloadModule(const std::string& name) {
    if (mModules.erase(name) != 0) mLog.Add({"host", "module-unload", 0, 0, 0, name});
}

bool HostOs::DriverRegistered(const std::string& name) const {
    return mDrivers.count(name) != 0;
}

std::string HostOs::ProcDevicesText() const {
    std::map<unsigned, std::vector<std::string>> byMajor;
    for (const auto& entry : kFixedCharDevices) byMajor[std::stoul(entry[0])].push_back(entry[1]);
    for (const auto& [name, registered] : mDrivers) byMajor[registered.major].push_back(name);

    std::ostringstream text;
    text << "Character devices:\n";
    for (const auto& [major, names] : byMajor) {
        for (const std::string& name : names) {
            text.width(3);
            text << major << ' ' << name << '\n';
        }
    }
    text << "\nBlock devices:\n  7 loop\n  8 sd\n259 blkext\n";
    return text.str();
}

int HostOs::MakeNode(const std::string& path, mode_t mode, dev_t device) {
    mLog.Add({"host", "mknod", major(device), minor(device), 0, path});
    if (mFaults.mknodErrno != 0) return mFaults.mknodErrno;
    if (mNodes.count(path) != 0 || path == kMemoryDevice) return EEXIST;
    mNodes[path] = Node{mode, device};
    return 0;
}

int HostOs::RemoveNode(const std::string& path) {
    mLog.Add({"host", "unlink", 0, 0, 0, path});
    return mNodes.erase(path) == 1 ? 0 : ENOENT;
}

void HostOs::AddProgram(const std::string& name, Program program) {
    mPrograms[name] = std::move(program);
}

HostOs::Program HostOs::ProgramOf(const std::string& name) const {
    const auto found = mPrograms.find(name);
    return found == mPrograms.end() ? Program() : found->second;
}

int HostOs::RunShell(const std::string& command) {
    mLog.Add({"host", "shell", 0, 0, 0, command});
    const std::vector<std::string> words = CommandWords(command);
    if (words.empty()) return 0;
    const auto found = mPrograms.find(words.front());
    // sh answers a command it cannot find with exit status 127.
    const int status = found == mPrograms.end() ? 127 : found->second(words) & 0xFF;
    return status << 8;
}

CharDriver* HostOs::DriverOf(dev_t device) const {
    for (const auto& [name, registered] : mDrivers) {
        if (registered.major == major(device) && minor(device) == 0) return registered.driver;
    }
    return nullptr;
}

int HostOs::Attach(const std::string& path, int* error, CharDriver** driver) {
    *driver = nullptr;
    if (const auto fault = mFaults.openErrno.find(path); fault != mFaults.openErrno.end()) {
        *error = fault->second;
        return -1;
    }
    if (path == kMemoryDevice) return 0;
    const auto node = mNodes.find(path);
    if (node == mNodes.end()) {
        *error = ENOENT;
        return -1;
    }
    // A character node whose major has no driver behind it: ENXIO, as Linux
    // answers.
    *driver = DriverOf(node->second.device);
    if (*driver == nullptr) {
        *error = ENXIO;
        return -1;
    }
    return 0;
}

int HostOs::Open(const std::string& path) {
    int error = 0;
    CharDriver* driver = nullptr;
    if (Attach(path, &error, &driver) != 0) {
        mLog.Add({"host", "open", 0, static_cast<std::uint64_t>(error), 0, path});
        errno = error;
        return -1;
    }
    const int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd >= 0 && driver != nullptr) {
        if (const int refused = driver->OpenFile(fd); refused != 0) {
            ::close(fd);
            mLog.Add({"host", "open", 0, static_cast<std::uint64_t>(refused), 0, path});
            errno = refused;
            return -1;
        }
    }
    if (fd >= 0) mOpen[fd] = OpenFile{path, driver};
    mLog.Add({"host", "open", static_cast<std::uint64_t>(fd), 0, 0, path});
    return fd;
}

int HostOs::OpenStream(const std::string& path, const char* mode, std::FILE** stream) {
    const int fd = Open(path);
    if (fd < 0) return -1;
    *stream = ::fdopen(fd, mode);
    if (*stream == nullptr) {
        const int error = errno;
        Close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int HostOs::Close(int fd) {
    if (Release(fd) != 0) return -1;
    return ::close(fd);
}

int HostOs::Release(int fd) {
    const auto found = mOpen.find(fd);
    if (found == mOpen.end()) {
        errno = EBADF;
        return -1;
    }
    mLog.Add({"host", "close", static_cast<std::uint64_t>(fd), 0, 0, found->second.path});
    if (found->second.driver != nullptr) found->second.driver->CloseFile(fd);
    mOpen.erase(found);
    return 0;
}

int HostOs::Ioctl(int fd, unsigned long request, void* argument) {
    const auto found = mOpen.find(fd);
    mLog.Add({"host", "ioctl", static_cast<std::uint64_t>(fd), request, 0,
              found == mOpen.end() ? "" : found->second.path});
    if (found == mOpen.end()) {
        errno = EBADF;
        return -1;
    }
    // The memory device answers no requests of its own.
    const int error = found->second.driver == nullptr
                          ? ENOTTY
                          : found->second.driver->IoctlFile(fd, request, argument);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

int HostOs::RefuseMapping(std::uint64_t offset, int error, const std::string& why) {
    mLog.Add({"host", "mmap-refused", offset, static_cast<std::uint64_t>(error), 0, why});
    return error;
}

std::optional<std::uint64_t> HostOs::SystemRamAboveFirstMiB(std::uint64_t offset,
                                                            std::uint64_t length) const {
    // The kernel asks page by page (devmem_is_allowed), so a range is
    // refused as soon as one of its pages touches System RAM.
    const std::uint64_t end = offset + length;
    for (const auto& [base, region] : mMemory.Regions()) {
        if (region.kind != MemoryRegion::Kind::kRam) continue;
        const std::uint64_t from = std::max({offset, base, kFirstMiB});
        const std::uint64_t to = std::min(end, base + region.size);
        if (from < to) return from / kPageBytes * kPageBytes;
    }
    return std::nullopt;
}

int HostOs::Unmap(void* view, std::size_t length) {
    mLog.Add({"host", "munmap", 0, length, 0, ""});
    return Result(mFaults.unmapErrno, [&] { return mViews.Unmap(view, length); });
}

int HostOs::Iopl(int level) {
    mLog.Add({"host", "iopl", 0, static_cast<std::uint64_t>(level), 0, ""});
    return Result(mFaults.ioplErrno, [] { return 0; });
}

int HostOs::SetAffinity(pid_t pid, std::size_t maskBytes, const void* mask) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, mask, std::min(maskBytes, sizeof bits));
    mLog.Add({"host", "sched_setaffinity", static_cast<std::uint64_t>(pid), bits,
              static_cast<unsigned>(maskBytes), ""});
    return Result(mFaults.affinityErrno, [] { return 0; });
}

std::optional<std::uint64_t> HostOs::MapPhysical(int fd, std::uint64_t offset, std::uint64_t length,
                                                 int* error) {
    const auto found = mOpen.find(fd);
    mLog.Add({"host", "mmap", offset, length, 0, found == mOpen.end() ? "" : found->second.path});
    if (found == mOpen.end()) {
        *error = EBADF;
        return std::nullopt;
    }
    if (offset % kPageBytes != 0) {
        *error = RefuseMapping(offset, EINVAL, "offset not page-aligned");
        return std::nullopt;
    }
    if (length == 0) {
        *error = RefuseMapping(offset, EINVAL, "length 0");
        return std::nullopt;
    }
    if (found->second.driver != nullptr) {
        *error = 0;
        const std::uint64_t address = found->second.driver->MapPhysical(offset, length, error);
        if (*error != 0) return std::nullopt;
        return address;
    }
    for (const auto& refused : mFaults.refusedMappings) {
        if (offset < refused.address + refused.length && refused.address < offset + length) {
            *error = RefuseMapping(offset, refused.error, "injected");
            return std::nullopt;
        }
    }
    if (mStrictDevmem) {
        if (const auto ram = SystemRamAboveFirstMiB(offset, length)) {
            char why[64];
            std::snprintf(why, sizeof why, "strict /dev/mem: System RAM at %08llXh",
                          static_cast<unsigned long long>(*ram));
            *error = RefuseMapping(offset, EPERM, why);
            return std::nullopt;
        }
    }
    return offset;
}

int HostOs::WaitReadable(int fd, int timeoutMs) {
    const auto found = mOpen.find(fd);
    const std::string path = found == mOpen.end() ? "" : found->second.path;
    auto logged = [&](int result, int error, const char* outcome) {
        mLog.Add({"host", "poll", static_cast<std::uint64_t>(fd),
                  static_cast<std::uint64_t>(static_cast<std::int64_t>(timeoutMs)), 0,
                  path + (path.empty() ? "" : ": ") + outcome});
        if (result < 0) errno = error;
        return result;
    };
    if (found == mOpen.end()) return logged(-1, EBADF, "bad descriptor");
    CharDriver* driver = found->second.driver;
    // The memory device has no poll of its own: the kernel's default says
    // always readable.
    if (driver == nullptr || driver->Readable(fd)) return logged(1, 0, "readable");
    const bool endless = timeoutMs < 0;
    const std::uint64_t deadline =
        endless ? UINT64_MAX : mClock.NowNs() + static_cast<std::uint64_t>(timeoutMs) * kNsPerMs;
    for (;;) {
        const auto at = driver->NextEventNs(fd);
        const std::uint64_t until = at && *at < deadline ? std::max(*at, mClock.NowNs()) : deadline;
        if (until == UINT64_MAX && !mClock.AlarmPending()) {
            return logged(-1, EINTR, "would wait forever");
        }
        // At least a nanosecond, so that a driver whose time has come but
        // which is still not readable cannot hold the wait in place.
        const std::uint64_t wanted = std::max<std::uint64_t>(
            1, until == UINT64_MAX ? UINT64_MAX - mClock.NowNs() : until - mClock.NowNs());
        if (mClock.Sleep(wanted) != 0) return logged(-1, EINTR, "interrupted");
        if (driver->Readable(fd)) return logged(1, 0, "readable");
        if (mClock.NowNs() >= deadline) return logged(0, 0, "timed out");
    }
}

}  // namespace sim
