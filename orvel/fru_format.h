// The byte-level rules of IPMI FRU information (IPMI Platform Management FRU
// Information Storage Definition v1.0) as this library applies them: the
// sizes and limits it enforces, type/length bytes, checksums and the board
// manufacturing date.
//
// Field data is kept exactly as stored: data read in one encoding is written
// back in it. Text shows each field decoded by its type
// (orvel/fru_encoding.h); raw bytes a caller sets are marked as 8-bit text,
// text a caller sets keeps the field's encoding when it can.
#ifndef SRVFW_ORVEL_FRU_FORMAT_H
#define SRVFW_ORVEL_FRU_FORMAT_H

#include <cstdint>
#include <ctime>
#include <span>

#include "include/orvel_interface.h"

namespace Orvel_Private {

inline constexpr std::uint32_t FRU_HEADER_LENGTH = 8;
// Header offsets and info area lengths count units of this many bytes.
inline constexpr std::uint32_t kFruAreaUnit = 8;
inline constexpr std::uint32_t kMaxInfoAreaUnits = 64;
inline constexpr std::uint32_t kMaxInfoAreaLength = kMaxInfoAreaUnits * kFruAreaUnit;
inline constexpr std::uint32_t kMaxInternalUseLength = 512;
inline constexpr std::uint32_t kMaxFieldLength = 63;
inline constexpr std::uint32_t kMaxMultiRecordDataLength = 255;
// Read and Write FRU Data address a device with 16-bit offsets.
inline constexpr std::uint32_t kFruAddressSpace = 0x10000;

// Type/length byte C1h: type 11b with length 1, which the standard reserves
// as the end of an info area's fields.
inline constexpr std::uint8_t kEndOfFields = 0xC1;

// Bits 7:6 of a type/length byte, in place (the host's: see the interface
// table).
using ::FRU_FIELD_TYPE;
inline constexpr std::uint8_t kFieldTypeMask = 0xC0;
inline constexpr std::uint8_t kFieldLengthMask = 0x3F;

namespace FruDefs {
// The number of data bytes a type/length byte announces (bits 5:0).
std::uint8_t DecodeLength(std::uint8_t typeLength);
}  // namespace FruDefs

// The sum of the bytes modulo 256; a FRU structure is intact when its bytes,
// checksum included, sum to 0.
std::uint8_t ByteSum(std::span<const std::uint8_t> bytes);
// The checksum byte that makes `bytes` and itself sum to 0 modulo 256.
std::uint8_t ZeroChecksum(std::span<const std::uint8_t> bytes);

// The board manufacturing date/time: a 24-bit little-endian count of
// minutes since 1996-01-01 00:00 UTC.
inline constexpr std::uint32_t kMfgDateTimeLength = 3;
inline constexpr std::time_t SECONDS_FROM_1_1_1970_TO_1_1_1996 = 820454400;
inline constexpr std::time_t SECONDS_IN_A_MINUTE = 60;
std::time_t MfgDateTimeToUnixTime(std::span<const std::uint8_t, kMfgDateTimeLength> bytes);

}  // namespace Orvel_Private

#endif
