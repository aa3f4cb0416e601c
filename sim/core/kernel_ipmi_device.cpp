#include "sim/core/kernel_ipmi_device.h"

// <linux/ipmi.h> builds its request numbers with _IOR and _IOWR.
#include <linux/ipmi.h>  // the kernel's ABI: structures and request numbers
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "sim/bmc/ipmi.h"
#include "sim/bmc/kcs_interface.h"
#include "sim/core/kernel_modules.h"
#include "sim/core/setting_lists.h"
#include "sim/smbios/kernel_dmi_sysfs.h"

namespace sim {

namespace {

constexpr std::uint64_t kNsPerMs = 1'000'000;
constexpr std::uint64_t kMaxMajor = 4095;
constexpr std::size_t kMaxMessage = IPMI_MAX_MSG_LENGTH;  // 272
constexpr std::uint8_t kChannels = IPMI_NUM_CHANNELS;
constexpr std::uint8_t kSequences = 64;
constexpr int kDefaultRetries = 4;                  // default_max_retries
constexpr unsigned kDefaultRetryMs = 2000;          // default_retry_ms
constexpr std::uint8_t kKernelLun = ipmi::kSmsLun;  // the kernel's LUN on every channel
constexpr unsigned kMaxFetches = 256;               // Get Message requests in one round
// A Get Message response with an IPMB response in it: channel, netFn/LUN,
// checksum, rsSA, rqSeq/rsLUN, cmd, completion code, checksum at least.
constexpr std::size_t kShortestIpmbResponse = 8;
constexpr std::uint8_t kDmiIpmiDevice = 38;
constexpr std::size_t kDmiIpmiV2Length = 0x12;

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

std::string MessageText(std::uint8_t netFn, std::uint8_t cmd, std::span<const std::uint8_t> data) {
    return "netfn=" + Hex2(netFn) + " cmd=" + Hex2(cmd) + " data=[" + ipmi::HexBytes(data) + "]";
}

bool Retried(std::uint8_t code) {
    return code == ipmi::kNodeBusy || code == ipmi::kLostArbitration || code == ipmi::kBusError ||
           code == ipmi::kNak;
}

std::uint8_t IpmbChecksum(std::span<const std::uint8_t> bytes) {
    return ipmi::Checksum(bytes);
}

bool IsIpmiModule(const std::string& name) {
    return name == kernel_module::kMessageHandler || name == kernel_module::kSystemInterface ||
           name == kernel_module::kDeviceInterface;
}

// A module's name from a word of modprobe's or rmmod's: its file's base
// name without ".ko", '-' read as '_'.
std::string ModuleNameOf(const std::string& word) {
    std::string name = word.substr(word.find_last_of('/') + 1);
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".ko") == 0)
        name.resize(name.size() - 3);
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

}  // namespace

KernelIpmi::KernelIpmi(Machine& machine, Bmc& bmc) : mMachine(machine), mBmc(bmc) {
    const Settings& settings = machine.Config();
    mMajor = static_cast<unsigned>(
        SettingNumber(settings, "kernel.ipmi.major", kernel_ipmi::kDefaultMajor, kMaxMajor));
    if (mMajor == 0) throw std::invalid_argument("kernel.ipmi.major: 0 is no major");
    mNode = settings.Get("kernel.ipmi.node", kernel_ipmi::kDefaultNode);
    if (mNode != "/dev/ipmi0" && mNode != "/dev/ipmi/0" && mNode != "/dev/ipmidev/0" &&
        mNode != "none") {
        throw std::invalid_argument(
            "kernel.ipmi.node: /dev/ipmi0, /dev/ipmi/0, /dev/ipmidev/0 or none");
    }
    mHungNs = SettingNumber(settings, "kernel.ipmi.hung_ms", 11000, 3'600'000) * kNsPerMs;
    mNoAnswer = FaultCount::FromSetting(settings, "kernel.ipmi.fault.no_answer");
    mBusy = FaultCount::FromSetting(settings, "kernel.ipmi.fault.busy");
    const std::string truncateKey = "kernel.ipmi.fault.truncate";
    const std::vector<SettingItem> truncate = SettingItems(settings, truncateKey);
    if (truncate.size() > 1 || (!truncate.empty() && truncate[0].size() > 2)) {
        throw std::invalid_argument(truncateKey + ": expected BYTES[:TIMES]");
    }
    if (!truncate.empty()) {
        mTruncateTo = SettingNumber(truncateKey, truncate[0][0], kMaxMessage);
        mTruncateTimes = truncate[0].size() == 2 ? FaultCount::Parse(truncateKey, truncate[0][1])
                                                 : FaultCount::Always();
    }
    mMyAddress.fill(ipmi::kBmcAddress);
    mMyLun.fill(kKernelLun);
    Boot();
}

