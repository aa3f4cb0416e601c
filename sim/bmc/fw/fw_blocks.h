// The information blocks a controller's firmware carries inside its own
// image, as the firmware and the update tools both read them: each starts
// with an ASCII signature, its multi-byte fields are little-endian, and it
// counts only when its bytes, read as 16-bit little-endian words, sum to a
// value whose low byte is 0.
//
//   BootInfo    "*BootInfo*"      92 bytes: format (16), identification
//               (18, 16 bytes), device name (34, 5 bytes), device address
//               (39), boot area start/end (44/48, u32), version (60/62, u16)
//   OpCodeInfo  "*OpCodeInfo*"    72 bytes: format (16), area start/end
//               (20/24), version (40/42, u16)
//   PIA         "*PltfrmInfArea*" type (16): 2 checks 100 bytes, 3 checks
//               72; version (18/19, u8), product ID (36, u16), BIOS
//               platform ID (40, 16 bytes), area start/end (56/60)
//   EFS         "*EFS_Image*"     112 bytes: platform name (24, 16 bytes),
//               area start/end (72/76), version (80/82, u16)
// With block format 5 the stored area end is one past the last byte; with
// format 6 it is the last byte itself.
//
// The byte that makes a block's sum come out is the first of its last word
// (offset size - 2): only the low bytes of the words change the low byte of
// their sum, and no field lies there.
#ifndef SRVFW_SIM_BMC_FW_FW_BLOCKS_H
#define SRVFW_SIM_BMC_FW_FW_BLOCKS_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sim::fw {

enum class BlockKind { kBoot, kOpCode, kPia, kEfs };

inline constexpr std::size_t kBootInfoSize = 92;
inline constexpr std::size_t kOpCodeInfoSize = 72;
inline constexpr std::size_t kPiaType2Size = 100;
inline constexpr std::size_t kPiaType3Size = 72;
inline constexpr std::size_t kEfsSize = 112;

namespace offset {
inline constexpr std::size_t kFormat = 16;
inline constexpr std::size_t kIdentification = 18;
inline constexpr std::size_t kDeviceName = 34;
inline constexpr std::size_t kDeviceAddress = 39;
inline constexpr std::size_t kBootStart = 44;
inline constexpr std::size_t kBootEnd = 48;
inline constexpr std::size_t kBootMajor = 60;
inline constexpr std::size_t kBootMinor = 62;
inline constexpr std::size_t kOpCodeStart = 20;
inline constexpr std::size_t kOpCodeEnd = 24;
inline constexpr std::size_t kOpCodeMajor = 40;
inline constexpr std::size_t kOpCodeMinor = 42;
inline constexpr std::size_t kPiaType = 16;
inline constexpr std::size_t kPiaMajor = 18;
inline constexpr std::size_t kPiaMinor = 19;
inline constexpr std::size_t kPiaProductId = 36;
inline constexpr std::size_t kPiaPlatformId = 40;
inline constexpr std::size_t kPiaStart = 56;
inline constexpr std::size_t kPiaEnd = 60;
inline constexpr std::size_t kEfsPlatformName = 24;
inline constexpr std::size_t kEfsStart = 72;
inline constexpr std::size_t kEfsEnd = 76;
inline constexpr std::size_t kEfsMajor = 80;
inline constexpr std::size_t kEfsMinor = 82;
}  // namespace offset

inline constexpr std::size_t kIdentificationBytes = 16;
inline constexpr std::size_t kDeviceNameBytes = 5;
inline constexpr std::size_t kPlatformIdBytes = 16;

std::string_view Signature(BlockKind kind);
// The bytes the checksum covers: for a PIA, by the type byte it holds
// (0 for a type that has no size).
std::size_t BlockSize(BlockKind kind, std::uint8_t piaType = 2);

// The low byte of the block's sum of 16-bit little-endian words is 0.
bool BlockChecksumHolds(std::span<const std::uint8_t> block);
// Sets the byte at size - 2 so that the checksum holds.
void SealBlock(std::span<std::uint8_t> block);

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t at);
void WriteU16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value);
void WriteU32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value);

// A block found in a byte range: where it starts and the bytes its checksum
// covers.
struct FoundBlock {
    std::size_t at = 0;
    std::span<const std::uint8_t> bytes;
};
// The first block of that kind in bytes whose checksum holds; a signature
// whose block fails is passed over, as the update tools pass it over.
std::optional<FoundBlock> FindBlock(std::span<const std::uint8_t> bytes, BlockKind kind);

// A major and minor version as the blocks hold them.
struct BlockVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    bool operator==(const BlockVersion&) const = default;
};
// The version a found block names.
BlockVersion VersionOf(const FoundBlock& block, BlockKind kind);

}  // namespace sim::fw

#endif
