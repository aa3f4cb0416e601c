#include "host/imb/bridged_messages.h"

#include "bmc/ipmb_frame.h"
#include "bmc/ipmi_numbers.h"

namespace srvfw_imb {

namespace {

using ipmb::Checksum;

// Answers kept for Get Message; a caller that never asks leaves no more.
constexpr std::size_t kMaxKeptReplies = 16;

// A BMC refuses a frame whose checksums do not hold.
bool FrameIsWhole(std::span<const std::uint8_t> data) {
    return data.size() >= ipmb::kSendMessageFraming &&
           Checksum(data.subspan(ipmb::kSendResponder,
                                 ipmb::kSendRequester - ipmb::kSendResponder)) == 0 &&
           Checksum(data.subspan(ipmb::kSendRequester)) == 0;
}

}  // namespace

std::optional<IpmiAnswer> BridgedMessages::Send(KernelIpmiDevice& device,
                                                std::span<const std::uint8_t> data, unsigned waitMs,
                                                std::string& why) {
    if (!FrameIsWhole(data)) return IpmiAnswer{ipmi::kInvalidDataField, {}};
    const auto channel = static_cast<std::uint8_t>(data[ipmb::kSendChannel] & ipmb::kChannelMask);
    const std::uint8_t responder = data[ipmb::kSendResponder];
    const auto netFn = static_cast<std::uint8_t>(data[ipmb::kSendNetFnLun] >> 2);
    const auto responderLun = static_cast<std::uint8_t>(data[ipmb::kSendNetFnLun] & ipmb::kLunMask);
    const std::uint8_t sequenceLun = data[ipmb::kSendSequenceLun];
    const std::uint8_t command = data[ipmb::kSendCommand];
    const IpmiRequest request{
        {true, channel, responder, responderLun},
        netFn,
        command,
        data.subspan(ipmb::kSendData, data.size() - ipmb::kSendMessageFraming)};
    const std::optional<IpmiAnswer> answer = device.Exchange(request, waitMs, why);
    if (!answer) return std::nullopt;
    // The kernel gave up on the controller: the BMC took the request, and no
    // answer will come.
    if (WhoAnswered(*answer) == AnswerFrom::kKernelTimeout) {
        return IpmiAnswer{ipmi::kCompletionOk, {}};
    }

    // Framed as the BMC's receive queue holds it (ipmb::GetMessageByte).
    std::vector<std::uint8_t> reply{
        channel,
        static_cast<std::uint8_t>((netFn | 1) << 2 | (sequenceLun & ipmb::kLunMask)),
        0,
        responder,
        static_cast<std::uint8_t>((sequenceLun & ipmb::kSequenceMask) | responderLun),
        command,
        answer->completionCode};
    const std::uint8_t header[] = {data[ipmb::kSendRequester], reply[ipmb::kReplyNetFnLun]};
    reply[ipmb::kReplyHeaderCheck] = Checksum(header);
    reply.insert(reply.end(), answer->data.begin(), answer->data.end());
    reply.push_back(Checksum(std::span(reply).subspan(ipmb::kReplyResponder)));
    if (mReplies.size() == kMaxKeptReplies) mReplies.pop_front();
    mReplies.push_back(std::move(reply));
    return IpmiAnswer{ipmi::kCompletionOk, {}};
}

IpmiAnswer BridgedMessages::Get() {
    if (mReplies.empty()) return {ipmi::kMessageQueueEmpty, {}};
    IpmiAnswer answer{ipmi::kCompletionOk, std::move(mReplies.front())};
    mReplies.pop_front();
    return answer;
}

}  // namespace srvfw_imb
