// The request block the BIOS keeps in its F0000h segment and the function
// codes written to its SMI command port: shared by the search that finds
// the block, the transfer buffer set-up that names the buffer in it, and the
// requests that fill it.
#ifndef SRVFW_TARVO_FLASH_REQUEST_BLOCK_H
#define SRVFW_TARVO_FLASH_REQUEST_BLOCK_H

#include <cstddef>
#include <cstdint>

namespace tarvo {

// Offsets of the request block's fields.
constexpr std::size_t kRequestBuffer = 0;
constexpr std::size_t kRequestAddress = 4;
constexpr std::size_t kRequestLength = 8;
constexpr std::size_t kRequestChecksum = 12;
constexpr std::size_t kRequestStatus = 16;
constexpr std::size_t kRequestLengthBytes = 17;

enum BiosFunction : std::uint8_t {
    kFlashOpen = 0x20,
    kFlashRead = 0x21,
    kFlashErase = 0x22,
    kFlashWrite = 0x23,
    kFlashClose = 0x24,
};
constexpr std::uint8_t kOpenRefused = 1;

}  // namespace tarvo

#endif