// ------------------------------------------------------------------ boot

void KernelIpmi::Boot() {
    for (const std::string& module : BootModules(mMachine.Config())) {
        if (IsIpmiModule(module)) {
            LoadIpmiModule(module);
        } else {
            mMachine.Host().LoadModule(module);
        }
    }
    mInterfaceFreeNs = 0;
    mBooted = true;
    TakeOverModulePrograms();
}

int KernelIpmi::LoadIpmiModule(const std::string& name) {
    HostOs& host = mMachine.Host();
    if (host.ModuleLoaded(name)) return 0;
    if (name != kernel_module::kMessageHandler) host.LoadModule(kernel_module::kMessageHandler);
    if (name == kernel_module::kSystemInterface) {
        mSiFailure = FindSystemInterface();
        if (!mSiFailure.empty()) return 1;
        host.LoadModule(name);
        ScanChannels();
    } else {
        host.LoadModule(name);
        if (name == kernel_module::kDeviceInterface) {
            host.RegisterDriver(kernel_ipmi::kDriverName, mMajor, *this);
        }
    }
    AfterModulesChanged();
    return 0;
}

int KernelIpmi::UnloadIpmiModule(const std::string& name, bool withUnused) {
    HostOs& host = mMachine.Host();
    if (!host.ModuleLoaded(name)) return 1;
    const bool inUse = name == kernel_module::kMessageHandler
                           ? SystemInterfaceLoaded() || DeviceInterfaceLoaded()
                           : !mUsers.empty();
    if (inUse) return 1;
    if (name == kernel_module::kDeviceInterface) host.UnregisterDriver(kernel_ipmi::kDriverName);
    if (name == kernel_module::kSystemInterface) {
        mPending.clear();
        mIpmbChannels.clear();
    }
    host.UnloadModule(name);
    AfterModulesChanged();
    if (withUnused && name != kernel_module::kMessageHandler && !SystemInterfaceLoaded() &&
        !DeviceInterfaceLoaded()) {
        host.UnloadModule(kernel_module::kMessageHandler);
    }
    return 0;
}

// The node of interface 0 exists while an interface is registered and
// ipmi_devintf is there to make it.
void KernelIpmi::AfterModulesChanged() {
    HostOs& host = mMachine.Host();
    if (mNode == "none") return;
    const bool wanted = SystemInterfaceLoaded() && DeviceInterfaceLoaded();
    if (wanted && !host.NodeExists(mNode)) host.MakeNode(mNode, S_IFCHR | 0600, makedev(mMajor, 0));
    if (!wanted && host.NodeExists(mNode)) host.RemoveNode(mNode);
}

void KernelIpmi::TakeOverModulePrograms() {
    HostOs& host = mMachine.Host();
    for (const std::string program : {"modprobe", "rmmod"}) {
        HostOs::Program before = host.ProgramOf(program);
        host.AddProgram(program, [this, program, before](const std::vector<std::string>& words) {
            bool remove = program == "rmmod";
            std::vector<std::string> names;
            for (std::size_t i = 1; i < words.size(); ++i) {
                if (words[i] == "-r" || words[i] == "--remove") {
                    remove = true;
                } else if (!words[i].empty() && words[i].front() != '-') {
                    names.push_back(ModuleNameOf(words[i]));
                }
            }
            if (names.empty() || !IsIpmiModule(names.front())) {
                return before ? before(words) : 1;
            }
            const int status = remove ? UnloadIpmiModule(names.front(), program == "modprobe")
                                      : LoadIpmiModule(names.front());
            mMachine.Log().Add(
                {"host", program, 0, static_cast<std::uint64_t>(status), 0, names.front()});
            return status;
        });
    }
}

