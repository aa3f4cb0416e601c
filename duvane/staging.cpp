// The management engine's update: its image goes into a staging area
// through the BMC's vendor commands, one byte per request, and the engine
// takes it from there itself. The engine answers busy while it erases or
// restarts, so most commands retry.
#include "bmc/debug_log.h"
#include "bmc/ipmi_numbers.h"
#include "duvane/duvane_engine.h"
#include "duvane/duvane_messages.h"
#include "duvane/duvane_state.h"
#include "duvane/duvane_status.h"
#include "hw/hw.h"

namespace DirectFwUpdate_Private {

namespace {

constexpr unsigned kStatusTries = 10;
constexpr unsigned kEraseTries = 60;
constexpr unsigned kOpenTries = 10;
constexpr wchar_t kSpinner[] = L"|/-\\";

void ShowTwo(unsigned first, unsigned second) {
    cbwprintf(p_display, L"%ls%ls\n\n", DuvaneString(first), DuvaneString(second));
}

}  // namespace

bool CDuvane::RetryingStaging() const {
    return IsRetryingPlatform(g_fwdPlatform);
}

int CDuvane::GetUpdateStatus(std::uint8_t& status) {
    const std::uint8_t busy = RetryingStaging() ? ipmi::kStagingBusy : ipmi::kNodeBusy;
    for (unsigned attempt = 1; attempt <= kStatusTries; ++attempt) {
        const Answer answer = Send(DUVANE_DEVICE_ME, ipmi::kNetFnOem, ipmi::kGetUpdateStatus, {});
        if (answer.ok() && answer.data.size() >= 2) {
            status = answer.data[1];
            return DUVANE_SUCCESS;
        }
        if (answer.transport == 0 && answer.completionCode != busy && !answer.ok()) {
            SetErrorMessage(33, unsigned{answer.completionCode});
            return DUVANE_TRANSFER_FAILED;
        }
        if (attempt < kStatusTries) hw::SleepSeconds(1);
    }
    SetErrorMessage(10);
    ShowTwo(53, 38);
    return DUVANE_TRANSFER_FAILED;
}

int CDuvane::ResetME(std::uint8_t argument) {
    bool inMode = false;
    if (const int status = GetMode(DUVANE_DEVICE_ME, inMode)) return status;
    if (inMode) {
        mInTransferMode = DUVANE_DEVICE_ME;
        return DUVANE_SUCCESS;
    }
    const std::array<std::uint8_t, 1> data{argument};
    if (!Send(DUVANE_DEVICE_ME, ipmi::kNetFnOem, ipmi::kResetMe, data).ok()) {
        return DUVANE_CONTROLLER_FAILED;
    }
    if (const int status = GetMode(DUVANE_DEVICE_ME, inMode)) return status;
    // An engine that stayed in normal operation would refuse every staging
    // command after this one.
    if (inMode) {
        mInTransferMode = DUVANE_DEVICE_ME;
        return DUVANE_SUCCESS;
    }
    SetErrorMessage(30);
    return DUVANE_CONTROLLER_FAILED;
}

void CDuvane::ResetMeToNormal() {
    constexpr std::array<std::uint8_t, 1> kNormalOperation{0};
    Send(DUVANE_DEVICE_ME, ipmi::kNetFnOem, ipmi::kResetMe, kNormalOperation);
    mInTransferMode = kNoDevice;
}

int CDuvane::EraseStagingArea() {
    std::uint8_t lastCode = 0;
    for (unsigned attempt = 0; attempt < kEraseTries; ++attempt) {
        // Always on the engine's own channel: the primary bus has no
        // management engine to answer.
        const Answer answer = Send(DUVANE_DEVICE_ME, ipmi::kNetFnOem, ipmi::kEraseStagingArea, {});
        if (answer.transport != 0) {
            const bool retry = RetryingStaging() && (answer.completionCode == ipmi::kCompletionOk ||
                                                     answer.completionCode == ipmi::kStagingBusy);
            if (!retry) break;
            lastCode = answer.completionCode;
        } else if (answer.completionCode == ipmi::kCompletionOk) {
            ShowTwo(37, 39);
            return DUVANE_SUCCESS;
        } else if (answer.completionCode == ipmi::kStagingRefused) {
            SetErrorMessage(13);
            ShowTwo(37, 40);
            return DUVANE_TRANSFER_FAILED;
        } else {
            lastCode = answer.completionCode;
            cbwprintf(p_display, L"%ls%c\r", DuvaneString(37), kSpinner[attempt % 4]);
        }
        if (attempt + 1 < kEraseTries) hw::SleepSeconds(1);
    }
    if (lastCode == ipmi::kStagingNotCompatible) {
        SetErrorMessage(29);
        ShowTwo(37, 29);
    } else {
        SetErrorMessage(12);
        ShowTwo(37, 38);
    }
    return DUVANE_TRANSFER_FAILED;
}

int CDuvane::OpenArea(std::uint8_t area) {
    const std::array<std::uint8_t, 2> data{area, 0};
    const unsigned tries = RetryingStaging() ? kOpenTries : 1;
    for (unsigned attempt = 1; attempt <= tries; ++attempt) {
        const Answer answer = Send(DUVANE_DEVICE_ME, ipmi::kNetFnOem, ipmi::kOpenArea, data);
        if (answer.ok()) return DUVANE_SUCCESS;
        const std::uint8_t code = answer.completionCode;
        if (answer.transport == 0 &&
            (code == ipmi::kStagingNotCompatible || (tries > 1 && code == ipmi::kStagingRefused))) {
            SetErrorMessage(29);
            return DUVANE_TRANSFER_FAILED;
        }
        const bool busy =
            code == ipmi::kStagingBusy || (answer.transport != 0 && code == ipmi::kCompletionOk);
        if (tries == 1 || !busy) return DUVANE_TRANSFER_FAILED;
        if (attempt < tries) hw::SleepSeconds(1);
    }
    // An engine still busy after every try is taken as open: its writes
    // tell whether it was.
    return DUVANE_SUCCESS;
}

int CDuvane::WriteToArea(std::uint8_t sequence, std::span<const std::uint8_t> bytes) {
    // The bytes go to the debug log, not to standard output, which belongs
    // to the host.
    for (const std::uint8_t byte : bytes) {
        Dbg(L"WRITE command I/P data : %02X", 3, unsigned{byte});
    }
    const std::array<std::uint8_t, 1> head{sequence};
    const Answer answer = Send(DUVANE_DEVICE_ME, ipmi::kNetFnOem, ipmi::kWriteToArea, head, bytes);
    if (answer.ok()) return DUVANE_SUCCESS;
    const bool notCompatible =
        answer.transport == 0 && answer.completionCode == ipmi::kStagingNotCompatible;
    std::uint8_t status = 0;
    GetUpdateStatus(status);
    if (notCompatible) SetErrorMessage(29);
    return DUVANE_TRANSFER_FAILED;
}

int CDuvane::CloseArea(std::uint32_t length, std::uint16_t checksum) {
    const std::array<std::uint8_t, 6> data{
        static_cast<std::uint8_t>(length),          static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(length >> 16),    static_cast<std::uint8_t>(length >> 24),
        static_cast<std::uint8_t>(checksum & 0xFF), static_cast<std::uint8_t>(checksum >> 8)};
    const Answer answer = Send(DUVANE_DEVICE_ME, ipmi::kNetFnOem, ipmi::kCloseArea, data);
    if (answer.ok()) return DUVANE_SUCCESS;
    if (answer.transport == 0 && answer.completionCode == ipmi::kStagingNotCompatible) {
        SetErrorMessage(29);
    }
    return DUVANE_TRANSFER_FAILED;
}

int CDuvane::UpdateStagingArea(std::uint8_t area, std::uint32_t start, std::uint32_t end,
                               unsigned label) {
    const auto image = mImage->GetUpdateBuffer();
    std::uint8_t engineStatus = 0;
    if (const int status = GetUpdateStatus(engineStatus)) return status;
    if (const int status = OpenArea(area)) return status;
    if (const int status = GetUpdateStatus(engineStatus)) return status;
    std::uint8_t sequence = 1;
    for (std::uint64_t address = start; address <= end; ++address, ++sequence) {
        if (const int status = WriteToArea(sequence, image.subspan(address, 1))) return status;
        ReportPercent(label, address + 1 - start, std::uint64_t{end} - start);
    }
    // Little-endian words; an odd range's last byte counts as a high byte.
    std::uint32_t sum = 0;
    for (std::uint64_t address = start; address <= end; address += 2) {
        sum += address == end ? image[address] << 8 : image[address] | (image[address + 1] << 8);
    }
    return CloseArea(end - start + 1, static_cast<std::uint16_t>(-sum & 0xFFFF));
}

}  // namespace DirectFwUpdate_Private
