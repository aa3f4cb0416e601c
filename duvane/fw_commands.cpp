// The firmware commands (08h) and the mode check, with the segment memory
// that spares a SetSegment when the segment has not changed.
#include <cstring>

#include "bmc/debug_log.h"
#include "bmc/ipmi_numbers.h"
#include "duvane/duvane_engine.h"
#include "duvane/duvane_messages.h"
#include "duvane/duvane_state.h"
#include "duvane/duvane_status.h"
#include "hw/hw.h"

namespace DirectFwUpdate_Private {

namespace {

constexpr unsigned kTimeoutMs = 5000;
constexpr std::uint8_t kMeChannel = 6;
constexpr std::uint8_t kPrimaryIpmb = 0;
// Get Device ID, firmware revision 1: the controller runs its boot code and
// takes firmware commands.
constexpr std::size_t kFirmwareRevisionByte = 2;
constexpr std::uint8_t kTransferModeBit = 0x80;
constexpr unsigned kBmcExitWaitSeconds = 120;
constexpr unsigned kVitesseDefaultWaitSeconds = 60;
constexpr unsigned kExitWaitSeconds = 30;
// The label of the progress a restart's wait reports.
constexpr unsigned kRestartWaitText = 75;
// A Read answer starts with two bytes before the firmware's.
constexpr std::size_t kReadHeader = 2;
constexpr std::size_t kChecksumAt = 2;

std::array<std::uint8_t, 2> Le16(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
}

}  // namespace

CDuvane::Answer CDuvane::Send(std::uint8_t device, std::uint8_t netFn, std::uint8_t cmd,
                              std::span<const std::uint8_t> head,
                              std::span<const std::uint8_t> payload) {
    BmcExchange exchange(*mRequest, *mResponse);
    Answer answer;
    mResponse->dataLength = 0;
    mResponse->completionCode = 0;
    if (!exchange.Fill({device, netFn, 0, cmd}, head, payload)) {
        answer.transport = -1;
        return answer;
    }
    if (device == DUVANE_DEVICE_BMC) {
        answer.transport = exchange.Send(kTimeoutMs);
    } else {
        const std::uint8_t channel = device == DUVANE_DEVICE_ME ? kMeChannel : kPrimaryIpmb;
        answer.transport = exchange.SendBridged(channel, device, kTimeoutMs);
    }
    answer.completionCode = exchange.CompletionCode();
    answer.data = exchange.Data();
    return answer;
}

bool CDuvane::IsHsc(std::uint8_t device) const {
    return device == DUVANE_DEVICE_HSC0 || device == DUVANE_DEVICE_HSC1;
}

bool CDuvane::IsVitesseHsc(std::uint8_t device) const {
    return IsHsc(device) && mVitesseMode == kVitesseMode;
}

int CDuvane::GetMode(std::uint8_t device, bool& inTransferMode) {
    inTransferMode = false;
    const Answer answer = Send(device, ipmi::kNetFnApp, ipmi::kGetDeviceId, {});
    if (answer.ok() && answer.data.size() > kFirmwareRevisionByte) {
        inTransferMode = (answer.data[kFirmwareRevisionByte] & kTransferModeBit) != 0;
        return DUVANE_SUCCESS;
    }
    // The BMC does not answer while it restarts into or out of its boot
    // code; that is not a failure of the check.
    if (device == DUVANE_DEVICE_BMC) {
        hw::SleepSeconds(1);
        return DUVANE_SUCCESS;
    }
    if (device == DUVANE_DEVICE_FRONT_PANEL) {
        SetErrorMessage(16);
    } else if (IsHsc(device)) {
        SetErrorMessage(15, unsigned{device});
    } else {
        SetErrorMessage(17, unsigned{device});
    }
    return DUVANE_CONTROLLER_FAILED;
}

int CDuvane::EnterFwTransferMode(std::uint8_t device, const char* signature) {
    bool inMode = false;
    if (const int status = GetMode(device, inMode)) return status;
    if (inMode) {
        SetErrorMessage(30);
        return DUVANE_CONTROLLER_FAILED;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(signature);
    const Answer answer = Send(device, ipmi::kNetFnFirmware, ipmi::kEnterFwTransferMode,
                               {bytes, std::strlen(signature)});
    if (!answer.ok()) {
        if (device == DUVANE_DEVICE_BMC) {
            cbwprintf(p_display, L"%ls", DuvaneString(57));
        } else {
            Dbg(L"CDuvane::EnterFwTransferMode - device %02X did not enter", 1, unsigned{device});
        }
        return DUVANE_CONTROLLER_FAILED;
    }
    // From here the controller may run its boot code: every way out leaves.
    mInTransferMode = device;
    ForgetSegment();
    // The front-panel controller's answer to Get Device ID does not carry
    // the mode.
    if (device == DUVANE_DEVICE_FRONT_PANEL) return DUVANE_SUCCESS;
    if (const int status = GetMode(device, inMode)) return status;
    if (inMode) return DUVANE_SUCCESS;
    SetErrorMessage(30);
    return DUVANE_CONTROLLER_FAILED;
}

void CDuvane::WaitForRestart(unsigned seconds) const {
    // A second at a time, so that a host shows the wait running down
    // instead of a program that has stopped.
    for (unsigned waited = 0; waited < seconds; ++waited) {
        ReportPercent(kRestartWaitText, waited, seconds);
        hw::SleepSeconds(1);
    }
    ReportPercent(kRestartWaitText, seconds, seconds);
}

int CDuvane::ExitFwTransferMode(std::uint8_t device, std::uint8_t argument) {
    bool inMode = false;
    if (device != DUVANE_DEVICE_FRONT_PANEL) {
        if (const int status = GetMode(device, inMode)) return status;
        if (!inMode) {
            mInTransferMode = kNoDevice;
            SetErrorMessage(30);
            return DUVANE_CONTROLLER_FAILED;
        }
    }
    if (device == DUVANE_DEVICE_BMC && SelectIPMIInterface(IPMI_INTERFACE_KCS) != 0 &&
        mSavedBlockSize.has_value()) {
        mBlockSize = *mSavedBlockSize;
        mSavedBlockSize.reset();
    }
    const bool vitesse = IsVitesseHsc(device);
    const std::array<std::uint8_t, 1> data{argument};
    const Answer answer =
        Send(device, ipmi::kNetFnFirmware, ipmi::kExitFwTransferMode,
             vitesse ? std::span<const std::uint8_t>(data) : std::span<const std::uint8_t>());
    mInTransferMode = kNoDevice;
    ForgetSegment();
    if (!answer.ok()) return DUVANE_CONTROLLER_FAILED;
    // The controller restarts into its operational code; it answers again
    // once that has started.
    if (device == DUVANE_DEVICE_BMC) {
        WaitForRestart(kBmcExitWaitSeconds);
    } else if (vitesse) {
        if (argument != 0) {
            const unsigned seconds = answer.data.empty() ? 0 : answer.data[0];
            WaitForRestart(seconds != 0 ? seconds : kVitesseDefaultWaitSeconds);
        }
    } else {
        WaitForRestart(kExitWaitSeconds);
    }
    if (device == DUVANE_DEVICE_FRONT_PANEL) return DUVANE_SUCCESS;
    if (const int status = GetMode(device, inMode)) return status;
    if (!inMode) return DUVANE_SUCCESS;
    SetErrorMessage(30);
    return DUVANE_CONTROLLER_FAILED;
}

void CDuvane::LeaveTransferMode(std::uint8_t device) {
    if (mInTransferMode == device) ExitFwTransferMode(device, 0);
}

void CDuvane::ForgetSegment() {
    // A controller starts its boot code, or its operational code, with no
    // segment set: the next access must set it again.
    mSegmentDevice = kNoDevice;
    mSegment = kNoSegment;
}

int CDuvane::SetSegment(std::uint8_t device, std::uint16_t segment) {
    if (device == mSegmentDevice && segment == mSegment) return DUVANE_SUCCESS;
    const auto data = Le16(segment);
    if (!Send(device, ipmi::kNetFnFirmware, ipmi::kSetFwSegment, data).ok()) {
        ForgetSegment();
        return DUVANE_TRANSFER_FAILED;
    }
    mSegmentDevice = device;
    mSegment = segment;
    return DUVANE_SUCCESS;
}

int CDuvane::WriteLowlvl(std::uint8_t device, std::uint16_t segment, std::uint16_t offset,
                         std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return DUVANE_SUCCESS;
    if (device != DUVANE_DEVICE_FRONT_PANEL) {
        if (const int status = SetSegment(device, segment)) return status;
    }
    const auto head = Le16(offset);
    if (!Send(device, ipmi::kNetFnFirmware, ipmi::kWriteFwMemory, head, bytes).ok()) {
        return DUVANE_TRANSFER_FAILED;
    }
    return DUVANE_SUCCESS;
}

int CDuvane::Read(std::uint8_t device, std::uint32_t address, unsigned count,
                  std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (device != DUVANE_DEVICE_FRONT_PANEL) {
        if (const int status = SetSegment(device, static_cast<std::uint16_t>(address >> 16))) {
            return status;
        }
    }
    const auto offset = Le16(static_cast<std::uint16_t>(address & 0xFFFF));
    const std::array<std::uint8_t, 3> data{offset[0], offset[1], static_cast<std::uint8_t>(count)};
    const Answer answer = Send(device, ipmi::kNetFnFirmware, ipmi::kReadFwMemory, data);
    if (!answer.ok()) return DUVANE_TRANSFER_FAILED;
    if (answer.data.size() > kReadHeader) {
        const auto read = answer.data.subspan(kReadHeader);
        bytes.assign(read.begin(), read.begin() + std::min<std::size_t>(read.size(), count));
    }
    return DUVANE_SUCCESS;
}

int CDuvane::RangeCheckSum(std::uint8_t device, std::uint32_t first, std::uint32_t last,
                           std::uint16_t& checksum) {
    if (device != DUVANE_DEVICE_FRONT_PANEL) {
        if (const int status = SetSegment(device, static_cast<std::uint16_t>(first >> 16))) {
            return status;
        }
    }
    const auto from = Le16(static_cast<std::uint16_t>(first & 0xFFFF));
    const auto to = Le16(static_cast<std::uint16_t>(last & 0xFFFF));
    const std::array<std::uint8_t, 4> data{from[0], from[1], to[0], to[1]};
    const Answer answer = Send(device, ipmi::kNetFnFirmware, ipmi::kFwRangeChecksum, data);
    if (!answer.ok() || answer.data.size() < kChecksumAt + 2) return DUVANE_TRANSFER_FAILED;
    checksum =
        static_cast<std::uint16_t>(answer.data[kChecksumAt] | (answer.data[kChecksumAt + 1] << 8));
    return DUVANE_SUCCESS;
}

}  // namespace DirectFwUpdate_Private
