#include "sim/bmc/ipmb.h"

#include <cstdio>
#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim::ipmb {

namespace {

constexpr const char* kSatellitesKey = "ipmb.satellites";
constexpr const char* kDefaultSatellites = "front_panel:0:0x22,hsc0:0:0xC0,hsc1:0:0xC2,me:6:0x2C";
constexpr std::uint64_t kMaxChannel = 0x0F;
constexpr std::uint8_t kSequences = 64;

// The controllers this board carries, as their firmware identifies them.
ipmi::DeviceIdentity DefaultIdentity(const std::string& name) {
    ipmi::DeviceIdentity identity;
    identity.manufacturer = 0x002A7D;
    identity.ipmiVersion = 0x51;
    identity.additionalSupport = 0x29;  // sensors, FRU inventory, event generator
    if (name == "front_panel") {
        identity.deviceId = 0x03;
        identity.firmwareMajor = 1;
        identity.firmwareMinor = 0x04;
        identity.productId = 0x0201;
        identity.auxFirmware = {0x01, 0x00, 0x00, 0x00};
    } else if (name == "hsc0" || name == "hsc1") {
        identity.deviceId = 0x04;
        identity.firmwareMajor = 2;
        identity.firmwareMinor = 0x10;
        identity.productId = 0x0301;
        identity.additionalSupport = 0x21;  // sensors, event generator
    } else if (name == "me") {
        identity.deviceId = 0x50;
        identity.deviceRevision = 0x01;
        identity.firmwareMajor = 3;
        identity.firmwareMinor = 0x01;
        identity.ipmiVersion = 0x02;
        identity.productId = 0x0B02;
        identity.additionalSupport = 0x21;
    } else {
        identity.deviceId = 0x01;
        identity.firmwareMajor = 1;
        identity.productId = 0x0001;
    }
    return identity;
}

std::uint8_t SumOf(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (const std::uint8_t byte : bytes) sum += byte;
    return static_cast<std::uint8_t>(sum);
}

}  // namespace

// ------------------------------------------------------------ frames

ParsedFrame ParseRequest(std::span<const std::uint8_t> frame) {
    if (frame.size() < kMinimumFrame) {
        return {std::nullopt,
                "frame of " + std::to_string(frame.size()) + " bytes, at least 7 needed"};
    }
    if (SumOf(frame.first(3)) != 0) return {std::nullopt, "header checksum"};
    if (SumOf(frame.subspan(3)) != 0) return {std::nullopt, "data checksum"};
    Message message;
    message.responder = frame[0];
    message.netFn = frame[1] >> 2;
    message.responderLun = frame[1] & 3;
    message.requester = frame[3];
    message.sequence = frame[4] >> 2;
    message.requesterLun = frame[4] & 3;
    message.cmd = frame[5];
    message.data.assign(frame.begin() + 6, frame.end() - 1);
    return {message, ""};
}

std::vector<std::uint8_t> EncodeResponse(const Message& request, const ipmi::Response& response,
                                         std::uint8_t sequence) {
    std::vector<std::uint8_t> frame = {
        request.requester,
        static_cast<std::uint8_t>((request.netFn | 1) << 2 | request.requesterLun)};
    frame.push_back(ipmi::Checksum(frame));
    frame.push_back(request.responder);
    frame.push_back(static_cast<std::uint8_t>(sequence << 2 | request.responderLun));
    frame.push_back(request.cmd);
    frame.push_back(response.completionCode);
    frame.insert(frame.end(), response.data.begin(), response.data.end());
    frame.push_back(ipmi::Checksum(std::span(frame).subspan(3)));
    return frame;
}

// ------------------------------------------------------------ satellites

Satellite::Satellite(std::string name, std::uint8_t channel, std::uint8_t address,
                     const Settings& settings)
    : ipmi::Controller(name, address, settings, "ipmb." + name + ".", DefaultIdentity(name)),
      mChannel(channel) {
    const std::string prefix = "ipmb." + Name() + ".";
    mReplyPolls =
        static_cast<unsigned>(SettingNumber(settings, prefix + "reply_polls", 0, UINT32_MAX));
    mNak = FaultCount::FromSetting(settings, prefix + "fault.nak");
    mSilent = FaultCount::FromSetting(settings, prefix + "fault.silent");
    const std::string foreignKey = prefix + "fault.foreign_seq";
    const std::string foreign = settings.Get(foreignKey, "");
    mForeignOnly = foreign == "always";
    mForeignAhead = mForeignOnly || foreign.empty()
                        ? 0
                        : static_cast<unsigned>(SettingNumber(foreignKey, foreign, 1000));
}

