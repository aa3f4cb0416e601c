// The ROM image file: its checks against the installed BIOS (size, ROM ID,
// boot block), reading it with the signature patch and the search for
// non-critical blocks, the comparison report of compare mode, and showing a
// file's ROM ID.
#ifndef SRVFW_TARVO_ROM_IMAGE_H
#define SRVFW_TARVO_ROM_IMAGE_H

#include <cstdint>
#include <span>
#include <vector>

#include "tarvo/bios_flash.h"
#include "tarvo/options.h"

namespace tarvo {

constexpr std::size_t kMaxNonCriticalBlocks = 8;
constexpr std::uint32_t kChunk = 4096;

enum ImageExitCode : int {
    kExitSizeMismatch = 3,
    kExitRomIdIncompatible = 4,
    kExitBootBlockChecksum = 5,
    kExitTooManyNonCritical = 6,
    kExitBootBlockNeedsNvram = 8,
    kExitNonCriticalSelection = 18,
    kExitInputFile = 48,
    kExitReadFile = 49,
    kExitCompareSize = 128,
    kExitCompareRomId = 129,
    kExitCompareBootBlock = 130,
};

struct NonCriticalBlock {
    std::uint32_t start;  // file offset of its header
    std::uint32_t size;
};

struct Verdicts {
    bool size = false;
    bool romId = false;
    bool romIdSkipped = false;  // "/n" in compare mode: nothing was compared
    bool bootBlock = false;
};

class RomImage {
  public:
    RomImage(const Options& options, const FlashLayout& layout, const char* biosRomId)
        : mOptions(options), mLayout(layout), mBiosRomId(biosRomId) {}

    // Each returns 0 or the exit code the program stops with.
    int Check();
    int Read();
    int CompareReport() const;

    const std::vector<std::uint8_t>& Image() const { return mImage; }
    std::span<std::uint8_t> BlockBuffer() { return mBlockBuffer; }
    const std::vector<NonCriticalBlock>& NonCriticalBlocks() const { return mNonCritical; }
    const Verdicts& Verdict() const { return mVerdicts; }

  private:
    int CheckRomId(std::FILE* file);
    int CheckBootBlock(std::FILE* file);
    int FindNonCriticalBlock(std::span<const std::uint8_t> chunk, std::uint32_t offset);

    const Options& mOptions;
    const FlashLayout& mLayout;
    const char* mBiosRomId;
    Verdicts mVerdicts;
    std::vector<std::uint8_t> mImage;
    std::vector<std::uint8_t> mBlockBuffer;
    std::vector<NonCriticalBlock> mNonCritical;
};

// Puts the signature value into the chunk's first "NALBIOSC" record and
// adjusts its compensation word, so the image's 32-bit word sum stays.
void PatchSignature(std::span<std::uint8_t> chunk, std::uint8_t value);

// "/u": 0, 3 or 49 (the caller goes on whatever it is).
int ShowFileRomId(const Options& options);

}  // namespace tarvo

#endif
