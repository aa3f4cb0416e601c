// The simulated server's baseboard management controller: an IPMI
// controller at slave address 20h with its command table
// (sim/bmc/ipmi_controller.h), the IPMB buses with the satellite controllers
// behind it and its receive message queue (sim/bmc/ipmb.h). The KCS interface
// (sim/bmc/kcs_interface.h) and the LAN session endpoint that libipmi reaches
// (sim/bmc/libipmi_endpoint.h) hand it their requests through Process.
//
// Commands it serves besides Get Device ID (netFn 06h):
//   Send Message (34h): data = channel byte (bits 3:0 channel, bits 7:6
//     tracking: 00b none or 01b track request), then an IPMB request
//     frame (sim/bmc/ipmb.h). Answers, in this order: C7h no channel byte;
//     CCh a tracking mode the BMC does not offer (10b raw, 11b), or a
//     channel without an IPMB; C7h a frame shorter than 7 bytes; CCh a
//     wrong header or data checksum; 83h no controller at that address on
//     that channel, or one that does not acknowledge (NAK); 00h (no data)
//     once the target took the request. Its response then travels to the
//     receive message queue.
//   Get Message (33h): no request data (else C7h). Each one is a poll for
//     the responses still on their way (ipmb.NAME.reply_polls); then 80h
//     while the queue is empty, otherwise 00h with channel byte and
//     response frame.
//   Get Message Flags (31h): bit 0 set while the queue holds a message.
//   Clear Message Flags (30h): bit 0 of its byte empties the queue.
//   Get Channel Info (42h): data = channel (bits 3:0; Eh the channel the
//     request came in on); else C7h. Answers channel, medium type, protocol
//     type, session support, IANA 7154 (the IPMI forum's), auxiliary info
//     00 00: 01h IPMB / 01h IPMB-1.0 for a channel with satellites, 0Ch
//     system interface / 05h KCS for Fh; CCh for any other channel. The
//     kernel's message handler asks it for every channel when the system
//     interface driver registers, to learn which channels it may bridge to.
// The KCS interface's SMS_ATN bit is set while the queue holds a message.
//
// Settings: the controller's under "bmc." (sim/bmc/ipmi_controller.h), with
// the defaults device ID 20h, revision 01h, firmware 1.20, IPMI 2.0,
// additional support BFh, manufacturer 002A7Dh, product 0100h, auxiliary
// firmware 00000000; bmc.receive_queue and the satellites' (sim/bmc/ipmb.h).
// Faults besides bmc.fault.answer:
//   bmc.fault.get_message=TIMES[:CC]   Get Message answers CC (default
//                                      83h) without touching the queue or
//                                      counting as a poll
//
// Nothing of it is kept in the state directory: a real BMC keeps running
// between two host processes, but nothing here needs its memory yet (its
// queue, transfer mode and fault counts start afresh with each process).
#ifndef SRVFW_SIM_BMC_BMC_H
#define SRVFW_SIM_BMC_BMC_H

#include <cstdint>
#include <string>

#include "sim/bmc/ipmb.h"
#include "sim/bmc/ipmi_controller.h"
#include "sim/core/fault_count.h"
#include "sim/core/machine.h"

namespace sim {

class Bmc : public Device {
  public:
    // The identity of the BMC when the settings say nothing else.
    static ipmi::DeviceIdentity DefaultIdentity();

    explicit Bmc(Machine& machine);

    std::string Name() const override { return "bmc"; }
    void Describe(std::ostream& out) const override;

    ipmi::Controller& Controller() { return mController; }
    ipmi::CommandTable& Commands() { return mController.Commands(); }
    ipmi::DeviceIdentity& Identity() { return mController.Identity(); }
    ipmb::Bus& Ipmb() { return mBus; }
    ipmb::ReceiveMessageQueue& ReceiveQueue() { return mQueue; }

    // One request as an interface of the BMC delivers it.
    ipmi::Response Process(const ipmi::Request& request);
    // Whether system software should come for a message (SMS_ATN).
    bool Attention() const { return !mQueue.Empty(); }

  private:
    void RegisterMessaging();
    ipmi::Response SendMessage(const ipmi::Request& request);
    ipmi::Response GetMessage();
    ipmi::Response GetMessageFlags() const;
    ipmi::Response ClearMessageFlags(const ipmi::Request& request);
    ipmi::Response GetChannelInfo(const ipmi::Request& request);
    ipmi::Response Refuse(std::uint8_t completionCode, const std::string& reason);

    Machine& mMachine;
    ipmi::Controller mController;
    ipmb::Bus mBus;
    ipmb::ReceiveMessageQueue mQueue;
    CodedFault mGetMessageFault;
};

}  // namespace sim

#endif