// ipmi_dmi.c: the interface SMBIOS type 38 describes, and whether the
// simulated KCS interface answers there. Empty when it does.
std::string KernelIpmi::FindSystemInterface() {
    const auto* dmi = mMachine.Find<DmiSysfs>();
    if (dmi == nullptr || !dmi->Tables()) return "no SMBIOS tables";
    const DmiSysfs::Found& found = *dmi->Tables();
    std::vector<std::uint8_t> table(found.tableLength);
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<std::uint8_t>(mMachine.Memory().Read(found.tableAddress + i, 1));
    }
    std::optional<std::size_t> record;
    for (std::size_t at = 0; at + 4 <= table.size();) {
        const std::uint8_t length = table[at + 1];
        if (table[at] == kDmiIpmiDevice && at + length <= table.size() && length >= 0x10) {
            record = at;
            break;
        }
        if (length < 4) break;
        std::size_t next = at + length;
        while (next + 1 < table.size() && (table[next] != 0 || table[next + 1] != 0)) ++next;
        at = next + 2;
    }
    if (!record) return "no IPMI device in the SMBIOS tables";
    const std::uint8_t* f = table.data() + *record;
    if (f[4] != 1) return "the SMBIOS IPMI device is not a KCS interface";
    std::uint64_t base = 0;
    for (int i = 7; i >= 0; --i) base = base << 8 | f[8 + i];
    bool io = true;
    unsigned spacing = 1;
    if (f[1] >= kDmiIpmiV2Length) {
        io = (base & 1) != 0;
        base = (io ? base & 0xFFFE : base & ~std::uint64_t{1}) | ((f[0x10] >> 4) & 1);
        switch ((f[0x10] >> 6) & 3) {
            case 0:
                spacing = 1;
                break;
            case 1:
                spacing = 4;
                break;
            case 2:
                spacing = 16;
                break;
            default:
                return "invalid register spacing in the SMBIOS IPMI device";
        }
    } else {
        base &= 0xFFFE;  // older records: always I/O, byte spacing
    }
    const auto* kcs = mMachine.Find<KcsInterface>();
    if (!io || kcs == nullptr || !kcs->Config().present || kcs->Config().base != base ||
        kcs->Config().spacing != spacing) {
        char why[96];
        std::snprintf(why, sizeof why, "no KCS interface answers at %s %llXh, spacing %u",
                      io ? "I/O" : "memory", static_cast<unsigned long long>(base), spacing);
        return why;
    }
    if (kcs->Config().ibfStuck) return "the KCS interface does not take bytes (IBF stuck)";
    const Exchanged id = Exchange(ipmi::kNetFnApp, 0, ipmi::kGetDeviceId, {}, true, 0);
    if (id.response.completionCode != ipmi::kOk) return "the BMC does not answer Get Device ID";
    return "";
}

// __scan_channels: which channels are IPMB, by Get Channel Info.
void KernelIpmi::ScanChannels() {
    const Exchanged id =
        Exchange(ipmi::kNetFnApp, 0, ipmi::kGetDeviceId, {}, true, mInterfaceFreeNs);
    const std::uint8_t version = id.response.data.size() > 4 ? id.response.data[4] : 0;
    const unsigned major = version & 0x0F;
    const unsigned minor = version >> 4;
    if (major < 1 || (major == 1 && minor < 5)) {
        mIpmbChannels = {0};
        return;
    }
    for (std::uint8_t channel = 0; channel < kChannels; ++channel) {
        const Exchanged info =
            Exchange(ipmi::kNetFnApp, 0, ipmi::kGetChannelInfo, {channel}, true, mInterfaceFreeNs);
        if (info.response.completionCode != ipmi::kOk) {
            if (info.response.completionCode == ipmi::kInvalidCommand && channel == 0) {
                mIpmbChannels = {0};
                return;
            }
            continue;
        }
        if (info.response.data.size() >= 2 && (info.response.data[1] & 0x7F) == ipmi::kMediumIpmb) {
            mIpmbChannels.insert(channel);
        }
    }
}

bool KernelIpmi::SystemInterfaceLoaded() const {
    return mMachine.Host().ModuleLoaded(kernel_module::kSystemInterface);
}

bool KernelIpmi::DeviceInterfaceLoaded() const {
    return mMachine.Host().ModuleLoaded(kernel_module::kDeviceInterface);
}

// ------------------------------------------------------------------ the BMC

KernelIpmi::Exchanged KernelIpmi::Exchange(std::uint8_t netFn, std::uint8_t lun, std::uint8_t cmd,
                                           const std::vector<std::uint8_t>& data, bool kernel,
                                           std::uint64_t atNs) {
    const std::uint64_t start = std::max(atNs, mInterfaceFreeNs);
    const ipmi::Request request{netFn, lun, cmd, data, ipmi::Origin::kSystemInterface, 0};
    Exchanged result;
    std::string note = kernel ? " (kernel)" : "";
    if (mBooted && mNoAnswer.Strike()) {
        // The KCS state machine waits for IBF, aborts, retries and gives
        // up: return_hosed_msg makes the response.
        result.response = ipmi::Response::Code(ipmi::kUnspecified);
        result.doneNs = start + mHungNs;
        result.hung = true;
        note += " (no answer, injected)";
    } else {
        if (mBooted && mBusy.Strike()) {
            result.response = ipmi::Response::Code(ipmi::kNodeBusy);
            note += " (busy, injected)";
        } else {
            result.response = mBmc.Process(request);
        }
        if (mBooted && mTruncateTo && result.response.data.size() > *mTruncateTo &&
            mTruncateTimes.Strike()) {
            result.response.data.resize(*mTruncateTo);
            note += " (truncated to " + std::to_string(*mTruncateTo) + " bytes, injected)";
        }
        result.doneNs = start + kernel_ipmi::kExchangeNs;
    }
    if (result.response.silent) {
        // A BMC that stopped takes the request and never answers; ipmi_si
        // gives up on it as on a hung one.
        result.response = ipmi::Response::Code(ipmi::kUnspecified);
        result.doneNs = start + mHungNs;
        result.hung = true;
        note += " (no answer: the BMC stopped)";
    }
    mInterfaceFreeNs = result.doneNs;
    mMachine.Log().Add({"ipmi_si", "request", netFn, cmd, 0,
                        ipmi::FormatExchange(request, result.response) + note});
    return result;
}

