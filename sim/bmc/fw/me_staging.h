// The management engine (slave address 2Ch on IPMB channel 6, a satellite of
// sim/bmc/ipmb.h) as our firmware updates it: the host resets it into
// firmware transfer mode, erases its staging area, writes an image there
// in sequenced pieces and closes the area with the image's length and
// checksum. Only a whole, checked image becomes the engine's running
// firmware, so an update cut short leaves the firmware it had.
//
// COMMANDS (netFn 30h, LUN 0, in the engine's own command table; a request
// of another length answers C7h before the command looks at it):
//   ResetME (DFh): one byte. 01h resets the engine into firmware transfer
//     mode (Get Device ID byte 2 bit 7 set) with nothing staged; 00h resets
//     it into normal operation; CCh any other byte. 00h.
//   GetUpdateStatus (A6h): no data. 00h with byte 0 = 01h in firmware
//     transfer mode (else 00h) and byte 1 = the staging status: 00h nothing
//     staged, 01h erasing, 02h staging area erased, 03h area open, 04h image
//     taken, 05h image refused. Answers in either mode.
//   EraseStagingArea (A0h): no data. D5h outside firmware transfer mode or
//     while an area is open. A request starts the erase and, like every
//     one while it runs, answers the erase busy code (81h); the erase is
//     done once erase_ms of virtual time has passed since its start, and
//     a request then answers 00h, as it does at once when the staging area
//     is erased already (or erase_ms is 0).
//   OpenArea (A1h): area, 00h. D5h outside firmware transfer mode or when
//     the staging area is neither erased nor free after an image taken; CCh
//     an area other than 01h (the engine's firmware) or a second byte other
//     than 00h; 00h. Opening starts a new image (one left open is dropped).
//   WriteToArea (A2h): sequence number, 1 to 32 image bytes. D5h outside
//     firmware transfer mode or with no area open; CCh a sequence number
//     other than the expected one (01h after opening, then one more each,
//     wrapping after FFh to 00h), the area staying as it was; C4h beyond
//     the staging capacity; 00h, the bytes appended.
//   CloseArea (A3h): image length (4 bytes, LS first), checksum (2 bytes,
//     LS first). D5h outside firmware transfer mode or with no area open;
//     CCh a length other than the bytes written; CCh a checksum that does
//     not bring the image's sum to zero (the image as 16-bit little-endian
//     words from its first byte, an odd last byte the high byte of a word
//     of its own, summed modulo 65536, plus the checksum, is 0); CCh an
//     image whose OpCodeInfo block names a version Get Device ID cannot
//     report (sim/bmc/fw/me_firmware.h); 00h, and the image is the engine's
//     running firmware, its version (unchanged when the image carries no
//     OpCodeInfo block) in Get Device ID bytes 2 and 3. The engine stays in
//     firmware transfer mode, and the staging area is free for the next
//     image without another erase (the image moved to the firmware's own
//     flash). A refused close leaves the staging area to be erased again.
//     Any close ends the open area.
// An image is taken only whole: nothing a host does short of a good close
// changes the running firmware.
//
// Firmware transfer mode is not kept in the state directory: every process
// meets an engine that runs normally, as after a power cycle. The running
// firmware and its version are kept.
//
// SETTINGS (PREFIX is ipmb.NAME. of the satellite at 2Ch on channel 6,
// ipmb.me. by default; numbers decimal or 0x-hexadecimal):
//   PREFIX.staging.busy_code=0x82   what a busy GetUpdateStatus or OpenArea
//                          answers (C0h on platforms whose engine answers
//                          "node busy"); none of 00h, 80h, 83h
//   PREFIX.staging.erase_busy_code=0x81  what erase answers while it runs
//   PREFIX.staging.erase_ms=2500    virtual time an erase takes
//   PREFIX.staging.capacity=0x100000  bytes the staging area holds
//   PREFIX.staging.file=NAME-firmware  the running firmware in the state
//                          directory (FILE.bin, FILE.version)
// The identity under PREFIX (sim/bmc/ipmi_controller.h) gives the version
// before any image is taken.
// Faults (TIMES a number or "always"; counts start afresh in each process):
//   PREFIX.fault.status_busy=TIMES   GetUpdateStatus answers the busy code
//   PREFIX.fault.open_busy=TIMES     OpenArea answers the busy code
//   PREFIX.fault.erase_stuck=1       an erase never completes
//   PREFIX.fault.erase_refused=TIMES erase answers 80h, nothing erased
//   PREFIX.fault.not_compatible=erase,open,write
//                          those commands answer 83h (the image is not for
//                          this engine), in transfer mode or not
//   PREFIX.fault.refuse_write=K[:CC] the K-th write after each open (from
//                          1) answers CC (FFh) and is not kept
//   PREFIX.fault.close_checksum=TIMES  close refuses a right checksum (CCh)
//   PREFIX.fault.reset_stays_normal=TIMES  ResetME 01h answers 00h and the
//                          engine stays in normal operation
//
// Request log: component "me" (sim/bmc/fw/vendor_log.h), operations "reset"
// (address = the byte), "status" (value = the status byte answered),
// "erase" (value = the ns left of the erase, 0 once done), "open" (address
// = area), "write" (address = sequence number, value = bytes), "close"
// (address = checksum, value = length).
#ifndef SRVFW_SIM_BMC_FW_ME_STAGING_H
#define SRVFW_SIM_BMC_FW_ME_STAGING_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/bmc/bmc.h"
#include "sim/bmc/fw/me_firmware.h"
#include "sim/bmc/fw/me_settings.h"
#include "sim/bmc/fw/vendor_log.h"
#include "sim/core/machine.h"

