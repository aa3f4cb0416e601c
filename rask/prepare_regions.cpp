// Finding and mapping, once per handle, what every operation needs: the
// BIOS's tables in the boot firmware volume, the Flash Flags Block with the
// notify field, and the primary and secondary flash the Flash Segment Table
// describes. The flash stays unlocked while the handle is prepared.
#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "bmc/debug_log.h"
#include "rask/flash_layer.h"
#include "rask/memory_region_release.h"
#include "rask/table_bytes.h"

namespace Rask_Private {

namespace {

constexpr std::uint32_t kFlagsBlockBytes = 0x10000;
constexpr std::uint64_t kFourGigabytes = 0x100000000;
constexpr std::uint32_t kEmptyRegionStart = 0xFFFFFFFF;

// The FNT's fields the library uses.
constexpr std::size_t kNotifyLengthOffset = 44;
constexpr std::size_t kDataAddrOffset = 56;

// FST entries.
constexpr std::size_t kPartitionOffset = 4;
constexpr std::size_t kStartOffset = 8;
constexpr std::size_t kLimitOffset = 16;

constexpr unsigned kDumpBytesPerBlock = 8192;
constexpr unsigned kDumpValuesPerLine = 8;

// Maps the region and copies it whole into bytes.
FUL_RETURN MapAndCopy(int fd, MemRegion& region, std::vector<std::uint8_t>& bytes,
                      FUL_RETURN readFailure) {
    const FUL_RETURN mapped = lib_mmap(fd, &region);
    if (mapped != FUL_SUCCESS) {
        Dbg(L"PrepareMemoryRegions : Call to libmmap failed!", 3);
        return mapped;
    }
    try {
        bytes.assign(region.bytes, 0);
    } catch (const std::bad_alloc&) {
        return FUL_OUT_OF_MEMORY;
    }
    if (FlashDevRead(bytes.data(), region.va, region.bytes) != FUL_SUCCESS) {
        Dbg(L"PrepareMemoryRegions : Reading 0x%x bytes at 0x%08x failed.", 3,
            unsigned{region.bytes}, unsigned{region.pa});
        return readFailure;
    }
    return FUL_SUCCESS;
}

// The lowest start and the highest limit over the FST entries of one
// partition; none when the partition has no entry.
struct PartitionSpan {
    std::uint32_t lowest = kEmptyRegionStart;
    std::uint32_t highest = 0;
    bool any = false;

