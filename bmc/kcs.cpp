#include "bmc/kcs.h"

#include "bmc/message.h"
#include "hw/hw.h"

std::uint16_t KCSAddress = 0x0CA2;
std::uint8_t KCSRegisterSpacing = 1;
volatile std::sig_atomic_t global_time = 0;
std::uint8_t Status = 0;

namespace {

constexpr unsigned kWaitSeconds = 15;
// What the alarm makes of the elapsed time: just past the limit callers pass.
constexpr std::sig_atomic_t kAlarmElapsed = kKcsWaitLimit + 1;
constexpr unsigned kErrorExitAttempts = 5;

enum StatusBit : std::uint8_t {
    kObf = 0x01,
    kIbf = 0x02,
    kSmsAtn = 0x04,
};

constexpr std::uint8_t kStateMask = 0xC0;
enum KcsState : std::uint8_t {
    kIdleState = 0x00,
    kReadState = 0x40,
    kWriteState = 0x80,
};

enum ControlCode : std::uint8_t {
    kGetStatusAbort = 0x60,
    kWriteStart = 0x61,
    kWriteEnd = 0x62,
    kRead = 0x68,
};

std::uint16_t DataPort() {
    return KCSAddress;
}
std::uint16_t CommandPort() {
    return static_cast<std::uint16_t>(KCSAddress + KCSRegisterSpacing);
}
std::uint8_t StateOf(std::uint8_t status) {
    return status & kStateMask;
}

bool IbfClear(std::uint8_t status) {
    return (status & kIbf) == 0;
}
bool ObfSet(std::uint8_t status) {
    return (status & kObf) != 0;
}
bool SmsAtnSet(std::uint8_t status) {
    return (status & kSmsAtn) != 0;
}

void kcs_timeout(int signal) {
    if (signal == SIGALRM) global_time = kAlarmElapsed;
}

// SIGALRM belongs to the transport from the start of a transfer (or of a
// wait called on its own) to its end: the handler is installed once rather
// than for each of the dozens of waits of a transfer (two system calls a
// wait would double the time a transaction costs), and SIGALRM is back at
// its default action when the call returns.
class AlarmHandlerScope {
  public:
    AlarmHandlerScope() {
        if (sDepth++ == 0) hw::SetAlarmHandler(kcs_timeout);
    }
    ~AlarmHandlerScope() {
        if (--sDepth == 0) hw::SetAlarmHandler(SIG_DFL);
    }
    AlarmHandlerScope(const AlarmHandlerScope&) = delete;
    AlarmHandlerScope& operator=(const AlarmHandlerScope&) = delete;

  private:
    static inline unsigned sDepth = 0;
};

// Polls the status register, without sleeping, until the condition holds
// or the wait's 15-second alarm has rung. The status that ended the wait is
// left in status: reading the register has no side effect, so callers take
// the state and OBF from it instead of reading the register again. A status
// that answers at once needs no alarm.
bool WaitForStatus(unsigned limit, bool (*condition)(std::uint8_t), std::uint8_t& status) {
    const AlarmHandlerScope handler;
    status = hw::InByte(CommandPort());
    if (condition(status)) return true;

    global_time = 0;
    hw::Alarm(kWaitSeconds);
    unsigned elapsed = 0;
    bool met = false;
    while (elapsed <= limit) {
        elapsed = static_cast<unsigned>(global_time);
        status = hw::InByte(CommandPort());
        if (condition(status)) {
            met = true;
            break;
        }
    }
    hw::Alarm(0);
    global_time = 0;
    return met;
}

bool WaitIbfClear(std::uint8_t& status) {
    return WaitForStatus(kKcsWaitLimit, IbfClear, status);
}

// The status in hand already answers the wait when it shows OBF set.
bool WaitObfSet(std::uint8_t& status) {
    return ObfSet(status) || WaitForStatus(kKcsWaitLimit, ObfSet, status);
}

// A byte the BMC left in the output register would otherwise be taken for
// the first byte of the next response.
void ClearObf(std::uint8_t status) {
    if (ObfSet(status)) hw::InByte(DataPort());
}

// After each control code or byte of a write transfer: the BMC has taken
// it and is still in the write state.
int AcceptedInWriteState() {
    std::uint8_t status = 0;
    if (!WaitIbfClear(status)) return KCS_TIMEOUT;
    if (StateOf(status) != kWriteState) return KCS_STATE_ERROR;
    ClearObf(status);
    return KCS_OK;
}

// One error exit: abort, then read the status byte the BMC answers with
// and see it return to idle.
enum class ErrorExit { kIdle, kFailed, kTimeout };

ErrorExit TryErrorExit() {
    std::uint8_t status = 0;
    if (!WaitIbfClear(status)) return ErrorExit::kTimeout;
    hw::OutByte(CommandPort(), kGetStatusAbort);
    if (!WaitIbfClear(status)) return ErrorExit::kTimeout;
    ClearObf(status);
    hw::OutByte(DataPort(), 0x00);
    if (!WaitIbfClear(status)) return ErrorExit::kTimeout;
    if (StateOf(status) != kReadState) return ErrorExit::kFailed;

    if (!WaitObfSet(status)) return ErrorExit::kTimeout;
    hw::InByte(DataPort());  // the BMC's status code; the caller only needs idle again
    hw::OutByte(DataPort(), kRead);
    if (!WaitIbfClear(status)) return ErrorExit::kTimeout;
    if (StateOf(status) != kIdleState) return ErrorExit::kFailed;
    if (!WaitObfSet(status)) return ErrorExit::kTimeout;
    ClearObf(status);
    return ErrorExit::kIdle;
}

}  // namespace

