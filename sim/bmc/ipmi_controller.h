// An IPMI management controller of the simulated server (the BMC, or a
// satellite controller behind it on an IPMB): its identity as Get Device ID
// reports it, and its command table.
//
// THE COMMAND TABLE. Every command a controller serves is a handler
// registered by network function and command, with the form of its request:
// how many data bytes it takes (exactly so many, or at least so many) and
// the LUNs it is served on. The request's bytes go in, the response's
// completion code and bytes come out:
//
//     bmc.Commands().Register(ipmi::kNetFnStorage, 0x11,  // Read FRU Data
//         {ipmi::RequestLength::Exactly(4), ipmi::kLunZero},
//         [this](const ipmi::Request& request) -> ipmi::Response {
//             ...  // request.data holds its 4 bytes
//             return {ipmi::kOk, bytes};
//         });
//
// The table checks the form once, before the handler runs, as a BMC's
// firmware does in its dispatcher: a LUN the command is not served on
// answers C2h, then a request of another length answers C7h; the handler
// does not run for either, and is told nothing, but an optional refusal
// hook hears of them (a component that logs its answers logs these too).
// Handlers keep only the checks of their own fields. A command registered
// without a form takes any length on any LUN and checks for itself.
//
// A command nobody registered answers C1h (invalid command), as does any
// request with a response's (odd) network function. Registering a command
// twice, or under an odd network function, is a fault in the machine's
// construction (std::logic_error); a later part that changes a command's
// behaviour at run time keeps that state in its own handler. Handlers run
// on the caller's thread, during the port write, session call or Send
// Message that delivered the request.
//
// Every controller registers Get Device ID (06h/01h) from its identity:
//   data[0] device ID; [1] device revision (bit 7: provides device SDRs);
//   [2] bit 7 "device available" flag, set while the controller is in
//   firmware transfer mode (a firmware update is in progress), bits 6:0 the
//   major firmware revision; [3] minor firmware revision (BCD); [4] IPMI
//   version (BCD, low nibble major: 51h = 1.5, 02h = 2.0); [5] additional
//   device support; [6..8] manufacturer ID (LS byte first); [9..10] product
//   ID (LS byte first); [11..14] auxiliary firmware revision. A request with
//   data answers C7h.
//
// Settings of a controller, under its prefix ("bmc." or "ipmb.NAME."):
//   PREFIX.device_id=N            PREFIX.device_revision=N
//   PREFIX.firmware=MAJOR.MINOR   e.g. 1.20: major 1 (0..127), minor two
//                                 decimal digits, reported as BCD 20h
//   PREFIX.ipmi_version=0x02      the version byte (0x51 for IPMI 1.5)
//   PREFIX.additional_support=N   PREFIX.manufacturer=N (20 bits)
//   PREFIX.product_id=N           PREFIX.aux_firmware=HEXBYTES (4 bytes)
//   PREFIX.transfer_mode=0        1: starts in firmware transfer mode
// and its faults:
//   PREFIX.fault.answer=NETFN:CMD:CC[:TIMES],...
//                                 the command answers completion code CC
//                                 with no data, without running its
//                                 handler (TIMES a number or "always",
//                                 default always)
#ifndef SRVFW_SIM_BMC_IPMI_CONTROLLER_H
#define SRVFW_SIM_BMC_IPMI_CONTROLLER_H

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "sim/bmc/ipmi.h"
#include "sim/core/fault_count.h"
#include "sim/core/settings.h"

namespace sim::ipmi {

// How many data bytes a command's request carries.
struct RequestLength {
    std::size_t minimum = 0;
    std::size_t maximum = std::numeric_limits<std::size_t>::max();

    static constexpr RequestLength Exactly(std::size_t bytes) { return {bytes, bytes}; }
    static constexpr RequestLength AtLeast(std::size_t bytes) {
        return {bytes, std::numeric_limits<std::size_t>::max()};
    }
    constexpr bool Fits(std::size_t bytes) const { return bytes >= minimum && bytes <= maximum; }
};

// The LUNs a command is served on, one bit per LUN.
inline constexpr std::uint8_t kEveryLun = 0xFF;
inline constexpr std::uint8_t kLunZero = 0x01;

struct RequestForm {
    RequestLength length;
    std::uint8_t luns = kEveryLun;
};

class CommandTable {
  public:
    using Handler = std::function<Response(const Request&)>;
    // Hears of a request the table refused for its form, and the code it
    // answered (C2h or C7h).
    using RefusalHook = std::function<void(const Request&, std::uint8_t completionCode)>;

