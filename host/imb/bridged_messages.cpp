#include "host/imb/bridged_messages.h"

namespace srvfw_imb {

namespace {

// Send Message request data: channel, then the IPMB frame rsSA,
// netFn/rsLUN, checksum, rqSA, rqSeq/rqLUN, command, data..., checksum.
constexpr std::size_t kChannel = 0;
constexpr std::size_t kResponder = 1;
constexpr std::size_t kNetFnLun = 2;
constexpr std::size_t kRequester = 4;
constexpr std::size_t kSequenceLun = 5;
constexpr std::size_t kCommand = 6;
constexpr std::size_t kRequestData = 7;
constexpr std::size_t kFraming = 8;  // all but the data

constexpr std::uint8_t kChannelMask = 0x0F;  // bits 7:6 ask for tracking
constexpr std::uint8_t kCompletionOk = 0x00;
constexpr std::uint8_t kQueueEmpty = 0x80;
constexpr std::uint8_t kInvalidDataField = 0xCC;
// What the kernel answers for a controller that never answered, after its
// retries; no reply of the controller is kept then.
constexpr std::uint8_t kKernelTimeout = 0xC3;
// Answers kept for Get Message; a caller that never asks leaves no more.
constexpr std::size_t kMaxKeptReplies = 16;

std::uint8_t Checksum(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes) sum = static_cast<std::uint8_t>(sum + byte);
    return static_cast<std::uint8_t>(0x100 - sum);
}

bool FrameIsWhole(std::span<const std::uint8_t> data) {
    return data.size() >= kFraming && Checksum(data.subspan(kResponder, 3)) == 0 &&
           Checksum(data.subspan(kRequester)) == 0;
}

}  // namespace

std::optional<IpmiAnswer> BridgedMessages::Send(KernelIpmiDevice& device,
                                                std::span<const std::uint8_t> data, unsigned waitMs,
                                                std::string& why) {
    // A BMC refuses a frame whose checksums do not hold.
    if (!FrameIsWhole(data)) return IpmiAnswer{kInvalidDataField, {}};
    const std::uint8_t responder = data[kResponder];
    const auto netFn = static_cast<std::uint8_t>(data[kNetFnLun] >> 2);
    const auto responderLun = static_cast<std::uint8_t>(data[kNetFnLun] & 0x03);
    const std::uint8_t sequenceLun = data[kSequenceLun];
    const std::uint8_t command = data[kCommand];
    const IpmiRequest request{
        {true, static_cast<std::uint8_t>(data[kChannel] & kChannelMask), responder, responderLun},
        netFn,
        command,
        data.subspan(kRequestData, data.size() - kFraming)};
    const std::optional<IpmiAnswer> answer = device.Exchange(request, waitMs, why);
    if (!answer) return std::nullopt;
    // The kernel gave up on the controller: the BMC took the request, and no
    // answer will come.
    if (answer->completionCode == kKernelTimeout && answer->data.empty()) {
        return IpmiAnswer{kCompletionOk, {}};
    }

    // channel, netFn/rqLUN, checksum, rsSA, rqSeq/rsLUN, command,
    // completion code, data, checksum: the layout of a Get Message answer.
    std::vector<std::uint8_t> reply{
        static_cast<std::uint8_t>(data[kChannel] & kChannelMask),
        static_cast<std::uint8_t>((netFn | 1) << 2 | (sequenceLun & 0x03)),
        0,
        responder,
        static_cast<std::uint8_t>((sequenceLun & 0xFC) | responderLun),
        command,
        answer->completionCode};
    const std::uint8_t header[] = {data[kRequester], reply[1]};
    reply[2] = Checksum(header);
    reply.insert(reply.end(), answer->data.begin(), answer->data.end());
    reply.push_back(Checksum(std::span(reply).subspan(3)));
    if (mReplies.size() == kMaxKeptReplies) mReplies.pop_front();
    mReplies.push_back(std::move(reply));
    return IpmiAnswer{kCompletionOk, {}};
}

IpmiAnswer BridgedMessages::Get() {
    if (mReplies.empty()) return {kQueueEmpty, {}};
    IpmiAnswer answer{kCompletionOk, std::move(mReplies.front())};
    mReplies.pop_front();
    return answer;
}

}  // namespace srvfw_imb
