#include "sim/bmc/bmc.h"

#include <cstdio>
#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim {

namespace {

constexpr const char* kPrefix = "bmc.";
constexpr std::uint64_t kDefaultQueue = 32;
constexpr std::uint8_t kChannelMask = 0x0F;
constexpr unsigned kTrackingShift = 6;
constexpr unsigned kTrackRequest = 1;  // 00b no tracking, 01b track request
constexpr std::uint8_t kThisChannel = 0x0E;
constexpr std::uint8_t kSystemInterfaceChannel = 0x0F;
constexpr std::uint8_t kProtocolIpmb = 0x01;
constexpr std::uint8_t kProtocolKcs = 0x05;
constexpr std::uint8_t kIpmiForumIana[] = {0xF2, 0x1B, 0x00};  // 7154, LS byte first

std::string RequestText(const ipmb::Message& message) {
    char head[48];
    std::snprintf(head, sizeof head, "netfn=%02X lun=%u cmd=%02X data=[", message.netFn,
                  message.responderLun, message.cmd);
    return head + ipmi::HexBytes(message.data) + "]";
}

}  // namespace

ipmi::DeviceIdentity Bmc::DefaultIdentity() {
    ipmi::DeviceIdentity identity;
    identity.deviceId = 0x20;
    identity.deviceRevision = 0x01;
    identity.firmwareMajor = 1;
    identity.firmwareMinor = 0x20;
    identity.ipmiVersion = 0x02;
    identity.additionalSupport = 0xBF;  // all but the bridge
    identity.manufacturer = 0x002A7D;
    identity.productId = 0x0100;
    return identity;
}

Bmc::Bmc(Machine& machine)
    : mMachine(machine),
      mController("bmc", ipmi::kBmcAddress, machine.Config(), kPrefix, DefaultIdentity()),
      mBus(machine.Config()),
      mQueue(SettingNumber(machine.Config(), "bmc.receive_queue", kDefaultQueue, 0xFFFF),
             machine.Log()),
      mGetMessageFault(
          CodedFault::FromSetting(machine.Config(), "bmc.fault.get_message", ipmi::kNak, 0xFF)) {
    if (mQueue.Capacity() == 0) throw std::invalid_argument("bmc.receive_queue: at least 1");
    RegisterMessaging();
}

void Bmc::RegisterMessaging() {
    using ipmi::RequestLength;
    ipmi::CommandTable& commands = mController.Commands();
    // A Send Message without its channel byte is a bridging failure the
    // IPMB log shows, as the ones its handler refuses.
    commands.Register(
        ipmi::kNetFnApp, ipmi::kSendMessage, {RequestLength::AtLeast(1)},
        [this](const ipmi::Request& request) { return SendMessage(request); },
        [this](const ipmi::Request&, std::uint8_t code) { Refuse(code, "no channel byte"); });
    commands.Register(ipmi::kNetFnApp, ipmi::kGetMessage, {RequestLength::Exactly(0)},
                      [this](const ipmi::Request&) { return GetMessage(); });
    commands.Register(ipmi::kNetFnApp, ipmi::kGetMessageFlags, {RequestLength::Exactly(0)},
                      [this](const ipmi::Request&) { return GetMessageFlags(); });
    commands.Register(ipmi::kNetFnApp, ipmi::kClearMessageFlags, {RequestLength::Exactly(1)},
                      [this](const ipmi::Request& request) { return ClearMessageFlags(request); });
    commands.Register(ipmi::kNetFnApp, ipmi::kGetChannelInfo, {RequestLength::Exactly(1)},
                      [this](const ipmi::Request& request) { return GetChannelInfo(request); });
}

ipmi::Response Bmc::Process(const ipmi::Request& request) {
    return mController.Handle(request);
}

ipmi::Response Bmc::Refuse(std::uint8_t completionCode, const std::string& reason) {
    mMachine.Log().Add({"ipmb", "refused", 0, completionCode, 0, reason});
    return ipmi::Response::Code(completionCode);
}

