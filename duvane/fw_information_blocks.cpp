#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include "bmc/trace.h"
#include "duvane/duvane_messages.h"
#include "duvane/duvane_status.h"
#include "duvane/fw_block_fields.h"
#include "duvane/fw_file.h"
#include "duvane/fw_image_strings.h"

namespace DirectFwUpdate_Private {

namespace {

// A PIA of type 2 is checked over its whole 100 bytes; type 3 keeps the
// same fields but its checksum covers only the first 72.
constexpr std::size_t kPiaBlockSize = 100;
constexpr std::size_t kPiaType3CheckedSize = 72;
constexpr std::uint8_t kPiaType2 = 2;
constexpr std::uint8_t kPiaType3 = 3;
// The platforms whose BMC firmware carries the shorter PIA.
constexpr std::array kPiaType3Platforms{1, 10, 11, 15};

constexpr std::size_t kBlockFormat = 16;
// With this format a block stores its area's end one past the last byte.
constexpr std::uint8_t kFormatEndPastArea = 5;
constexpr std::uint8_t kFormatEndInArea = 6;

constexpr std::size_t kBootDeviceAddress = 39;
constexpr std::size_t kBootStart = 44;
constexpr std::size_t kBootEnd = 48;
constexpr std::size_t kOpCodeStart = 20;
constexpr std::size_t kOpCodeEnd = 24;
constexpr std::size_t kPiaType = 16;
constexpr std::size_t kPiaVersion = 18;
constexpr std::size_t kPiaProductId = 36;
constexpr std::size_t kPiaPlatformId = 40;
constexpr std::size_t kPiaPlatformIdLength = 16;
constexpr std::size_t kPiaStart = 56;
constexpr std::size_t kPiaEnd = 60;
constexpr std::size_t kEfsStart = 72;
constexpr std::size_t kEfsEnd = 76;

struct BlockKind {
    BmcFwArea area;
    std::string_view signature;
    std::size_t size;
};

// Every signature starts with '*', which lets the scan skip from one to the
// next instead of comparing four signatures at every byte.
constexpr char kSignatureStart = '*';
constexpr std::array kBlockKinds{
    BlockKind{BMC_FW_AREA_BOOT, "*BootInfo*", kBootInfoSize},
    BlockKind{BMC_FW_AREA_OPCODE, "*OpCodeInfo*", kOpCodeInfoSize},
    BlockKind{BMC_FW_AREA_PIA, "*PltfrmInfArea*", kPiaBlockSize},
    BlockKind{BMC_FW_AREA_EFS, "*EFS_Image*", kEfsBlockSize},
};
constexpr std::size_t kLargestBlock =
    std::max({kBootInfoSize, kOpCodeInfoSize, kPiaBlockSize, kEfsBlockSize});

bool ChecksumHolds(std::span<const std::uint8_t> block) {
    return CfwFile::VerifyChecksum(reinterpret_cast<const unsigned short*>(block.data()),
                                   static_cast<int>(block.size()));
}

FwAreaRange RangeAt(std::span<const std::uint8_t> block, std::size_t start, std::size_t end) {
    return {U32At(block, start), U32At(block, end)};
}

// Makes a format-5 block's end inclusive like the others'.
FwAreaRange InclusiveRange(std::span<const std::uint8_t> block, std::size_t start,
                           std::size_t end) {
    FwAreaRange range = RangeAt(block, start, end);
    if (block[kBlockFormat] == kFormatEndPastArea) --range.end;
    return range;
}

bool FormatAllowed(std::uint8_t format) {
    return format == kFormatEndPastArea || format == kFormatEndInArea;
}

}  // namespace

bool CfwFile::PiaTypeAllowed(std::uint8_t type) const {
    if (type == kPiaType2) return true;
    return type == kPiaType3 && std::find(kPiaType3Platforms.begin(), kPiaType3Platforms.end(),
                                          mPlatform) != kPiaType3Platforms.end();
}

bool CfwFile::IsHscVitesse() const {
    static constexpr std::string_view kVitesse = "VSC";
    const auto* name = reinterpret_cast<const char*>(&mBootInfo[kBootInfoDeviceName]);
    const std::string_view device(name, strnlen(name, kBootInfoDeviceNameLength));
    return kVitesse.starts_with(device);
}

bool CfwFile::IsVitesseDevice() const {
    return (mDeviceAddress == DUVANE_DEVICE_HSC0 || mDeviceAddress == DUVANE_DEVICE_HSC1) &&
           IsHscVitesse();
}

void CfwFile::ClearBlocks() {
    mFound = {};
    mBootInfo = {};
    mOpCodeInfo = {};
    mEfs = {};
    mPiaType = 0;
    mPiaTypeFound = 0;
    mPiaVersion = {};
    mPiaProductId = 0;
    mPlatformId = {};
    mRanges = {};
    mRecordCounts = {};
    mDeviceAddress = 0;
}

int CfwFile::FillDeviceStructures() {
    CTrace trace(L"CfwFile", L"FillDeviceStructures");
    ClearBlocks();
    if (mFileType == FW_FILE_ME_BINARY) {
        // The whole image is the engine's boot range, both ends included; an
        // empty file has no last byte to end it at.
        if (mUpdateBuffer.empty()) {
            SetErrorMessage(kStringMeImageEmpty, mDisplayName.c_str());
            trace.Failure(L"Empty Image");
            return DUVANE_IMAGE_FORMAT;
        }
        const std::uint64_t last = mUpdateBuffer.size() - 1;
        mRanges[BMC_FW_AREA_BOOT] = {0, static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                            last, std::numeric_limits<std::uint32_t>::max()))};
        return DUVANE_SUCCESS;
    }
    FindInformationBlocks();
    const int status = CheckDevice();
    if (status != DUVANE_SUCCESS) trace.Failure(L"Image Not Usable");
    return status;
}

