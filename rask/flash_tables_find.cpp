// Finding the BIOS's flash tables: the boot firmware volume in one of the
// ten 64 KB windows below 4 GB, the file that holds the tables in it, and
// the tables by their signatures. Everything here comes from the flash,
// which a failed update can leave in any state, so every walk is bounded by
// the bytes read and every length taken from the flash is checked first.
#include <array>
#include <new>

#include "bmc/debug_log.h"
#include "rask/flash_layer.h"
#include "rask/table_layouts.h"

namespace Rask_Private {

namespace {

constexpr const wchar_t* kFindName = L"FlashUDGetFlashTables";
constexpr const wchar_t* kValidateName = L"ValidateFirmwareBootVolume";

constexpr std::uint64_t kFourGigabytes = 0x100000000;
constexpr std::uint32_t kWindowStep = 0x10000;
constexpr std::uint32_t kWindowBytes = 0xFFFF;
constexpr int kWindowCount = 10;

// The volume header's fields.
constexpr unsigned kFileSystemGuidOffset = 16;
constexpr unsigned kVolumeLengthOffset = 32;
constexpr unsigned kVolumeSignatureOffset = 40;
constexpr unsigned kHeaderLengthOffset = 48;
constexpr unsigned kVolumeHeaderMinimum = 56;
constexpr char kVolumeSignature[] = "_FVH";
constexpr std::size_t kHeaderSearchBytes = 8;

// A file's header: its name GUID at 0, its 24-bit size (header included) at
// 20. The tables follow the header and one 4-byte section header.
constexpr unsigned kFileHeaderBytes = 24;
constexpr unsigned kFileSizeOffset = 20;
constexpr unsigned kTablesDataOffset = 28;
constexpr unsigned kFileAlignment = 8;

// 7A9354D9-0468-444A-81CE-0BF617D890DF, as stored.
constexpr std::array<std::uint8_t, 16> kFileSystemGuid = {
    0xD9, 0x54, 0x93, 0x7A, 0x68, 0x04, 0x4A, 0x44, 0x81, 0xCE, 0x0B, 0xF6, 0x17, 0xD8, 0x90, 0xDF};
// FFFDA063-F5B2-4EB5-A7B4-4863FC4919A2, as stored.
constexpr std::array<std::uint8_t, 16> kTablesFileGuid = {
    0x63, 0xA0, 0xFD, 0xFF, 0xB2, 0xF5, 0xB5, 0x4E, 0xA7, 0xB4, 0x48, 0x63, 0xFC, 0x49, 0x19, 0xA2};

std::uint64_t AlignUp(std::uint64_t value) {
    return (value + kFileAlignment - 1) / kFileAlignment * kFileAlignment;
}

// Maps [pa, pa + bytes) and copies it out through the flash's read path.
FUL_RETURN ReadPhysical(FlashDesc* h, std::uint32_t pa, std::uint32_t bytes,
                        std::vector<std::uint8_t>& out) {
    try {
        out.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        return FUL_OUT_OF_MEMORY;
    }
    MemRegion region;
    region.pa = pa;
    region.bytes = bytes;
    if (lib_mmap(h->Dev, &region) != FUL_SUCCESS) {
        Dbg(L"%ls : Call to libmmap failed at 0x%08x!", 3, kFindName, pa);
        return FUL_MAP_FAILED;
    }
    const FUL_RETURN read = FlashDevRead(out.data(), region.va, bytes);
    lib_munmap(&region);
    return read == FUL_SUCCESS ? FUL_SUCCESS : FUL_FAILURE;
}

// The offset from the table's start of the first table of this kind in the
// bytes, or the kind's failure.
FUL_RETURN FindTable(int kind, const TableBytes& bytes, std::uint64_t& offset) {
    std::size_t at = 0;
    const FUL_RETURN found = GetFlashTable(kind, bytes.Data(), bytes.Size(), &at);
    offset = at;
    return found;
}

// The tables in the tables file's data: their offsets within the data and
// the FST and FAT sizes.
struct TablesFound {
    std::uint64_t fnt = 0;
    std::uint64_t fst = 0;
    std::uint64_t fat = 0;
    std::uint32_t fstSize = 0;
    std::uint32_t fatSize = 0;
    bool hasFnt = false;
    bool hasFat = false;
};

FUL_RETURN ReadTablesFile(const TableBytes& data, TablesFound& found) {
    if (!IsSpiCapablePlatform(g_lbPlatform)) {
        if (const FUL_RETURN r = FindTable(kNotifyTable, data, found.fnt); r != FUL_SUCCESS) {
            Dbg(L"%ls : Flash Notification Table not found.", 3, kValidateName);
            return r;
        }
        const TableBytes fnt = data.Sub(found.fnt);
        if (const FUL_RETURN r = VerifyFlashNotifyTable(fnt.Data(), fnt.Size()); r != FUL_SUCCESS) {
            return r;
        }
        found.hasFnt = true;
    }

    if (const FUL_RETURN r = FindTable(kSegmentTable, data, found.fst); r != FUL_SUCCESS) {
        Dbg(L"%ls : Flash Segment Table not found.", 3, kValidateName);
        return r;
    }
    const TableBytes fst = data.Sub(found.fst);
    if (const FUL_RETURN r = VerifyFlashSegmentTableHeader(fst.Data(), fst.Size());
        r != FUL_SUCCESS) {
        return r;
    }
    found.fstSize = *fst.U32(kTableSizeOffset);

    if (FindTable(kAreaTable, data, found.fat) != FUL_SUCCESS) {
        Dbg(L"%ls : No Flash Area Table in the volume.", 3, kValidateName);
        return FUL_SUCCESS;
    }
    const TableBytes fat = data.Sub(found.fat);
    if (VerifyFlashAreaTable(fat.Data(), fat.Size()) != FUL_SUCCESS) return FUL_BAD_FAT;
    found.fatSize = *fat.U32(kTableSizeOffset);
    found.hasFat = true;
    return FUL_SUCCESS;
}

}  // namespace

FUL_RETURN GetFlashTable(int kind, const std::uint8_t* data, std::size_t length,
                         std::size_t* offset) {
    const char* search = nullptr;
    FUL_RETURN missing = FUL_FAILURE;
    switch (kind) {
        case kNotifyTable:
            search = kNotifyTableSearch;
            missing = FUL_BAD_FNT;
            break;
        case kSegmentTable:
            search = kSegmentTableSearch;
            missing = FUL_BAD_FST;
            break;
        case kAreaTable:
            search = kAreaTableSearch;
            missing = FUL_BAD_FAT;
            break;
        default:
            return FUL_FAILURE;
    }
    const TableBytes bytes(data, length);
    for (std::size_t at = 0; bytes.Contains(at, kHeaderSearchBytes); ++at) {
        if (bytes.HasText(at, search)) {
            if (offset != nullptr) *offset = at;
            return FUL_SUCCESS;
        }
    }
    return missing;
}

FUL_RETURN ValidateFirmwareBootVolume(FlashDesc* h, const std::uint8_t* volume,
                                      std::size_t volumeBytes, std::uint32_t* fnt,
                                      std::uint32_t* fst, std::uint32_t* fat) {
    if (fnt == nullptr || fst == nullptr || fat == nullptr) return FUL_INVALID_PARAMETER;
    *fnt = *fst = *fat = 0;
    const TableBytes bytes(volume, volumeBytes);
    const auto length = bytes.U64(kVolumeLengthOffset);
    // The volume must be all there, header included, and say it is one.
    if (!length || *length < kVolumeHeaderMinimum || *length > volumeBytes ||
        !bytes.HasText(kVolumeSignatureOffset, kVolumeSignature)) {
        Dbg(L"%ls : Firmware volume header invalid.", 3, kValidateName);
        return FUL_BAD_VOLUME;
    }
    const TableBytes inVolume = bytes.Sub(0, *length);

    // Each file is stepped over by its own size, which the loop checks
    // before it moves: a size of 0, or one running past the volume, ends
    // the walk instead of looping or leaving the bytes read.
    for (std::uint64_t file = AlignUp(*inVolume.U16(kHeaderLengthOffset)); file < *length;) {
        const auto size = inVolume.U24(file + kFileSizeOffset);
        if (!size || *size < kFileHeaderBytes || !inVolume.Contains(file, *size)) {
            Dbg(L"%ls : File at 0x%llx runs past the volume.", 3, kValidateName,
                static_cast<unsigned long long>(file));
            return FUL_FAILURE;
        }
        if (!inVolume.HasBytes(file, kTablesFileGuid)) {
            file = AlignUp(file + *size);
            continue;
        }

        const std::uint64_t dataStart = file + kTablesDataOffset;
        const TableBytes data = *size < kTablesDataOffset
                                    ? TableBytes()
                                    : inVolume.Sub(dataStart, *size - kTablesDataOffset);
        TablesFound found;
        if (const FUL_RETURN r = ReadTablesFile(data, found); r != FUL_SUCCESS) return r;
        if (found.hasFnt) *fnt = static_cast<std::uint32_t>(dataStart + found.fnt);
        *fst = static_cast<std::uint32_t>(dataStart + found.fst);
        if (found.hasFat) *fat = static_cast<std::uint32_t>(dataStart + found.fat);
        bFoundFAT = found.hasFat ? 1 : 0;
        if (h != nullptr) {
            h->FstRegion.bytes = found.fstSize;
            h->FatRegion.bytes = found.fatSize;
        }
        return FUL_SUCCESS;
    }
    Dbg(L"%ls : The tables file is not in the volume.", 3, kValidateName);
    return FUL_FAILURE;
}

FUL_RETURN FlashUDGetFlashTables(FlashDesc* h, std::uint32_t* fnt, std::uint32_t* fst,
                                 std::uint32_t* fat) {
    if (h == nullptr || fnt == nullptr || fst == nullptr || fat == nullptr) {
        return FUL_INVALID_PARAMETER;
    }
    *fnt = *fst = *fat = 0;
    std::vector<std::uint8_t> window;
    std::vector<std::uint8_t> volume;
    for (int i = 1; i <= kWindowCount; ++i) {
        const auto windowBase = static_cast<std::uint32_t>(kFourGigabytes - kWindowStep * i);
        if (const FUL_RETURN r = ReadPhysical(h, windowBase, kWindowBytes, window);
            r != FUL_SUCCESS) {
            return r;
        }
        std::size_t signature = 0;
        const TableBytes bytes(window.data(), window.size());
        while (bytes.Contains(signature, 4) && !bytes.HasText(signature, kVolumeSignature)) {
            ++signature;
        }
        // The volume is 64 KB aligned, so its header starts the window and
        // the first signature of the window must be the header's.
        if (signature != kVolumeSignatureOffset ||
            !bytes.HasBytes(kFileSystemGuidOffset, kFileSystemGuid)) {
            continue;
        }
        const std::uint64_t length = *bytes.U64(kVolumeLengthOffset);
        if (length == 0 || length > kFourGigabytes - windowBase) {
            Dbg(L"%ls : Volume at 0x%08x has a length of 0x%llx.", 3, kFindName, windowBase,
                static_cast<unsigned long long>(length));
            continue;
        }
        if (const FUL_RETURN r =
                ReadPhysical(h, windowBase, static_cast<std::uint32_t>(length), volume);
            r != FUL_SUCCESS) {
            return r;
        }
        if (ValidateFirmwareBootVolume(h, volume.data(), volume.size(), fnt, fst, fat) ==
            FUL_SUCCESS) {
            if (*fnt != 0) *fnt += windowBase;
            *fst += windowBase;
            if (*fat != 0) *fat += windowBase;
            Dbg(L"%ls : Volume at 0x%08x: FNT 0x%08x, FST 0x%08x, FAT 0x%08x", 3, kFindName,
                windowBase, *fnt, *fst, *fat);
            return FUL_SUCCESS;
        }
        *fnt = *fst = *fat = 0;
    }
    Dbg(L"%ls : No boot firmware volume with the flash tables found.", 3, kFindName);
    return FUL_NO_BIOS_TABLES;
}

}  // namespace Rask_Private
