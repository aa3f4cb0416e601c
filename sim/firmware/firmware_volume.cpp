#include "sim/firmware/firmware_volume.h"

#include <algorithm>
#include <stdexcept>

#include "sim/firmware/little_endian.h"

namespace sim {

namespace {

constexpr std::uint32_t kFileAlignment = 8;
constexpr std::uint32_t kZeroVectorSignatureOffset = 8;
constexpr std::size_t kFvLengthField = 32;
constexpr std::size_t kAttributesField = 44;
constexpr std::size_t kHeaderLengthField = 48;
constexpr std::size_t kChecksumField = 50;
constexpr std::size_t kRevisionField = 55;
constexpr std::size_t kBlockMapField = 56;
constexpr std::size_t kMinimumHeaderBytes = kBlockMapField + 8;  // the map's terminator
constexpr std::uint8_t kVolumeRevision = 2;
// Read and write enabled and their capabilities, status bits, lock
// capability, memory mapped, sticky write, erase polarity 1, 64 KB
// alignment: what a BIOS build gives the volume it boots from.
constexpr std::uint32_t kVolumeAttributes = 0x0010FEFF;
constexpr std::size_t kFileChecksumHeader = 16;
constexpr std::size_t kFileChecksumData = 17;
constexpr std::size_t kFileType = 18;
constexpr std::size_t kFileAttributes = 19;
constexpr std::size_t kFileSize = 20;
constexpr std::size_t kFileState = 23;
constexpr char kSignature[] = "_FVH";

std::uint32_t AlignUp(std::uint32_t value) {
    return (value + kFileAlignment - 1) / kFileAlignment * kFileAlignment;
}

std::uint16_t WordSum16(std::span<const std::uint8_t> bytes) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        sum = static_cast<std::uint16_t>(sum + le::Get(bytes, i, 2));
    }
    return sum;
}

std::uint8_t ByteSum(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes) sum = static_cast<std::uint8_t>(sum + byte);
    return sum;
}

// The header's sum with the state and the data checksum counted as 0, as
// the format defines the header checksum.
std::uint8_t FileHeaderSum(std::span<const std::uint8_t> header) {
    return static_cast<std::uint8_t>(ByteSum(header.first(kFileHeaderBytes)) - header[kFileState] -
                                     header[kFileChecksumData]);
}

void Fail(std::string* why, const std::string& reason) {
    if (why != nullptr) *why = reason;
}

}  // namespace

FirmwareVolumeBuilder::FirmwareVolumeBuilder(std::uint32_t length, std::uint32_t blockBytes)
    : mLength(length), mBlockBytes(blockBytes), mFileSystem(Guid::Parse(kFirmwareFileSystemGuid)) {
    if (blockBytes == 0 || length % blockBytes != 0 || length < kVolumeHeaderBytes) {
        throw std::invalid_argument("a volume of " + std::to_string(length) +
                                    " bytes cannot be made of blocks of " +
                                    std::to_string(blockBytes));
    }
}

FirmwareVolumeBuilder& FirmwareVolumeBuilder::FileSystem(const Guid& guid) {
    mFileSystem = guid;
    return *this;
}

FirmwareVolumeBuilder& FirmwareVolumeBuilder::File(const Guid& name, std::uint8_t type,
                                                   std::span<const std::uint8_t> body) {
    mFiles.push_back({name, type, {body.begin(), body.end()}});
    return *this;
}

FirmwareVolumeBuilder& FirmwareVolumeBuilder::RawSectionFile(const Guid& name,
                                                             std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> section(kSectionHeaderBytes + data.size());
    le::Put(section, 0, section.size(), 3);
    section[3] = kSectionTypeRaw;
    std::copy(data.begin(), data.end(), section.begin() + kSectionHeaderBytes);
    return File(name, kFileTypeFreeform, section);
}

FirmwareVolumeBuilder& FirmwareVolumeBuilder::SignatureInZeroVector() {
    mSignatureInZeroVector = true;
    return *this;
}

FirmwareVolumeBuilder& FirmwareVolumeBuilder::BadHeaderChecksum() {
    mBadHeaderChecksum = true;
    return *this;
}

FirmwareVolumeBuilder& FirmwareVolumeBuilder::BadFileChecksum() {
    mBadFileChecksum = true;
    return *this;
}

