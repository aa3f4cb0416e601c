#include "sim/host_os.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

#include "sim/request_log.h"

namespace sim {

namespace {

// The fixed part of a Linux /proc/devices; registered drivers are added to
// the character devices.
constexpr const char* kFixedCharDevices[][2] = {
    {"1", "mem"}, {"4", "/dev/vc/0"}, {"4", "tty"}, {"5", "/dev/tty"}, {"5", "/dev/console"},
    {"7", "vcs"}, {"10", "misc"},     {"13", "input"}, {"89", "i2c"}, {"180", "usb"},
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

bool HostOs::DriverRegistered(const std::string& name) const { return mDrivers.count(name) != 0; }

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
    if (const int refused = (*driver)->Open(); refused != 0) {
        *error = refused;
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
    if (found->second.driver != nullptr) found->second.driver->Close();
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
                          : found->second.driver->Ioctl(request, argument);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

std::optional<std::uint64_t> HostOs::MapPhysical(int fd, std::uint64_t offset,
                                                 std::uint64_t length, int* error) {
    const auto found = mOpen.find(fd);
    mLog.Add({"host", "mmap", offset, length, 0, found == mOpen.end() ? "" : found->second.path});
    if (found == mOpen.end()) {
        *error = EBADF;
        return std::nullopt;
    }
    if (offset % static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)) != 0 || length == 0) {
        *error = EINVAL;
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
            *error = refused.error;
            return std::nullopt;
        }
    }
    return offset;
}

}  // namespace sim
