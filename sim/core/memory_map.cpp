#include "sim/core/memory_map.h"

#include <stdexcept>

namespace sim {

MemoryRegion& MemoryMap::Insert(MemoryRegion region) {
    if (region.size == 0) throw std::logic_error("empty memory region " + region.name);
    for (const auto& [base, other] : mRegions) {
        const bool apart =
            region.base + region.size <= other.base || other.base + other.size <= region.base;
        if (!apart) {
            throw std::logic_error("memory region " + region.name + " overlaps " + other.name);
        }
        if (other.name == region.name) {
            throw std::logic_error("memory region " + region.name + " added twice");
        }
    }
    const std::uint64_t base = region.base;
    return mRegions.emplace(base, std::move(region)).first->second;
}

MemoryRegion& MemoryMap::AddRam(const std::string& name, std::uint64_t base, std::uint64_t size,
                                bool persistent) {
    MemoryRegion region{name, base, size, MemoryRegion::Kind::kRam, persistent, {}, nullptr};
    region.bytes.assign(size, 0);
    return Insert(std::move(region));
}

MemoryRegion& MemoryMap::AddRom(const std::string& name, std::uint64_t base, std::uint64_t size,
                                bool persistent) {
    MemoryRegion region{name, base, size, MemoryRegion::Kind::kRom, persistent, {}, nullptr};
    region.bytes.assign(size, 0xFF);
    return Insert(std::move(region));
}

MemoryRegion& MemoryMap::AddMmio(const std::string& name, std::uint64_t base, std::uint64_t size,
                                 MmioHandler& handler) {
    return Insert({name, base, size, MemoryRegion::Kind::kMmio, false, {}, &handler});
}

void MemoryMap::Remove(const std::string& name) {
    for (auto it = mRegions.begin(); it != mRegions.end(); ++it) {
        if (it->second.name == name) {
            mRegions.erase(it);
            return;
        }
    }
}

MemoryRegion* MemoryMap::Find(const std::string& name) {
    for (auto& [base, region] : mRegions) {
        if (region.name == name) return &region;
    }
    return nullptr;
}

MemoryRegion* MemoryMap::RegionAt(std::uint64_t address) {
    auto it = mRegions.upper_bound(address);
    if (it == mRegions.begin()) return nullptr;
    --it;
    return it->second.Contains(address) ? &it->second : nullptr;
}

std::uint8_t MemoryMap::ReadByte(std::uint64_t address) {
    MemoryRegion* region = RegionAt(address);
    if (region == nullptr) return 0xFF;
    if (region->kind == MemoryRegion::Kind::kMmio) {
        return static_cast<std::uint8_t>(region->handler->MmioRead(address - region->base, 1));
    }
    return region->bytes[address - region->base];
}

void MemoryMap::WriteByte(std::uint64_t address, std::uint8_t value) {
    MemoryRegion* region = RegionAt(address);
    if (region == nullptr || region->kind == MemoryRegion::Kind::kRom) return;
    if (region->kind == MemoryRegion::Kind::kMmio) {
        region->handler->MmioWrite(address - region->base, 1, value);
        return;
    }
    region->bytes[address - region->base] = value;
}

std::uint32_t MemoryMap::Read(std::uint64_t address, unsigned width) {
    MemoryRegion* region = RegionAt(address);
    if (region != nullptr && region->Contains(address + width - 1)) {
        const std::uint64_t offset = address - region->base;
        if (region->kind == MemoryRegion::Kind::kMmio) {
            return region->handler->MmioRead(offset, width);
        }
        std::uint32_t value = 0;
        for (unsigned i = 0; i < width; ++i)
            value |= std::uint32_t{region->bytes[offset + i]} << (8 * i);
        return value;
    }
    std::uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= std::uint32_t{ReadByte(address + i)} << (8 * i);
    return value;
}

void MemoryMap::Write(std::uint64_t address, unsigned width, std::uint32_t value) {
    MemoryRegion* region = RegionAt(address);
    if (region != nullptr && region->Contains(address + width - 1)) {
        const std::uint64_t offset = address - region->base;
        switch (region->kind) {
            case MemoryRegion::Kind::kMmio:
                region->handler->MmioWrite(offset, width, value);
                return;
            case MemoryRegion::Kind::kRom:
                return;
            case MemoryRegion::Kind::kRam:
                for (unsigned i = 0; i < width; ++i) {
                    region->bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
                }
                return;
        }
    }
    for (unsigned i = 0; i < width; ++i) {
        WriteByte(address + i, static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::span<std::uint8_t> MemoryMap::Bytes(std::uint64_t address, std::uint64_t length) {
    MemoryRegion* region = RegionAt(address);
    if (region == nullptr || region->kind == MemoryRegion::Kind::kMmio || length == 0 ||
        !region->Contains(address + length - 1)) {
        return {};
    }
    return std::span<std::uint8_t>(region->bytes).subspan(address - region->base, length);
}

}  // namespace sim