void CfwFile::FindInformationBlocks() {
    const std::span<const std::uint8_t> buffer(mUpdateBuffer);
    const auto allFound = [this] {
        return std::all_of(kBlockKinds.begin(), kBlockKinds.end(),
                           [this](const BlockKind& kind) { return mFound[kind.area]; });
    };
    for (std::size_t position = 0; position < buffer.size() && !allFound(); ++position) {
        const void* next =
            std::memchr(buffer.data() + position, kSignatureStart, buffer.size() - position);
        if (next == nullptr) break;
        position = static_cast<std::size_t>(static_cast<const std::uint8_t*>(next) - buffer.data());
        const std::span<const std::uint8_t> rest = buffer.subspan(position);
        for (const BlockKind& kind : kBlockKinds) {
            if (mFound[kind.area] || rest.size() < kind.signature.size() ||
                std::memcmp(rest.data(), kind.signature.data(), kind.signature.size()) != 0) {
                continue;
            }
            // A block that the end of the image cuts short is taken as far
            // as it goes; the bytes past the end read as 0, which leaves the
            // checksum to what was copied.
            alignas(unsigned short) std::array<std::uint8_t, kLargestBlock> copy{};
            std::copy_n(rest.begin(), std::min(kind.size, rest.size()), copy.begin());
            TakeBlock(kind.area, std::span<const std::uint8_t>(copy).first(kind.size));
        }
    }
}

// A copy is kept only once its checksum holds, so that a damaged copy
// earlier in the image leaves nothing behind for a later one to inherit.
void CfwFile::TakeBlock(BmcFwArea area, std::span<const std::uint8_t> block) {
    if (area == BMC_FW_AREA_PIA) {
        TakePia(block);
        return;
    }
    if (!ChecksumHolds(block)) return;
    mFound[area] = true;
    switch (area) {
        case BMC_FW_AREA_BOOT:
            std::copy(block.begin(), block.end(), mBootInfo.begin());
            mRanges[area] = InclusiveRange(block, kBootStart, kBootEnd);
            mDeviceAddress = block[kBootDeviceAddress];
            break;
        case BMC_FW_AREA_OPCODE:
            std::copy(block.begin(), block.end(), mOpCodeInfo.begin());
            mRanges[area] = InclusiveRange(block, kOpCodeStart, kOpCodeEnd);
            break;
        default:
            std::copy(block.begin(), block.end(), mEfs.begin());
            mRanges[area] = RangeAt(block, kEfsStart, kEfsEnd);
            break;
    }
}

void CfwFile::TakePia(std::span<const std::uint8_t> block) {
    const std::uint8_t type = block[kPiaType];
    mPiaTypeFound = type;
    if (!PiaTypeAllowed(type)) return;
    if (!ChecksumHolds(block.first(type == kPiaType3 ? kPiaType3CheckedSize : kPiaBlockSize))) {
        return;
    }
    mFound[BMC_FW_AREA_PIA] = true;
    mPiaType = type;
    mPiaVersion = {block[kPiaVersion], block[kPiaVersion + 1]};
    mPiaProductId = U16At(block, kPiaProductId);
    WidenField(block.subspan(kPiaPlatformId, kPiaPlatformIdLength), mPlatformId);
    mRanges[BMC_FW_AREA_PIA] = RangeAt(block, kPiaStart, kPiaEnd);
}

int CfwFile::CheckDevice() {
    // Without a BootInfo block, or for a Vitesse hot-swap controller, the
    // image carries no operational code of its own to check; an EFS block
    // makes it the BMC's.
    if (!mFound[BMC_FW_AREA_BOOT] || IsVitesseDevice()) {
        if (mFound[BMC_FW_AREA_EFS]) mDeviceAddress = DUVANE_DEVICE_BMC;
        return Accept();
    }
    if (!mFound[BMC_FW_AREA_OPCODE]) return DUVANE_IMAGE_FORMAT;
    if (mDeviceAddress == DUVANE_DEVICE_BMC) {
        // Discovery already refuses a PIA type the platform does not take;
        // the update relies on it, so the BMC's image is held to it here.
        const bool piaAllowed = !mFound[BMC_FW_AREA_PIA] || PiaTypeAllowed(mPiaType);
        if (!FormatAllowed(mBootInfo[kBlockFormat]) || !FormatAllowed(mOpCodeInfo[kBlockFormat]) ||
            !piaAllowed) {
            SetErrorMessage(kStringBlockFormatRefused);
            return DUVANE_BLOCK_FORMAT;
        }
    }
    if (mDeviceAddress == 0) {
        SetErrorMessage(kStringDeviceAddressUnknown, static_cast<unsigned>(mDeviceAddress));
        return DUVANE_IMAGE_FORMAT;
    }
    return Accept();
}

// The RMM area is written through the EFS range.
int CfwFile::Accept() {
    mFound[BMC_FW_AREA_RMM] = mFound[BMC_FW_AREA_EFS];
    mRanges[BMC_FW_AREA_RMM] = mRanges[BMC_FW_AREA_EFS];
    return DUVANE_SUCCESS;
}

}  // namespace DirectFwUpdate_Private