namespace sim {

namespace me {

inline constexpr std::uint8_t kChannel = 6;
inline constexpr std::uint8_t kAddress = 0x2C;
inline constexpr std::uint8_t kNetFnVendor = 0x30;
enum Command : std::uint8_t {
    kEraseStagingArea = 0xA0,
    kOpenArea = 0xA1,
    kWriteToArea = 0xA2,
    kCloseArea = 0xA3,
    kGetUpdateStatus = 0xA6,
    kResetMe = 0xDF,
};
inline constexpr std::uint8_t kFirmwareArea = 0x01;
inline constexpr std::size_t kLargestWrite = 32;
enum ResetTarget : std::uint8_t {
    kResetToNormal = 0x00,
    kResetToTransferMode = 0x01,
};
enum class StagingStatus : std::uint8_t {
    kNothing = 0x00,
    kErasing = 0x01,
    kErased = 0x02,
    kAreaOpen = 0x03,
    kTaken = 0x04,
    kRefused = 0x05,
};
inline constexpr std::uint8_t kRefused = 0x80;
inline constexpr std::uint8_t kNotCompatible = 0x83;

// The checksum close expects of an image: its word sum plus the checksum is
// 0 modulo 65536.
std::uint16_t ImageChecksum(std::span<const std::uint8_t> image);

}  // namespace me

class ManagementEngine : public Device {
  public:
    ManagementEngine(Machine& machine, Bmc& bmc);

    std::string Name() const override { return vendor::kMeComponent; }
    void LoadState(const std::filesystem::path& dir) override;
    void SaveState(const std::filesystem::path& dir) const override;
    void Describe(std::ostream& out) const override;

    // Whether the machine has an engine at 2Ch on channel 6 at all.
    bool Present() const { return mController != nullptr; }
    bool InTransferMode() const;
    me::FirmwareVersion RunningVersion() const;
    const std::vector<std::uint8_t>& RunningImage() const { return mFirmware.image; }
    me::StagingStatus Status() const;
    // Bytes written to the open area so far, none when no area is open.
    std::optional<std::size_t> OpenAreaBytes() const;

  private:
    struct OpenImage {
        std::vector<std::uint8_t> bytes;
        std::uint8_t nextSequence = 1;
        std::uint64_t writes = 0;
    };
    void Register(ipmi::CommandTable& commands);
    // Logs the request with its answer and returns the answer.
    ipmi::Response Answer(vendor::LoggedRequest& entry, std::uint8_t completionCode,
                          std::string note = "", std::vector<std::uint8_t> data = {});
    // The refusal of a staging command outside firmware transfer mode, or
    // of one the not-compatible fault names.
    std::optional<ipmi::Response> Unready(vendor::LoggedRequest& entry,
                                          std::optional<me::Staging> command);
    // A reset: the mode it comes back in, nothing staged.
    void Restart(bool transferMode);
    // The erase is done once its time has passed.
    void SettleErase();

    ipmi::Response Reset(const ipmi::Request& request);
    ipmi::Response UpdateStatus(const ipmi::Request& request);
    ipmi::Response Erase(const ipmi::Request& request);
    ipmi::Response OpenArea(const ipmi::Request& request);
    ipmi::Response WriteArea(const ipmi::Request& request);
    ipmi::Response CloseArea(const ipmi::Request& request);
    // Makes a checked image the running firmware; the refusal's note when
    // its version cannot be reported.
    std::optional<std::string> Take(std::vector<std::uint8_t> image);

    Machine& mMachine;
    ipmi::Controller* mController = nullptr;
    me::StagingSettings mConfig;
    me::RunningFirmware mFirmware;
    me::StagingStatus mStatus = me::StagingStatus::kNothing;
    std::uint64_t mEraseDoneAtNs = 0;
    std::optional<OpenImage> mArea;
};

}  // namespace sim

#endif
