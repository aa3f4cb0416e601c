// The physical address space of the simulated server: RAM and ROM regions
// backed by bytes, and MMIO regions whose reads and writes go to a handler
// (chipset registers, memory-mapped flash). Nothing answers in the holes:
// reads there float high (FFh), writes vanish, as on a real bus.
#ifndef SRVFW_SIM_CORE_MEMORY_MAP_H
#define SRVFW_SIM_CORE_MEMORY_MAP_H

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace sim {

class MmioHandler {
  public:
    virtual ~MmioHandler() = default;
    // offset is from the region's base; width is 1, 2 or 4 bytes.
    virtual std::uint32_t MmioRead(std::uint64_t offset, unsigned width) = 0;
    virtual void MmioWrite(std::uint64_t offset, unsigned width, std::uint32_t value) = 0;
};

struct MemoryRegion {
    enum class Kind { kRam, kRom, kMmio };
    std::string name;
    std::uint64_t base = 0;
    std::uint64_t size = 0;
    Kind kind = Kind::kRam;
    bool persistent = false;          // saved to and loaded from the state directory
    std::vector<std::uint8_t> bytes;  // RAM and ROM
    MmioHandler* handler = nullptr;   // MMIO

    bool Contains(std::uint64_t address) const { return address >= base && address - base < size; }
};

class MemoryMap {
  public:
    // Regions may not overlap; adding one that does throws std::logic_error,
    // since that is a fault in the machine's construction.
    MemoryRegion& AddRam(const std::string& name, std::uint64_t base, std::uint64_t size,
                         bool persistent = false);
    MemoryRegion& AddRom(const std::string& name, std::uint64_t base, std::uint64_t size,
                         bool persistent = false);
    MemoryRegion& AddMmio(const std::string& name, std::uint64_t base, std::uint64_t size,
                          MmioHandler& handler);
    void Remove(const std::string& name);

    MemoryRegion* Find(const std::string& name);
    MemoryRegion* RegionAt(std::uint64_t address);
    const std::map<std::uint64_t, MemoryRegion>& Regions() const { return mRegions; }

    // One access as the processor makes it. A multi-byte access that is not
    // wholly inside one region is carried out byte by byte.
    std::uint32_t Read(std::uint64_t address, unsigned width);
    void Write(std::uint64_t address, unsigned width, std::uint32_t value);

    // The bytes of a RAM or ROM range, for the simulated firmware's own use
    // (the BIOS reading its request block). Empty when the range is not
    // wholly inside one RAM or ROM region.
    std::span<std::uint8_t> Bytes(std::uint64_t address, std::uint64_t length);

  private:
    MemoryRegion& Insert(MemoryRegion region);
    std::uint8_t ReadByte(std::uint64_t address);
    void WriteByte(std::uint64_t address, std::uint8_t value);

    std::map<std::uint64_t, MemoryRegion> mRegions;  // by base address
};

}  // namespace sim

#endif
