// The KCS system interface: one IPMI request frame to the BMC and one
// response frame back through the data and command/status ports, following
// the write-transfer, read-transfer and error-exit sequences that IPMI v2.0
// lays down for KCS.
//
// Every wait gives up 15 seconds after it began: it installs a SIGALRM
// handler and arms the process alarm for its duration, and leaves SIGALRM
// at its default action and no alarm pending when it ends. A host must not
// use SIGALRM or the alarm itself while a request is in progress.
//
// Port access needs I/O privilege level 3, which the message layer raises
// before every request.
#ifndef SRVFW_BMC_KCS_H
#define SRVFW_BMC_KCS_H

#include <csignal>
#include <cstdint>

#include "include/export.h"

// The data port, 0CA2h until discovery (MainInit) sets the one SMBIOS
// names: on a server whose interface is elsewhere, 0CA2h would leave every
// request to time out. The command/status port lies KCSRegisterSpacing
// ports above it (1, or 4 or 16 where SMBIOS says the registers are spaced
// out).
extern std::uint16_t KCSAddress;
extern std::uint8_t KCSRegisterSpacing;
// Set by the SIGALRM handler of a wait; 0 when no wait runs.
extern volatile std::sig_atomic_t global_time;
// The state bits (7:6) of the last status the read transfer looked at.
extern std::uint8_t Status;

// The limit every caller passes to the waits: a wait runs until its alarm.
inline constexpr unsigned kKcsWaitLimit = 5'000'000;

enum KcsResult : int {
    KCS_OK = 0,
    KCS_BUSY = 1,         // KCSSendMessage: IBF did not clear before the transfer
    KCS_TIMEOUT = 2,      // a wait of the transfer timed out
    KCS_STATE_ERROR = 3,  // the interface left the transfer's state (read: after the error exit)
    KCS_OVERFLOW = 4,     // KCSReadBMCData: the capacity was reached before the BMC went idle
};

extern "C" {

// 0 once IBF is clear, 1 when the wait timed out. A limit of 5,000,001 or
// more makes the wait endless.
SRVFW_EXPORT int WaitWhileIbf(unsigned limit);
// 0 once OBF is set, 1 when the wait timed out.
SRVFW_EXPORT int WaitTilObf(unsigned limit);

// Writes a frame of at least two bytes (netFn/LUN, command, data) as one
// write transfer. KcsResult; a shorter frame is not sent (1).
SRVFW_EXPORT int KCSSendMessage(std::uint8_t* frame, unsigned length);
// Reads one response frame (netFn/LUN, command, completion code, data) of
// at most capacity bytes. *count is the number of bytes stored. KcsResult.
SRVFW_EXPORT int KCSReadBMCData(std::uint8_t* buffer, unsigned capacity, unsigned* count);
// The error exit, at most five times: 0 when the interface is idle again,
// 2 on a time-out, 3 when all five failed.
SRVFW_EXPORT int KCSBMCErrorHandler();

// The SMS_ATN bit: the BMC holds a message for system software.
SRVFW_EXPORT int KCSMessageReady();
// 0 when both registers read FFh (nothing decodes the ports), else 1.
SRVFW_EXPORT int IsKCS();
// 0 once the BMC (20h) has output waiting, or for another address once
// SMS_ATN is set; 1 when that does not happen within the waits' 15 seconds.
// The time-out argument is not used.
SRVFW_EXPORT int CheckMessageReady(std::uint8_t slaveAddress, unsigned timeoutMs);

// Kept for hosts that call them: there is no millisecond timer, so both
// report 0 (not expired) and CheckMessageReady relies on the 15-second
// bound of the waits.
SRVFW_EXPORT int SetMsTimeout(unsigned* timeout, unsigned milliseconds);
SRVFW_EXPORT int CheckMsTimeout(unsigned timeout);
}

#endif
