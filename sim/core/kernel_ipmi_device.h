// The simulated Linux kernel's IPMI driver stack, as Linux 6.1 has it
// (drivers/char/ipmi, Documentation/driver-api/ipmi.rst): ipmi_si owning
// the BMC's KCS interface, ipmi_msghandler routing messages, and
// ipmi_devintf's character device, registered as "ipmidev" in
// /proc/devices with the node /dev/ipmi0, which a program drives with the
// IPMICTL_* requests and structures of <linux/ipmi.h>.
//
// BOOT. The modules come from kernel.modules (sim/core/kernel_modules.h).
// ipmi_si looks for the BMC in the SMBIOS tables the kernel found
// (sim/smbios/kernel_dmi_sysfs.h), as ipmi_dmi.c decodes type 38: interface type,
// base address (bit 0 set: I/O space; the modifier's bit 4 the address's
// bit 0), register spacing (modifier bits 7:6; 11b is invalid). It loads
// only when that names a KCS interface in I/O space at the simulated KCS
// interface's base and spacing, and the BMC answers Get Device ID there
// (kcs.present=1, IBF not stuck); otherwise it fails as the real driver
// does with no interface to drive ("Unable to find any System
// Interface(s)") and is not loaded. (Linux 6.1 probes no default ports
// unless built with IPMI_SI_PROBE_DEFAULTS, which distributions leave off;
// ACPI's SPMI table is not modelled.) Once it is, the message handler asks
// the BMC Get Channel Info for channels 0..15 (IPMI 1.5 and later) and
// keeps the channels whose medium is IPMB; a BMC that answers C1h for
// channel 0 is taken to have one IPMB, channel 0, as the kernel does. With
// ipmi_devintf loaded too, "ipmidev" is registered and the node of
// interface 0 made (kernel.ipmi.node). ipmi_devintf without ipmi_si
// registers "ipmidev" but has no interface, so no node.
//
// SENDING (IPMICTL_SEND_COMMAND with struct ipmi_req; _SETTIME with struct
// ipmi_req_settime, whose retries and retry time apply to IPMB requests):
//   - addr_len beyond sizeof(struct ipmi_addr): EINVAL; address NULL:
//     EFAULT; then as ipmi_validate_addr: addr_len below 8, a system
//     interface address on a channel other than Fh, any other address on
//     channel Fh, at or above 16 or negative, an unknown type: EINVAL;
//     with data, data_len beyond 272 (IPMI_MAX_MSG_LENGTH): EMSGSIZE;
//     data NULL: a request without data.
//   - System interface (IPMI_SYSTEM_INTERFACE_ADDR_TYPE, channel
//     IPMI_BMC_CHANNEL): a response netFn (odd) or LUN above 3: EINVAL;
//     Send Message, Get Message and Read Event Message Buffer: EINVAL (the
//     kernel keeps those, and the sequence numbers, to itself); data_len +
//     2 beyond 272: EMSGSIZE. The request goes to the BMC through the same
//     command handling the KCS interface feeds (Bmc::Process).
//   - IPMB (IPMI_IPMB_ADDR_TYPE: channel, slave_addr, lun): a channel the
//     message handler does not know as IPMB, or LUN above 3: EINVAL;
//     data_len + 10 beyond 272: EMSGSIZE; a response netFn, broadcast and
//     LAN addresses: not modelled (EINVAL); all 64 sequence numbers in use:
//     EAGAIN. The kernel bridges it itself: Send Message to the BMC with
//     channel byte = channel (no tracking) and the IPMB frame rsSA, netFn
//     << 2 | LUN, checksum, rqSA (its address on the channel, 20h), rqSeq
//     (its own, 0..63) << 2 | rqLUN (2), cmd, data, checksum.
//       Send Message 00h: whenever the BMC signals SMS_ATN the kernel
//       fetches its receive message queue (Get Message Flags, then Get
//       Message until it answers non-zero) and matches each IPMB response
//       by sequence number, channel, command, netFn, responder address and
//       LUN; one that matches nothing is dropped ("unmatched"), as a
//       response with a foreign sequence number is.
//       Send Message C0h, 81h, 82h, 83h (busy, lost arbitration, bus
//       error, NAK): the kernel sends it again when the retry time is up.
//       Any other completion code: delivered at once as the response.
//       No response within the retry time (default 2000 ms): sent again,
//       up to `retries` times (default 4); then the kernel delivers
//       completion code C3h (IPMI_TIMEOUT_ERR).
//     A satellite's response held back by ipmb.NAME.reply_polls waits for
//     Get Message polls; the kernel polls only while SMS_ATN is up, so such
//     a response never arrives through the driver (the request times out).
//   A response (recv_type IPMI_RESPONSE_RECV_TYPE) carries the request's
//   address (system interface: channel Fh and the LUN; IPMB: channel,
//   responder address, LUN) and msgid, netFn = the request's | 1, cmd,
//   data = completion code then the response data.
//
// RECEIVING (IPMICTL_RECEIVE_MSG, IPMICTL_RECEIVE_MSG_TRUNC, struct
// ipmi_recv): the oldest message that has arrived. None: EAGAIN. addr_len
// below the address's length (8): EINVAL; address NULL: EFAULT; the
// message stays queued in both cases. A data buffer (msg.data_len) smaller
// than the message: without _TRUNC EMSGSIZE and the message stays; with
// _TRUNC the bytes that fit are copied, msg.data_len says how many, the
// call fails with EMSGSIZE and the message is gone. On success addr_len
// and msg.data_len are set to what was copied. (Kernels before the
// EMSGSIZE fix of handle_recv returned 0 for a too-small buffer without
// _TRUNC; 6.1 as Debian ships it has the fix.)
// poll (hw::WaitReadable): readable while a message has arrived; waiting
// lets the kernel's time pass (responses, retries, time-outs).
// Also: IPMICTL_SET_GETS_EVENTS_CMD (int; kept, the simulated BMC sends no
// events), IPMICTL_SET/GET_MY_ADDRESS_CMD and _MY_LUN_CMD (unsigned int,
// channel 0), IPMICTL_SET/GET_MY_CHANNEL_ADDRESS_CMD and _LUN_CMD (struct
// ipmi_channel_lun_address_set; channel 16 or above: EINVAL): the address
// and LUN the kernel puts in its IPMB frames, shared by every open file as
// the interface's; IPMICTL_SET/GET_TIMING_PARMS_CMD (per open file). Any
// other request: ENOTTY; a NULL argument: EFAULT. Each open of the node is
// a user of its own with its own queue; closing it drops what it had
// queued and the IPMB requests it still waited for.
//
// THE SHELL. modprobe and rmmod handle the three IPMI modules (other
// names go on to the programs that were there before, sim/bios/quorzel.h):
//   modprobe NAME     loads it with ipmi_msghandler (exit 0, also when it
//                     is loaded already); ipmi_si fails (exit 1) where it
//                     finds no interface, as at boot; the node appears once
//                     both ipmi_si and ipmi_devintf are loaded
//   rmmod NAME        unloads it (the name or its file, ipmi_si.ko); exit
//                     1 when it is not loaded or in use: ipmi_msghandler
//                     while ipmi_si or ipmi_devintf is loaded, ipmi_si and
//                     ipmi_devintf while the node is open
//   modprobe -r NAME  as rmmod, then ipmi_msghandler too once nothing
//                     uses it
// Request log, component "host": "modprobe" / "rmmod" with value = exit
// status, detail = the module's name.
//
// Not modelled: maintenance mode (after a firmware command the kernel
// waits 3000 ms between retries), events and commands addressed to the
// program (IPMICTL_REGISTER_FOR_CMD answers ENOTTY), broadcast and LAN
// addresses, the 32-bit compat layouts (a 32-bit program talks to a
// 32-bit build of this simulator).
//
// TIME. The kernel's exchanges with the BMC run one after the other, each
// taking 500 us of virtual time, so a response is there 500 us after its
// request (IPMB: once Send Message, Get Message Flags and the Get Message
// that brings it are done, 1.5 ms; the kernel's retry timers run in
// virtual time too).
//
// Settings:
//   kernel.ipmi.major=239        ipmidev's major (a dynamic one)
//   kernel.ipmi.node=/dev/ipmi0  the node's name: /dev/ipmi0 (udev),
//                                /dev/ipmi/0 (devfs), /dev/ipmidev/0
//                                (older udev rules), or "none": the module
//                                is loaded and "ipmidev" listed, but nobody
//                                made the node
//   kernel.ipmi.hung_ms=11000    how long ipmi_si's KCS state machine goes
//                                on with a BMC that takes nothing (1 s per
//                                IBF wait, 10 error retries) before it
//                                gives up on the request
// Faults:
//   kernel.ipmi.fault.no_answer=TIMES  the BMC takes none of the next TIMES
//                                requests the kernel brings it; after
//                                hung_ms the kernel delivers the error
//                                response ipmi_si makes then, completion
//                                code FFh (IPMI_ERR_UNSPECIFIED)
//   kernel.ipmi.fault.busy=TIMES the BMC answers C0h (node busy) to the
//                                next TIMES requests, the kernel's own Send
//                                Message too (which it sends again later)
//   kernel.ipmi.fault.truncate=BYTES[:TIMES]
//                                the next TIMES (default always) responses
//                                the BMC gives the kernel end after BYTES
//                                bytes of data (the completion code kept)
//   A refused open: host.fault.open=/dev/ipmi0:ERRNO (sim/core/host_fault_settings.h).
// TIMES is a number or "always" (sim/core/fault_count.h).
//
// Request log:
//   component "ipmi_si", operation "request": every exchange of the kernel
//     with the BMC: address = netFn, value = cmd, detail = the exchange as
//     sim/bmc/ipmi.h writes it, then " (kernel)" for the kernel's own (Get
//     Message Flags, Get Message, the Send Message of a bridged request,
//     its boot-time questions), " (busy, injected)", " (no answer,
//     injected)" or " (truncated to N bytes, injected)"
//   component "ipmidev":
//     "send"     a request the kernel took: address = msgid, value = the
//                address type (0Ch, 01h), detail "si lun=0 netfn=06
//                cmd=01 data=[]" or "ipmb ch=0 sa=22 lun=0 netfn=06 cmd=01
//                data=[]", then " seq=NN" for IPMB
//     "refused"  an ioctl that failed: address = the request, value =
//                errno, detail = why
//     "response" a message queued for the program: address = msgid,
//                value = its completion code, detail "netfn=07 cmd=01
//                data=[00 20 ...]", " (kernel: time-out)" for C3h made by
//                the kernel, " (kernel: no answer)" for the FFh of ipmi_si
//     "receive"  a RECEIVE that handed a message over: address = msgid,
//                value = data bytes copied, detail "" or "truncated"
//     "retry"    an IPMB request sent again: address = msgid, value = the
//                retries left, detail "seq=NN"
//     "unmatched" an IPMB response the kernel dropped: address = its
//                responder, value = its sequence number
//     "setting"  SET_GETS_EVENTS, SET_MY_ADDRESS...: detail = what was set
#ifndef SRVFW_SIM_CORE_KERNEL_IPMI_DEVICE_H
#define SRVFW_SIM_CORE_KERNEL_IPMI_DEVICE_H

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/bmc/bmc.h"
#include "sim/core/fault_count.h"
#include "sim/core/machine.h"

