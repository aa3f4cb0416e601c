// The BMC's IPMI 2.0 LAN endpoint as the session library libipmi.so
// (sim/libipmi/libipmi.h) reaches it: sessions opened and closed, and each
// request handed to the BMC's command table as its LAN channel would.
//
// Settings:
//   libipmi.address=127.0.0.1   libipmi.port=623
//                               where the endpoint answers; a session to
//                               anywhere else is LIBIPMI_E_UNREACHABLE
// Faults (TIMES a number or "always", sim/core/fault_count.h):
//   libipmi.fault.session=TIMES[:CODE]  opening a session fails with CODE
//                                       (default 3, session refused)
//   libipmi.fault.send=TIMES[:CODE]     a request fails with CODE (default
//                                       5) and does not reach the BMC
//
// Request log, component "libipmi":
//   "open"   address = port, value = result, detail "127.0.0.1:623
//            privilege 4 -> session 1" or the reason it failed
//   "send"   address = netFn, value = command, detail = the exchange
//            (sim/bmc/ipmi.h), or the request and " -> failed (CODE): REASON"
//   "close"  address = session, value = result
// A call the library turns down before it reaches the endpoint is logged
// under its operation with value = the result and the reason as detail.
#ifndef SRVFW_SIM_BMC_LIBIPMI_ENDPOINT_H
#define SRVFW_SIM_BMC_LIBIPMI_ENDPOINT_H

#include <cstdint>
#include <set>
#include <string>

#include "sim/bmc/bmc.h"
#include "sim/core/fault_count.h"
#include "sim/core/machine.h"

namespace sim {

class LibipmiEndpoint : public Device {
  public:
    LibipmiEndpoint(Machine& machine, Bmc& bmc);

    std::string Name() const override { return "libipmi"; }
    void Describe(std::ostream& out) const override;

    // Each returns a libipmi result code.
    std::uint16_t Open(const std::string& address, std::uint16_t port, std::uint8_t* privilegeLevel,
                       std::uint32_t* session);
    std::uint16_t Send(std::uint32_t session, const ipmi::Request& request,
                       ipmi::Response* response);
    std::uint16_t Close(std::uint32_t session);

    bool IsOpen(std::uint32_t session) const { return mOpen.count(session) != 0; }
    std::size_t OpenSessions() const { return mOpen.size(); }

    // Logs a call the library turned down before it reached the endpoint
    // (a null record, a length out of range) and returns result.
    std::uint16_t Logged(const std::string& operation, std::uint64_t address, std::uint16_t result,
                         const std::string& detail) const;

  private:
    Machine& mMachine;
    Bmc& mBmc;
    std::string mAddress;
    std::uint16_t mPort;
    CodedFault mSessionFault;
    CodedFault mSendFault;
    std::set<std::uint32_t> mOpen;
    std::uint32_t mNextSession = 1;
};

}  // namespace sim

#endif
