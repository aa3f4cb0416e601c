#include "host/imb/kernel_ipmi_device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
// The kernel's header uses the ioctl macros of <sys/ioctl.h>.
#include <linux/ipmi.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "bmc/elapsed_time.h"
#include "bmc/ipmi_numbers.h"
#include "hw/hw.h"

namespace srvfw_imb {

namespace {

// The kernel's messages carry at most IPMI_MAX_MSG_LENGTH (272) bytes; room
// for more lets a longer answer show as one, not as a truncated one.
constexpr std::size_t kAnswerCapacity = 1024;

// A bridged request is sent once more if its controller has not answered
// within the retry time; then the kernel gives up with C3h. The kernel's
// defaults (four retries, two seconds apart) would hold a request ten
// seconds, and the message layer tries a bridged request five times over.
constexpr int kIpmbRetries = 1;
constexpr unsigned kIpmbRetryMs = 1500;
// Past the kernel's own time-out: its C3h, not our wait, ends a request.
constexpr unsigned kIpmbWaitMs = (kIpmbRetries + 1) * kIpmbRetryMs + 1000;

std::string ErrnoText(int error) {
    return std::strerror(error);
}

// A node that is not there, or a device with no interface behind it.
bool MeansAbsent(int error) {
    return error == ENOENT || error == ENXIO || error == ENODEV;
}

}  // namespace

AnswerFrom WhoAnswered(const IpmiAnswer& answer) {
    if (!answer.data.empty()) return AnswerFrom::kBmc;
    switch (answer.completionCode) {
        case ipmi::kTimeout:
            return AnswerFrom::kKernelTimeout;
        case ipmi::kUnspecifiedError:
            return AnswerFrom::kKernelUnspecified;
        default:
            return AnswerFrom::kBmc;
    }
}

KernelIpmiDevice::~KernelIpmiDevice() {
    Close();
}

bool KernelIpmiDevice::Open(std::string& why, bool& absent) {
    if (IsOpen()) return true;
    absent = true;
    why.clear();
    for (const char* node : hw::kIpmiDeviceNodes) {
        const int fd = hw::OpenDevice(node, O_RDWR);
        if (fd >= 0) {
            mFd = fd;
            return true;
        }
        const int error = errno;
        if (!why.empty()) why += ", ";
        why += std::string(node) + ": " + ErrnoText(error);
        if (!MeansAbsent(error)) absent = false;
    }
    return false;
}

void KernelIpmiDevice::Close() {
    if (mFd >= 0) hw::CloseDevice(mFd);
    mFd = -1;
}

std::optional<IpmiAnswer> KernelIpmiDevice::Exchange(const IpmiRequest& request, unsigned waitMs,
                                                     std::string& why) {
    if (!IsOpen()) {
        why = "the kernel's IPMI device is not open";
        return std::nullopt;
    }
    ipmi_system_interface_addr bmc{IPMI_SYSTEM_INTERFACE_ADDR_TYPE, IPMI_BMC_CHANNEL,
                                   request.target.lun};
    ipmi_ipmb_addr ipmb{IPMI_IPMB_ADDR_TYPE, request.target.channel, request.target.slaveAddress,
                        request.target.lun};
    std::vector<std::uint8_t> data(request.data.begin(), request.data.end());
    ipmi_req sent{};
    if (request.target.ipmb) {
        sent.addr = reinterpret_cast<unsigned char*>(&ipmb);
        sent.addr_len = sizeof ipmb;
    } else {
        sent.addr = reinterpret_cast<unsigned char*>(&bmc);
        sent.addr_len = sizeof bmc;
    }
    sent.msgid = ++mLastMessageId;
    sent.msg.netfn = request.netFn;
    sent.msg.cmd = request.cmd;
    sent.msg.data_len = static_cast<unsigned short>(data.size());
    sent.msg.data = data.data();
    ipmi_req_settime timed{sent, kIpmbRetries, kIpmbRetryMs};
    const int result = request.target.ipmb
                           ? hw::IoctlDevice(mFd, IPMICTL_SEND_COMMAND_SETTIME, &timed)
                           : hw::IoctlDevice(mFd, IPMICTL_SEND_COMMAND, &sent);
    if (result < 0) {
        why = "the kernel refused the request (" + ErrnoText(errno) + ")";
        return std::nullopt;
    }

    if (request.target.ipmb) waitMs = std::max(waitMs, kIpmbWaitMs);
    const std::int64_t deadline = NowMilliseconds() + waitMs;
    for (;;) {
        const std::int64_t left = deadline - NowMilliseconds();
        if (left <= 0) {
            why = "no answer within " + std::to_string(waitMs) + " ms";
            return std::nullopt;
        }
        const int ready = hw::WaitReadable(mFd, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            why = "waiting for the answer failed (" + ErrnoText(errno) + ")";
            return std::nullopt;
        }
        if (ready == 0) continue;  // the deadline decides

        ipmi_addr from{};
        std::array<std::uint8_t, kAnswerCapacity> answer{};
        ipmi_recv received{};
        received.addr = reinterpret_cast<unsigned char*>(&from);
        received.addr_len = sizeof from;
        received.msg.data = answer.data();
        received.msg.data_len = static_cast<unsigned short>(answer.size());
        if (hw::IoctlDevice(mFd, IPMICTL_RECEIVE_MSG_TRUNC, &received) < 0) {
            const int error = errno;
            if (error == EAGAIN || error == EINTR) continue;
            // A message too long for the buffer is taken off the queue cut
            // short: for ours, that is no usable answer.
            if (error == EMSGSIZE && received.msgid != sent.msgid) continue;
            why = error == EMSGSIZE ? "the kernel cut the answer short"
                                    : "receiving the answer failed (" + ErrnoText(error) + ")";
            return std::nullopt;
        }
        // Events, commands for us, and late answers to requests we gave up
        // on are not ours.
        if (received.recv_type != IPMI_RESPONSE_RECV_TYPE || received.msgid != sent.msgid) {
            continue;
        }
        if (received.msg.data_len == 0) {
            why = "the answer had no completion code";
            return std::nullopt;
        }
        return IpmiAnswer{answer[0], {answer.begin() + 1, answer.begin() + received.msg.data_len}};
    }
}

}  // namespace srvfw_imb
