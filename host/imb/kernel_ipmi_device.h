// The kernel's IPMI device: one request and its response, matched by the
// message ID, with a bound on the wait.
#ifndef SRVFW_HOST_IMB_KERNEL_IPMI_DEVICE_H
#define SRVFW_HOST_IMB_KERNEL_IPMI_DEVICE_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace srvfw_imb {

struct IpmiAnswer {
    std::uint8_t completionCode;
    std::vector<std::uint8_t> data;  // after the completion code
};

// Who made an answer: the BMC (or the controller behind it), or the kernel
// itself, which answers with no data when the BMC never did: C3h from the
// message handler's time-out (for a bridged request, after its retries),
// FFh from ipmi_si when its state machine gave up.
enum class AnswerFrom { kBmc, kKernelTimeout, kKernelUnspecified };
AnswerFrom WhoAnswered(const IpmiAnswer& answer);

// Where a request goes: the BMC itself (the system interface), or a
// controller behind it on an IPMB channel, which the kernel bridges to.
struct IpmiTarget {
    bool ipmb = false;
    std::uint8_t channel = 0;
    std::uint8_t slaveAddress = 0;
    std::uint8_t lun = 0;
};

struct IpmiRequest {
    IpmiTarget target;
    std::uint8_t netFn;
    std::uint8_t cmd;
    std::span<const std::uint8_t> data;
};

class KernelIpmiDevice {
  public:
    KernelIpmiDevice() = default;
    ~KernelIpmiDevice();
    KernelIpmiDevice(const KernelIpmiDevice&) = delete;
    KernelIpmiDevice& operator=(const KernelIpmiDevice&) = delete;

    // Tries the device nodes in turn. On failure, `why` names the nodes and
    // the reason, and `absent` says whether no node was there at all (as
    // opposed to one that could not be opened: no permission, say).
    bool Open(std::string& why, bool& absent);
    void Close();
    bool IsOpen() const { return mFd >= 0; }

    // The answer, or nothing with `why` set: the kernel refused the request,
    // no answer came within waitMs (for a bridged request: at least until
    // the kernel's own time-out), or the answer did not fit.
    std::optional<IpmiAnswer> Exchange(const IpmiRequest& request, unsigned waitMs,
                                       std::string& why);

  private:
    int mFd = -1;
    long mLastMessageId = 0;
};

}  // namespace srvfw_imb

#endif