std::vector<std::uint8_t> FirmwareVolumeBuilder::Build() const {
    std::vector<std::uint8_t> volume(mLength, 0xFF);
    std::fill_n(volume.begin(), kVolumeHeaderBytes, 0);
    if (mSignatureInZeroVector) le::PutText(volume, kZeroVectorSignatureOffset, kSignature, 4);
    const auto fileSystem = mFileSystem.Bytes();
    std::copy(fileSystem.begin(), fileSystem.end(), volume.begin() + 16);
    le::Put(volume, kFvLengthField, mLength, 8);
    le::PutText(volume, kVolumeSignatureOffset, kSignature, 4);
    le::Put(volume, kAttributesField, kVolumeAttributes, 4);
    le::Put(volume, kHeaderLengthField, kVolumeHeaderBytes, 2);
    volume[kRevisionField] = kVolumeRevision;
    le::Put(volume, kBlockMapField, mLength / mBlockBytes, 4);
    le::Put(volume, kBlockMapField + 4, mBlockBytes, 4);
    const auto sum = WordSum16(std::span(volume).first(kVolumeHeaderBytes));
    le::Put(volume, kChecksumField,
            static_cast<std::uint16_t>(0x10000 - sum + (mBadHeaderChecksum ? 1 : 0)), 2);

    std::uint32_t at = AlignUp(kVolumeHeaderBytes);
    for (std::size_t i = 0; i < mFiles.size(); ++i) {
        const VolumeFile& file = mFiles[i];
        const std::size_t size = kFileHeaderBytes + file.body.size();
        if (size > 0xFFFFFF || at + size > mLength) {
            throw std::invalid_argument("file " + file.name.Text() + " does not fit the volume");
        }
        const std::span<std::uint8_t> header = std::span(volume).subspan(at, kFileHeaderBytes);
        std::fill(header.begin(), header.end(), 0);
        const auto name = file.name.Bytes();
        std::copy(name.begin(), name.end(), header.begin());
        header[kFileType] = file.type;
        header[kFileAttributes] = kFileAttributeChecksum;
        le::Put(header, kFileSize, size, 3);
        header[kFileChecksumHeader] = static_cast<std::uint8_t>(0x100 - FileHeaderSum(header));
        const bool badData = mBadFileChecksum && i + 1 == mFiles.size();
        header[kFileChecksumData] =
            static_cast<std::uint8_t>(0x100 - ByteSum(file.body) + (badData ? 1 : 0));
        header[kFileState] = kFileStateValid;
        std::copy(file.body.begin(), file.body.end(), volume.begin() + at + kFileHeaderBytes);
        at = AlignUp(static_cast<std::uint32_t>(at + size));
    }
    return volume;
}

std::optional<VolumeInfo> ReadFirmwareVolume(std::span<const std::uint8_t> bytes,
                                             std::string* why) {
    if (bytes.size() < kMinimumHeaderBytes ||
        le::GetText(bytes, kVolumeSignatureOffset, 4) != kSignature) {
        Fail(why, "no \"_FVH\" at offset 40");
        return std::nullopt;
    }
    VolumeInfo info;
    info.fileSystem = Guid::FromBytes(bytes, 16);
    info.length = le::Get(bytes, kFvLengthField, 8);
    info.attributes = static_cast<std::uint32_t>(le::Get(bytes, kAttributesField, 4));
    info.headerLength = static_cast<std::uint16_t>(le::Get(bytes, kHeaderLengthField, 2));
    info.revision = bytes[kRevisionField];
    if (info.length > bytes.size() || info.headerLength < kMinimumHeaderBytes ||
        info.headerLength > info.length) {
        Fail(why, "the volume's length or header length does not fit");
        return std::nullopt;
    }
    const auto volume = bytes.first(info.length);
    info.headerChecksumOk = WordSum16(volume.first(info.headerLength)) == 0;
    for (std::uint64_t at = AlignUp(info.headerLength); at + kFileHeaderBytes <= volume.size();) {
        const auto header = volume.subspan(at, kFileHeaderBytes);
        if (std::all_of(header.begin(), header.end(), [](std::uint8_t b) { return b == 0xFF; })) {
            break;  // free space
        }
        VolumeFileInfo file;
        file.offset = static_cast<std::uint32_t>(at);
        file.name = Guid::FromBytes(header, 0);
        file.type = header[kFileType];
        file.attributes = header[kFileAttributes];
        file.state = header[kFileState];
        file.size = static_cast<std::uint32_t>(le::Get(header, kFileSize, 3));
        if (file.size < kFileHeaderBytes || at + file.size > volume.size()) break;
        const auto body = volume.subspan(at + kFileHeaderBytes, file.size - kFileHeaderBytes);
        file.headerChecksumOk = FileHeaderSum(header) == 0;
        file.dataChecksumOk =
            (file.attributes & kFileAttributeChecksum) == 0 ||
            static_cast<std::uint8_t>(ByteSum(body) + header[kFileChecksumData]) == 0;
        if (file.type == kFileTypeFreeform && body.size() >= kSectionHeaderBytes) {
            const auto sectionSize = static_cast<std::uint32_t>(le::Get(body, 0, 3));
            if (sectionSize >= kSectionHeaderBytes && sectionSize <= body.size()) {
                file.sectionType = body[3];
                file.sectionDataOffset = file.offset + kFileHeaderBytes + kSectionHeaderBytes;
                file.sectionDataBytes = sectionSize - kSectionHeaderBytes;
            }
        }
        info.files.push_back(file);
        at = AlignUp(static_cast<std::uint32_t>(at + file.size));
    }
    return info;
}

}  // namespace sim