namespace sim {

namespace kernel_ipmi {

inline constexpr const char* kDriverName = "ipmidev";
inline constexpr unsigned kDefaultMajor = 239;
inline constexpr const char* kDefaultNode = "/dev/ipmi0";
inline constexpr std::uint64_t kExchangeNs = 500'000;

}  // namespace kernel_ipmi

class KernelIpmi : public Device, public CharDriver {
  public:
    KernelIpmi(Machine& machine, Bmc& bmc);

    std::string Name() const override { return "kernel-ipmi"; }
    void Describe(std::ostream& out) const override;

    bool SystemInterfaceLoaded() const;
    bool DeviceInterfaceLoaded() const;
    const std::set<std::uint8_t>& IpmbChannels() const { return mIpmbChannels; }
    const std::string& NodePath() const { return mNode; }
    // Why ipmi_si did not load, when it was asked for and did not.
    const std::string& SystemInterfaceFailure() const { return mSiFailure; }

    int Open() override { return 0; }
    int Ioctl(unsigned long /*request*/, void* /*argument*/) override { return ENOTTY; }
    std::uint64_t MapPhysical(std::uint64_t, std::uint64_t, int* error) override;
    int OpenFile(int fd) override;
    void CloseFile(int fd) override;
    int IoctlFile(int fd, unsigned long request, void* argument) override;
    bool Readable(int fd) override;
    std::optional<std::uint64_t> NextEventNs(int fd) override;

