// The local IPMI 2.0 session: libipmi, opened at run time, runs a session
// with the BMC's endpoint at the loopback address, port 623. The layer calls
// it its USB path (the BMC's network endpoint sits behind a USB device).
// SelectIPMIInterface (bmc/message.h) opens and closes it and decides which
// requests travel through it.
#ifndef SRVFW_BMC_SESSION_H
#define SRVFW_BMC_SESSION_H

#include <cstdint>

#include "bmc/message.h"
#include "include/export.h"

enum SessionRequestResult : int {
    SESSION_OK = 0,
    SESSION_FAILED = 1,          // no session, the session call failed, or no room for the answer
    SESSION_EMPTY_RESPONSE = 3,  // not even a completion code came back
};

extern "C" {

// Loads "libipmi.so" and opens the session: 1 open, 0 failure (nothing is
// kept loaded then).
SRVFW_EXPORT int UsbLibInitialize();
// Closes the session and unloads the library, if it is loaded.
SRVFW_EXPORT void UsbLibDeinitialize();
// The 16-bit result of opening the session (0: open); -1 without libipmi.
SRVFW_EXPORT int UsbOpenSession();
SRVFW_EXPORT void UsbCloseSession();
// One request through the session. *responseLength holds the capacity of
// responseData on entry and the number of data bytes after the completion
// code on return. SessionRequestResult.
SRVFW_EXPORT int SendTimedUsbRequest(_IMBPREQUESTDATA* request, unsigned timeoutMs,
                                     std::uint8_t* responseData, int* responseLength,
                                     std::uint8_t* completionCode);
}

#endif
