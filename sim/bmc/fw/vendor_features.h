// Our BMC firmware's vendor features: the remote management module (RMM)
// that a board may carry, and the front panel lock.
//
// COMMANDS (served by the BMC, netFn 30h, LUN 0; a request of another
// length answers C7h before the command looks at it):
//   GetAdvancedFeatureSupportCommand (71h): 4 bytes: feature group 00h, the
//     query, 00h, 00h. CCh another group, another query or non-zero
//     trailing bytes. Queries:
//       01h RMM presence: 00h with 01h (the query) and the flags byte, bit 0
//           set when an RMM is present.
//       03h RMM version: CBh without an RMM; else 00h with 03h, the major
//           and the minor version bytes (shown "%X.%02X").
//   Front panel lock (1Eh): 1 byte: F0h locks the front panel's buttons,
//     00h unlocks them; CCh any other byte; 00h, no data. The lock is kept
//     in the state directory, as the BMC keeps it across a host's restart.
//
// SETTINGS:
//   bmc.rmm.present=1          0: the board carries no RMM
//   bmc.rmm.version=1.05       its version: MAJOR.MINOR, each one byte in
//                              hexadecimal, as the BMC reports them
//   bmc.front_panel.locked=0   1: locked before any state is kept
//   bmc.front_panel.file=front-panel-lock   the lock in the state directory
// Faults (TIMES a number or "always"):
//   bmc.fault.features_no_data=TIMES   71h answers 00h with no data
//   (bmc.fault.answer, sim/bmc/ipmi_controller.h, refuses any command)
//
// Request log: component "fw" (sim/bmc/fw/vendor_log.h), operations
// "features" (address = the query, value = the first answer byte after the
// echoed query: the flags, or the major version) and "panel_lock"
// (address = the byte; value = 1 when the front panel is locked after it).
#ifndef SRVFW_SIM_BMC_FW_VENDOR_FEATURES_H
#define SRVFW_SIM_BMC_FW_VENDOR_FEATURES_H

#include <cstdint>
#include <string>

#include "sim/bmc/bmc.h"
#include "sim/bmc/fw/me_firmware.h"
#include "sim/bmc/fw/vendor_log.h"
#include "sim/core/fault_count.h"
#include "sim/core/machine.h"

namespace sim {

namespace vendor {

inline constexpr std::uint8_t kNetFn = 0x30;
enum BmcCommand : std::uint8_t {
    kFrontPanelLock = 0x1E,
    kGetAdvancedFeatureSupport = 0x71,
};
enum FeatureQuery : std::uint8_t {
    kRmmPresence = 0x01,
    kRmmVersion = 0x03,
};
inline constexpr std::uint8_t kRmmPresent = 0x01;
enum PanelLock : std::uint8_t {
    kUnlock = 0x00,
    kLock = 0xF0,
};

using RmmVersion = me::FirmwareVersion;

}  // namespace vendor

class BmcVendorFeatures : public Device {
  public:
    BmcVendorFeatures(Machine& machine, Bmc& bmc);

    std::string Name() const override { return "vendor-features"; }
    void LoadState(const std::filesystem::path& dir) override;
    void SaveState(const std::filesystem::path& dir) const override;
    void Describe(std::ostream& out) const override;

    bool RmmPresent() const { return mRmmPresent; }
    vendor::RmmVersion Rmm() const { return mRmm; }
    bool FrontPanelLocked() const { return mLocked; }

  private:
    ipmi::Response Answer(vendor::LoggedRequest& entry, std::uint8_t completionCode,
                          std::string note = "", std::vector<std::uint8_t> data = {});
    ipmi::Response AdvancedFeatures(const ipmi::Request& request);
    ipmi::Response FrontPanelLock(const ipmi::Request& request);

    Machine& mMachine;
    bool mRmmPresent = true;
    vendor::RmmVersion mRmm;
    bool mLocked = false;
    std::string mLockFile;
    FaultCount mNoData;
};

}  // namespace sim

#endif
