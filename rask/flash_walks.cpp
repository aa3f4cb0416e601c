// Reading, programming and erasing the ranges a host's area table names.
// The three operations share one walk over the table and one way to find
// where a range lies; they differ only in what they do with each range.
//
// Programming and erasing change the flash, so the public operations first
// run the whole walk with every check and nothing done: a table whose third
// range is wrong then leaves the first two untouched, instead of half an
// area rewritten.
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "bmc/debug_log.h"
#include "rask/flash_layer.h"
#include "rask/table_layouts.h"

namespace Rask_Private {

namespace {

enum class Operation { kRead, kProgram, kErase };

struct WalkRequest {
    Operation operation;
    unsigned char* data = nullptr;  // read: where to; program: from where
    unsigned length = 0;            // bytes at data
    bool checkOnly = false;
};

const wchar_t* OperationName(Operation operation) {
    switch (operation) {
        case Operation::kRead:
            return L"FLASHRead";
        case Operation::kProgram:
            return L"FLASHProgram";
        case Operation::kErase:
            return L"FLASHErase";
    }
    return L"";
}

// What a table the walk cannot follow gives: reading answers as the check
// of a host's table does; programming and erasing fail as any write does.
FUL_RETURN MalformedTable(Operation operation) {
    switch (operation) {
        case Operation::kRead:
            Dbg(L"FLASHRead : Invalid area table", 3);
            return FUL_BAD_AREA_TABLE;
        case Operation::kProgram:
            Dbg(L"FLASHProgram : Invalid area table", 3);
            return FUL_FAILURE;
        case Operation::kErase:
            Dbg(L"FLASHErase : Size of Size of FAT is less than sizeof(FLASH_AREA_RECORD_HEADER)",
                3);
            return FUL_FAILURE;
    }
    return FUL_FAILURE;
}

// The area table's ranges as the flash operations take them: in each area
// record the range records in order until one has Flags 0; the walk is
// complete when a record uses up exactly what is left. Every range record
// read lies inside the table's Size.
template <typename Step>
FUL_RETURN ForEachRange(const FLASH_AREA_TABLE* area, Operation operation, Step&& step) {
    const TableBytes table = HostAreaTableBytes(area);
    const auto signatureSize = table.U32(kDigitalSignatureSizeOffset);
    if (!signatureSize || std::uint64_t{FlshAreaTblHdrSize} + *signatureSize > table.Size()) {
        return MalformedTable(operation);
    }
    std::uint64_t at = std::uint64_t{FlshAreaTblHdrSize} + *signatureSize;
    std::uint64_t remain = table.Size() - at;
    for (;;) {
        if (remain < FlshAreaRecHdrSize) return MalformedTable(operation);
        std::uint64_t taken = 0;
        for (;;) {
            const std::uint64_t rangeAt = FlshAreaRecHdrSize + taken * FlshRangeRecSize;
            const auto range = ReadAreaRange(table, at + rangeAt);
            if (!range || rangeAt + FlshRangeRecSize > remain) return MalformedTable(operation);
            if (range->Flags == 0) break;
            if (const FUL_RETURN result = step(*range); result != FUL_SUCCESS) return result;
            ++taken;
        }
        const std::uint64_t recordSize = LastFlshAreaRecSize + taken * FlshRangeRecSize;
        if (recordSize == remain) return FUL_SUCCESS;
        at += recordSize;
        remain -= recordSize;
    }
}

// Whether [address, address + bytes) lies inside a mapped region.
bool RegionHolds(const MemRegion& region, std::uint32_t address, std::uint64_t bytes) {
    return region.va != nullptr && address >= region.pa && address - region.pa <= region.bytes &&
           bytes <= region.bytes - (address - region.pa);
}

// Where a range's bytes lie in the mapped flash: the first of the regions
// that holds all of them, or null.
volatile std::uint8_t* Locate(std::initializer_list<MemRegion*> regions, std::uint32_t address,
                              std::uint64_t bytes) {
    for (MemRegion* region : regions) {
        if (RegionHolds(*region, address, bytes)) return pa2va(region, address);
    }
    return nullptr;
}

// Reading, and reading back what was programmed, look in the secondary
// flash first and then in the primary.
volatile std::uint8_t* LocateForRead(FlashDesc* h, std::uint32_t address, std::uint64_t bytes) {
    return Locate({&h->SecondaryFlash, &h->PrimaryFlash}, address, bytes);
}

// Programming and erasing through memory: platform 9's chipset reaches the
// flash it may change through the primary region, the others through the
// secondary.
volatile std::uint8_t* LocateForChange(FlashDesc* h, std::uint32_t address, std::uint64_t bytes) {
    MemRegion* region = g_lbPlatform == 9 ? &h->PrimaryFlash : &h->SecondaryFlash;
    return Locate({region}, address, bytes);
}

bool ThroughSpiController() {
    return flInterface == 2;
}

// Where programming or erasing a range goes: through the SPI controller at
// its physical address (va stays null; SPI addresses count from the bottom
// of the flash, so a range below it has none), or through memory at va.
bool FindChangeTarget(FlashDesc* h, const wchar_t* name, std::uint32_t address, std::uint64_t bytes,
                      volatile std::uint8_t*& va) {
    const bool found = ThroughSpiController()
                           ? address >= BOTTOM_OF_FLASH
                           : (va = LocateForChange(h, ApplyTopSwap(address), bytes)) != nullptr;
    if (!found) Dbg(L"%ls : Address 0x%08x is not in the flash it may change.", 3, name, address);
    return found;
}

void ShowProgress(const wchar_t* what, std::uint32_t address, std::uint64_t bytes) {
    if (g_verbose) {
        std::printf("%ls 0x%x %ls 0x%x \n", what, address, L"of size",
                    static_cast<unsigned>(bytes));
    }
}

// Programmed bytes read back and compared. The SPI part of kind 2 is read
// back through SPI read cycles; every other part through memory, at the
// address memory reads use (top swap applied), so that the cells just
// written are the ones compared.
FUL_RETURN VerifyProgrammed(FlashDesc* h, const unsigned char* expected, std::uint32_t address,
                            std::uint64_t bytes) {
    const auto count = static_cast<unsigned>(bytes);
    if (ThroughSpiController() && spi_flashtype == 2) {
        std::vector<unsigned char> readBack;
        try {
            readBack.assign(count, 0);
        } catch (const std::bad_alloc&) {
            return FUL_OUT_OF_MEMORY;
        }
        if (spi_FlashDevRead(readBack.data(), address, count) != FUL_SUCCESS) return FUL_FAILURE;
        for (unsigned i = 0; i < count; ++i) {
            if (readBack[i] != expected[i]) {
                Dbg(L"FLASHVerify : Program verification fails at address 0x%08x", 3, address + i);
                return FUL_VERIFY_FAILED;
            }
        }
        return FUL_SUCCESS;
    }
    volatile std::uint8_t* va = LocateForRead(h, ApplyTopSwap(address), bytes);
    if (va == nullptr) return FUL_FAILURE;
    return FLASHVerify(expected, va, count);
}

FUL_RETURN ProgramRange(FlashDesc* h, const WalkRequest& request, const AreaRange& range,
                        std::uint64_t bytes) {
    const std::uint32_t address = range.BlockStartOffset;
    volatile std::uint8_t* va = nullptr;
    if (!FindChangeTarget(h, L"FLASHProgram", address, bytes, va)) return FUL_FAILURE;
    if (request.checkOnly) return FUL_SUCCESS;

    const unsigned char* source = request.data + range.AreaStartOffset;
    const auto count = static_cast<unsigned>(bytes);
    ShowProgress(L"WRITING BLOCK", address, bytes);
    const FUL_RETURN written =
        va == nullptr ? UP_FlashDevWrite(source, address, count) : FlashDevWrite(source, va, count);
    if (written != FUL_SUCCESS) {
        Dbg(L"FLASHProgram : Flash write failure.", 3);
        return FUL_FAILURE;
    }
    if (VerifyProgrammed(h, source, address, bytes) != FUL_SUCCESS) {
        Dbg(L"FLASHProgram : Flash write failure to pass verfication.", 3);
        return FUL_FAILURE;
    }
    return FUL_SUCCESS;
}

FUL_RETURN EraseRange(FlashDesc* h, const WalkRequest& request, const AreaRange& range,
                      std::uint64_t bytes) {
    const std::uint32_t address = range.BlockStartOffset;
    volatile std::uint8_t* va = nullptr;
    if (!FindChangeTarget(h, L"FLASHErase", address, bytes, va)) return FUL_FAILURE;
    if (request.checkOnly) return FUL_SUCCESS;

    ShowProgress(L"ERASING BLOCK", address, bytes);
    const FUL_RETURN erased = va == nullptr ? UP_EraseBlock(address) : EraseBlock(va);
    return erased == FUL_SUCCESS ? FUL_SUCCESS : FUL_FAILURE;
}

FUL_RETURN ReadRange(FlashDesc* h, const WalkRequest& request, const AreaRange& range,
                     std::uint64_t bytes) {
    volatile std::uint8_t* va = LocateForRead(h, ApplyTopSwap(range.BlockStartOffset), bytes);
    if (va == nullptr) {
        Dbg(L"FLASHRead : Address 0x%08x is not in the mapped flash.", 3, range.BlockStartOffset);
        return FUL_FAILURE;
    }
    if (request.checkOnly) return FUL_SUCCESS;
    if (FlashDevRead(request.data + range.AreaStartOffset, va, static_cast<unsigned>(bytes)) !=
        FUL_SUCCESS) {
        return FUL_READ_FAILED;
    }
    return FUL_SUCCESS;
}

FUL_RETURN DoRange(FlashDesc* h, const WalkRequest& request, const AreaRange& range) {
    const wchar_t* name = OperationName(request.operation);
    if (range.BlockStartLimitOffset < range.BlockStartOffset) {
        return MalformedTable(request.operation);
    }
    const std::uint64_t bytes =
        std::uint64_t{range.BlockStartLimitOffset} - range.BlockStartOffset + 1;
    if (request.operation != Operation::kErase &&
        range.AreaStartOffset + bytes > std::uint64_t{request.length}) {
        Dbg(L"%ls : Range at 0x%08x of 0x%llx bytes does not fit the buffer of 0x%x bytes.", 3,
            name, range.BlockStartOffset, static_cast<unsigned long long>(bytes), request.length);
        return request.operation == Operation::kRead ? FUL_BUFFER_TOO_SMALL : FUL_FAILURE;
    }
    switch (request.operation) {
        case Operation::kRead:
            return ReadRange(h, request, range, bytes);
        case Operation::kProgram:
            return ProgramRange(h, request, range, bytes);
        case Operation::kErase:
            return EraseRange(h, request, range, bytes);
    }
    return FUL_FAILURE;
}

FUL_RETURN Walk(FlashDesc* h, FLASH_AREA_TABLE* area, const WalkRequest& request) {
    if (h == nullptr || area == nullptr) return FUL_INVALID_PARAMETER;
    return ForEachRange(area, request.operation,
                        [&](const AreaRange& range) { return DoRange(h, request, range); });
}

// Prepares the handle and checks the host's table as the operation needs.
FUL_RETURN PrepareAndCheck(FlashDesc* h, FLASH_AREA_TABLE* area, Operation operation) {
    if (const FUL_RETURN prepared = PrepareMemoryRegions(h); prepared != FUL_SUCCESS) {
        return prepared;
    }
    return operation == Operation::kRead ? VerifyFATForRd(area, h->FstCopy)
                                         : VerifyFATForWr(area, h->FstCopy);
}

}  // namespace

FUL_RETURN FLASHRead(FlashDesc* h, FLASH_AREA_TABLE* area, unsigned char* buffer, unsigned length) {
    return Walk(h, area, {Operation::kRead, buffer, length, false});
}

FUL_RETURN FLASHProgram(FlashDesc* h, FLASH_AREA_TABLE* area, unsigned char* data,
                        unsigned length) {
    return Walk(h, area, {Operation::kProgram, data, length, false});
}

FUL_RETURN FLASHErase(FlashDesc* h, FLASH_AREA_TABLE* area) {
    return Walk(h, area, {Operation::kErase, nullptr, 0, false});
}

FUL_RETURN FlashUDReadBIOSMemory(FlashDesc* h, unsigned length, FLASH_AREA_TABLE* area,
                                 unsigned char* buffer) {
    if (h == nullptr || length == 0 || buffer == nullptr || area == nullptr) {
        return FUL_INVALID_PARAMETER;
    }
    if (const FUL_RETURN checked = PrepareAndCheck(h, area, Operation::kRead);
        checked != FUL_SUCCESS) {
        return checked;
    }
    return FLASHRead(h, area, buffer, length);
}

FUL_RETURN FlashUDCheckBIOSWrite(FlashDesc* h, unsigned length, FLASH_AREA_TABLE* area) {
    if (h == nullptr || length == 0 || area == nullptr) return FUL_INVALID_PARAMETER;
    if (const FUL_RETURN checked = PrepareAndCheck(h, area, Operation::kProgram);
        checked != FUL_SUCCESS) {
        return checked;
    }
    return Walk(h, area, {Operation::kProgram, nullptr, length, true});
}

FUL_RETURN FlashUDWriteBIOSMemory(FlashDesc* h, unsigned length, FLASH_AREA_TABLE* area,
                                  unsigned char* data) {
    if (data == nullptr) return FUL_INVALID_PARAMETER;
    if (const FUL_RETURN checked = FlashUDCheckBIOSWrite(h, length, area); checked != FUL_SUCCESS) {
        return checked;
    }
    return FLASHProgram(h, area, data, length);
}

FUL_RETURN FlashUDEraseBIOSBlocks(FlashDesc* h, FLASH_AREA_TABLE* area) {
    if (h == nullptr || area == nullptr) return FUL_INVALID_PARAMETER;
    if (const FUL_RETURN checked = PrepareAndCheck(h, area, Operation::kErase);
        checked != FUL_SUCCESS) {
        return checked;
    }
    if (const FUL_RETURN checked = Walk(h, area, {Operation::kErase, nullptr, 0, true});
        checked != FUL_SUCCESS) {
        return checked;
    }
    return FLASHErase(h, area);
}

}  // namespace Rask_Private
