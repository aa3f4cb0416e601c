// Requests to the controllers behind the BMC (front panel 22h, hot-swap
// controllers, the management engine): the request travels inside a Send
// Message to the BMC, which puts it on the IPMB channel; the controller's
// answer comes back into the BMC's receive queue, from which Get Message
// takes it. The answer is ours when it carries our sequence number.
#include <cstring>
#include <memory>
#include <optional>
#include <span>

#include "bmc/debug_log.h"
#include "bmc/interface_report.h"
#include "bmc/ipmb_frame.h"
#include "bmc/ipmi_numbers.h"
#include "bmc/message.h"
#include "bmc/message_state.h"
#include "hw/hw.h"

std::uint8_t sendSeq = 1;
std::uint8_t incTestCount = 0;

namespace {

constexpr std::uint8_t kRequesterLun = 2;
constexpr unsigned kTimeoutMs = 5000;

constexpr std::uint8_t kFrontPanel = 0x22;
// The front panel resets when it leaves firmware transfer and never answers.
constexpr std::uint8_t kExitFirmwareTransfer = 0x04;

// Firmware transfers go to controllers that are busy writing flash.
constexpr int kFirmwareAttempts = 23;
constexpr int kAttempts = 5;
constexpr int kPollAllowance = 100;
constexpr int kLongPollAllowance = 1000;
// Busy (83h) and foreign answers do not use up the allowance: they say the
// queue is moving. Yet other requesters can have at most one answer queued
// per sequence number (63 of them), so after twice that many repeats the
// BMC is not draining its queue, and the attempt fails rather than polling
// for ever.
constexpr int kUncountedPollLimit = 126;

constexpr std::uint8_t kLastSequence = 63;

struct BridgeRecords {
    BMC_MESSAGE sendMessage;
    BMC_MESSAGE getMessage;
    BMC_MESSAGE reply;
};

void AddressBmc(BMC_MESSAGE& message, std::uint8_t command) {
    message.slaveAddress = kBmcSlaveAddress;
    message.netFn = ipmi::kNetFnApp;
    message.lun = 0;
    message.cmd = command;
}

// False when the request does not fit the Send Message record.
bool BuildSendMessage(const BMC_MESSAGE& request, std::uint8_t channel, std::uint8_t target,
                      BMC_MESSAGE& sendMessage) {
    const std::size_t length = request.dataLength;
    if (length > kBmcMessageDataSize - ipmb::kSendMessageFraming) return false;
    AddressBmc(sendMessage, ipmi::kSendMessage);
    const std::span<std::uint8_t> data(sendMessage.data, length + ipmb::kSendMessageFraming);
    data[ipmb::kSendChannel] = channel;
    data[ipmb::kSendResponder] = target;
    data[ipmb::kSendNetFnLun] =
        static_cast<std::uint8_t>((request.netFn << 2) | (request.lun & ipmb::kLunMask));
    data[ipmb::kSendHeaderCheck] = ipmb::Checksum(
        data.subspan(ipmb::kSendResponder, ipmb::kSendHeaderCheck - ipmb::kSendResponder));
    data[ipmb::kSendRequester] = kBmcSlaveAddress;
    data[ipmb::kSendSequenceLun] = static_cast<std::uint8_t>((sendSeq << 2) | kRequesterLun);
    data[ipmb::kSendCommand] = request.cmd;
    std::memcpy(&data[ipmb::kSendData], request.data, length);
    data.back() = ipmb::Checksum(data.first(data.size() - 1).subspan(ipmb::kSendRequester));
    sendMessage.dataLength = static_cast<std::uint32_t>(data.size());
    return true;
}

void AdvanceSequence() {
    sendSeq = sendSeq >= kLastSequence ? 1 : sendSeq + 1;
}

std::uint8_t SequenceOf(const BMC_MESSAGE& reply) {
    return static_cast<std::uint8_t>((reply.data[ipmb::kReplySequenceLun] & ipmb::kSequenceMask) >>
                                     2);
}

struct PollOutcome {
    int status = 0;                   // transport status of the last Get Message
    std::uint8_t completionCode = 0;  // of the last Get Message
    std::uint8_t sequence = 0;        // of the last answer looked at
    bool ours = false;                // the last answer carries our sequence number
    int allowanceLeft = 0;
};

// Polls Get Message until our answer arrives, the queue stays empty for the
// allowance, or the BMC fails. Returns nothing for the exchange that ends
// without an answer by design (the front panel leaving firmware transfer).
std::optional<PollOutcome> PollForAnswer(BridgeRecords& records, const BMC_MESSAGE& request,
                                         std::uint8_t target, int attemptsLeft) {
    PollOutcome poll;
    poll.allowanceLeft =
        target == kFrontPanel || incTestCount == 1 ? kLongPollAllowance : kPollAllowance;
    int uncounted = 0;
    AddressBmc(records.getMessage, ipmi::kGetMessage);
    records.getMessage.dataLength = 0;
    for (;;) {
        poll.status = ProcessMessage(&records.getMessage, &records.reply, kTimeoutMs);
        if (poll.status != 0) {
            Dbg(L"Breaking after Getmsg Status is %d\n", 1, poll.status);
            return poll;
        }
        if (target == kFrontPanel && request.cmd == kExitFirmwareTransfer) {
            Dbg(L"Exit FW Xfer LCP -> testCount = %d: retryCount = %d CompCode = 0x%x status is "
                L"%u Sendseq = 0x%02x Got Seq = 0x%02x\n",
                2, poll.allowanceLeft, attemptsLeft, records.reply.completionCode, poll.status,
                sendSeq, poll.sequence);
            return std::nullopt;
        }
        poll.completionCode = records.reply.completionCode;
        bool countsAgainstAllowance = false;
        if (poll.completionCode == ipmi::kMessageQueueEmpty) {
            countsAgainstAllowance = true;
        } else if (poll.completionCode == ipmi::kCompletionOk) {
            // Too short to carry the framing: not an answer we can use.
            if (records.reply.dataLength < ipmb::kGetMessageFraming) return poll;
            poll.sequence = SequenceOf(records.reply);
            poll.ours = poll.sequence == sendSeq;
            if (poll.ours) return poll;
        } else if (poll.completionCode != ipmi::kNakOnWrite) {
            return poll;
        }
        if (countsAgainstAllowance ? --poll.allowanceLeft <= 0
                                   : ++uncounted > kUncountedPollLimit) {
            return poll;
        }
    }
}

// The controller's answer in the caller's record.
void TakeAnswer(const BMC_MESSAGE& reply, BMC_MESSAGE& response) {
    response.slaveAddress = reply.data[ipmb::kReplyResponder];
    response.netFn = static_cast<std::uint8_t>(reply.data[ipmb::kReplyNetFnLun] >> 2);
    response.lun = reply.data[ipmb::kReplySequenceLun] & ipmb::kLunMask;
    response.cmd = reply.data[ipmb::kReplyCommand];
    response.completionCode = reply.data[ipmb::kReplyCompletionCode];
    response.dataLength = static_cast<std::uint32_t>(reply.dataLength - ipmb::kGetMessageFraming);
    std::memcpy(response.data, reply.data + ipmb::kReplyData, response.dataLength);
}

}  // namespace

