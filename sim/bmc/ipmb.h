// The IPMB buses behind the simulated BMC and the satellite controllers on
// them, and the BMC's receive message queue, through which their answers
// reach system software.
//
// IPMB request frame (what Send Message carries after its channel byte):
//   [0] rsSA  [1] netFn << 2 | rsLUN  [2] checksum of [0..1]
//   [3] rqSA  [4] rqSeq << 2 | rqLUN  [5] cmd  [6..n-2] data
//   [n-1] checksum of [3..n-2]
// The response frame a satellite sends back has the same shape with the
// roles swapped: rqSA, (netFn + 1) << 2 | rqLUN, checksum, rsSA,
// rqSeq << 2 | rsLUN, cmd, completion code, data, checksum.
//
// A response that reaches the BMC addressed to its own slave address (20h)
// and LUN 10b goes to the receive message queue; Get Message hands it out
// as: channel (bits 3:0; bits 7:4, the inferred privilege level, are 0 for
// the IPMB), then the response frame without its first byte (the BMC's own
// address), both checksums as the satellite computed them.
//
// Satellites (settings):
//   ipmb.satellites=NAME:CHANNEL:ADDRESS,...
//       default front_panel:0:0x22,hsc0:0:0xC0,hsc1:0:0xC2,me:6:0x2C
//       (the front-panel controller and the two hot-swap controllers on
//       the primary IPMB, channel 0; the management engine on channel 6)
//   ipmb.NAME.*            identity and answer faults of the controller,
//                          as sim/bmc/ipmi_controller.h lists them
//   ipmb.NAME.reply_polls=0
//       Get Message requests that go by before the satellite's response
//       enters the receive message queue (0: it is there when Send
//       Message completes)
// Faults:
//   ipmb.NAME.fault.nak=TIMES     the satellite does not acknowledge the
//                                 request: Send Message answers 83h
//   ipmb.NAME.fault.silent=TIMES  it takes the request (Send Message 00h)
//                                 but never answers
//   ipmb.NAME.fault.foreign_seq=N|always
//                                 N responses with another sequence number
//                                 (the request's + 32, modulo 64) enter the
//                                 queue ahead of each right one; "always":
//                                 it answers with the wrong number only
// TIMES is a number or "always" (sim/core/fault_count.h).
//   bmc.receive_queue=32          receive message queue capacity; a
//                                 response that finds it full is dropped
//
// Request log, component "ipmb":
//   "send"     a request put on a bus; address = target slave address,
//              value = channel, detail = the exchange (sim/bmc/ipmi.h) with
//              " seq=NN" appended, followed by " (answer to XXh LUN n, not
//              the receive message queue)" when the response goes
//              elsewhere; or the request alone with " -> NAK" or
//              " -> no answer"
//   "refused"  a Send Message the BMC refused before the bus; value = its
//              completion code, detail = the reason ("no channel byte",
//              "channel 3 has no IPMB", "tracking mode 2 is not offered",
//              "frame of 6 bytes, at least 7 needed", "header checksum",
//              "data checksum")
//   "queue"    a response entered the receive message queue; address =
//              responder, value = its sequence number, detail "" or
//              "foreign sequence number", or "dropped: queue full" when it
//              found no room
#ifndef SRVFW_SIM_BMC_IPMB_H
#define SRVFW_SIM_BMC_IPMB_H

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "sim/bmc/ipmi.h"
#include "sim/bmc/ipmi_controller.h"
#include "sim/core/fault_count.h"
#include "sim/core/request_log.h"
#include "sim/core/settings.h"

namespace sim::ipmb {

inline constexpr std::size_t kMinimumFrame = 7;  // a request without data

struct Message {
    std::uint8_t responder = 0;  // rsSA
    std::uint8_t netFn = 0;
    std::uint8_t responderLun = 0;
    std::uint8_t requester = 0;  // rqSA
    std::uint8_t sequence = 0;   // 0..63
    std::uint8_t requesterLun = 0;
    std::uint8_t cmd = 0;
    std::vector<std::uint8_t> data;
};

// A request frame read back, or why it cannot be: "frame of N bytes, at
// least 7 needed", "header checksum", "data checksum".
struct ParsedFrame {
    std::optional<Message> message;
    std::string error;
};
ParsedFrame ParseRequest(std::span<const std::uint8_t> frame);

// The response frame a controller sends for request, starting with rqSA.
std::vector<std::uint8_t> EncodeResponse(const Message& request, const ipmi::Response& response,
                                         std::uint8_t sequence);

class Satellite : public ipmi::Controller {
  public:
    Satellite(std::string name, std::uint8_t channel, std::uint8_t address,
              const Settings& settings);

    std::uint8_t Channel() const { return mChannel; }
    unsigned ReplyPolls() const { return mReplyPolls; }

    // The bus's acknowledge of a frame addressed to this controller.
    bool Acknowledges() { return !mNak.Strike(); }
    // The response frames the controller puts on the bus for a request it
    // acknowledged, in order (foreign sequence numbers first); none when it
    // stays silent or the frame is not a request.
    struct Reply {
        std::vector<std::uint8_t> frame;
        bool foreignSequence = false;
    };
    std::vector<Reply> Receive(const Message& request, ipmi::Response* answer);

    void Describe(std::ostream& out) const;

  private:
    std::uint8_t mChannel;
    unsigned mReplyPolls;
    FaultCount mNak;
    FaultCount mSilent;
    unsigned mForeignAhead;  // foreign-sequence responses ahead of each right one
    bool mForeignOnly;
};

// Satellites by channel and slave address.
class Bus {
  public:
    explicit Bus(const Settings& settings);

    Satellite* Find(std::uint8_t channel, std::uint8_t address);
    Satellite* Find(const std::string& name);
    bool HasChannel(std::uint8_t channel) const;
    const std::vector<std::unique_ptr<Satellite>>& Satellites() const { return mSatellites; }

  private:
    std::vector<std::unique_ptr<Satellite>> mSatellites;
};

// The BMC's receive message queue, with the responses still on their way to
// it (their Get Message polls not yet gone by).
class ReceiveMessageQueue {
  public:
    struct Entry {
        std::uint8_t channel = 0;
        std::vector<std::uint8_t> frame;  // the response frame without rqSA
    };

    ReceiveMessageQueue(std::size_t capacity, RequestLog& log) : mCapacity(capacity), mLog(log) {}

    // A response frame (starting with rqSA) that reaches the BMC after
    // polls more Get Message requests.
    void Arrive(std::uint8_t channel, std::vector<std::uint8_t> frame, unsigned polls,
                bool foreignSequence);
    // One Get Message: the responses whose polls have gone by enter the
    // queue, then the oldest entry leaves it.
    std::optional<Entry> Poll();
    bool Empty() const { return mEntries.empty(); }
    std::size_t Size() const { return mEntries.size(); }
    std::size_t Capacity() const { return mCapacity; }
    std::size_t InFlight() const { return mInFlight.size(); }
    void Clear() { mEntries.clear(); }

  private:
    struct InFlightEntry {
        Entry entry;
        unsigned pollsLeft;
        bool foreignSequence;
    };
    void Enter(Entry entry, bool foreignSequence);

    std::size_t mCapacity;
    RequestLog& mLog;
    std::deque<Entry> mEntries;
    std::vector<InFlightEntry> mInFlight;
};

}  // namespace sim::ipmb

#endif
