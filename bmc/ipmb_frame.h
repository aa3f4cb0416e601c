// The IPMB frames that Send Message carries to a controller behind the BMC
// and that Get Message hands back with its answer. The message layer builds
// and reads them; the host's IMB driver takes them apart for the kernel,
// which bridges on its own, and frames the answers the same way again.
#ifndef SRVFW_BMC_IPMB_FRAME_H
#define SRVFW_BMC_IPMB_FRAME_H

#include <cstddef>
#include <cstdint>
#include <span>

namespace ipmb {

// The two's-complement checksum: the bytes and it sum to 0 modulo 256.
constexpr std::uint8_t Checksum(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes) sum = static_cast<std::uint8_t>(sum + byte);
    return static_cast<std::uint8_t>(0x100 - sum);
}

// Send Message request data: the channel, then the request frame.
enum SendMessageByte : std::size_t {
    kSendChannel = 0,
    kSendResponder = 1,    // rsSA
    kSendNetFnLun = 2,     // netFn << 2 | rsLUN
    kSendHeaderCheck = 3,  // over rsSA and netFn/rsLUN
    kSendRequester = 4,    // rqSA
    kSendSequenceLun = 5,  // rqSeq << 2 | rqLUN
    kSendCommand = 6,
    kSendData = 7,
};
// All of it but the request's data: the bytes above and the closing
// checksum (over rqSA to the last data byte).
inline constexpr std::size_t kSendMessageFraming = 8;

// Get Message response data (after its completion code): the channel, then
// the response frame.
enum GetMessageByte : std::size_t {
    kReplyChannel = 0,
    kReplyNetFnLun = 1,     // netFn << 2 | rqLUN
    kReplyHeaderCheck = 2,  // over rqSA and netFn/rqLUN
    kReplyResponder = 3,    // rsSA
    kReplySequenceLun = 4,  // rqSeq << 2 | rsLUN
    kReplyCommand = 5,
    kReplyCompletionCode = 6,
    kReplyData = 7,
};
// All of it but the answer's data: the bytes above and the closing checksum
// (over rsSA to the last data byte).
inline constexpr std::size_t kGetMessageFraming = 8;

// Bits 7:6 of the channel byte ask the BMC to track the request.
inline constexpr std::uint8_t kChannelMask = 0x0F;
inline constexpr std::uint8_t kLunMask = 0x03;
inline constexpr std::uint8_t kSequenceMask = 0xFC;

}  // namespace ipmb

#endif
