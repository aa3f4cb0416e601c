#include "sim/bios/quorzel.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim {

namespace {

constexpr const char* kStateFile = "quorzel.state";
constexpr std::uint64_t kPageBytes = 4096;
constexpr std::uint64_t kMaxMajor = 4095;
constexpr std::uint64_t kMaxErrno = 4095;
constexpr int kExitFailure = 1;

// kmod's rmmod takes the module's name or its file: the file's base name
// without its extension is the name.
std::string ModuleNameOf(const std::string& word) {
    std::string name = word.substr(word.find_last_of('/') + 1);
    for (const char* extension : {".ko", ".o"}) {
        const std::string suffix = extension;
        if (name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            name.erase(name.size() - suffix.size());
        }
    }
    return name;
}

// The words of a module program's command line that are not options.
std::vector<std::string> Operands(const std::vector<std::string>& words) {
    std::vector<std::string> operands;
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (words[i].empty() || words[i].front() != '-') operands.push_back(words[i]);
    }
    return operands;
}

bool HasOption(const std::vector<std::string>& words, const std::string& option) {
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (words[i] == option) return true;
    }
    return false;
}

}  // namespace

QuorzelModule::QuorzelModule(Machine& machine) : mMachine(machine) {
    const Settings& settings = machine.Config();
    mMajor = static_cast<unsigned>(SettingNumber(settings, "quorzel.major", 254, kMaxMajor));
    mNodeMajor =
        static_cast<unsigned>(SettingNumber(settings, "quorzel.node_major", mMajor, kMaxMajor));
    if (settings.Has("quorzel.insmod_accepts")) {
        for (const SettingItem& item : SettingItems(settings, "quorzel.insmod_accepts")) {
            mInsmodAccepts.insert(item.front());
        }
    } else {
        mInsmodAccepts = {"./quorzel_mod.o", quorzel::kModuleName};
    }
    mBufferAddress = SettingNumber(settings, "quorzel.buffer_address", 0x7E000000);
    if (mBufferAddress % kPageBytes != 0) {
        throw std::invalid_argument("quorzel.buffer_address: the buffer is a whole page");
    }
    mAllocFault = static_cast<int>(SettingNumber(settings, "quorzel.fault.alloc", 0, kMaxErrno));
    mMapFault = static_cast<int>(SettingNumber(settings, "quorzel.fault.mmap", 0, kMaxErrno));
    mFreeFault = static_cast<int>(SettingNumber(settings, "quorzel.fault.free", 0, kMaxErrno));
    mLoadedAtStart = settings.GetFlag("quorzel.loaded", false);
    mNodeAtStart = settings.GetFlag("quorzel.node", false);

    // The page the driver hands out is system RAM of its own, so nothing
    // else of the machine lies there.
    machine.Memory().AddRam("quorzel-buffer", mBufferAddress, kPageBytes);
    HostOs& host = machine.Host();
    host.AddProgram("insmod", [this](const auto& words) { return Insmod(words); });
    host.AddProgram("rmmod", [this](const auto& words) { return Rmmod(words); });
    host.AddProgram("modprobe", [this](const auto& words) { return Modprobe(words); });
    SetLoaded(mLoadedAtStart);
    SetNode(mNodeAtStart);
}

// ------------------------------------------------------------ the module programs

int QuorzelModule::Insmod(const std::vector<std::string>& words) {
    const std::vector<std::string> operands = Operands(words);
    const std::string argument = operands.empty() ? "" : operands.front();
    int status = 0;
    if (mInsmodAccepts.count(argument) == 0 || mLoaded) {
        status = kExitFailure;  // no such module file, or "File exists"
    } else {
        SetLoaded(true);
    }
    mMachine.Log().Add({"quorzel", "insmod", 0, static_cast<std::uint64_t>(status), 0, argument});
    return status;
}

int QuorzelModule::Rmmod(const std::vector<std::string>& words) {
    const std::vector<std::string> operands = Operands(words);
    return Unload("rmmod", operands.empty() ? "" : operands.front());
}

int QuorzelModule::Modprobe(const std::vector<std::string>& words) {
    const std::vector<std::string> operands = Operands(words);
    const std::string argument = operands.empty() ? "" : operands.front();
    const bool ours = ModuleNameOf(argument) == quorzel::kModuleName;
    if (HasOption(words, "-r") && ours) return Unload("modprobe", argument);
    // quorzel_mod lives beside its program, not in the kernel's module
    // tree, so modprobe cannot find it; the stock modules it finds.
    const int status = ours || argument.empty() ? kExitFailure : 0;
    mMachine.Log().Add({"quorzel", "modprobe", 0, static_cast<std::uint64_t>(status), 0, argument});
    return status;
}

int QuorzelModule::Unload(const std::string& operation, const std::string& argument) {
    int status = 0;
    // Not loaded, or in use while a descriptor of its device is open.
    if (ModuleNameOf(argument) != quorzel::kModuleName || !mLoaded || mOpenCount != 0) {
        status = kExitFailure;
    } else {
        SetLoaded(false);
    }
    mMachine.Log().Add({"quorzel", operation, 0, static_cast<std::uint64_t>(status), 0, argument});
    return status;
}

void QuorzelModule::SetLoaded(bool loaded) {
    if (loaded == mLoaded) return;
    mLoaded = loaded;
    if (loaded) {
        mMachine.Host().LoadModule(quorzel::kModuleName);
        mMachine.Host().RegisterDriver(quorzel::kDriverName, mMajor, *this);
    } else {
        mMachine.Host().UnregisterDriver(quorzel::kDriverName);
        mMachine.Host().UnloadModule(quorzel::kModuleName);
        mAllocated = false;
    }
}