    void Register(std::uint8_t netFn, std::uint8_t cmd, RequestForm form, Handler handler,
                  RefusalHook refused = {});
    // Any length on any LUN: the handler checks for itself.
    void Register(std::uint8_t netFn, std::uint8_t cmd, Handler handler);
    bool Has(std::uint8_t netFn, std::uint8_t cmd) const;
    Response Dispatch(const Request& request) const;
    // The registered (netFn, cmd) pairs, in ascending order.
    std::vector<std::pair<std::uint8_t, std::uint8_t>> Commands() const;

  private:
    struct Entry {
        RequestForm form;
        Handler handler;
        RefusalHook refused;
    };
    // The completion code that refuses the request's form, or kOk.
    static std::uint8_t FormRefusal(const RequestForm& form, const Request& request);

    std::map<std::pair<std::uint8_t, std::uint8_t>, Entry> mCommands;
};

struct DeviceIdentity {
    std::uint8_t deviceId = 0;
    std::uint8_t deviceRevision = 0;
    std::uint8_t firmwareMajor = 0;  // 0..127
    std::uint8_t firmwareMinor = 0;  // BCD
    std::uint8_t ipmiVersion = 0x02;
    std::uint8_t additionalSupport = 0;
    std::uint32_t manufacturer = 0;  // 20 bits
    std::uint16_t productId = 0;
    std::array<std::uint8_t, 4> auxFirmware{};
    bool transferMode = false;

    // The identity the settings under prefix describe; what they leave out
    // comes from defaults. Throws std::invalid_argument naming the setting
    // that cannot be understood.
    static DeviceIdentity FromSettings(const Settings& settings, const std::string& prefix,
                                       const DeviceIdentity& defaults);
    // The data of the Get Device ID response (15 bytes).
    std::vector<std::uint8_t> DeviceIdData() const;
    // "firmware 1.20, IPMI 2.0, product 0100h, manufacturer 002A7Dh"
    std::string Summary() const;
};

// One injected answer of PREFIX.fault.answer.
struct AnswerFault {
    std::uint8_t netFn = 0;
    std::uint8_t cmd = 0;
    std::uint8_t completionCode = 0;
    FaultCount times = FaultCount::Always();
};

class Controller {
  public:
    // Reads the identity and the answer faults under prefix.
    Controller(std::string name, std::uint8_t address, const Settings& settings,
               const std::string& prefix, const DeviceIdentity& defaults);

    const std::string& Name() const { return mName; }
    std::uint8_t Address() const { return mAddress; }
    CommandTable& Commands() { return mCommands; }
    const CommandTable& Commands() const { return mCommands; }
    // Firmware commands of later parts change it (transfer mode, versions).
    DeviceIdentity& Identity() { return mIdentity; }
    const DeviceIdentity& Identity() const { return mIdentity; }

    // The controller's answer to one request: an injected answer when a
    // fault strikes, otherwise its command table's; no answer at all
    // (Response::silent) once it has stopped.
    Response Handle(const Request& request);

    // A handler's fault that hangs the controller's firmware: from now on
    // it answers nothing, until the process ends (a later process meets a
    // controller that runs again, as after a reset).
    void Stop() { mStopped = true; }
    bool Stopped() const { return mStopped; }
    // A part that takes the controller down for a while (a firmware
    // restart) says when: while the gate returns true, every request goes
    // unanswered, as after Stop.
    void SetSilence(std::function<bool()> silent) { mSilent = std::move(silent); }

    // Identity, commands and faults, indented for Machine::Describe.
    void Describe(std::ostream& out, const std::string& indent) const;

  private:
    std::string mName;
    std::uint8_t mAddress;
    DeviceIdentity mIdentity;
    CommandTable mCommands;
    std::vector<AnswerFault> mAnswerFaults;
    bool mStopped = false;
    std::function<bool()> mSilent;
};

}  // namespace sim::ipmi

#endif
