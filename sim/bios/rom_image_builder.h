// Builds realistic BIOS ROM images for a flash layout, for tests, the demo
// and the simulated BIOS's own factory contents:
//
//   auto image = sim::RomImageBuilder(layout)
//                    .RomId("SRVBD011")
//                    .Seed(2)
//                    .NonCriticalBlock(0x20000, 0x10000)
//                    .SignatureRecord(0x30002, 0x00)
//                    .Build();
//
// Every block is filled with data of its own (derived from the seed, the
// block and the offset), so a block written to the wrong place shows. The
// filler never holds '$' or 'N', so the signatures below appear only where
// they were asked for. The ROM ID sits at ROM offset size - 32 and a reset
// vector with a BIOS date in the last 16 bytes. The boot block region (the
// last boot-block entries of the table) sums to 0 as 32-bit little-endian
// words, one adjusting word at region offset 8 making it so; that sum is
// fixed after everything else is placed.
//
// Placing a record outside the image, or over the boot block's adjusting
// word, throws std::invalid_argument. Records are placed where asked, even
// where a program would not look for them (a header off the 16-byte grid),
// so tests can check that it does not.
#ifndef SRVFW_SIM_BIOS_ROM_IMAGE_BUILDER_H
#define SRVFW_SIM_BIOS_ROM_IMAGE_BUILDER_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/bios/bios_flash_layout.h"

namespace sim {

class RomImageBuilder {
  public:
    static constexpr char kNonCriticalSignature[] = "NALNCBLK";
    static constexpr char kSignatureRecord[] = "NALBIOSC";
    static constexpr char kBootBlockMarker[] = "$BBM";
    static constexpr std::uint32_t kRomIdFromEnd = 32;
    static constexpr std::uint32_t kAdjustWordOffset = 8;  // in the boot block region
    static constexpr std::uint32_t kMarkerOffset = 0x20;   // default "$BBM" place in it
    static constexpr unsigned kSizeFieldOffset = 12;       // in a non-critical header
    static constexpr int kFlagFromSignature = -3;          // in a signature record
    static constexpr unsigned kCompensationFromSignature = 14;

    explicit RomImageBuilder(BiosFlashLayout layout);

    // At most 8 characters, padded with blanks (default kDefaultRomId).
    RomImageBuilder& RomId(std::string_view id);
    // Selects the filler data (default 1; the simulated BIOS's factory
    // contents use seed 0, so a default image differs from them).
    RomImageBuilder& Seed(std::uint32_t seed);
    // "$BBM" at this offset of the boot block region.
    RomImageBuilder& BootBlockMarker(std::uint32_t offsetInBootBlock = kMarkerOffset);
    // The word sum the boot block region ends with (0: a valid boot block).
    RomImageBuilder& BootBlockSum(std::uint32_t sum);
    // A "NALNCBLK" header at this image offset, with the block size at +12.
    RomImageBuilder& NonCriticalBlock(std::uint32_t offset, std::uint32_t size);
    // "NALBIOSC" at this image offset, its flag byte 3 bytes before it and a
    // compensation word 14 bytes after its start.
    RomImageBuilder& SignatureRecord(std::uint32_t signatureOffset, std::uint8_t flag,
                                     std::uint32_t compensation = 0);

    std::vector<std::uint8_t> Build() const;

  private:
    struct Placement {
        std::uint64_t offset;
        std::vector<std::uint8_t> bytes;
    };
    void Place(std::uint64_t offset, std::vector<std::uint8_t> bytes);
    void Fill(std::vector<std::uint8_t>& image) const;

    BiosFlashLayout mLayout;
    std::string mRomId = kDefaultRomId;
    std::uint32_t mSeed = 1;
    std::uint32_t mBootSum = 0;
    std::vector<Placement> mPlacements;
};

}  // namespace sim

#endif
