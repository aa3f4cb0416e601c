// Send Message and Get Message over the kernel's driver. The kernel keeps
// these two commands to itself (it runs its own bridging, with its own
// sequence numbers) and refuses them from a program. The message layer
// bridges with them, so they are carried out here: the Send Message's
// IPMB frame becomes a request the kernel bridges, and the controller's
// answer is kept, framed as the BMC's receive queue would hold it, for the
// Get Message that follows.
#ifndef SRVFW_HOST_IMB_BRIDGED_MESSAGES_H
#define SRVFW_HOST_IMB_BRIDGED_MESSAGES_H

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/imb/kernel_ipmi_device.h"

namespace srvfw_imb {

class BridgedMessages {
  public:
    // The answer to a Send Message request (its data as the message layer
    // builds it: channel, then the IPMB request frame). Nothing with `why`
    // set when the kernel took no request.
    std::optional<IpmiAnswer> Send(KernelIpmiDevice& device, std::span<const std::uint8_t> data,
                                   unsigned waitMs, std::string& why);
    // The oldest kept answer, or "message queue empty" (80h).
    IpmiAnswer Get();

  private:
    std::deque<std::vector<std::uint8_t>> mReplies;
};

}  // namespace srvfw_imb

#endif