int ProcessSendMessage(BMC_MESSAGE* request, BMC_MESSAGE* response, std::uint8_t channel,
                       std::uint8_t target, unsigned /*timeoutMs*/) {
    if (request == nullptr || response == nullptr) return BMC_BRIDGING_FAILED;
    const auto records = std::make_unique<BridgeRecords>();
    // Refused before anything goes out, so the sequence number stays.
    if (!BuildSendMessage(*request, channel, target, records->sendMessage)) {
        Dbg(L"ProcessSendMessage - Request too long to bridge: %u bytes", 1, request->dataLength);
        return BMC_BRIDGING_FAILED;
    }

    int result = BMC_BRIDGING_FAILED;
    int attemptsLeft = request->netFn == ipmi::kNetFnFirmware ? kFirmwareAttempts : kAttempts;
    const int attempts = attemptsLeft;
    bool bmcAnswered = false;
    while (attemptsLeft-- > 0) {
        if (ProcessMessage(&records->sendMessage, response, kTimeoutMs) != 0) continue;
        bmcAnswered = true;
        if (response->completionCode == ipmi::kNakOnWrite) {
            // The controller did not take the request off the bus; give it
            // time, and from now on give every answer more time to come.
            hw::SleepSeconds(1);
            incTestCount = 1;
            continue;
        }
        if (response->completionCode != 0) continue;

        const std::optional<PollOutcome> poll =
            PollForAnswer(*records, *request, target, attemptsLeft);
        if (!poll) return 0;
        Dbg(L"testCount = %d: retryCount = %d CompCode = 0x%x status is %u Sendseq = 0x%02x "
            L"Got Seq = 0x%02x\n",
            2, poll->allowanceLeft, attemptsLeft, poll->completionCode, poll->status, sendSeq,
            poll->sequence);
        if (poll->status == 0 && poll->completionCode == 0 && poll->ours) {
            TakeAnswer(records->reply, *response);
            result = 0;
            break;
        }
    }
    // When the BMC never answered, its own exchange failure says why.
    if (result != 0 && bmcAnswered) {
        NoteExchangeFailure(
            FormatReport(L"the controller at %02Xh (channel %u) gave no answer "
                         L"through the BMC in %d attempts (netFn %02Xh command "
                         L"%02Xh)",
                         target, channel, attempts, request->netFn, request->cmd));
    }
    AdvanceSequence();
    return result;
}
