// The IMB driver interface: open_imb, close_imb and SendTimedImbpRequest
// are not defined by any of our libraries. They are imported weakly, so
// that the process loading a library (the host, or a library it loaded
// before) may supply them and a host that does not can still load the
// library: then the names resolve to null, startIPMI reports no driver and
// the layer uses the KCS ports.
//
// Completion codes on this path. Some IMB drivers return -507 when the
// response arrived with a non-zero completion code, others return 0 and
// leave the judgement to the caller. ProcessMessage does not pass -507 on:
// on every transport it returns 0 when a response arrived, with the
// completion code in the response, so the libraries' callers see one form.
// Callers that still test for -507 (the SDR library does) keep working,
// since they also check the completion code of a 0 result.
#ifndef SRVFW_BMC_IMB_H
#define SRVFW_BMC_IMB_H

#include <cstdint>

#include "bmc/message.h"
#include "include/export.h"

extern "C" {

// Non-zero when the driver can be used.
__attribute__((weak, visibility("default"))) int open_imb();
__attribute__((weak, visibility("default"))) int close_imb();
// 0 when a response arrived (or -507 with its non-zero completion code, see
// above). *responseLength holds the capacity of responseData on entry (FFFFh
// from the layer) and the number of data bytes after the completion code on
// return.
__attribute__((weak, visibility("default"))) int SendTimedImbpRequest(_IMBPREQUESTDATA* request,
                                                                      unsigned timeoutMs,
                                                                      std::uint8_t* responseData,
                                                                      int* responseLength,
                                                                      std::uint8_t* completionCode);

// open_imb's result, 0 when the host supplies no driver.
SRVFW_EXPORT int startIPMI();
// close_imb's result, 0 when the host supplies no driver.
SRVFW_EXPORT int endIPMI();
}

// One request through the driver, with the result in the layer's form: 0
// when a response arrived, also when the driver said -507 for its non-zero
// completion code; non-zero when there is no usable response (including a
// length outside the buffer, which a misbehaving driver could report).
int SendThroughImbDriver(_IMBPREQUESTDATA* request, unsigned timeoutMs, std::uint8_t* responseData,
                         int* responseLength, std::uint8_t* completionCode);

#endif
