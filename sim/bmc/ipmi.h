// IPMI messages as the simulated BMC and the controllers behind it handle
// them, whatever interface carried them (the KCS ports, a LAN session, the
// IPMB): a request is a network function, a LUN, a command and its data; a
// response is a completion code and its data. The framing of each interface
// (the KCS frame, the IPMB frame with its two checksums) is the business of
// that interface's code.
//
// Request-log form of one exchange, shared by every component that logs
// whole requests ("kcs", "libipmi", "ipmb"):
//   detail "netfn=06 lun=0 cmd=01 data=[] -> cc=00 data=[20 01 ...]"
// with two hexadecimal digits per byte; LoggedExchange reads it back.
#ifndef SRVFW_SIM_BMC_IPMI_H
#define SRVFW_SIM_BMC_IPMI_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/core/request_log.h"

namespace sim::ipmi {

// The BMC's own slave address, and the LUN of system software (10b): IPMB
// responses addressed to the BMC at this LUN go to its receive message queue.
inline constexpr std::uint8_t kBmcAddress = 0x20;
inline constexpr std::uint8_t kSmsLun = 2;

// Network functions of requests (the response's is one higher).
enum NetFn : std::uint8_t {
    kNetFnChassis = 0x00,
    kNetFnSensorEvent = 0x04,
    kNetFnApp = 0x06,
    kNetFnFirmware = 0x08,
    kNetFnStorage = 0x0A,
    kNetFnTransport = 0x0C,
    kNetFnOem = 0x2E,
};

// Commands of the application network function that the BMC serves.
enum AppCommand : std::uint8_t {
    kGetDeviceId = 0x01,
    kClearMessageFlags = 0x30,
    kGetMessageFlags = 0x31,
    kGetMessage = 0x33,
    kSendMessage = 0x34,
    kReadEventMessageBuffer = 0x35,
    kGetChannelInfo = 0x42,
};

// Get Message Flags: a message waits in the receive message queue.
inline constexpr std::uint8_t kReceiveMessageAvailable = 0x01;

// Channel medium types, as Get Channel Info reports them.
enum ChannelMedium : std::uint8_t {
    kMediumIpmb = 0x01,
    kMediumSystemInterface = 0x0C,
};

enum CompletionCode : std::uint8_t {
    kOk = 0x00,
    kNoMessage = 0x80,        // Get Message: the receive message queue is empty
    kLostArbitration = 0x81,  // Send Message, Master Write-Read: lost the bus
    kBusError = 0x82,         // Send Message, Master Write-Read
    kNak = 0x83,  // Send Message, Master Write-Read: the target did not acknowledge on the bus
    kNodeBusy = 0xC0,
    kInvalidCommand = 0xC1,
    kInvalidForLun = 0xC2,
    kTimeout = 0xC3,
    kOutOfSpace = 0xC4,
    kInvalidReservation = 0xC5,
    kRequestTruncated = 0xC6,
    kInvalidLength = 0xC7,
    kLengthExceeded = 0xC8,
    kOutOfRange = 0xC9,
    kCannotReturnBytes = 0xCA,
    kNotPresent = 0xCB,
    kInvalidDataField = 0xCC,
    kIllegalForType = 0xCD,
    kCannotRespond = 0xCE,
    kDuplicateRequest = 0xCF,
    kSdrUpdateMode = 0xD0,
    kFirmwareUpdateMode = 0xD1,
    kInitializing = 0xD2,
    kDestinationUnavailable = 0xD3,
    kInsufficientPrivilege = 0xD4,
    kNotSupportedInState = 0xD5,
    kUnspecified = 0xFF,
};

// The interface a request came in on; a handler may answer differently on
// each (a LAN session has privileges, the IPMB has a requester address).
enum class Origin { kSystemInterface, kLanSession, kIpmb };

struct Request {
    std::uint8_t netFn = 0;  // unshifted, even
    std::uint8_t lun = 0;
    std::uint8_t cmd = 0;
    std::span<const std::uint8_t> data;
    Origin origin = Origin::kSystemInterface;
    std::uint8_t requester = 0;  // requester's slave address on the IPMB, else 0
};

struct Response {
    std::uint8_t completionCode = kOk;
    std::vector<std::uint8_t> data;  // after the completion code
    // The controller took the request and never answered (it stopped):
    // each interface makes of it what its hardware makes of a silent
    // controller (the KCS interface takes no more bytes, the kernel driver
    // times out, the IPMB carries no response frame, the LAN session gets
    // no reply).
    bool silent = false;

    // A response that is only a completion code, as every failure is.
    static Response Code(std::uint8_t completionCode) { return {completionCode, {}}; }
    static Response NoAnswer() { return {kOk, {}, true}; }
};

// The two's-complement checksum of IPMB frames: the bytes and the checksum
// sum to zero modulo 256.
std::uint8_t Checksum(std::span<const std::uint8_t> bytes);

// One exchange as the request log keeps it.
struct Exchange {
    std::uint8_t netFn = 0;
    std::uint8_t lun = 0;
    std::uint8_t cmd = 0;
    std::vector<std::uint8_t> request;
    std::uint8_t completionCode = 0;
    std::vector<std::uint8_t> response;
};

std::string FormatExchange(const Request& request, const Response& response);
// "20 01 FF": two hexadecimal digits a byte, separated by blanks.
std::string HexBytes(std::span<const std::uint8_t> bytes);
// The exchange in an entry's detail, when it holds one.
std::optional<Exchange> LoggedExchange(const LogEntry& entry);

}  // namespace sim::ipmi

#endif
