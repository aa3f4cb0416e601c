/* libipmi.so of the simulated server: the session library that opens an
 * IPMI 2.0 session with the BMC's LAN endpoint (the loopback address, port
 * 623) and carries raw IPMI requests over it. This build does not go
 * through a network: it hands each request to the simulated BMC's command
 * table as the BMC's LAN channel would (sim/bmc/libipmi_endpoint.h), never
 * through the KCS ports.
 *
 * Every function returns a 16-bit result, LIBIPMI_OK (0) for success.
 * Sessions live in the simulated machine of the calling process; a session
 * record from another process names no open session.
 */
#ifndef SRVFW_SIM_LIBIPMI_LIBIPMI_H
#define SRVFW_SIM_LIBIPMI_LIBIPMI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The caller's session record: 31 bytes the library fills when it opens a
 * session and reads on every later call; the caller only passes its
 * address. */
#define LIBIPMI_SESSION_BYTES 31
typedef struct LIBIPMI_SESSION {
    unsigned char opaque[LIBIPMI_SESSION_BYTES];
} LIBIPMI_SESSION;

/* The most a response takes in the caller's buffer, completion code
 * included; a longer one is refused with LIBIPMI_E_RESPONSE_TOO_LONG and
 * nothing is written. */
#define LIBIPMI_MAX_RESPONSE 65535

enum {
    LIBIPMI_OK = 0,
    LIBIPMI_E_INVALID_ARGUMENT = 1, /* null record, bad length, unknown payload */
    LIBIPMI_E_UNREACHABLE = 2,      /* no BMC endpoint at that address and port */
    LIBIPMI_E_SESSION_REFUSED = 3,  /* the BMC refused the session */
    LIBIPMI_E_NO_SESSION = 4,       /* the record names no open session */
    LIBIPMI_E_SEND_FAILED = 5,      /* the request got no response */
    LIBIPMI_E_RESPONSE_TOO_LONG = 6
};

/* Payload type of an IPMI message in an IPMI 2.0 session. */
#define LIBIPMI_PAYLOAD_IPMI 0

/* Opens a session with the BMC endpoint at address (IPv4 text) and port.
 * userName and password may be null (an anonymous session); the three
 * algorithms are the RMCP+ authentication, integrity and confidentiality
 * algorithms (0: none). *privilegeLevel holds the requested maximum
 * privilege (1 callback .. 4 administrator) and receives the granted one;
 * null asks for administrator. retries is the number of attempts to reach
 * the endpoint, requesterAddress the slave address the session's requests
 * carry, bmcAddress the BMC's (20h); bridgeChannel and bridgeAddress, when
 * not 0, name a controller behind the BMC that the session talks to
 * instead (not offered by this build: LIBIPMI_E_INVALID_ARGUMENT).
 * timeoutMs bounds each exchange. */
uint16_t LIBIPMI_Create_IPMI20_Session(LIBIPMI_SESSION* session, const char* address, uint16_t port,
                                       const char* userName, const char* password,
                                       uint8_t authenticationAlgorithm, uint8_t integrityAlgorithm,
                                       uint8_t confidentialityAlgorithm, uint8_t* privilegeLevel,
                                       uint8_t retries, uint8_t requesterAddress,
                                       uint8_t bmcAddress, uint8_t bridgeChannel,
                                       uint8_t bridgeAddress, uint32_t timeoutMs);

/* Sends one request over the session: payloadType LIBIPMI_PAYLOAD_IPMI,
 * netFnLun = netFn << 2 | LUN, the command and requestLength bytes of
 * data (request may be null when requestLength is 0). The response goes
 * to response: byte 0 the completion code, then the response data; it must
 * hold LIBIPMI_MAX_RESPONSE bytes. *responseLength receives the number of
 * bytes written, completion code included. */
uint16_t LIBIPMI_Send_RAW_IPMI2_0_Command(LIBIPMI_SESSION* session, uint8_t payloadType,
                                          uint8_t netFnLun, uint8_t command, const uint8_t* request,
                                          int requestLength, uint8_t* response, int* responseLength,
                                          uint32_t timeoutMs);

/* Closes the session; the record names no session afterwards. */
uint16_t LIBIPMI_CloseSession(LIBIPMI_SESSION* session);

#ifdef __cplusplus
}
#endif

#endif
