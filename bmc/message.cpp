#include "bmc/message.h"

#include <array>
#include <cstring>
#include <vector>

#include "bmc/elapsed_time.h"
#include "bmc/imb.h"
#include "bmc/interface_report.h"
#include "bmc/ipmb_frame.h"
#include "bmc/kcs.h"
#include "bmc/message_state.h"
#include "bmc/session.h"
#include "hw/hw.h"

namespace {

constexpr int kNoResponse = 1;
// What the layer offers every transport: the largest response data that a
// 16-bit length can describe.
constexpr int kResponseCapacity = 0xFFFF;
// netFn/LUN, command and completion code come before the response data.
constexpr unsigned kKcsResponseHeader = 3;
constexpr std::int32_t kSessionBulkThreshold = 128;
constexpr unsigned kBridgeChannel = 0;
constexpr unsigned kBridgeTimeoutMs = 10000;

const wchar_t* KcsWriteFailure(int result) {
    switch (result) {
        case KCS_BUSY:
            return L"the interface stayed busy (IBF set) before the request";
        case KCS_TIMEOUT:
            return L"a wait timed out while the request was written";
        default:
            return L"the BMC left the write state while the request was written";
    }
}

const wchar_t* KcsReadFailure(int result) {
    switch (result) {
        case KCS_TIMEOUT:
            return L"a wait timed out while the response was read";
        case KCS_OVERFLOW:
            return L"the response ran past 65535 bytes";
        default:
            return L"the BMC left the read state (the error exit was taken)";
    }
}

int KcsFailure(const _IMBPREQUESTDATA& request, const wchar_t* what, const ElapsedTime& clock) {
    NoteExchangeFailure(FormatReport(
        L"no response over KCS at %ls to netFn %02Xh command %02Xh: %ls, after %.1f s",
        KcsPortsText(KCSAddress, static_cast<unsigned>(KCSAddress + KCSRegisterSpacing)).c_str(),
        request.netFn, request.cmdType, what, clock.Seconds()));
    return kNoResponse;
}

int SendOverKcs(const _IMBPREQUESTDATA& request, std::uint8_t* responseData, int* responseLength,
                std::uint8_t* completionCode) {
    const std::int32_t requestLength = request.dataLength;
    std::uint8_t* const requestData = request.data;
    if (requestLength < 0 || static_cast<std::uint32_t>(requestLength) > kBmcMessageDataSize ||
        (requestLength > 0 && requestData == nullptr)) {
        return kNoResponse;
    }
    const int capacity = *responseLength;
    const ElapsedTime clock;

    // The LUN bits stay 0: the system interface addresses the BMC's LUN 0.
    std::vector<std::uint8_t> frame(2 + static_cast<std::size_t>(requestLength));
    frame[0] = static_cast<std::uint8_t>(request.netFn << 2);
    frame[1] = request.cmdType;
    if (requestLength > 0) std::memcpy(frame.data() + 2, requestData, frame.size() - 2);
    if (const int sent = KCSSendMessage(frame.data(), static_cast<unsigned>(frame.size()));
        sent != KCS_OK) {
        return KcsFailure(request, KcsWriteFailure(sent), clock);
    }
    *responseLength = 0;

    // One request at a time per process, so one frame buffer serves them all.
    static std::array<std::uint8_t, kResponseCapacity> received;
    unsigned count = 0;
    if (const int read = KCSReadBMCData(received.data(), received.size(), &count); read != KCS_OK) {
        return KcsFailure(request, KcsReadFailure(read), clock);
    }
    // A frame without its completion code, or with more data than the
    // caller has room for, is no usable response.
    if (count < kKcsResponseHeader) {
        return KcsFailure(request, L"the response frame had no completion code", clock);
    }
    const unsigned dataLength = count - kKcsResponseHeader;
    if (capacity < 0 || dataLength > static_cast<unsigned>(capacity)) {
        return KcsFailure(request, L"the response was longer than the caller's buffer", clock);
    }
    *completionCode = received[2];
    std::memcpy(responseData, received.data() + kKcsResponseHeader, dataLength);
    *responseLength = static_cast<int>(dataLength);
    return 0;
}

int SendThroughDriver(_IMBPREQUESTDATA& request, unsigned timeoutMs, std::uint8_t* responseData,
                      int* responseLength, std::uint8_t* completionCode) {
    const ElapsedTime clock;
    const int status =
        SendThroughImbDriver(&request, timeoutMs, responseData, responseLength, completionCode);
    if (status != 0) {
        NoteExchangeFailure(
            FormatReport(L"no response through the IPMI driver to netFn %02Xh "
                         L"command %02Xh (result %d), after %.1f s",
                         request.netFn, request.cmdType, status, clock.Seconds()));
    }
    return status;
}

}  // namespace