// ------------------------------------------------------------------ time

void KernelIpmi::Run() {
    const std::uint64_t now = mMachine.Clock().NowNs();
    for (;;) {
        auto due =
            std::min_element(mPending.begin(), mPending.end(),
                             [](const Pending& a, const Pending& b) { return a.dueNs < b.dueNs; });
        if (due == mPending.end() || due->dueNs > now) break;
        const std::uint64_t at = due->dueNs;
        if (due->retriesLeft == 0) {
            const Pending gone = *due;
            mPending.erase(due);
            DeliverError(gone, ipmi::kTimeout, at, " (kernel: time-out)");
            continue;
        }
        --due->retriesLeft;
        mMachine.Log().Add({"ipmidev", "retry", static_cast<std::uint64_t>(due->msgid),
                            static_cast<std::uint64_t>(due->retriesLeft), 0,
                            "seq=" + Hex2(due->seq)});
        bool done = false;
        const std::uint8_t seq = due->seq;
        SendIpmb(*due, at, &done);
        if (done) std::erase_if(mPending, [seq](const Pending& p) { return p.seq == seq; });
    }
    // ipmi_si looks at SMS_ATN while the message handler waits for
    // responses.
    if (!mPending.empty() && mBmc.Attention()) FetchMessages(now);
}

void KernelIpmi::SendIpmb(Pending& pending, std::uint64_t atNs, bool* done) {
    *done = false;
    const Exchanged sent =
        Exchange(ipmi::kNetFnApp, 0, ipmi::kSendMessage, pending.sendMessage, true, atNs);
    const std::uint8_t code = sent.response.completionCode;
    if (code != ipmi::kOk && !Retried(code)) {
        DeliverError(pending, code, sent.doneNs, sent.hung ? " (kernel: no answer)" : "");
        *done = true;
        return;
    }
    pending.dueNs = sent.doneNs + pending.retryNs;
    if (code == ipmi::kOk && mBmc.Attention()) {
        const std::uint8_t seq = pending.seq;
        FetchMessages(sent.doneNs);
        // A response that matched took the request out of the table.
        *done = std::none_of(mPending.begin(), mPending.end(),
                             [seq](const Pending& p) { return p.seq == seq; });
    }
}

void KernelIpmi::FetchMessages(std::uint64_t atNs) {
    const Exchanged flags = Exchange(ipmi::kNetFnApp, 0, ipmi::kGetMessageFlags, {}, true, atNs);
    if (flags.response.completionCode != ipmi::kOk || flags.response.data.empty() ||
        (flags.response.data[0] & ipmi::kReceiveMessageAvailable) == 0) {
        return;
    }
    for (unsigned i = 0; i < kMaxFetches; ++i) {
        const Exchanged message =
            Exchange(ipmi::kNetFnApp, 0, ipmi::kGetMessage, {}, true, mInterfaceFreeNs);
        if (message.response.completionCode != ipmi::kOk) return;
        HandleIpmbResponse(message.response.data, message.doneNs);
    }
}

// handle_ipmb_get_msg_rsp: the Get Message data after its completion code.
void KernelIpmi::HandleIpmbResponse(const std::vector<std::uint8_t>& data, std::uint64_t atNs) {
    if (data.size() < kShortestIpmbResponse) return;  // too short to hold a response
    const std::uint8_t channel = data[0] & 0x0F;
    const std::uint8_t netFn = data[1] >> 2;
    const std::uint8_t slave = data[3];
    const std::uint8_t seq = data[4] >> 2;
    const std::uint8_t lun = data[4] & 3;
    const std::uint8_t cmd = data[5];
    const bool response = (netFn & 1) != 0;
    auto match = std::find_if(mPending.begin(), mPending.end(), [&](const Pending& p) {
        return p.seq == seq && p.channel == channel && p.cmd == cmd && p.netFn == (netFn & ~1) &&
               p.slave == slave && p.lun == lun;
    });
    if (!response || mIpmbChannels.count(channel) == 0 || match == mPending.end()) {
        mMachine.Log().Add({"ipmidev", "unmatched", slave, seq, 0,
                            response ? "no request waits for it" : "a command, not a response"});
        return;
    }
    Message message;
    message.readyNs = atNs;
    message.recvType = IPMI_RESPONSE_RECV_TYPE;
    ipmi_ipmb_addr addr{IPMI_IPMB_ADDR_TYPE, static_cast<short>(channel), slave, lun};
    std::memcpy(message.addr.data(), &addr, sizeof addr);
    message.msgid = match->msgid;
    message.netFn = netFn;
    message.cmd = cmd;
    // From the completion code up to, not with, the trailing checksum.
    message.data.assign(data.begin() + 6, data.end() - 1);
    const int fd = match->fd;
    mPending.erase(match);
    Deliver(fd, std::move(message), "");
}