int WaitWhileIbf(unsigned limit) {
    std::uint8_t status = 0;
    return WaitForStatus(limit, IbfClear, status) ? 0 : 1;
}

int WaitTilObf(unsigned limit) {
    std::uint8_t status = 0;
    return WaitForStatus(limit, ObfSet, status) ? 0 : 1;
}

int KCSSendMessage(std::uint8_t* frame, unsigned length) {
    if (frame == nullptr || length < 2) return KCS_BUSY;
    const AlarmHandlerScope handler;
    std::uint8_t status = 0;
    if (!WaitIbfClear(status)) return KCS_BUSY;
    ClearObf(status);
    hw::OutByte(CommandPort(), kWriteStart);
    if (const int result = AcceptedInWriteState(); result != KCS_OK) return result;
    for (unsigned i = 0; i + 1 < length; ++i) {
        hw::OutByte(DataPort(), frame[i]);
        if (const int result = AcceptedInWriteState(); result != KCS_OK) return result;
    }
    hw::OutByte(CommandPort(), kWriteEnd);
    if (const int result = AcceptedInWriteState(); result != KCS_OK) return result;
    // The BMC starts on the request when it takes the last byte; the read
    // transfer's first wait covers it.
    hw::OutByte(DataPort(), frame[length - 1]);
    return KCS_OK;
}

int KCSReadBMCData(std::uint8_t* buffer, unsigned capacity, unsigned* count) {
    if (buffer == nullptr || count == nullptr) return KCS_OVERFLOW;
    const AlarmHandlerScope handler;
    *count = 0;
    while (*count < capacity) {
        std::uint8_t status = 0;
        if (!WaitIbfClear(status)) return KCS_TIMEOUT;
        Status = StateOf(status);
        if (Status == kReadState) {
            if (!WaitObfSet(status)) return KCS_TIMEOUT;
            buffer[(*count)++] = hw::InByte(DataPort());
            hw::OutByte(DataPort(), kRead);
            continue;
        }
        if (Status == kIdleState) {
            if (!WaitObfSet(status)) return KCS_TIMEOUT;
            hw::InByte(DataPort());  // the dummy byte that ends the frame
            return KCS_OK;
        }
        KCSBMCErrorHandler();
        return KCS_STATE_ERROR;
    }
    return KCS_OVERFLOW;
}

int KCSBMCErrorHandler() {
    const AlarmHandlerScope handler;
    for (unsigned attempt = 0; attempt < kErrorExitAttempts; ++attempt) {
        switch (TryErrorExit()) {
            case ErrorExit::kIdle:
                return KCS_OK;
            case ErrorExit::kTimeout:
                return KCS_TIMEOUT;
            case ErrorExit::kFailed:
                break;
        }
    }
    return KCS_STATE_ERROR;
}

int KCSMessageReady() {
    return SmsAtnSet(hw::InByte(CommandPort())) ? 1 : 0;
}

int IsKCS() {
    const std::uint8_t data = hw::InByte(DataPort());
    const std::uint8_t status = hw::InByte(CommandPort());
    return data == 0xFF && status == 0xFF ? 0 : 1;
}

int CheckMessageReady(std::uint8_t slaveAddress, unsigned /*timeoutMs*/) {
    std::uint8_t status = 0;
    if (slaveAddress != kBmcSlaveAddress) {
        return WaitForStatus(kKcsWaitLimit, SmsAtnSet, status) ? 0 : 1;
    }
    if (!WaitForStatus(kKcsWaitLimit, ObfSet, status)) return 1;
    Status = StateOf(status);
    return 0;
}

int SetMsTimeout(unsigned* /*timeout*/, unsigned /*milliseconds*/) {
    return 0;
}

int CheckMsTimeout(unsigned /*timeout*/) {
    return 0;
}
