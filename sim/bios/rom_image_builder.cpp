#include "sim/bios/rom_image_builder.h"

#include <cstring>
#include <stdexcept>

namespace sim {

namespace {

// The processor starts at 16 bytes below the top of the ROM: a far jump to
// F000:E05B, then the BIOS date and the model byte, as on every PC BIOS.
constexpr std::uint8_t kResetVector[16] = {0xEA, 0x5B, 0xE0, 0x00, 0xF0, '0',  '1',  '/',
                                           '1',  '5',  '/',  '2',  '6',  0x00, 0xFC, 0x00};

std::vector<std::uint8_t> Text(const char* text) {
    return std::vector<std::uint8_t>(text, text + std::strlen(text));
}

std::vector<std::uint8_t> LittleEndian(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

void Store(std::vector<std::uint8_t>& image, std::uint64_t offset,
           const std::vector<std::uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
}

// SplitMix64: well mixed, and cheap enough for a few megabytes.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Filler for one block: '$' and 'N' start every signature a program looks
// for, so they never appear in it.
void FillBlock(std::vector<std::uint8_t>& image, std::uint64_t offset, std::uint64_t length,
               std::uint32_t seed, std::uint64_t block) {
    const std::uint64_t stream = Mix(std::uint64_t{seed} << 32 ^ block);
    for (std::uint64_t i = 0; i < length; i += 8) {
        std::uint64_t bits = Mix(stream ^ i);
        for (std::uint64_t j = i; j < i + 8 && j < length; ++j, bits >>= 8) {
            auto byte = static_cast<std::uint8_t>(bits);
            if (byte == '$' || byte == 'N') byte ^= 0x80;
            image[offset + j] = byte;
        }
    }
}

}  // namespace

RomImageBuilder::RomImageBuilder(BiosFlashLayout layout) : mLayout(std::move(layout)) {}

RomImageBuilder& RomImageBuilder::RomId(std::string_view id) {
    if (id.size() > 8) throw std::invalid_argument("a ROM ID has at most 8 characters");
    mRomId = std::string(id);
    mRomId.resize(8, ' ');
    return *this;
}

RomImageBuilder& RomImageBuilder::Seed(std::uint32_t seed) {
    mSeed = seed;
    return *this;
}

RomImageBuilder& RomImageBuilder::BootBlockMarker(std::uint32_t offsetInBootBlock) {
    const auto region = mLayout.BootRegion();
    if (!region || std::uint64_t{offsetInBootBlock} + 4 > region->length) {
        throw std::invalid_argument("\"$BBM\" does not fit in the boot block");
    }
    Place(region->offset + offsetInBootBlock, Text(kBootBlockMarker));
    return *this;
}

RomImageBuilder& RomImageBuilder::BootBlockSum(std::uint32_t sum) {
    mBootSum = sum;
    return *this;
}

RomImageBuilder& RomImageBuilder::NonCriticalBlock(std::uint32_t offset, std::uint32_t size) {
    std::vector<std::uint8_t> header = Text(kNonCriticalSignature);
    header.resize(kSizeFieldOffset, 0);
    const std::vector<std::uint8_t> sizeField = LittleEndian(size);
    header.insert(header.end(), sizeField.begin(), sizeField.end());
    Place(offset, std::move(header));
    return *this;
}

RomImageBuilder& RomImageBuilder::SignatureRecord(std::uint32_t signatureOffset, std::uint8_t flag,
                                                  std::uint32_t compensation) {
    if (signatureOffset < -kFlagFromSignature) {
        throw std::invalid_argument("the signature record's flag byte lies before the image");
    }
    Place(signatureOffset + kFlagFromSignature, {flag});
    Place(signatureOffset, Text(kSignatureRecord));
    Place(std::uint64_t{signatureOffset} + kCompensationFromSignature, LittleEndian(compensation));
    return *this;
}

void RomImageBuilder::Place(std::uint64_t offset, std::vector<std::uint8_t> bytes) {
    if (offset + bytes.size() > mLayout.romBytes) {
        throw std::invalid_argument("a record at image offset " + std::to_string(offset) +
                                    " lies outside the image");
    }
    if (const auto region = mLayout.BootRegion()) {
        const std::uint64_t adjust = region->offset + kAdjustWordOffset;
        if (offset < adjust + 4 && adjust < offset + bytes.size()) {
            throw std::invalid_argument("a record covers the boot block's adjusting word");
        }
    }
    mPlacements.push_back({offset, std::move(bytes)});
}

void RomImageBuilder::Fill(std::vector<std::uint8_t>& image) const {
    // Bytes no block covers get filler of their own too.
    FillBlock(image, 0, image.size(), mSeed, mLayout.blocks.size());
    for (std::size_t i = 0; i < mLayout.blocks.size(); ++i) {
        const FlashBlock& block = mLayout.blocks[i];
        if (const auto range = mLayout.ImageRangeOf(block.address, block.size)) {
            FillBlock(image, range->offset, range->length, mSeed, i);
        }
    }
}

std::vector<std::uint8_t> RomImageBuilder::Build() const {
    std::vector<std::uint8_t> image(mLayout.romBytes);
    Fill(image);
    if (image.size() >= kRomIdFromEnd) {
        Store(image, image.size() - sizeof kResetVector,
              std::vector<std::uint8_t>(std::begin(kResetVector), std::end(kResetVector)));
        Store(image, image.size() - kRomIdFromEnd,
              std::vector<std::uint8_t>(mRomId.begin(), mRomId.end()));
    }
    for (const Placement& placement : mPlacements) Store(image, placement.offset, placement.bytes);

    const auto region = mLayout.BootRegion();
    if (region && region->length >= kAdjustWordOffset + 4) {
        const std::uint64_t adjust = region->offset + kAdjustWordOffset;
        Store(image, adjust, LittleEndian(0));
        const std::uint32_t sum =
            WordSum(std::span<const std::uint8_t>(image).subspan(region->offset, region->length));
        Store(image, adjust, LittleEndian(mBootSum - sum));
    }
    return image;
}

}  // namespace sim
