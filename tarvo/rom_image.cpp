#include "tarvo/rom_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "tarvo/console.h"

namespace tarvo {

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

enum class Opened { kFile, kFailed, kNotRegular };

// Only a regular file is read: a FIFO would wait for a writer forever (even
// its open does, so it is opened without waiting), /dev/zero never ends and
// a directory has no bytes.
File OpenForReading(const std::string& name, Opened* how) {
    File none(nullptr, std::fclose);
    *how = Opened::kFailed;
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return none;
    struct stat status {};
    const bool known = ::fstat(fd, &status) == 0;
    if (!known || !S_ISREG(status.st_mode)) {
        if (known) *how = Opened::kNotRegular;
        ::close(fd);
        return none;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return none;
    }
    File file(::fdopen(fd, "rb"), std::fclose);
    if (!file) {
        ::close(fd);
        return none;
    }
    *how = Opened::kFile;
    return file;
}

void ReportNotRegular(const std::string& name) {
    ReportError("%s is not a regular file: a FIFO, a device or a directory is never read",
                name.c_str());
}

long SizeOf(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    return std::ftell(file);
}

// The file is read in 32-bit units: a read counts only when every unit of
// it arrived.
bool ReadUnits(std::FILE* file, std::uint8_t* destination, std::size_t length) {
    return std::fread(destination, 4, length / 4, file) == length / 4;
}

bool ReadAt(std::FILE* file, long offset, std::uint8_t* destination, std::size_t length) {
    return offset >= 0 && std::fseek(file, offset, SEEK_SET) == 0 &&
           ReadUnits(file, destination, length);
}

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
    std::uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

constexpr char kSignatureRecord[] = "NALBIOSC";
constexpr char kNonCriticalHeader[] = "NALNCBLK";
constexpr char kBootBlockMarker[] = "$BBM";
constexpr std::size_t kSignatureLength = 8;
constexpr std::size_t kStreamBuffer = 1 << 20;

// Layout around "NALBIOSC", from a candidate offset o stepping by 8: the
// signature at o - 22, its flag byte at o - 25 (the top byte of an aligned
// 32-bit word), the compensation word at o - 8.
constexpr std::size_t kFirstCandidate = 32;
constexpr std::size_t kCandidateStep = 8;
constexpr std::size_t kSignatureBack = 22;
constexpr std::size_t kFlagBack = 25;
constexpr std::size_t kCompensationBack = 8;

// A non-critical block header: 16-byte aligned, its size at offset 12.
constexpr std::size_t kHeaderAlignment = 16;
constexpr std::size_t kHeaderSizeField = 12;
constexpr std::size_t kHeaderLength = 16;

}  // namespace

void PatchSignature(std::span<std::uint8_t> chunk, std::uint8_t value) {
    for (std::size_t o = kFirstCandidate; o <= chunk.size(); o += kCandidateStep) {
        if (std::memcmp(&chunk[o - kSignatureBack], kSignatureRecord, kSignatureLength) != 0) {
            continue;
        }
        const std::uint8_t old = chunk[o - kFlagBack];
        chunk[o - kFlagBack] = value;
        const std::uint32_t compensation =
            LittleEndian32(&chunk[o - kCompensationBack]) - ((std::uint32_t{value} - old) << 24);
        std::memcpy(&chunk[o - kCompensationBack], &compensation, 4);
        return;
    }
}

int RomImage::FindNonCriticalBlock(std::span<const std::uint8_t> chunk, std::uint32_t offset) {
    // A header must lie wholly inside the chunk: its size field is read too.
    for (std::size_t o = 0; o + kHeaderLength <= chunk.size(); o += kHeaderAlignment) {
        if (std::memcmp(&chunk[o], kNonCriticalHeader, kSignatureLength) != 0) continue;
        if (mNonCritical.size() == kMaxNonCriticalBlocks) {
            ReportError(
                "Error! This BIOS version has more Not-Critical blocks then normally supported");
            return kExitTooManyNonCritical;
        }
        mNonCritical.push_back(
            {static_cast<std::uint32_t>(offset + o), LittleEndian32(&chunk[o + kHeaderSizeField])});
        return kExitOk;
    }
    return kExitOk;
}