void KernelIpmi::Deliver(int fd, Message message, const std::string& note) {
    const auto user = mUsers.find(fd);
    if (user == mUsers.end()) return;
    mMachine.Log().Add({"ipmidev", "response", static_cast<std::uint64_t>(message.msgid),
                        message.data.empty() ? 0u : message.data[0], 0,
                        MessageText(message.netFn, message.cmd, message.data) + note});
    std::deque<Message>& queue = user->second.queue;
    const auto after = std::upper_bound(
        queue.begin(), queue.end(), message.readyNs,
        [](std::uint64_t ready, const Message& queued) { return ready < queued.readyNs; });
    queue.insert(after, std::move(message));
}

void KernelIpmi::DeliverError(const Pending& pending, std::uint8_t code, std::uint64_t atNs,
                              const std::string& note) {
    Message message;
    message.readyNs = atNs;
    message.recvType = IPMI_RESPONSE_RECV_TYPE;
    ipmi_ipmb_addr addr{IPMI_IPMB_ADDR_TYPE, static_cast<short>(pending.channel), pending.slave,
                        pending.lun};
    std::memcpy(message.addr.data(), &addr, sizeof addr);
    message.msgid = pending.msgid;
    message.netFn = static_cast<std::uint8_t>(pending.netFn | 1);
    message.cmd = pending.cmd;
    message.data = {code};
    Deliver(pending.fd, std::move(message), note);
}

// ------------------------------------------------------------------ the device

std::uint64_t KernelIpmi::MapPhysical(std::uint64_t, std::uint64_t, int* error) {
    *error = ENODEV;  // ipmi_devintf has no mmap
    return 0;
}

int KernelIpmi::OpenFile(int fd) {
    mUsers[fd] = User{};
    return 0;
}

void KernelIpmi::CloseFile(int fd) {
    mUsers.erase(fd);
    std::erase_if(mPending, [fd](const Pending& p) { return p.fd == fd; });
}

bool KernelIpmi::Readable(int fd) {
    Run();
    const auto user = mUsers.find(fd);
    return user != mUsers.end() && !user->second.queue.empty() &&
           user->second.queue.front().readyNs <= mMachine.Clock().NowNs();
}

std::optional<std::uint64_t> KernelIpmi::NextEventNs(int fd) {
    std::optional<std::uint64_t> next;
    const auto user = mUsers.find(fd);
    if (user != mUsers.end() && !user->second.queue.empty())
        next = user->second.queue.front().readyNs;
    for (const Pending& pending : mPending) {
        if (!next || pending.dueNs < *next) next = pending.dueNs;
    }
    return next;
}

int KernelIpmi::Refused(unsigned long request, int error, const std::string& why) {
    mMachine.Log().Add({"ipmidev", "refused", request, static_cast<std::uint64_t>(error), 0, why});
    return error;
}