// Puts the node in place with the node major, or takes it away.
void QuorzelModule::SetNode(bool present) {
    HostOs& host = mMachine.Host();
    const auto current = host.NodeDevice(quorzel::kNodePath);
    const dev_t wanted = makedev(mNodeMajor, 0);
    if (current && (!present || *current != wanted)) host.RemoveNode(quorzel::kNodePath);
    if (present && (!current || *current != wanted)) {
        host.MakeNode(quorzel::kNodePath, S_IFCHR | 0666, wanted);
    }
}

// ------------------------------------------------------------ the driver

int QuorzelModule::Open() {
    ++mOpenCount;
    return 0;
}

void QuorzelModule::Close() {
    if (mOpenCount > 0 && --mOpenCount == 0 && mAllocated) {
        mAllocated = false;
        mMachine.Log().Add(
            {"quorzel", "release", mBufferAddress, quorzel::kBufferBytes, 0, "buffer freed"});
    }
}

int QuorzelModule::Logged(const std::string& operation, std::uint64_t value, int error) {
    mMachine.Log().Add({"quorzel", operation, mBufferAddress, value, 0,
                        error == 0 ? "ok" : "errno=" + std::to_string(error)});
    return error;
}

int QuorzelModule::Allocate(quorzel::BufferRecord& record) {
    int error = mAllocFault;
    if (error == 0 && record.size != quorzel::kBufferBytes) error = EINVAL;
    if (error == 0 && mAllocated) error = EBUSY;
    if (error == 0) {
        mAllocated = true;
        record.physical = static_cast<unsigned long>(mBufferAddress);
    }
    return Logged("QUORZ_ALLOC", record.size, error);
}

int QuorzelModule::Free(const quorzel::BufferRecord& record) {
    int error = mFreeFault;
    if (error == 0 && (record.size != quorzel::kBufferBytes || !mAllocated)) error = EINVAL;
    if (error == 0) mAllocated = false;
    return Logged("QUORZ_FREE", record.size, error);
}

int QuorzelModule::Ioctl(unsigned long request, void* argument) {
    if (request != quorzel::kAlloc && request != quorzel::kFree) return ENOTTY;
    if (argument == nullptr) return EFAULT;
    auto& record = *static_cast<quorzel::BufferRecord*>(argument);
    return request == quorzel::kAlloc ? Allocate(record) : Free(record);
}

std::uint64_t QuorzelModule::MapPhysical(std::uint64_t offset, std::uint64_t length, int* error) {
    *error = mMapFault;
    if (*error == 0 && (offset != 0 || length > kPageBytes || !mAllocated)) *error = EINVAL;
    Logged("mmap", length, *error);
    return mBufferAddress;
}

// ------------------------------------------------------------ state and description

// The kernel keeps a module loaded and a node in place from one program to
// the next; a setting changed since then is a new start, and wins.
void QuorzelModule::LoadState(const std::filesystem::path& dir) {
    std::ifstream in(dir / kStateFile);
    std::map<std::string, std::string> saved;
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) saved[line.substr(0, equals)] = line.substr(equals + 1);
    }
    if (saved["setting.loaded"] == std::to_string(mLoadedAtStart)) {
        SetLoaded(saved["loaded"] == "1");
    }
    if (saved["setting.node"] == std::to_string(mNodeAtStart)) {
        const bool present = saved["node"] == "1";
        unsigned nodeMajor = 0;
        if (present && std::sscanf(saved["node_major"].c_str(), "%u", &nodeMajor) == 1) {
            mNodeMajor = nodeMajor;
        }
        SetNode(present);
    }
}

void QuorzelModule::SaveState(const std::filesystem::path& dir) const {
    const auto node = mMachine.Host().NodeDevice(quorzel::kNodePath);
    std::ofstream out(dir / kStateFile, std::ios::trunc);
    out << "loaded=" << mLoaded << "\nnode=" << node.has_value() << "\n";
    if (node) out << "node_major=" << major(*node) << "\n";
    out << "setting.loaded=" << mLoadedAtStart << "\nsetting.node=" << mNodeAtStart << "\n";
}

void QuorzelModule::Describe(std::ostream& out) const {
    const auto node = mMachine.Host().NodeDevice(quorzel::kNodePath);
    char line[160];
    std::snprintf(line, sizeof line, "    module %s %s, driver \"%s\" major %u, node \"%s\" %s\n",
                  quorzel::kModuleName, mLoaded ? "loaded" : "not loaded", quorzel::kDriverName,
                  mMajor, quorzel::kNodePath,
                  node ? ("major " + std::to_string(major(*node))).c_str() : "absent");
    out << line;
    std::snprintf(line, sizeof line, "    transfer buffer page %08llXh%s\n",
                  static_cast<unsigned long long>(mBufferAddress),
                  mAllocated ? " (allocated)" : "");
    out << line;
    const std::pair<const char*, int> faults[] = {
        {"QUORZ_ALLOC", mAllocFault}, {"mmap", mMapFault}, {"QUORZ_FREE", mFreeFault}};
    for (const auto& [name, error] : faults) {
        if (error != 0) out << "    fault: " << name << " fails with errno " << error << "\n";
    }
}

}  // namespace sim
