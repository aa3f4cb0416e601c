// Mapping physical ranges of the memory device into the process: the flash
// windows, the BIOS's tables and the chipset's register blocks. A region
// remembers both where its first byte landed and where the page-aligned
// mapping starts, since the device maps whole pages only.
#include <sys/mman.h>

#include <cstdint>

#include "bmc/debug_log.h"
#include "hw/hw.h"
#include "hw/physical_memory_view.h"
#include "rask/flash_layer.h"

namespace Rask_Private {

namespace {

constexpr std::uint64_t kFourGigabytes = 0x100000000;

void LogRegion(const wchar_t* function, const MemRegion& r) {
    Dbg(L"%ls : pa = 0x%08x, bytes = 0x%x, pages = %d, va = %p, page_va = %p", 3, function,
        unsigned{r.pa}, unsigned{r.bytes}, int{r.pages}, static_cast<const volatile void*>(r.va),
        r.page_va);
}

}  // namespace

FUL_RETURN lib_mmap(int fd, MemRegion* r) {
    if (fd < 0 || r == nullptr) return FUL_INVALID_PARAMETER;
    // Every range the library maps lies in the 32-bit physical space; one
    // that would run past 4 GB comes from a damaged table, and nothing of
    // zero length can be mapped.
    if (r->bytes == 0 || std::uint64_t{r->pa} + r->bytes > kFourGigabytes) {
        Dbg(L"lib_mmap : Invalid region, pa = 0x%08x, bytes = 0x%x", 3, unsigned{r->pa},
            unsigned{r->bytes});
        return FUL_INVALID_PARAMETER;
    }
    const std::uint64_t page = hw::PhysicalMemoryView::PageSize();
    const std::uint64_t lead = r->pa % page;
    const std::uint64_t pages = (lead + r->bytes + page - 1) / page;
    void* mapping =
        hw::MapDevice(fd, r->pa - lead, pages * page, PROT_READ | PROT_WRITE, MAP_SHARED);
    if (mapping == MAP_FAILED) {
        r->pages = 0;
        r->va = nullptr;
        r->page_va = nullptr;
        Dbg(L"lib_mmap : Mapping of 0x%x bytes at 0x%08x failed", 3, unsigned{r->bytes},
            unsigned{r->pa});
        return FUL_MAP_FAILED;
    }
    r->pages = static_cast<std::int32_t>(pages);
    r->page_va = mapping;
    r->va = static_cast<volatile std::uint8_t*>(mapping) + lead;
    LogRegion(L"lib_mmap", *r);
    return FUL_SUCCESS;
}

int lib_munmap(MemRegion* r) {
    if (r == nullptr) return FUL_INVALID_PARAMETER;
    if (r->pages == 0) return 0;  // never mapped, or given back already
    const std::size_t length =
        static_cast<std::size_t>(r->pages) * hw::PhysicalMemoryView::PageSize();
    const int result = hw::UnmapDevice(r->page_va, length);
    if (result != 0) LogRegion(L"lib_munmap : Unmap failed", *r);
    r->pages = 0;
    r->va = nullptr;
    r->page_va = nullptr;
    return result;
}

volatile std::uint8_t* pa2va(MemRegion* r, std::uint32_t address) {
    if (r == nullptr) return nullptr;
    // Counted from pa, so that a region ending at 4 GB or one of no bytes
    // needs no address past its end.
    if (r->va != nullptr && address >= r->pa && address - r->pa < r->bytes) {
        return r->va + (address - r->pa);
    }
    Dbg(L"pa2va : Address 0x%08x is outside the region", 3, unsigned{address});
    LogRegion(L"pa2va", *r);
    return nullptr;
}

}  // namespace Rask_Private
