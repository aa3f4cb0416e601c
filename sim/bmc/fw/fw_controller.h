// The firmware of a simulated controller as an update meets it: the BMC
// (20h), the front-panel controller (22h) and the hot-swap controllers
// (C0h, C2h) behind it on IPMB channel 0. Each holds a firmware memory
// (sim/bmc/fw/fw_memory.h) and takes new firmware in firmware transfer
// mode, then restarts into it.
//
// COMMANDS (netFn 08h, LUN 0; answered in firmware transfer mode only, the
// not-in-mode code (D5h) otherwise, except Enter):
//   Enter (00h): the signature "VARNO" (every controller) or "BOOT" (the
//     front panel: its boot loader, the only mode in which its boot area
//     takes writes), exactly those bytes; CCh another signature; 00h, and
//     Get Device ID byte 2 bit 7 is set. A second Enter changes the mode.
//   Exit (04h): no data (C7h with any); a Vitesse hot-swap controller takes
//     one byte instead: 00h leaves transfer mode at once and runs the new
//     firmware with no restart, any other value restarts it and answers
//     byte 0 = the seconds the host must wait. Otherwise 00h without data.
//     A restart answers nothing at all (every command, Get Device ID too)
//     for restart_ms of virtual time; then the controller runs the firmware
//     now in its memory.
//   SetSegment (05h): segment u16 LS first, the address bits 31..16 of what
//     follows; CCh a segment beyond the memory. The front panel has 16-bit
//     addresses: it has no such command (C1h). Entering transfer mode sets
//     segment 0.
//   WriteLowlvl (01h): offset u16 LS first, then 1 or more bytes (C7h
//     fewer than 3 data bytes); C8h more bytes than the controller's write
//     buffer; C9h bytes past the end of the memory; 80h a byte in a
//     protected range (the front panel's boot area outside "BOOT" mode, or
//     fw.NAME.protect); 00h, the bytes stored. A refused write stores
//     nothing. Addresses run on across a 64 KiB boundary.
//   Read (02h): offset u16, count u8 (C7h not 3 bytes); CCh a count of 0;
//     C9h a range past the end; 00h with the offset echoed (u16 LS first)
//     and the bytes.
//   RangeCheckSum (03h): first, last offset u16 (C7h not 4 bytes) of the
//     current segment; CCh last below first; C9h past the end; 00h with the
//     first offset echoed (bytes 0..1) and in bytes 2..3 the u16 that
//     brings the range's sum to 0 modulo 65536: the BMC sums 16-bit
//     little-endian words (a last odd byte as a word with high byte 0),
//     the other controllers bytes.
//   GetBufferSize (30h/66h, sim/bmc/fw/fw_buffer_size.h).
//
// Get Device ID (sim/bmc/ipmi_controller.h) reports the running firmware's
// versions, read from its information blocks when the controller starts:
// bytes 2, 3 the operational code's major (bits 6:0) and minor, for a
// hot-swap controller its boot version there instead; the BMC and the front
// panel also the boot version in bytes 11, 12 and the PIA version in 13,
// 14. The BMC's product ID comes from bmc.product_id. A block missing from
// memory leaves the version the settings gave (sim/bmc/ipmi_controller.h).
//
// Transfer mode and restarts live in the running machine: every process
// meets controllers that run normally. The memory is kept in the state
// directory. Settings and faults: sim/bmc/fw/fw_settings.h; request log:
// sim/bmc/fw/fw_log.h.
#ifndef SRVFW_SIM_BMC_FW_FW_CONTROLLER_H
#define SRVFW_SIM_BMC_FW_FW_CONTROLLER_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "sim/bmc/fw/fw_memory.h"
#include "sim/bmc/fw/fw_settings.h"
#include "sim/bmc/ipmi_controller.h"
#include "sim/core/clock.h"
#include "sim/core/request_log.h"

namespace sim::fw {

// The firmware command numbers of netFn 08h.
enum FirmwareCommand : std::uint8_t {
    kEnterTransferMode = 0x00,
    kWriteLowlvl = 0x01,
    kRead = 0x02,
    kRangeCheckSum = 0x03,
    kExitTransferMode = 0x04,
    kSetSegment = 0x05,
};
inline constexpr std::uint8_t kNetFnVendor = 0x30;
inline constexpr std::uint8_t kGetBufferSize = 0x66;

// What transfer mode the controller is in.
enum class TransferMode { kNone, kVarno, kBoot };

class FirmwareController {
  public:
    FirmwareController(ipmi::Controller& controller, FirmwareConfig config, VirtualClock& clock,
                       RequestLog& log);

    const FirmwareConfig& Config() const { return mConfig; }
    std::uint8_t Address() const { return mController.Address(); }
    TransferMode Mode() const { return mMode; }
    bool InTransferMode() const { return mMode != TransferMode::kNone; }
    // Still restarting: it answers nothing until then.
    bool Restarting() const { return mClock.NowNs() < mRestartUntilNs; }
    const FirmwareMemory& Memory() const { return mMemory; }
    // The versions the running firmware reports (what its blocks said at
    // its last start).
    std::optional<BlockVersion> RunningVersion(BlockKind kind) const;

    void LoadState(const std::filesystem::path& dir);
    void SaveState(const std::filesystem::path& dir) const;
    void Describe(std::ostream& out) const;

  private:
    void Register();
    // The running firmware's versions into Get Device ID.
    void Start();
    bool Vitesse() const { return mConfig.vitesse; }
    // A firmware command: the stop-after fault, then the mode check.
    std::optional<ipmi::Response> Unready(const ipmi::Request& request, bool needsMode);
    ipmi::Response Logged(const ipmi::Request& request, ipmi::Response response,
                          const std::string& detail);
    ipmi::Response Enter(const ipmi::Request& request);
    ipmi::Response Exit(const ipmi::Request& request);
    ipmi::Response SetSegment(const ipmi::Request& request);
    ipmi::Response Write(const ipmi::Request& request);
    ipmi::Response Read(const ipmi::Request& request);
    ipmi::Response RangeCheckSum(const ipmi::Request& request);
    bool Protected(std::uint32_t first, std::uint32_t last) const;
    std::uint32_t Address(std::uint16_t offset) const {
        return (static_cast<std::uint32_t>(mSegment) << 16) | offset;
    }

    ipmi::Controller& mController;
    FirmwareConfig mConfig;
    VirtualClock& mClock;
    RequestLog& mLog;
    FirmwareMemory mMemory;
    TransferMode mMode = TransferMode::kNone;
    std::uint16_t mSegment = 0;
    std::uint64_t mRestartUntilNs = 0;
    std::uint64_t mFirmwareCommands = 0;
    std::optional<BlockVersion> mRunning[4];
};

}  // namespace sim::fw

#endif
