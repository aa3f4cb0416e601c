// PI firmware volumes as a BIOS build lays them into its flash, and a
// reader that checks one on the format's own terms:
//
//   header (72 bytes with a one-run block map): zero vector, file system
//   GUID at 16, 64-bit FvLength at 32, "_FVH" at 40, attributes at 44
//   (erase polarity 1), HeaderLength at 48, a 16-bit checksum at 50 that
//   makes the header's 16-bit words sum to 0, revision 2 at 55, the block
//   map from 56 ending in a zero entry;
//   files from HeaderLength, each 8-byte aligned from the volume start:
//   a 24-byte header (name GUID, header checksum, file checksum, type,
//   attributes with the checksum bit, 24-bit size including the header,
//   state F8h: header and data valid under erase polarity 1), then the
//   file's sections, each a 4-byte header (24-bit size including it, type)
//   and its data;
//   free space of FFh to the end.
//
// The volume of the simulated BIOS uses the file system GUID
// 7A9354D9-0468-444A-81CE-0BF617D890DF (the first firmware file system,
// which its update program looks for); the PI FFS2 GUID
// 8C8CE578-8A3D-4F1C-9935-896185C32DD3 is what a newer BIOS would carry.
//
//   std::vector<std::uint8_t> volume =
//       sim::FirmwareVolumeBuilder(0x10000)
//           .RawSectionFile(sim::Guid::Parse(sim::kTablesFileGuid), section)
//           .Build();
#ifndef SRVFW_SIM_FIRMWARE_FIRMWARE_VOLUME_H
#define SRVFW_SIM_FIRMWARE_FIRMWARE_VOLUME_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/firmware/flash_tables.h"

namespace sim {

inline constexpr char kFirmwareFileSystemGuid[] = "7A9354D9-0468-444A-81CE-0BF617D890DF";
inline constexpr char kFirmwareFileSystem2Guid[] = "8C8CE578-8A3D-4F1C-9935-896185C32DD3";
// The file that holds the flash tables in one raw section.
inline constexpr char kTablesFileGuid[] = "FFFDA063-F5B2-4EB5-A7B4-4863FC4919A2";

inline constexpr std::uint32_t kVolumeSignatureOffset = 40;
inline constexpr std::uint32_t kVolumeHeaderBytes = 72;  // one block map run + terminator
inline constexpr std::uint32_t kFileHeaderBytes = 24;
inline constexpr std::uint32_t kSectionHeaderBytes = 4;
inline constexpr std::uint8_t kFileTypeRaw = 0x01;
inline constexpr std::uint8_t kFileTypeFreeform = 0x02;
inline constexpr std::uint8_t kSectionTypeRaw = 0x19;
inline constexpr std::uint8_t kFileStateValid = 0xF8;  // header and data valid, polarity 1
inline constexpr std::uint8_t kFileAttributeChecksum = 0x40;

class FirmwareVolumeBuilder {
  public:
    // A volume of length bytes, described in the block map as blocks of
    // blockBytes (length must be a multiple of it).
    explicit FirmwareVolumeBuilder(std::uint32_t length, std::uint32_t blockBytes = 0x10000);

    FirmwareVolumeBuilder& FileSystem(const Guid& guid);
    // A file of this type whose body (its sections, or raw data) is given.
    FirmwareVolumeBuilder& File(const Guid& name, std::uint8_t type,
                                std::span<const std::uint8_t> body);
    // A freeform file holding one raw section of this data.
    FirmwareVolumeBuilder& RawSectionFile(const Guid& name, std::span<const std::uint8_t> data);
    // Malformations: "_FVH" also in the zero vector (first met at offset
    // 8); a header checksum that does not sum to 0; the last file's data
    // checksum off by one.
    FirmwareVolumeBuilder& SignatureInZeroVector();
    FirmwareVolumeBuilder& BadHeaderChecksum();
    FirmwareVolumeBuilder& BadFileChecksum();

    // Throws std::invalid_argument when the files do not fit.
    std::vector<std::uint8_t> Build() const;

  private:
    struct VolumeFile {
        Guid name;
        std::uint8_t type;
        std::vector<std::uint8_t> body;
    };
    std::uint32_t mLength;
    std::uint32_t mBlockBytes;
    Guid mFileSystem;
    std::vector<VolumeFile> mFiles;
    bool mSignatureInZeroVector = false;
    bool mBadHeaderChecksum = false;
    bool mBadFileChecksum = false;
};

// What a reader finds in a volume, each check on the format's terms.
struct VolumeFileInfo {
    std::uint32_t offset = 0;  // from the volume start
    Guid name;
    std::uint8_t type = 0;
    std::uint8_t attributes = 0;
    std::uint8_t state = 0;
    std::uint32_t size = 0;  // header included
    bool headerChecksumOk = false;
    bool dataChecksumOk = false;
    // The first section's data (offset from the volume start and length),
    // for a freeform file whose first section fits in the file.
    std::optional<std::uint32_t> sectionDataOffset;
    std::uint32_t sectionDataBytes = 0;
    std::uint8_t sectionType = 0;
};

struct VolumeInfo {
    Guid fileSystem;
    std::uint64_t length = 0;
    std::uint32_t attributes = 0;
    std::uint16_t headerLength = 0;
    std::uint8_t revision = 0;
    bool headerChecksumOk = false;
    std::vector<VolumeFileInfo> files;
};

// The volume at the start of bytes; std::nullopt (with the reason in
// *why) when "_FVH" is not at offset 40 or the header or its length do not
// fit. Files are walked while their headers fit inside the volume and the
// bytes; an erased header (all FFh) ends the walk.
std::optional<VolumeInfo> ReadFirmwareVolume(std::span<const std::uint8_t> bytes,
                                             std::string* why = nullptr);

}  // namespace sim

#endif