  private:
    struct Message {
        std::uint64_t readyNs = 0;
        int recvType = 0;
        std::array<std::uint8_t, 8> addr{};  // system interface or IPMB address
        long msgid = 0;
        std::uint8_t netFn = 0;
        std::uint8_t cmd = 0;
        std::vector<std::uint8_t> data;  // completion code first
    };
    struct User {
        std::deque<Message> queue;  // by the time each arrives
        bool getsEvents = false;
        int retries = -1;  // the driver's defaults
        unsigned retryTimeMs = 0;
    };
    struct Pending {  // an IPMB request waiting for its response
        int fd = -1;
        long msgid = 0;
        std::uint8_t seq = 0;
        std::uint8_t channel = 0;
        std::uint8_t slave = 0;
        std::uint8_t lun = 0;
        std::uint8_t netFn = 0;
        std::uint8_t cmd = 0;
        std::vector<std::uint8_t> sendMessage;  // the Send Message data
        int retriesLeft = 0;
        std::uint64_t retryNs = 0;
        std::uint64_t dueNs = 0;  // the retry timer
    };
    struct Exchanged {
        ipmi::Response response;
        std::uint64_t doneNs = 0;
        bool hung = false;  // the BMC took nothing; ipmi_si made the response
    };

    void Boot();
    void TakeOverModulePrograms();
    // 0 or the exit status 1, as modprobe and rmmod give them.
    int LoadIpmiModule(const std::string& name);
    int UnloadIpmiModule(const std::string& name, bool withUnused);
    void AfterModulesChanged();
    std::string FindSystemInterface();
    void ScanChannels();
    Exchanged Exchange(std::uint8_t netFn, std::uint8_t lun, std::uint8_t cmd,
                       const std::vector<std::uint8_t>& data, bool kernel, std::uint64_t atNs);
    // Lets the kernel's time pass up to now: retries, time-outs, messages.
    void Run();
    void SendIpmb(Pending& pending, std::uint64_t atNs, bool* done);
    void FetchMessages(std::uint64_t atNs);
    void HandleIpmbResponse(const std::vector<std::uint8_t>& getMessageData, std::uint64_t atNs);
    void Deliver(int fd, Message message, const std::string& note);
    void DeliverError(const Pending& pending, std::uint8_t code, std::uint64_t atNs,
                      const std::string& note);

