#include "bmc/session.h"

#include <dlfcn.h>

#include <cstring>

// libipmi's session record: 31 bytes it fills and reads; we keep them and
// pass their address.
struct LIBIPMI_SESSION;

namespace {

constexpr const char* kSessionLibrary = "libipmi.so";
// The BMC's LAN endpoint as the USB network device shows it on the host.
constexpr char kLoopbackAddress[] = "127.0.0.1";
constexpr std::uint16_t kRmcpPort = 623;
constexpr std::uint8_t kAdministratorPrivilege = 4;
constexpr std::uint8_t kConnectRetries = 6;
constexpr std::uint8_t kRequesterAddress = 0x54;
constexpr std::uint32_t kOpenTimeoutMs = 2000;
constexpr std::size_t kSessionRecordSize = 31;
constexpr std::size_t kResponseBufferSize = 65535;

// libipmi's entry points. Anonymous session, no authentication, integrity
// or confidentiality algorithm, the BMC itself (no bridging).
using CreateSession = std::uint16_t (*)(LIBIPMI_SESSION* session, const char* address,
                                        std::uint16_t port, const char* userName,
                                        const char* password, std::uint8_t authentication,
                                        std::uint8_t integrity, std::uint8_t confidentiality,
                                        std::uint8_t* privilege, std::uint8_t retries,
                                        std::uint8_t requesterAddress, std::uint8_t bmcAddress,
                                        std::uint8_t bridgeChannel, std::uint8_t bridgeAddress,
                                        std::uint32_t timeoutMs);
using CloseSession = std::uint16_t (*)(LIBIPMI_SESSION* session);
using SendRawCommand = std::uint16_t (*)(LIBIPMI_SESSION* session, std::uint8_t payloadType,
                                         std::uint8_t netFnLun, std::uint8_t command,
                                         const std::uint8_t* request, int requestLength,
                                         std::uint8_t* response, int* responseLength,
                                         std::uint32_t timeoutMs);

// The session's state, one set per library copy.
void* hUsbSession = nullptr;
alignas(8) std::uint8_t sessionHandle[kSessionRecordSize];
// Byte 0: the completion code, then the response data.
std::uint8_t usbRespBuf[kResponseBufferSize];
CreateSession LIBIPMI_Create_IPMI20_Session_dll = nullptr;
CloseSession LIBIPMI_CloseSession_dll = nullptr;
SendRawCommand LIBIPMI_Send_RAW_IPMI2_0_Command_dll = nullptr;

template <class Function>
Function Lookup(const char* name) {
    return reinterpret_cast<Function>(::dlsym(hUsbSession, name));
}

LIBIPMI_SESSION* Session() {
    return reinterpret_cast<LIBIPMI_SESSION*>(sessionHandle);
}

void Unload() {
    ::dlclose(hUsbSession);
    hUsbSession = nullptr;
    LIBIPMI_Create_IPMI20_Session_dll = nullptr;
    LIBIPMI_CloseSession_dll = nullptr;
    LIBIPMI_Send_RAW_IPMI2_0_Command_dll = nullptr;
}

}  // namespace

int UsbLibInitialize() {
    hUsbSession = ::dlopen(kSessionLibrary, RTLD_NOW);
    if (hUsbSession == nullptr) return 0;
    LIBIPMI_Create_IPMI20_Session_dll = Lookup<CreateSession>("LIBIPMI_Create_IPMI20_Session");
    LIBIPMI_CloseSession_dll = Lookup<CloseSession>("LIBIPMI_CloseSession");
    LIBIPMI_Send_RAW_IPMI2_0_Command_dll =
        Lookup<SendRawCommand>("LIBIPMI_Send_RAW_IPMI2_0_Command");
    if (LIBIPMI_Create_IPMI20_Session_dll == nullptr || LIBIPMI_CloseSession_dll == nullptr ||
        LIBIPMI_Send_RAW_IPMI2_0_Command_dll == nullptr || UsbOpenSession() != 0) {
        Unload();
        return 0;
    }
    return 1;
}

void UsbLibDeinitialize() {
    if (hUsbSession == nullptr) return;
    UsbCloseSession();
    Unload();
}

int UsbOpenSession() {
    if (LIBIPMI_Create_IPMI20_Session_dll == nullptr) return -1;
    std::uint8_t privilege = kAdministratorPrivilege;
    return LIBIPMI_Create_IPMI20_Session_dll(
        Session(), kLoopbackAddress, kRmcpPort, nullptr, nullptr, 0, 0, 0, &privilege,
        kConnectRetries, kRequesterAddress, kBmcSlaveAddress, 0, 0, kOpenTimeoutMs);
}

void UsbCloseSession() {
    if (LIBIPMI_CloseSession_dll != nullptr) LIBIPMI_CloseSession_dll(Session());
}

int SendTimedUsbRequest(_IMBPREQUESTDATA* request, unsigned timeoutMs, std::uint8_t* responseData,
                        int* responseLength, std::uint8_t* completionCode) {
    if (request == nullptr || request->dataLength < 0 ||
        LIBIPMI_Send_RAW_IPMI2_0_Command_dll == nullptr) {
        return SESSION_FAILED;
    }
    const int capacity = *responseLength;
    int received = 0;
    const std::uint8_t netFnLun =
        static_cast<std::uint8_t>((request->netFn << 2) | (request->rsLun & 0x03));
    if (LIBIPMI_Send_RAW_IPMI2_0_Command_dll(Session(), 0, netFnLun, request->cmdType,
                                             request->data, request->dataLength, usbRespBuf,
                                             &received, timeoutMs) != 0) {
        return SESSION_FAILED;
    }
    if (received == 0) return SESSION_EMPTY_RESPONSE;
    // The length comes from outside: it must describe bytes of our buffer
    // that also fit the caller's.
    const int dataLength = received - 1;
    if (received < 0 || static_cast<std::size_t>(received) > sizeof usbRespBuf ||
        dataLength > capacity) {
        return SESSION_FAILED;
    }
    *completionCode = usbRespBuf[0];
    std::memcpy(responseData, usbRespBuf + 1, static_cast<std::size_t>(dataLength));
    *responseLength = dataLength;
    return SESSION_OK;
}
