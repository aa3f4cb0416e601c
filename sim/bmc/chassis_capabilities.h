// The chassis capabilities the BMC reports (IPMI Get/Set Chassis
// Capabilities): which chassis functions the board offers and which
// controllers serve them. Host software that locks the front panel on BMCs
// without our vendor lock command sets the front panel lockout flag here.
//
// COMMANDS (BMC, netFn 00h, LUN 0; a request of another length answers C7h
// before the command looks at it):
//   Get Chassis Capabilities (00h): no data. 00h with the capabilities
//     flags (bit 3 power interlock, bit 2 diagnostic interrupt, bit 1 front
//     panel lockout, bit 0 intrusion sensor), then the chassis FRU info,
//     SDR, SEL, system management and bridge device addresses.
//   Set Chassis Capabilities (05h): flags, the four addresses and
//     optionally the bridge address (5 or 6 bytes). CCh flags with a
//     reserved bit (7:2) set, or an odd address (an address is the 7-bit
//     slave address shifted left; 00h is "unspecified"); 00h, and bits 1:0
//     and the addresses are what Get answers from then on (the bridge
//     address stays when the request leaves it out; bits 3:2 describe the
//     chassis and stay). Kept in the state directory, as the BMC keeps
//     them in its nonvolatile storage.
//
// SETTINGS:
//   chassis.capabilities=0x00    the flags before any Set
//   chassis.addresses=0x20,0x20,0x20,0x20,0x20  FRU, SDR, SEL, system
//                                management, bridge
//   chassis.file=chassis-capabilities  the six bytes in the state directory
// Faults: bmc.fault.answer (sim/bmc/ipmi_controller.h).
//
// Request log: component "fw" (sim/bmc/fw/vendor_log.h), operations
// "chassis_get" (value = the flags answered) and "chassis_set" (address =
// the flags asked for, value = the flags kept).
#ifndef SRVFW_SIM_BMC_CHASSIS_CAPABILITIES_H
#define SRVFW_SIM_BMC_CHASSIS_CAPABILITIES_H

#include <array>
#include <cstdint>
#include <string>

#include "sim/bmc/bmc.h"
#include "sim/core/machine.h"

namespace sim {

namespace chassis {

enum Command : std::uint8_t {
    kGetChassisCapabilities = 0x00,
    kSetChassisCapabilities = 0x05,
};
enum Capability : std::uint8_t {
    kIntrusionSensor = 0x01,
    kFrontPanelLockout = 0x02,
    kDiagnosticInterrupt = 0x04,
    kPowerInterlock = 0x08,
};

struct Capabilities {
    std::uint8_t flags = 0;
    // FRU info, SDR, SEL, system management, bridge
    std::array<std::uint8_t, 5> addresses{0x20, 0x20, 0x20, 0x20, 0x20};

    bool operator==(const Capabilities&) const = default;
};

}  // namespace chassis

class ChassisCapabilities : public Device {
  public:
    ChassisCapabilities(Machine& machine, Bmc& bmc);

    std::string Name() const override { return "chassis"; }
    void LoadState(const std::filesystem::path& dir) override;
    void SaveState(const std::filesystem::path& dir) const override;
    void Describe(std::ostream& out) const override;

    const chassis::Capabilities& Current() const { return mCapabilities; }
    bool FrontPanelLockout() const { return mCapabilities.flags & chassis::kFrontPanelLockout; }

  private:
    ipmi::Response Get(const ipmi::Request& request);
    ipmi::Response Set(const ipmi::Request& request);

    Machine& mMachine;
    chassis::Capabilities mCapabilities;
    std::string mFile;
};

}  // namespace sim

#endif