int KernelIpmi::IoctlFile(int fd, unsigned long request, void* argument) {
    Run();
    auto& user = mUsers[fd];
    auto channelValue = [&](bool address, bool set) -> int {
        ipmi_channel_lun_address_set value{};
        std::memcpy(&value, argument, sizeof value);
        if (value.channel >= kChannels) return Refused(request, EINVAL, "channel beyond 15");
        auto& table = address ? mMyAddress : mMyLun;
        if (set) {
            table[value.channel] =
                address ? value.value : static_cast<std::uint8_t>(value.value & 3);
            mMachine.Log().Add({"ipmidev", "setting", request, value.value, 0,
                                std::string(address ? "address" : "LUN") + " of channel " +
                                    std::to_string(value.channel)});
        } else {
            value.value = table[value.channel];
            std::memcpy(argument, &value, sizeof value);
        }
        return 0;
    };
    auto legacyValue = [&](bool address, bool set) -> int {
        unsigned int value = 0;
        auto& table = address ? mMyAddress : mMyLun;
        if (set) {
            std::memcpy(&value, argument, sizeof value);
            table[0] =
                address ? static_cast<std::uint8_t>(value) : static_cast<std::uint8_t>(value & 3);
            mMachine.Log().Add({"ipmidev", "setting", request, value, 0,
                                std::string(address ? "address" : "LUN") + " of channel 0"});
        } else {
            value = table[0];
            std::memcpy(argument, &value, sizeof value);
        }
        return 0;
    };
    if (argument == nullptr) return Refused(request, EFAULT, "no argument");
    switch (request) {
        case IPMICTL_SEND_COMMAND:
            return Send(fd, argument, false);
        case IPMICTL_SEND_COMMAND_SETTIME:
            return Send(fd, argument, true);
        case IPMICTL_RECEIVE_MSG:
            return Receive(fd, argument, false);
        case IPMICTL_RECEIVE_MSG_TRUNC:
            return Receive(fd, argument, true);
        case IPMICTL_SET_GETS_EVENTS_CMD: {
            int value = 0;
            std::memcpy(&value, argument, sizeof value);
            user.getsEvents = value != 0;
            mMachine.Log().Add({"ipmidev", "setting", request, static_cast<std::uint64_t>(value), 0,
                                "gets events"});
            return 0;
        }
        case IPMICTL_SET_MY_ADDRESS_CMD:
            return legacyValue(true, true);
        case IPMICTL_GET_MY_ADDRESS_CMD:
            return legacyValue(true, false);
        case IPMICTL_SET_MY_LUN_CMD:
            return legacyValue(false, true);
        case IPMICTL_GET_MY_LUN_CMD:
            return legacyValue(false, false);
        case IPMICTL_SET_MY_CHANNEL_ADDRESS_CMD:
            return channelValue(true, true);
        case IPMICTL_GET_MY_CHANNEL_ADDRESS_CMD:
            return channelValue(true, false);
        case IPMICTL_SET_MY_CHANNEL_LUN_CMD:
            return channelValue(false, true);
        case IPMICTL_GET_MY_CHANNEL_LUN_CMD:
            return channelValue(false, false);
        case IPMICTL_SET_TIMING_PARMS_CMD: {
            ipmi_timing_parms parms{};
            std::memcpy(&parms, argument, sizeof parms);
            user.retries = parms.retries;
            user.retryTimeMs = parms.retry_time_ms;
            return 0;
        }
        case IPMICTL_GET_TIMING_PARMS_CMD: {
            const ipmi_timing_parms parms{user.retries, user.retryTimeMs};
            std::memcpy(argument, &parms, sizeof parms);
            return 0;
        }
        default:
            return Refused(request, ENOTTY, "not a request of ipmidev");
    }
}

// handle_send_req, ipmi_validate_addr and i_ipmi_request, in their order.
int KernelIpmi::Send(int fd, const void* argument, bool settime) {
    const unsigned long request = settime ? IPMICTL_SEND_COMMAND_SETTIME : IPMICTL_SEND_COMMAND;
    ipmi_req_settime timed{};
    if (settime) {
        std::memcpy(&timed, argument, sizeof timed);
    } else {
        std::memcpy(&timed.req, argument, sizeof timed.req);
        timed.retries = mUsers[fd].retries;
        timed.retry_time_ms = mUsers[fd].retryTimeMs;
    }
    const ipmi_req& req = timed.req;
    if (req.addr_len > sizeof(ipmi_addr)) return Refused(request, EINVAL, "addr_len too long");
    ipmi_addr addr{};
    if (req.addr_len > 0) {
        if (req.addr == nullptr) return Refused(request, EFAULT, "address unreadable");
        std::memcpy(&addr, req.addr, req.addr_len);
    }
    if (req.addr_len < sizeof(ipmi_system_interface_addr)) {
        return Refused(request, EINVAL, "addr_len too short");
    }
    if (addr.addr_type == IPMI_SYSTEM_INTERFACE_ADDR_TYPE) {
        if (addr.channel != IPMI_BMC_CHANNEL) {
            return Refused(request, EINVAL, "system interface address off channel Fh");
        }
    } else if (addr.channel == IPMI_BMC_CHANNEL || addr.channel >= kChannels || addr.channel < 0) {
        return Refused(request, EINVAL, "channel " + std::to_string(addr.channel));
    } else if (addr.addr_type == IPMI_IPMB_ADDR_TYPE ||
               addr.addr_type == IPMI_IPMB_BROADCAST_ADDR_TYPE) {
        if (req.addr_len < sizeof(ipmi_ipmb_addr))
            return Refused(request, EINVAL, "addr_len too short");
    } else if (addr.addr_type == IPMI_LAN_ADDR_TYPE) {
        if (req.addr_len < sizeof(ipmi_lan_addr))
            return Refused(request, EINVAL, "addr_len too short");
    } else {
        return Refused(request, EINVAL,
                       "address type " + Hex2(static_cast<unsigned>(addr.addr_type)));
    }
    std::vector<std::uint8_t> data;
    if (req.msg.data != nullptr) {
        if (req.msg.data_len > kMaxMessage)
            return Refused(request, EMSGSIZE, "data_len beyond 272");
        data.assign(req.msg.data, req.msg.data + req.msg.data_len);
    }
    if (addr.addr_type == IPMI_SYSTEM_INTERFACE_ADDR_TYPE) {
        ipmi_system_interface_addr si{};
        std::memcpy(&si, &addr, sizeof si);
        return SendSystemInterface(fd, req.msgid, si.lun, req.msg.netfn, req.msg.cmd, data);
    }
    if (addr.addr_type != IPMI_IPMB_ADDR_TYPE) {
        return Refused(request, EINVAL, "broadcast and LAN addresses are not modelled");
    }
    ipmi_ipmb_addr ipmb{};
    std::memcpy(&ipmb, &addr, sizeof ipmb);
    return SendIpmbRequest(fd, req.msgid, static_cast<std::uint8_t>(ipmb.channel), ipmb.slave_addr,
                           ipmb.lun, req.msg.netfn, req.msg.cmd, data, timed.retries,
                           timed.retry_time_ms);
}