int RomImage::CheckRomId(std::FILE* file) {
    if (!mOptions.checkRomId) {
        mVerdicts.romIdSkipped = true;
        return kExitOk;
    }
    std::uint8_t fileRomId[kRomIdLength + 1] = {};
    int result = kExitOk;
    if (!ReadAt(file, static_cast<long>(mLayout.romSize) - kRomIdFromTop, fileRomId,
                kRomIdLength)) {
        if (!mOptions.compareOnly) ReportError("Error in reading ROM ID \n");
        result = kExitReadFile;
    } else if (std::strncmp(reinterpret_cast<const char*>(fileRomId), mBiosRomId, 5) != 0) {
        // Only the first five characters must agree: the last three are
        // the version.
        result = kExitRomIdIncompatible;
    }
    mVerdicts.romId = result == kExitOk;
    if (result != kExitOk && !mOptions.compareOnly) {
        ReportError("ROM file ROMID is not compatible with existing BIOS ROMID.");
    }
    return mOptions.compareOnly ? kExitOk : result;
}

int RomImage::CheckBootBlock(std::FILE* file) {
    const std::size_t count = mLayout.blocks.size();
    const std::size_t bootBlocks = mLayout.bootBlockCount;
    if (bootBlocks == 0) {
        mVerdicts.bootBlock = true;
        return kExitOk;
    }
    const std::uint32_t start = mLayout.blocks[count - bootBlocks].address;
    std::uint64_t length = 0;
    for (std::size_t i = count - bootBlocks; i < count; ++i) length += mLayout.blocks[i].size;

    int result = kExitOk;
    std::unique_ptr<std::uint8_t[]> region(new (std::nothrow) std::uint8_t[length]);
    if (!region) {
        ReportError("Out of memory\n");
        result = kExitOutOfMemory;
    } else {
        bool read = std::fseek(file, static_cast<long>(start - mLayout.baseOffset), SEEK_SET) == 0;
        for (std::uint64_t p = 0; read && p < length; p += kChunk) {
            read = ReadUnits(file, region.get() + p, std::min<std::uint64_t>(kChunk, length - p));
        }
        if (!read) {
            if (!mOptions.compareOnly) ReportError("Unable to read from disk\n");
            result = kExitReadFile;
        } else {
            std::uint32_t sum = 0;
            for (std::uint64_t p = 0; p + 4 <= length; p += 4) sum += LittleEndian32(&region[p]);
            bool marked = false;
            for (std::uint64_t i = 0; i + 4 < length && !marked; ++i) {
                marked = std::memcmp(&region[i], kBootBlockMarker, 4) == 0;
            }
            if (marked && !(mOptions.programBootBlock && mOptions.programNvram)) {
                ReportError("Cannot program this BIOS without Boot Block and NVRAM\n");
                result = kExitBootBlockNeedsNvram;
            } else if (sum != 0) {
                result = kExitBootBlockChecksum;
            }
        }
    }
    mVerdicts.bootBlock = result == kExitOk;
    if (result != kExitOk && !mOptions.compareOnly) {
        ReportError("Rom file boot block is not valid.");
        return result;
    }
    return result == kExitOutOfMemory ? result : kExitOk;
}

int RomImage::Check() {
    Opened how;
    File file = OpenForReading(mOptions.inputFile, &how);
    if (how == Opened::kNotRegular) {
        ReportNotRegular(mOptions.inputFile);
        return kExitInputFile;
    }
    if (!file) {
        ReportError("Unable to open ROM file.");
        return kExitInputFile;
    }
    mVerdicts.size = SizeOf(file.get()) == static_cast<long>(mLayout.romSize);
    if (!mVerdicts.size && !mOptions.compareOnly) {
        ReportError("ROM file size does not match existing BIOS size.");
        return kExitSizeMismatch;
    }
    if (const int result = CheckRomId(file.get()); result != kExitOk) return result;
    return CheckBootBlock(file.get());
}