    void Take(std::uint32_t start, std::uint32_t limit) {
        lowest = std::min(lowest, start);
        highest = std::max(highest, limit);
        any = true;
    }
};

// Over the FST copy, which VerifyFlashSegmentTable has passed. The flash
// lies below 4 GB; a segment past it cannot be mapped and would be
// truncated to a wrong address.
FUL_RETURN SpanPartitions(const std::vector<std::uint8_t>& fst, PartitionSpan& primary,
                          PartitionSpan& secondary) {
    const TableBytes table(fst.data(), fst.size());
    for (std::size_t entry = FlshSegmentTblHdrSize; table.Contains(entry, FlshSegmentEntrySize);
         entry += FlshSegmentEntrySize) {
        const auto partition = table.U16(entry + kPartitionOffset);
        const auto start = table.U64(entry + kStartOffset);
        const auto limit = table.U64(entry + kLimitOffset);
        if (*limit >= kFourGigabytes || *start > *limit) {
            Dbg(L"PrepareMemoryRegions : FST segment at 0x%llx lies outside the 4 GB space.", 3,
                static_cast<unsigned long long>(*start));
            return FUL_BAD_FST;
        }
        if (*partition != 1 && *partition != 2) continue;  // the table's check refuses these
        PartitionSpan& span = *partition == 1 ? primary : secondary;
        span.Take(static_cast<std::uint32_t>(*start), static_cast<std::uint32_t>(*limit));
    }
    return FUL_SUCCESS;
}

void SetRegion(MemRegion& region, const PartitionSpan& span) {
    region = MemRegion{};
    region.pa = span.lowest;
    region.bytes = span.any ? span.highest - span.lowest + 1 : 0;
}

// The primary and secondary flash. Platform 1's two partitions are one
// part that the library maps once, from the lowest start of either to the
// highest limit of either, and both regions show that mapping.
FUL_RETURN MapFlashRegions(FlashDesc* h) {
    PartitionSpan primary, secondary;
    const FUL_RETURN spanned = SpanPartitions(h->FstCopy, primary, secondary);
    if (spanned != FUL_SUCCESS) return spanned;
    if (g_lbPlatform == 1) {
        PartitionSpan whole = primary;
        if (secondary.any) whole.Take(secondary.lowest, secondary.highest);
        SetRegion(h->PrimaryFlash, whole);
        const FUL_RETURN mapped = lib_mmap(h->Dev, &h->PrimaryFlash);
        if (mapped != FUL_SUCCESS) return mapped;
        h->SecondaryFlash = h->PrimaryFlash;
        return FUL_SUCCESS;
    }
    SetRegion(h->PrimaryFlash, primary);
    SetRegion(h->SecondaryFlash, secondary);
    for (MemRegion* region : {&h->PrimaryFlash, &h->SecondaryFlash}) {
        if (region->bytes == 0) continue;  // a partition without segments stays empty
        const FUL_RETURN mapped = lib_mmap(h->Dev, region);
        if (mapped != FUL_SUCCESS) return mapped;
    }
    return FUL_SUCCESS;
}

// The FNT (kept in the handle), the Flash Flags Block that holds its
// notify field, and the field itself.
FUL_RETURN MapNotifyField(FlashDesc* h, std::uint32_t fntAddress) {
    MemRegion fnt;
    fnt.pa = fntAddress;
    fnt.bytes = FlshNotifyTblSize;
    FUL_RETURN result = MapAndCopy(h->Dev, fnt, h->FntCopy, FUL_FNT_READ_FAILED);
    if (result == FUL_SUCCESS)
        result = VerifyFlashNotifyTable(h->FntCopy.data(), h->FntCopy.size());
    lib_munmap(&fnt);
    if (result != FUL_SUCCESS) return result;

    const TableBytes table(h->FntCopy.data(), h->FntCopy.size());
    const std::uint64_t dataAddr = table.U64(kDataAddrOffset).value_or(0);
    const std::uint16_t notifyLength = table.U16(kNotifyLengthOffset).value_or(0);
    // VerifyFlashNotifyTable has made sure that the field lies inside the
    // 64 KB block below 4 GB that holds DataAddr.
    const std::uint64_t block = dataAddr & ~std::uint64_t{kFlagsBlockBytes - 1};
    h->FfbRegion.pa = static_cast<std::uint32_t>(block);
    h->FfbRegion.bytes = kFlagsBlockBytes;
    result = lib_mmap(h->Dev, &h->FfbRegion);
    if (result != FUL_SUCCESS) return result;
    h->NotifyLength = notifyLength;
    h->NotifyField = pa2va(&h->FfbRegion, static_cast<std::uint32_t>(dataAddr));
    return FUL_SUCCESS;
}

FUL_RETURN PrepareSteps(FlashDesc* h) {
    std::uint32_t fnt = 0, fst = 0, fat = 0;
    FUL_RETURN result = FlashUDGetFlashTables(h, &fnt, &fst, &fat);
    if (result != FUL_SUCCESS) return result;

    h->FstRegion.pa = fst;
    result = MapAndCopy(h->Dev, h->FstRegion, h->FstCopy, FUL_FST_READ_FAILED);
    if (result != FUL_SUCCESS) return result;
    result = VerifyFlashSegmentTable(h->FstCopy.data(), h->FstCopy.size());
    if (result != FUL_SUCCESS) return result;

    if (bFoundFAT == 1) {
        h->FatRegion.pa = fat;
        std::vector<std::uint8_t> fatBytes;
        result = MapAndCopy(h->Dev, h->FatRegion, fatBytes, FUL_FAT_READ_FAILED);
        if (result != FUL_SUCCESS) return result;
        result = VerifyFlashAreaTable(fatBytes.data(), fatBytes.size());
        if (result != FUL_SUCCESS) return result;
    }

    // The SPI-capable platforms keep no FNT, so they have no notify field
    // and no flags block to map.
    if (!IsSpiCapablePlatform(g_lbPlatform)) {
        result = MapNotifyField(h, fnt);
        if (result != FUL_SUCCESS) return result;
    }
    return MapFlashRegions(h);
}

}  // namespace

void ReleaseMemoryRegions(FlashDesc* h) {
    const bool shared = h->SecondaryFlash.page_va == h->PrimaryFlash.page_va;
    lib_munmap(&h->FatRegion);
    lib_munmap(&h->FstRegion);
    lib_munmap(&h->FfbRegion);
    lib_munmap(&h->PrimaryFlash);
    if (!shared) lib_munmap(&h->SecondaryFlash);
    const int dev = h->Dev;
    *h = FlashDesc{};
    h->Dev = dev;
}

FUL_RETURN PrepareMemoryRegions(FlashDesc* h) {
    if (h == nullptr) return FUL_INVALID_PARAMETER;
    if (h->Prepared != 0) return FUL_SUCCESS;
    const FUL_RETURN unlocked = FlashUDLockFlash(h, 0);
    if (unlocked != FUL_SUCCESS) {
        Dbg(L"PrepareMemoryRegions : Unlocking the flash failed.", 3);
        return unlocked;
    }
    const FUL_RETURN result = PrepareSteps(h);
    if (result != FUL_SUCCESS) {
        // Whatever was mapped before the failure goes back even when the
        // flash will not lock again: the handle is not prepared, and the
        // next prepare maps everything anew.
        if (FlashUDLockFlash(h, 1) != FUL_SUCCESS) {
            Dbg(L"PrepareMemoryRegions : Locking the flash again failed.", 3);
        }
        ReleaseMemoryRegions(h);
        return result;
    }
    h->Prepared = 1;
    return FUL_SUCCESS;
}

FUL_RETURN CleanupMemoryRegions(FlashDesc* h) {
    if (h == nullptr) return FUL_INVALID_PARAMETER;
    const FUL_RETURN locked = FlashUDLockFlash(h, 1);
    if (locked != FUL_SUCCESS) {
        Dbg(L"CleanupMemoryRegions : Locking the flash failed.", 3);
        return locked;
    }
    ReleaseMemoryRegions(h);
    return FUL_SUCCESS;
}

FUL_RETURN FlashUDPrintFlash2(FlashDesc* h) {
    const FUL_RETURN prepared = PrepareMemoryRegions(h);
    if (prepared != FUL_SUCCESS) return prepared;
    const MemRegion& secondary = h->SecondaryFlash;
    std::vector<std::uint8_t> contents;
    try {
        contents.assign(secondary.bytes, 0);
    } catch (const std::bad_alloc&) {
        return FUL_OUT_OF_MEMORY;
    }
    if (FlashDevRead(contents.data(), secondary.va, secondary.bytes) != FUL_SUCCESS) {
        return FUL_FAILURE;
    }
    Dbg(L"FlashUDPrintFlash2 :  Actual Contents of Secondary Flash Memory (first %d bytes of each "
        L"block): \n",
        3, static_cast<int>(kDumpBytesPerBlock));
    constexpr std::size_t kLineBytes = kDumpValuesPerLine * 4;
    const TableBytes bytes(contents.data(), contents.size());
    for (std::size_t block = 0; block < contents.size(); block += kFlagsBlockBytes) {
        const std::size_t end = std::min(contents.size(), block + kDumpBytesPerBlock);
        for (std::size_t line = block; line + kLineBytes <= end; line += kLineBytes) {
            unsigned values[kDumpValuesPerLine];
            for (unsigned i = 0; i < kDumpValuesPerLine; ++i) {
                values[i] = bytes.U32(line + 4 * i).value_or(0);
            }
            Dbg(L"0x%8x: %8x - %8x - %8x - %8x - %8x - %8x - %8x - %8x\n", 3,
                static_cast<unsigned>(secondary.pa + line), values[0], values[1], values[2],
                values[3], values[4], values[5], values[6], values[7]);
        }
    }
    return FUL_SUCCESS;
}

}  // namespace Rask_Private
