// A mapped range of physical memory (or of a driver's buffer mapped through
// its device node) as one object: mapped when made, unmapped when it goes,
// and every access checked against what was mapped. Tables the firmware
// left in memory say where the next table lies, and a damaged one would
// otherwise send a read past the end of the mapping.
//
// Built on MapDevice, UnmapDevice and the bus-cycle accessors of hw.h, so it
// behaves the same over both backends.
#ifndef SRVFW_HW_PHYSICAL_MEMORY_VIEW_H
#define SRVFW_HW_PHYSICAL_MEMORY_VIEW_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "hw/hw.h"

namespace hw {

class PhysicalMemoryView {
  public:
    enum class Access { kReadOnly, kReadWrite };

    // mmap takes page-aligned offsets only, and a table may begin inside a
    // page, so the mapping starts at the page that holds address; the view
    // shows the length bytes from address itself. Nothing, with errno set,
    // when the system refuses the mapping.
    static std::optional<PhysicalMemoryView> Map(int fd, std::uint64_t address, std::size_t length,
                                                 Access access) {
        const std::uint64_t start = address / PageSize() * PageSize();
        const std::size_t lead = static_cast<std::size_t>(address - start);
        const int protection = access == Access::kReadOnly ? PROT_READ : PROT_READ | PROT_WRITE;
        void* mapping = MapDevice(fd, start, lead + length, protection, MAP_SHARED);
        if (mapping == MAP_FAILED) return std::nullopt;
        return PhysicalMemoryView(mapping, lead, length);
    }

    static std::size_t PageSize() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

    PhysicalMemoryView(PhysicalMemoryView&& other) noexcept
        : mMapping(std::exchange(other.mMapping, nullptr)),
          mLead(std::exchange(other.mLead, 0)),
          mLength(std::exchange(other.mLength, 0)) {}
    PhysicalMemoryView& operator=(PhysicalMemoryView&& other) noexcept {
        if (this != &other) {
            Unmap();
            mMapping = std::exchange(other.mMapping, nullptr);
            mLead = std::exchange(other.mLead, 0);
            mLength = std::exchange(other.mLength, 0);
        }
        return *this;
    }
    PhysicalMemoryView(const PhysicalMemoryView&) = delete;
    PhysicalMemoryView& operator=(const PhysicalMemoryView&) = delete;
    ~PhysicalMemoryView() { Unmap(); }

    // Unmaps now, for callers that report a refused unmap: 0, or -1 with
    // errno set. The view is empty afterwards either way, so the mapping is
    // never given back twice.
    int Unmap() {
        if (mMapping == nullptr) return 0;
        void* const mapping = std::exchange(mMapping, nullptr);
        const std::size_t mapped = mLead + mLength;
        mLead = 0;
        mLength = 0;
        return UnmapDevice(mapping, mapped);
    }

    // Bytes shown from the address asked for; 0 once unmapped.
    std::size_t Size() const { return mLength; }

    // Whether [offset, offset + length) lies inside the view.
    bool Contains(std::uint64_t offset, std::uint64_t length) const {
        return offset <= mLength && length <= mLength - offset;
    }

    [[nodiscard]] std::optional<std::uint8_t> Read8(std::uint64_t offset) const {
        if (!Contains(offset, 1)) return std::nullopt;
        return hw::Read8(At(offset));
    }
    [[nodiscard]] std::optional<std::uint16_t> Read16(std::uint64_t offset) const {
        if (!Contains(offset, 2)) return std::nullopt;
        return hw::Read16(At(offset));
    }
    [[nodiscard]] std::optional<std::uint32_t> Read32(std::uint64_t offset) const {
        if (!Contains(offset, 4)) return std::nullopt;
        return hw::Read32(At(offset));
    }

    // False, touching nothing, when the access would leave the view.
    [[nodiscard]] bool Write8(std::uint64_t offset, std::uint8_t value) {
        if (!Contains(offset, 1)) return false;
        hw::Write8(At(offset), value);
        return true;
    }
    [[nodiscard]] bool Write16(std::uint64_t offset, std::uint16_t value) {
        if (!Contains(offset, 2)) return false;
        hw::Write16(At(offset), value);
        return true;
    }
    [[nodiscard]] bool Write32(std::uint64_t offset, std::uint32_t value) {
        if (!Contains(offset, 4)) return false;
        hw::Write32(At(offset), value);
        return true;
    }

    // Bulk copies out of and into the view, carried out as CopyFromMapped
    // and CopyToMapped carry them out.
    [[nodiscard]] bool CopyOut(std::uint64_t offset, std::span<std::uint8_t> destination) const {
        if (!Contains(offset, destination.size())) return false;
        CopyFromMapped(destination.data(), At(offset), destination.size());
        return true;
    }
    [[nodiscard]] bool CopyIn(std::uint64_t offset, std::span<const std::uint8_t> source) {
        if (!Contains(offset, source.size())) return false;
        CopyToMapped(At(offset), source.data(), source.size());
        return true;
    }

  private:
    PhysicalMemoryView(void* mapping, std::size_t lead, std::size_t length)
        : mMapping(mapping), mLead(lead), mLength(length) {}

    volatile std::uint8_t* At(std::uint64_t offset) const {
        return static_cast<volatile std::uint8_t*>(mMapping) + mLead + offset;
    }

    void* mMapping = nullptr;  // as mapped, from the page start: what the unmap takes
    std::size_t mLead = 0;     // bytes of that page below the address asked for
    std::size_t mLength = 0;
};

}  // namespace hw

#endif  // SRVFW_HW_PHYSICAL_MEMORY_VIEW_H
