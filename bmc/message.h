// The BMC message layer the three IPMI libraries share: one IPMI request to
// the BMC and its response, bridged requests to the controllers behind the
// BMC, the choice of system interface and transport, and the BMC's type.
//
// Each library carries its own copy of the layer and of its process-wide
// state (bmc/message_state.h) and exports these functions under the same
// names. Nothing here is thread-safe: a host calls a library from one
// thread, and the KCS transport owns SIGALRM while it waits.
#ifndef SRVFW_BMC_MESSAGE_H
#define SRVFW_BMC_MESSAGE_H

#include <cstdint>

#include "include/export.h"

inline constexpr std::uint8_t kBmcSlaveAddress = 0x20;
inline constexpr std::uint32_t kBmcMessageDataSize = 65536;

// One record serves as request and as response. Callers fill slaveAddress,
// netFn (unshifted, 06h for application), lun, cmd, data and dataLength; a
// response carries the completion code separately and the bytes after it
// in data. A slaveAddress other than 20h makes the request a bridged one.
struct BMC_MESSAGE {
    std::uint8_t slaveAddress;
    std::uint8_t netFn;
    std::uint8_t lun;
    std::uint8_t cmd;
    std::uint8_t data[kBmcMessageDataSize];
    std::uint32_t dataLength;
    std::uint8_t completionCode;
};

// The request as the IMB driver interface takes it, byte-packed: 13 bytes
// in the i386 build, where the pointer is 4 bytes wide.
#pragma pack(push, 1)
struct _IMBPREQUESTDATA {
    std::uint8_t cmdType;  // IPMI command
    std::uint8_t rsSa;     // always 20h: bridging is done with Send Message
    std::uint8_t busType;  // always 0
    std::uint8_t netFn;
    std::uint8_t rsLun;
    std::uint8_t* data;
    std::int32_t dataLength;
};
#pragma pack(pop)
static_assert(sizeof(_IMBPREQUESTDATA) == 9 + sizeof(void*));

enum _IPMI_INTERFACE_TYPE {
    IPMI_INTERFACE_KCS = 0,  // the system interface only
    IPMI_INTERFACE_USB = 1,  // every request through the local IPMI 2.0 session
    // Requests of more than 128 data bytes through the session, falling back
    // to KCS when the session fails; smaller ones on KCS.
    IPMI_INTERFACE_USB_BULK = 2,
};

// Negative results of the layer, which the libraries map to their own codes.
enum BmcMessageResult : int {
    BMC_MAP_FAILED = -1,         // MainInit: physical memory; no BMC at the default port
    BMC_TYPE_UNKNOWN = -400,     // GetBmcTypeVersion: no usable Get Device ID answer
    BMC_NOT_AVAILABLE = -502,    // no SMBIOS table, not a KCS interface, no answer
    BMC_BRIDGING_FAILED = -504,  // ProcessSendMessage: every attempt failed
    BMC_COMPLETION_CODE = -507,  // what some IMB drivers return; see bmc/imb.h
};

// g_bmcType values.
enum BmcType : int {
    BMC_TYPE_NONE = 0,
    BMC_TYPE_STANDARD = 1,
    BMC_TYPE_PRODUCT_43XX = 2,  // product ID 4311h, 4312h or 4315h
};

extern "C" {

// Finds the system interface once, at the library's Initialize: 0, or -502
// when MainInit fails.
SRVFW_EXPORT int BmcLibInitialize();
// Closes the IMB driver interface when it is in use; the KCS path holds
// nothing to release.
SRVFW_EXPORT int BmcLibDeinitialize();

// Sends one request and waits for its response. 0: a response arrived, its
// completion code is in response->completionCode and its data in
// response->data; non-zero: no response. A request for another slave
// address is bridged on channel 0 (ProcessSendMessage). timeoutMs is handed
// to the IMB driver and the session; the KCS transport has its own fixed
// time-out.
SRVFW_EXPORT int ProcessMessage(BMC_MESSAGE* request, BMC_MESSAGE* response, unsigned timeoutMs);

// Sends the request to the controller at target on an IPMB channel through
// the BMC (Send Message, then Get Message until the answer with our sequence
// number arrives). 0: the controller answered (its completion code is in
// response->completionCode); -504: every attempt failed. The time-out is
// not used: the attempts and the poll allowance bound the exchange.
SRVFW_EXPORT int ProcessSendMessage(BMC_MESSAGE* request, BMC_MESSAGE* response,
                                    std::uint8_t channel, std::uint8_t target, unsigned timeoutMs);

// The KCS path, routed through the session first when one is selected.
// *responseLength holds the capacity of responseData on entry and the
// number of data bytes after the completion code on return. 0: a response
// arrived; 1: no response (or one that does not fit); with every request on
// the session, the session's own result.
SRVFW_EXPORT int SendTimedImbpRequest_t(_IMBPREQUESTDATA* request, unsigned timeoutMs,
                                        std::uint8_t* responseData, int* responseLength,
                                        std::uint8_t* completionCode);

// Get Device ID: the BMC's type (BmcType) in *type, also on failure.
// Returns the transport status.
SRVFW_EXPORT int GetBmcType(int* type);
// The BMC's type and IPMI version (1: IPMI 1.5, 2: IPMI 2.0, 0: unknown),
// asked once and kept for the life of the process. 0, -400 when the type
// cannot be told, or the transport status.
SRVFW_EXPORT int GetBmcTypeVersion(int* type, int* ipmiVersion);
}

// 0: the system interface is ready; -1 or -502 when it is not (BmcLibInitialize).
SRVFW_EXPORT int MainInit();

// ProcessMessage under the name the libraries' older callers use.
SRVFW_EXPORT int ProcessTimedMessage(BMC_MESSAGE* request, BMC_MESSAGE* response,
                                     unsigned timeoutMs);

// Routes requests through the local IPMI 2.0 session (1, 2) or the system
// interface alone (0). 1: selected; 0: refused (an unknown type, a session
// that cannot be opened, or a session already open: switch back to 0 first).
SRVFW_EXPORT std::uint8_t SelectIPMIInterface(_IPMI_INTERFACE_TYPE type);

// The two's-complement checksum: the bytes and it sum to 0 modulo 256.
SRVFW_EXPORT int CalculateChecksum(std::uint8_t* data, int length);

#endif