    int Send(int fd, const void* argument, bool settime);
    int SendSystemInterface(int fd, long msgid, std::uint8_t lun, std::uint8_t netFn,
                            std::uint8_t cmd, const std::vector<std::uint8_t>& data);
    int SendIpmbRequest(int fd, long msgid, std::uint8_t channel, std::uint8_t slave,
                        std::uint8_t lun, std::uint8_t netFn, std::uint8_t cmd,
                        const std::vector<std::uint8_t>& data, int retries, unsigned retryTimeMs);
    int Receive(int fd, void* argument, bool truncate);
    int Refused(unsigned long request, int error, const std::string& why);

    Machine& mMachine;
    Bmc& mBmc;
    unsigned mMajor;
    std::string mNode;
    std::uint64_t mHungNs;
    FaultCount mNoAnswer;
    FaultCount mBusy;
    std::optional<std::size_t> mTruncateTo;
    FaultCount mTruncateTimes;

    bool mBooted = false;  // the faults strike the program's time, not boot's
    std::string mSiFailure;
    std::set<std::uint8_t> mIpmbChannels;
    std::array<std::uint8_t, 16> mMyAddress;
    std::array<std::uint8_t, 16> mMyLun;
    std::uint64_t mInterfaceFreeNs = 0;
    std::uint8_t mNextSeq = 0;
    std::map<int, User> mUsers;
    std::vector<Pending> mPending;
};

}  // namespace sim

#endif