ipmi::Response Bmc::SendMessage(const ipmi::Request& request) {
    const std::uint8_t channel = request.data[0] & kChannelMask;
    if (const unsigned tracking = request.data[0] >> kTrackingShift; tracking > kTrackRequest) {
        return Refuse(ipmi::kInvalidDataField,
                      "tracking mode " + std::to_string(tracking) + " is not offered");
    }
    if (!mBus.HasChannel(channel)) {
        return Refuse(ipmi::kInvalidDataField,
                      "channel " + std::to_string(channel) + " has no IPMB");
    }
    const auto frame = request.data.subspan(1);
    const ipmb::ParsedFrame parsed = ipmb::ParseRequest(frame);
    if (!parsed.message) {
        return Refuse(
            frame.size() < ipmb::kMinimumFrame ? ipmi::kInvalidLength : ipmi::kInvalidDataField,
            parsed.error);
    }
    const ipmb::Message& message = *parsed.message;
    auto logSend = [&](const std::string& detail) {
        mMachine.Log().Add({"ipmb", "send", message.responder, channel, 0, detail});
    };

    ipmb::Satellite* target = mBus.Find(channel, message.responder);
    if (target == nullptr || !target->Acknowledges()) {
        logSend(RequestText(message) + " -> NAK");
        return ipmi::Response::Code(ipmi::kNak);
    }
    ipmi::Response answer;
    const std::vector<ipmb::Satellite::Reply> replies = target->Receive(message, &answer);
    if (replies.empty()) {
        logSend(RequestText(message) + " -> no answer");
        return ipmi::Response::Code(ipmi::kOk);
    }
    char sequence[16];
    std::snprintf(sequence, sizeof sequence, " seq=%02X", message.sequence);
    const std::string exchange =
        ipmi::FormatExchange({message.netFn, message.responderLun, message.cmd, message.data},
                             answer) +
        sequence;
    // Only a response to the BMC's own address at the system software's LUN
    // is for the receive message queue; one to any other address or LUN
    // goes elsewhere on the bus.
    if (message.requester != ipmi::kBmcAddress || message.requesterLun != ipmi::kSmsLun) {
        char elsewhere[80];
        std::snprintf(elsewhere, sizeof elsewhere,
                      " (answer to %02Xh LUN %u, not the receive message queue)", message.requester,
                      message.requesterLun);
        logSend(exchange + elsewhere);
        return ipmi::Response::Code(ipmi::kOk);
    }
    logSend(exchange);
    for (const ipmb::Satellite::Reply& reply : replies) {
        mQueue.Arrive(channel, reply.frame, target->ReplyPolls(), reply.foreignSequence);
    }
    return ipmi::Response::Code(ipmi::kOk);
}

ipmi::Response Bmc::GetMessage() {
    if (mGetMessageFault.times.Strike()) {
        return ipmi::Response::Code(static_cast<std::uint8_t>(mGetMessageFault.code));
    }
    auto entry = mQueue.Poll();
    if (!entry) return ipmi::Response::Code(ipmi::kNoMessage);
    ipmi::Response response{ipmi::kOk, {entry->channel}};
    response.data.insert(response.data.end(), entry->frame.begin(), entry->frame.end());
    return response;
}

ipmi::Response Bmc::GetMessageFlags() const {
    return {ipmi::kOk,
            {static_cast<std::uint8_t>(Attention() ? ipmi::kReceiveMessageAvailable : 0)}};
}

ipmi::Response Bmc::ClearMessageFlags(const ipmi::Request& request) {
    if (request.data[0] & ipmi::kReceiveMessageAvailable) mQueue.Clear();
    return ipmi::Response::Code(ipmi::kOk);
}

ipmi::Response Bmc::GetChannelInfo(const ipmi::Request& request) {
    std::uint8_t channel = request.data[0] & kChannelMask;
    // Only the system interface reaches this BMC's command table directly
    // with a channel of its own; a LAN session asks about channels by
    // number.
    if (channel == kThisChannel) channel = kSystemInterfaceChannel;
    std::uint8_t medium = 0;
    std::uint8_t protocol = 0;
    if (channel == kSystemInterfaceChannel) {
        medium = ipmi::kMediumSystemInterface;
        protocol = kProtocolKcs;
    } else if (mBus.HasChannel(channel)) {
        medium = ipmi::kMediumIpmb;
        protocol = kProtocolIpmb;
    } else {
        return ipmi::Response::Code(ipmi::kInvalidDataField);
    }
    // Session-less channels: session support 00b, no active sessions.
    return {ipmi::kOk,
            {channel, medium, protocol, 0x00, kIpmiForumIana[0], kIpmiForumIana[1],
             kIpmiForumIana[2], 0x00, 0x00}};
}

void Bmc::Describe(std::ostream& out) const {
    char line[96];
    std::snprintf(line, sizeof line, "    controller at %02Xh\n", mController.Address());
    out << line;
    mController.Describe(out, "    ");
    if (mGetMessageFault.times.Armed()) {
        std::snprintf(line, sizeof line, "    fault: Get Message answers %02Xh, ",
                      static_cast<unsigned>(mGetMessageFault.code));
        out << line << mGetMessageFault.times.Describe() << "\n";
    }
    out << "    receive message queue: " << mQueue.Size() << " of " << mQueue.Capacity()
        << " messages\n";
    out << "    IPMB satellites (" << mBus.Satellites().size() << "):\n";
    for (const auto& satellite : mBus.Satellites()) satellite->Describe(out);
}

}  // namespace sim