int RomImage::Read() {
    Opened how;
    File file = OpenForReading(mOptions.inputFile, &how);
    if (how == Opened::kNotRegular) {
        ReportNotRegular(mOptions.inputFile);
        return kExitInputFile;
    }
    if (!file) {
        ReportError("Cannot open %s\n", mOptions.inputFile.c_str());
        return kExitInputFile;
    }
    // The image is read 4 KB at a time; a larger stream buffer turns that
    // into a few large reads of the file instead of one system call each.
    std::setvbuf(file.get(), nullptr, _IOFBF, kStreamBuffer);
    try {
        mImage.assign(mLayout.romSize, 0);
        mBlockBuffer.assign(std::max(kChunk, mLayout.LargestBlock()), 0);
    } catch (const std::bad_alloc&) {
        ReportError("Out of memory\n");
        return kExitOutOfMemory;
    }
    Progress progress(" Reading file .......... ", mOptions.quiet);
    progress.Start(0);
    for (std::uint32_t p = 0; p < mLayout.romSize; p += kChunk) {
        const std::span<std::uint8_t> chunk =
            std::span(mImage).subspan(p, std::min(kChunk, mLayout.romSize - p));
        progress.Show(p, mLayout.romSize);
        if (!ReadUnits(file.get(), chunk.data(), chunk.size())) {
            if (!mOptions.compareOnly) {
                ReportError("Unable to read from disk\n");
                return kExitReadFile;
            }
            mVerdicts.size = false;
        }
        if (mOptions.signatureValue != 0) PatchSignature(chunk, mOptions.signatureValue);
        if (const int result = FindNonCriticalBlock(chunk, p); result != kExitOk) return result;
    }
    progress.Done();
    file.reset();

    if (mOptions.nonCriticalSelected || !mOptions.blockNumbers.empty()) {
        if (mNonCritical.empty()) {
            ReportError("No non-critical blocks found in ROM file\n");
            return kExitNonCriticalSelection;
        }
        for (const std::uint8_t number : mOptions.blockNumbers) {
            if (number >= mNonCritical.size()) {
                ReportError("Invalid non-critical block number supplied\n");
                return kExitNonCriticalSelection;
            }
        }
    }
    return kExitOk;
}

int RomImage::CompareReport() const {
    const auto verdict = [](bool passed) { return passed ? "Ok" : "Failed"; };
    // With "/n" the ROM ID was not compared: it neither passes nor fails the
    // comparison.
    const bool romIdPassed = mVerdicts.romIdSkipped || mVerdicts.romId;
    if (!mOptions.quiet) {
        std::printf("\n Comparison of ROM size....%s", verdict(mVerdicts.size));
        std::printf("\n Comparison of ROM ID......%s",
                    mVerdicts.romIdSkipped ? "Skipped" : verdict(mVerdicts.romId));
        std::printf("\n Checksum of bootblock.....%s", verdict(mVerdicts.bootBlock));
    }
    const bool consistent = mVerdicts.size && romIdPassed && mVerdicts.bootBlock;
    std::printf("\n Status of comparison......%s", consistent ? "Consistent" : "Inconsistent");
    std::fflush(stdout);
    if (!mVerdicts.size) return kExitCompareSize;
    if (!romIdPassed) return kExitCompareRomId;
    if (!mVerdicts.bootBlock) return kExitCompareBootBlock;
    return kExitOk;
}

int ShowFileRomId(const Options& options) {
    Opened how;
    File file = OpenForReading(options.showFile, &how);
    if (how == Opened::kNotRegular) {
        ReportNotRegular(options.showFile);
        return kExitReadFile;
    }
    if (!file) {
        ReportError("File Open Error");
        return kExitReadFile;
    }
    const long size = SizeOf(file.get());
    std::uint8_t romId[kRomIdLength + 1] = {};
    if (size < 0 || !ReadAt(file.get(), size - kRomIdFromTop, romId, kRomIdLength)) {
        ReportError("Unable to read from disk\n");
        return kExitReadFile;
    }
    file.reset();
    // A ROM image is as large as a flash part: a power of two.
    if ((size & (size - 1)) != 0) {
        ReportError("Invalid ROM file [%s]", options.showFile.c_str());
        return kExitSizeMismatch;
    }
    if (!options.quiet) {
        std::printf(" ROMID[%s].......%s\n", options.showFile.c_str(),
                    reinterpret_cast<const char*>(romId));
    }
    return kExitOk;
}

}  // namespace tarvo
