// The simulated libipmi.so: checks what its callers hand it as a session
// library must (it gets raw pointers and lengths), keeps the session in the
// caller's record and leaves the rest to the BMC's LAN endpoint in the
// process's simulated machine.
#include "sim/libipmi/libipmi.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "sim/bmc/ipmi.h"
#include "sim/bmc/libipmi_endpoint.h"
#include "sim/core/machine.h"

namespace {

// What the library keeps in the caller's 31-byte record.
constexpr char kMagic[4] = {'S', 'L', 'I', 'P'};
enum RecordField : std::size_t {
    kRecordMagic = 0,
    kRecordSession = 4,
    kRecordBmcAddress = 8,
    kRecordTimeout = 9,
    kRecordBytes = 13,
};
static_assert(kRecordBytes <= LIBIPMI_SESSION_BYTES);

sim::LibipmiEndpoint* Endpoint() {
    return sim::TheMachine().Find<sim::LibipmiEndpoint>();
}

std::uint16_t Refused(const char* operation, std::uint16_t code, const std::string& why) {
    sim::TheMachine().Log().Add({"libipmi", operation, 0, code, 0, why});
    return code;
}

// The session the record names, or 0 when it names none.
std::uint32_t SessionOf(const LIBIPMI_SESSION* record) {
    if (std::memcmp(record->opaque + kRecordMagic, kMagic, sizeof kMagic) != 0) return 0;
    std::uint32_t session = 0;
    std::memcpy(&session, record->opaque + kRecordSession, sizeof session);
    return session;
}

}  // namespace

extern "C" {

uint16_t LIBIPMI_Create_IPMI20_Session(
    LIBIPMI_SESSION* session, const char* address, uint16_t port, const char* /*userName*/,
    const char* /*password*/, uint8_t /*authenticationAlgorithm*/, uint8_t /*integrityAlgorithm*/,
    uint8_t /*confidentialityAlgorithm*/, uint8_t* privilegeLevel, uint8_t /*retries*/,
    uint8_t /*requesterAddress*/, uint8_t bmcAddress, uint8_t bridgeChannel, uint8_t bridgeAddress,
    uint32_t timeoutMs) {
    if (session == nullptr || address == nullptr) {
        return Refused("open", LIBIPMI_E_INVALID_ARGUMENT, "null session record or address");
    }
    std::memset(session->opaque, 0, sizeof session->opaque);
    if (bridgeChannel != 0 || bridgeAddress != 0) {
        return Refused("open", LIBIPMI_E_INVALID_ARGUMENT, "bridged sessions are not offered");
    }
    sim::LibipmiEndpoint* endpoint = Endpoint();
    if (endpoint == nullptr || bmcAddress != sim::ipmi::kBmcAddress) {
        return Refused("open", LIBIPMI_E_UNREACHABLE, "no BMC at that address");
    }
    std::uint32_t id = 0;
    const std::uint16_t result = endpoint->Open(address, port, privilegeLevel, &id);
    if (result != LIBIPMI_OK) return result;
    std::memcpy(session->opaque + kRecordMagic, kMagic, sizeof kMagic);
    std::memcpy(session->opaque + kRecordSession, &id, sizeof id);
    session->opaque[kRecordBmcAddress] = bmcAddress;
    std::memcpy(session->opaque + kRecordTimeout, &timeoutMs, sizeof timeoutMs);
    return LIBIPMI_OK;
}

uint16_t LIBIPMI_Send_RAW_IPMI2_0_Command(LIBIPMI_SESSION* session, uint8_t payloadType,
                                          uint8_t netFnLun, uint8_t command, const uint8_t* request,
                                          int requestLength, uint8_t* response, int* responseLength,
                                          uint32_t /*timeoutMs*/) {
    if (session == nullptr || response == nullptr || responseLength == nullptr) {
        return Refused("send", LIBIPMI_E_INVALID_ARGUMENT,
                       "null session record, response buffer or length");
    }
    if (payloadType != LIBIPMI_PAYLOAD_IPMI) {
        return Refused("send", LIBIPMI_E_INVALID_ARGUMENT,
                       "payload type " + std::to_string(payloadType) + " is not an IPMI message");
    }
    if (requestLength < 0 || (request == nullptr && requestLength > 0)) {
        return Refused("send", LIBIPMI_E_INVALID_ARGUMENT,
                       "request of " + std::to_string(requestLength) + " bytes at null");
    }
    sim::LibipmiEndpoint* endpoint = Endpoint();
    if (endpoint == nullptr) return Refused("send", LIBIPMI_E_NO_SESSION, "no BMC endpoint");
    const sim::ipmi::Request ipmiRequest{
        static_cast<std::uint8_t>(netFnLun >> 2),
        static_cast<std::uint8_t>(netFnLun & 3),
        command,
        std::span(request, static_cast<std::size_t>(requestLength)),
        sim::ipmi::Origin::kLanSession,
        0};
    sim::ipmi::Response answer;
    const std::uint16_t result = endpoint->Send(SessionOf(session), ipmiRequest, &answer);
    if (result != LIBIPMI_OK) return result;
    if (answer.data.size() + 1 > LIBIPMI_MAX_RESPONSE) {
        return Refused("send", LIBIPMI_E_RESPONSE_TOO_LONG,
                       std::to_string(answer.data.size() + 1) + "-byte response");
    }
    response[0] = answer.completionCode;
    std::copy(answer.data.begin(), answer.data.end(), response + 1);
    *responseLength = static_cast<int>(answer.data.size() + 1);
    return LIBIPMI_OK;
}

uint16_t LIBIPMI_CloseSession(LIBIPMI_SESSION* session) {
    if (session == nullptr) {
        return Refused("close", LIBIPMI_E_INVALID_ARGUMENT, "null session record");
    }
    sim::LibipmiEndpoint* endpoint = Endpoint();
    const std::uint32_t id = SessionOf(session);
    std::memset(session->opaque, 0, sizeof session->opaque);
    if (endpoint == nullptr) return Refused("close", LIBIPMI_E_NO_SESSION, "no BMC endpoint");
    return endpoint->Close(id);
}

}  // extern "C"