int KernelIpmi::SendSystemInterface(int fd, long msgid, std::uint8_t lun, std::uint8_t netFn,
                                    std::uint8_t cmd, const std::vector<std::uint8_t>& data) {
    const unsigned long request = IPMICTL_SEND_COMMAND;
    if (netFn & 1) return Refused(request, EINVAL, "a response netFn to the system interface");
    if (lun > 3) return Refused(request, EINVAL, "LUN " + std::to_string(lun));
    if (netFn == ipmi::kNetFnApp && (cmd == ipmi::kSendMessage || cmd == ipmi::kGetMessage ||
                                     cmd == ipmi::kReadEventMessageBuffer)) {
        return Refused(request, EINVAL, "the kernel keeps " + Hex2(cmd) + "h to itself");
    }
    if (data.size() + 2 > kMaxMessage)
        return Refused(request, EMSGSIZE, "message beyond 272 bytes");
    mMachine.Log().Add({"ipmidev", "send", static_cast<std::uint64_t>(msgid),
                        IPMI_SYSTEM_INTERFACE_ADDR_TYPE, 0,
                        "si lun=" + std::to_string(lun) + " " + MessageText(netFn, cmd, data)});
    const Exchanged done = Exchange(netFn, lun, cmd, data, false, mMachine.Clock().NowNs());
    Message message;
    message.readyNs = done.doneNs;
    message.recvType = IPMI_RESPONSE_RECV_TYPE;
    ipmi_system_interface_addr addr{IPMI_SYSTEM_INTERFACE_ADDR_TYPE, IPMI_BMC_CHANNEL, lun};
    std::memcpy(message.addr.data(), &addr, sizeof addr);
    message.msgid = msgid;
    message.netFn = static_cast<std::uint8_t>(netFn | 1);
    message.cmd = cmd;
    message.data = {done.response.completionCode};
    message.data.insert(message.data.end(), done.response.data.begin(), done.response.data.end());
    Deliver(fd, std::move(message), done.hung ? " (kernel: no answer)" : "");
    return 0;
}

int KernelIpmi::SendIpmbRequest(int fd, long msgid, std::uint8_t channel, std::uint8_t slave,
                                std::uint8_t lun, std::uint8_t netFn, std::uint8_t cmd,
                                const std::vector<std::uint8_t>& data, int retries,
                                unsigned retryTimeMs) {
    const unsigned long request = IPMICTL_SEND_COMMAND;
    if (mIpmbChannels.count(channel) == 0) {
        return Refused(request, EINVAL, "channel " + std::to_string(channel) + " is not an IPMB");
    }
    if (lun > 3) return Refused(request, EINVAL, "LUN " + std::to_string(lun));
    if (netFn & 1) return Refused(request, EINVAL, "responses to the IPMB are not modelled");
    if (data.size() + 10 > kMaxMessage)
        return Refused(request, EMSGSIZE, "message beyond 272 bytes");
    std::optional<std::uint8_t> seq;
    for (std::uint8_t i = 0; i < kSequences && !seq; ++i) {
        const auto candidate = static_cast<std::uint8_t>((mNextSeq + i) % kSequences);
        if (std::none_of(mPending.begin(), mPending.end(),
                         [candidate](const Pending& p) { return p.seq == candidate; })) {
            seq = candidate;
        }
    }
    if (!seq) return Refused(request, EAGAIN, "all 64 sequence numbers in use");
    mNextSeq = static_cast<std::uint8_t>((*seq + 1) % kSequences);

    Pending pending;
    pending.fd = fd;
    pending.msgid = msgid;
    pending.seq = *seq;
    pending.channel = channel;
    pending.slave = slave;
    pending.lun = lun;
    pending.netFn = netFn;
    pending.cmd = cmd;
    pending.retriesLeft = retries < 0 ? kDefaultRetries : retries;
    pending.retryNs = std::uint64_t{retryTimeMs == 0 ? kDefaultRetryMs : retryTimeMs} * kNsPerMs;
    // format_ipmb_msg: channel byte, then the IPMB request frame.
    std::vector<std::uint8_t>& frame = pending.sendMessage;
    frame = {channel, slave, static_cast<std::uint8_t>(netFn << 2 | lun)};
    frame.push_back(IpmbChecksum(std::span(frame).subspan(1, 2)));
    frame.push_back(mMyAddress[channel]);
    frame.push_back(static_cast<std::uint8_t>(*seq << 2 | mMyLun[channel]));
    frame.push_back(cmd);
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(IpmbChecksum(std::span(frame).subspan(4)));

    mMachine.Log().Add(
        {"ipmidev", "send", static_cast<std::uint64_t>(msgid), IPMI_IPMB_ADDR_TYPE, 0,
         "ipmb ch=" + std::to_string(channel) + " sa=" + Hex2(slave) + " lun=" +
             std::to_string(lun) + " " + MessageText(netFn, cmd, data) + " seq=" + Hex2(*seq)});
    mPending.push_back(pending);
    bool done = false;
    SendIpmb(mPending.back(), mMachine.Clock().NowNs(), &done);
    if (done) {
        const std::uint8_t sent = *seq;
        std::erase_if(mPending, [sent](const Pending& p) { return p.seq == sent; });
    }
    return 0;
}

