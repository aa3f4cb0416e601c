// libsrvfw_imb.so: the IMB driver interface that srvfw supplies to the IPMI
// libraries it loads (open_imb, close_imb, SendTimedImbpRequest), over the
// Linux kernel's IPMI driver (ipmi_si with ipmi_devintf: /dev/ipmi0), as
// ipmitool's "open" interface uses it. On most servers ipmi_si owns the
// KCS interface, and a program that drives the ports under it corrupts
// both its own and the kernel's transfers.
//
// srvfw loads this library with RTLD_GLOBAL before the libraries, so that
// their weak imports of the three names bind to it, and settles first which
// way the libraries are to reach the BMC (srvfw_imb_choose). open_imb then
// reports the driver only when it was chosen; otherwise the libraries use
// the KCS ports themselves.
#ifndef SRVFW_HOST_IMB_IMB_DRIVER_H
#define SRVFW_HOST_IMB_IMB_DRIVER_H

#include <cstdint>

#include "bmc/message.h"
#include "include/export.h"

extern "C" {

enum SrvfwImbChoice {
    SRVFW_IMB_AUTO = 0,    // the driver when its device opens, else the ports
    SRVFW_IMB_DRIVER = 1,  // the driver or nothing
    SRVFW_IMB_PORTS = 2,   // the KCS ports, whatever the kernel has
};

// 1: the libraries will use the kernel's driver; 0: they will use the KCS
// ports; -1: the way asked for cannot be used (the kernel's driver owns the
// ports but has no device, say), and `why` (whySize bytes, always ended
// with a NUL) tells the user why and what to do.
SRVFW_EXPORT int srvfw_imb_choose(int choice, char* why, unsigned whySize);

// What went wrong with the last request through the driver, "" when it got
// its response.
SRVFW_EXPORT const char* srvfw_imb_last_failure();

// Non-zero when the driver was chosen and its device is open.
SRVFW_EXPORT int open_imb();
// Closes the device; open_imb opens it again. 0.
SRVFW_EXPORT int close_imb();
// One request to the BMC. A Send Message (06h/34h) is carried out with the
// kernel's own bridging, and its answer waits for the next Get Message
// (06h/33h), since the kernel keeps those two commands to itself. 0 when a
// response arrived (its completion code in *completionCode), 1 when none
// did.
SRVFW_EXPORT int SendTimedImbpRequest(_IMBPREQUESTDATA* request, unsigned timeoutMs,
                                      std::uint8_t* responseData, int* responseLength,
                                      std::uint8_t* completionCode);
}

#endif
