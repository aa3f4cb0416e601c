#include "tarvo/flash_passes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "tarvo/console.h"
#include "tarvo/pending_file.h"

namespace tarvo {

namespace {

bool Inside(std::uint32_t offset, const NonCriticalBlock& block) {
    return offset >= block.start && offset < std::uint64_t{block.start} + block.size;
}

std::uint32_t FirstBlockAddress(const FlashLayout& layout) {
    return layout.blocks.empty() ? 0 : layout.blocks.front().address;
}

}  // namespace

bool IsBlockSelected(Pass pass, std::uint32_t address, const Options& options,
                     const FlashLayout& layout, const std::vector<NonCriticalBlock>& nonCritical) {
    const bool bootBlock = layout.IsBootBlock(address);
    if (pass == Pass::kBootBlock) return bootBlock && options.programBootBlock;

    const std::uint32_t offset = address - layout.baseOffset;
    bool selectedNonCritical = false;
    if (!options.blockNumbers.empty()) {
        for (const std::uint8_t number : options.blockNumbers) {
            selectedNonCritical |=
                number < nonCritical.size() && Inside(offset, nonCritical[number]);
        }
    } else if (options.nonCriticalSelected) {
        for (const NonCriticalBlock& block : nonCritical)
            selectedNonCritical |= Inside(offset, block);
    }
    if (selectedNonCritical) return true;
    if (layout.IsNvram(address)) return options.programNvram;
    const bool anyNonCritical =
        std::any_of(nonCritical.begin(), nonCritical.end(),
                    [&](const auto& block) { return Inside(offset, block); });
    return options.programMainBios && !bootBlock && !anyNonCritical;
}

// ------------------------------------------------------------------ "/o"

namespace {

bool WriteUnits(std::FILE* file, const std::uint8_t* data, std::size_t length) {
    return std::fwrite(data, 4, length / 4, file) == length / 4;
}

}  // namespace

int SaveFlash(const Options& options, BiosFlash& bios) {
    const FlashLayout& layout = bios.Layout();
    PendingFile output(options.outputFile);
    if (output.Stream() == nullptr) {
        ReportError("Unable to create output file\n");
        return kExitCreateOutput;
    }
    Progress progress(" Reading flash ......... ", options.quiet);
    progress.Start(FirstBlockAddress(layout));
    for (const FlashBlock& block : layout.blocks) {
        std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[block.size]());
        if (!data) {
            ReportError("Out of memory\n");
            return kExitOutOfMemory;
        }
        if (!bios.ReadBlock(block.address, block.size, data.get(), &progress)) {
            ReportError("Unable to read block: 0x%08lX\n",
                        static_cast<unsigned long>(block.address));
            return kExitFlashRead;
        }
        bool written =
            std::fseek(output.Stream(), static_cast<long>(block.address - layout.baseOffset),
                       SEEK_SET) == 0;
        for (std::uint32_t p = 0; written && p < block.size; p += kChunk) {
            written = WriteUnits(output.Stream(), data.get() + p, std::min(kChunk, block.size - p));
        }
        if (!written) {
            ReportError("Unable to write to disk\n");
            return kExitWriteOutput;
        }
    }
    if (!output.Commit()) {
        ReportError("Unable to write to disk\n");
        return kExitWriteOutput;
    }
    progress.Done();
    return kExitOk;
}

// ------------------------------------------------------ programming

namespace {

enum class Sweep { kErase, kWrite, kVerify };

struct SweepKind {
    Sweep sweep;
    const char* mainLabel;
    const char* bootBlockLabel;
    const char* failure;
    int exitCode;
};

constexpr SweepKind kSweeps[] = {
    {Sweep::kErase, " Erasing flash ......... ", " Erasing BootBlock ..... ",
     "Unable to erase block: 0x%08lX\n", kExitFlashErase},
    {Sweep::kWrite, " Writing flash ......... ", " Writing BootBlock ..... ",
     "Unable to write block: 0x%08lX\n", kExitFlashWrite},
    {Sweep::kVerify, " Verifying flash ....... ", " Verifying BootBlock ... ",
     "Block data does not match file: 0x%08lX\n", kExitFlashVerify},
};

int RunSweep(const SweepKind& kind, Pass pass, const Options& options, BiosFlash& bios,
             RomImage& image, std::vector<std::uint32_t>& touched) {
    const FlashLayout& layout = bios.Layout();
    Progress progress(pass == Pass::kMain ? kind.mainLabel : kind.bootBlockLabel, options.quiet);
    progress.Start(FirstBlockAddress(layout));
    const std::span<std::uint8_t> buffer = image.BlockBuffer();
    for (const FlashBlock& block : layout.blocks) {
        if (!IsBlockSelected(pass, block.address, options, layout, image.NonCriticalBlocks())) {
            continue;
        }
        if (kind.sweep != Sweep::kErase) {
            std::memcpy(buffer.data(), image.Image().data() + (block.address - layout.baseOffset),
                        block.size);
        }
        // A block counts as changed from the moment its erase is asked for:
        // a failed erase may have cleared part of it.
        if (kind.sweep == Sweep::kErase &&
            std::find(touched.begin(), touched.end(), block.address) == touched.end()) {
            touched.push_back(block.address);
        }
        bool done = false;
        switch (kind.sweep) {
            case Sweep::kErase:
                done = bios.EraseBlock(block.address, block.size, &progress);
                break;
            case Sweep::kWrite:
                done = bios.WriteBlock(block.address, block.size, buffer.data(), &progress);
                break;
            case Sweep::kVerify:
                done = bios.VerifyBlock(block.address, block.size, buffer.data(), &progress);
                break;
        }
        if (!done) {
            ReportError(kind.failure, static_cast<unsigned long>(block.address));
            return kind.exitCode;
        }
    }
    progress.Done();
    return kExitOk;
}

int RunPass(Pass pass, const Options& options, BiosFlash& bios, RomImage& image,
            std::vector<std::uint32_t>& touched) {
    for (const SweepKind& kind : kSweeps) {
        if (const int result = RunSweep(kind, pass, options, bios, image, touched);
            result != kExitOk) {
            return result;
        }
    }
    return kExitOk;
}

}  // namespace

int ProgramFlash(const Options& options, BiosFlash& bios, RomImage& image,
                 std::vector<std::uint32_t>* touched) {
    std::vector<std::uint32_t> changed;
    int result = RunPass(Pass::kMain, options, bios, image, changed);
    if (result == kExitOk && options.programBootBlock) {
        result = RunPass(Pass::kBootBlock, options, bios, image, changed);
    }
    if (touched != nullptr) *touched = std::move(changed);
    return result;
}

void DestroyCmosChecksum() {
    // Register 2Eh holds the high byte of the CMOS checksum: inverting it
    // makes the BIOS take its defaults at the next start.
    constexpr std::uint16_t kCmosIndex = 0x70;
    constexpr std::uint16_t kCmosData = 0x71;
    constexpr std::uint8_t kChecksumHigh = 0x2E;
    BiosFlash::PortOut(kCmosIndex, kChecksumHigh);
    const std::uint8_t value = BiosFlash::PortIn(kCmosData);
    BiosFlash::PortOut(kCmosIndex, kChecksumHigh);
    BiosFlash::PortOut(kCmosData, static_cast<std::uint8_t>(~value));
}

}  // namespace tarvo