// handle_recv.
int KernelIpmi::Receive(int fd, void* argument, bool truncate) {
    const unsigned long request = truncate ? IPMICTL_RECEIVE_MSG_TRUNC : IPMICTL_RECEIVE_MSG;
    ipmi_recv rsp{};
    std::memcpy(&rsp, argument, sizeof rsp);
    std::deque<Message>& queue = mUsers[fd].queue;
    if (queue.empty() || queue.front().readyNs > mMachine.Clock().NowNs()) return EAGAIN;
    Message& message = queue.front();
    const unsigned addrLen = sizeof(ipmi_ipmb_addr);  // = sizeof(ipmi_system_interface_addr)
    if (rsp.addr_len < addrLen) return Refused(request, EINVAL, "addr_len below 8; kept");
    if (rsp.addr == nullptr) return Refused(request, EFAULT, "address unwritable; kept");
    std::memcpy(rsp.addr, message.addr.data(), addrLen);
    rsp.addr_len = addrLen;
    rsp.recv_type = message.recvType;
    rsp.msgid = message.msgid;
    rsp.msg.netfn = message.netFn;
    rsp.msg.cmd = message.cmd;
    int result = 0;
    std::size_t length = message.data.size();
    if (length > 0) {
        if (rsp.msg.data_len < length) {
            if (!truncate) return Refused(request, EMSGSIZE, "data buffer too small; kept");
            result = EMSGSIZE;
            length = rsp.msg.data_len;
        }
        if (length > 0 && rsp.msg.data == nullptr) {
            return Refused(request, EFAULT, "data buffer unwritable; kept");
        }
        std::copy_n(message.data.begin(), length, rsp.msg.data);
    }
    rsp.msg.data_len = static_cast<unsigned short>(length);
    std::memcpy(argument, &rsp, sizeof rsp);
    mMachine.Log().Add({"ipmidev", "receive", static_cast<std::uint64_t>(message.msgid), length, 0,
                        result == 0 ? "" : "truncated"});
    queue.pop_front();
    return result;
}

void KernelIpmi::Describe(std::ostream& out) const {
    const HostOs& host = mMachine.Host();
    out << "    modules:";
    if (host.Modules().empty()) out << " none";
    for (const std::string& module : host.Modules()) out << " " << module;
    out << "\n";
    if (!mSiFailure.empty()) out << "    ipmi_si did not load: " << mSiFailure << "\n";
    if (SystemInterfaceLoaded()) {
        out << "    ipmi_si owns the KCS interface; IPMB channels:";
        for (const std::uint8_t channel : mIpmbChannels) out << " " << unsigned{channel};
        out << "\n";
    }
    if (DeviceInterfaceLoaded()) {
        out << "    ipmidev major " << mMajor << ", node "
            << (SystemInterfaceLoaded() && mNode != "none" ? mNode : "none") << "\n";
    }
    if (mNoAnswer.Armed())
        out << "    fault: the BMC takes nothing, " << mNoAnswer.Describe() << "\n";
    if (mBusy.Armed()) out << "    fault: the BMC answers C0h, " << mBusy.Describe() << "\n";
    if (mTruncateTo) {
        out << "    fault: responses cut to " << *mTruncateTo << " bytes, "
            << mTruncateTimes.Describe() << "\n";
    }
}

}  // namespace sim