std::vector<Satellite::Reply> Satellite::Receive(const Message& request, ipmi::Response* answer) {
    // An odd network function is a response; nobody on this bus asked for
    // one, so the controller drops it.
    if (request.netFn % 2 != 0 || mSilent.Strike()) return {};
    *answer = Handle(ipmi::Request{request.netFn, request.responderLun, request.cmd, request.data,
                                   ipmi::Origin::kIpmb, request.requester});
    if (answer->silent) return {};
    const auto foreign =
        static_cast<std::uint8_t>((request.sequence + kSequences / 2) % kSequences);
    std::vector<Reply> replies(mForeignOnly ? 1 : mForeignAhead,
                               Reply{EncodeResponse(request, *answer, foreign), true});
    if (!mForeignOnly)
        replies.push_back({EncodeResponse(request, *answer, request.sequence), false});
    return replies;
}

void Satellite::Describe(std::ostream& out) const {
    char line[96];
    std::snprintf(line, sizeof line,
                  "      %s: channel %u, address %02Xh, answers after %u polls\n", Name().c_str(),
                  mChannel, Address(), mReplyPolls);
    out << line;
    const std::string indent = "        ";
    ipmi::Controller::Describe(out, indent);
    if (mNak.Armed()) out << indent << "fault: NAK, " << mNak.Describe() << "\n";
    if (mSilent.Armed()) out << indent << "fault: no answer, " << mSilent.Describe() << "\n";
    if (mForeignOnly) out << indent << "fault: answers with a foreign sequence number only\n";
    if (mForeignAhead != 0) {
        out << indent << "fault: " << mForeignAhead
            << " answers with a foreign sequence number ahead of each\n";
    }
}

// ------------------------------------------------------------ the buses

Bus::Bus(const Settings& settings) {
    Settings withDefault;
    withDefault.Set(kSatellitesKey, settings.Has(kSatellitesKey) ? settings.Get(kSatellitesKey, "")
                                                                 : kDefaultSatellites);
    for (const SettingItem& item : SettingItems(withDefault, kSatellitesKey)) {
        if (item.size() != 3 || item[0].empty()) {
            throw std::invalid_argument(std::string(kSatellitesKey) +
                                        ": expected NAME:CHANNEL:ADDRESS,...");
        }
        const auto channel =
            static_cast<std::uint8_t>(SettingNumber(kSatellitesKey, item[1], kMaxChannel));
        const auto address =
            static_cast<std::uint8_t>(SettingNumber(kSatellitesKey, item[2], 0xFE));
        if (address % 2 != 0 || address == ipmi::kBmcAddress) {
            throw std::invalid_argument(std::string(kSatellitesKey) + ": " + item[2] +
                                        " is not a satellite's slave address");
        }
        if (Find(item[0]) != nullptr || Find(channel, address) != nullptr) {
            throw std::invalid_argument(std::string(kSatellitesKey) + ": " + item[0] +
                                        " is listed twice");
        }
        mSatellites.push_back(std::make_unique<Satellite>(item[0], channel, address, settings));
    }
}

Satellite* Bus::Find(std::uint8_t channel, std::uint8_t address) {
    for (const auto& satellite : mSatellites) {
        if (satellite->Channel() == channel && satellite->Address() == address) {
            return satellite.get();
        }
    }
    return nullptr;
}

Satellite* Bus::Find(const std::string& name) {
    for (const auto& satellite : mSatellites) {
        if (satellite->Name() == name) return satellite.get();
    }
    return nullptr;
}

bool Bus::HasChannel(std::uint8_t channel) const {
    for (const auto& satellite : mSatellites) {
        if (satellite->Channel() == channel) return true;
    }
    return false;
}

// ------------------------------------------------------------ receive message queue

void ReceiveMessageQueue::Arrive(std::uint8_t channel, std::vector<std::uint8_t> frame,
                                 unsigned polls, bool foreignSequence) {
    // The BMC keeps the response without its own address, as Get Message
    // hands it out.
    Entry entry{channel, {frame.begin() + 1, frame.end()}};
    if (polls == 0) {
        Enter(std::move(entry), foreignSequence);
    } else {
        mInFlight.push_back({std::move(entry), polls, foreignSequence});
    }
}

std::optional<ReceiveMessageQueue::Entry> ReceiveMessageQueue::Poll() {
    for (auto flight = mInFlight.begin(); flight != mInFlight.end();) {
        if (flight->pollsLeft == 0) {
            Enter(std::move(flight->entry), flight->foreignSequence);
            flight = mInFlight.erase(flight);
        } else {
            --flight->pollsLeft;
            ++flight;
        }
    }
    if (mEntries.empty()) return std::nullopt;
    Entry oldest = std::move(mEntries.front());
    mEntries.pop_front();
    return oldest;
}

void ReceiveMessageQueue::Enter(Entry entry, bool foreignSequence) {
    const bool full = mEntries.size() >= mCapacity;
    mLog.Add({"ipmb", "queue", entry.frame[2], static_cast<std::uint64_t>(entry.frame[3] >> 2), 0,
              full              ? "dropped: queue full"
              : foreignSequence ? "foreign sequence number"
                                : ""});
    if (!full) mEntries.push_back(std::move(entry));
}

}  // namespace sim::ipmb