int SendTimedImbpRequest_t(_IMBPREQUESTDATA* request, unsigned timeoutMs,
                           std::uint8_t* responseData, int* responseLength,
                           std::uint8_t* completionCode) {
    if (request == nullptr || responseData == nullptr || responseLength == nullptr ||
        completionCode == nullptr) {
        return kNoResponse;
    }
    if (eInterface != IPMI_INTERFACE_KCS && g_UseUSB == 1) {
        if (eInterface == IPMI_INTERFACE_USB) {
            return SendTimedUsbRequest(request, timeoutMs, responseData, responseLength,
                                       completionCode);
        }
        if (eInterface == IPMI_INTERFACE_USB_BULK && request->dataLength > kSessionBulkThreshold &&
            SendTimedUsbRequest(request, timeoutMs, responseData, responseLength, completionCode) ==
                SESSION_OK) {
            return 0;
        }
    }
    return SendOverKcs(*request, responseData, responseLength, completionCode);
}

int ProcessMessage(BMC_MESSAGE* request, BMC_MESSAGE* response, unsigned timeoutMs) {
    if (request == nullptr || response == nullptr) return kNoResponse;
    std::memset(response->data, 0, sizeof response->data);
    if (request->slaveAddress != kBmcSlaveAddress) {
        return ProcessSendMessage(request, response, kBridgeChannel, request->slaveAddress,
                                  kBridgeTimeoutMs);
    }

    int length = kResponseCapacity;
    std::uint8_t completionCode = 0;
    int status = kNoResponse;
    if (request->dataLength <= kBmcMessageDataSize) {
        _IMBPREQUESTDATA imbRequest{request->cmd,
                                    kBmcSlaveAddress,
                                    0,
                                    request->netFn,
                                    request->lun,
                                    request->data,
                                    static_cast<std::int32_t>(request->dataLength)};
        // Without I/O privilege the first port access would kill the
        // process. It is raised for the ports alone: the driver path needs
        // none, and a locked-down kernel refuses it.
        if (g_Mbmcsupport == SYSTEM_INTERFACE_KCS && hw::Iopl(3) == 0) {
            status = SendTimedImbpRequest_t(&imbRequest, timeoutMs, response->data, &length,
                                            &completionCode);
        } else if (g_Mbmcsupport == SYSTEM_INTERFACE_KCS) {
            NoteExchangeFailure(
                L"the KCS ports cannot be used: I/O privilege refused (the "
                L"ports need root)");
        } else if (g_Mbmcsupport == SYSTEM_INTERFACE_IMB) {
            status =
                SendThroughDriver(imbRequest, timeoutMs, response->data, &length, &completionCode);
        } else {
            NoteExchangeFailure(L"no system interface to the BMC can be used");
        }
    }
    if (status == 0) ClearExchangeFailure();

    response->slaveAddress = request->slaveAddress;
    response->netFn = request->netFn;
    response->lun = request->lun;
    response->cmd = request->cmd;
    response->completionCode = completionCode;
    // Without a response no data are valid, whatever a transport left behind.
    response->dataLength = status == 0 ? static_cast<std::uint32_t>(length) : 0;
    return status;
}

int ProcessTimedMessage(BMC_MESSAGE* request, BMC_MESSAGE* response, unsigned timeoutMs) {
    return ProcessMessage(request, response, timeoutMs);
}

int CalculateChecksum(std::uint8_t* data, int length) {
    if (data == nullptr || length <= 0) return ipmb::Checksum({});
    return ipmb::Checksum({data, static_cast<std::size_t>(length)});
}
