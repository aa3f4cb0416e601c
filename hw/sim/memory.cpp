// Accesses to mapped physical memory reach the simulated machine: the view's
// host address is translated back to the physical address it shows. An
// address outside every view is ordinary memory of the process.
#include <cstring>

#include "hw/hw.h"
#include "sim/core/machine.h"

namespace hw {

namespace {

template <class T>
T Read(const volatile void* address) {
    sim::Machine& machine = sim::TheMachine();
    if (const auto physical = machine.Views().Translate(address)) {
        return static_cast<T>(machine.MemoryRead(*physical, sizeof(T)));
    }
    return *static_cast<const volatile T*>(address);
}

template <class T>
void Write(volatile void* address, T value) {
    sim::Machine& machine = sim::TheMachine();
    if (const auto physical = machine.Views().Translate(address)) {
        machine.MemoryWrite(*physical, sizeof(T), value);
        return;
    }
    *static_cast<volatile T*>(address) = value;
}

}  // namespace

std::uint8_t Read8(const volatile void* address) {
    return Read<std::uint8_t>(address);
}
std::uint16_t Read16(const volatile void* address) {
    return Read<std::uint16_t>(address);
}
std::uint32_t Read32(const volatile void* address) {
    return Read<std::uint32_t>(address);
}
void Write8(volatile void* address, std::uint8_t value) {
    Write(address, value);
}
void Write16(volatile void* address, std::uint16_t value) {
    Write(address, value);
}
void Write32(volatile void* address, std::uint32_t value) {
    Write(address, value);
}

// A copy within one RAM region is one memcpy (with the time its byte
// accesses would take); anything else, device registers included, is
// carried out byte by byte, as the processor would.
void CopyFromMapped(void* destination, const volatile void* source, std::size_t length) {
    sim::Machine& machine = sim::TheMachine();
    auto* to = static_cast<std::uint8_t*>(destination);
    const auto physical = machine.Views().Translate(source);
    if (!physical) {
        std::memcpy(to, const_cast<const void*>(source), length);
        return;
    }
    if (const auto ram = machine.Memory().Bytes(*physical, length); ram.size() == length) {
        machine.Clock().Advance(length * sim::VirtualClock::kMemoryAccessNs);
        std::memcpy(to, ram.data(), length);
        return;
    }
    for (std::size_t i = 0; i < length; ++i) {
        to[i] = static_cast<std::uint8_t>(machine.MemoryRead(*physical + i, 1));
    }
}

void CopyToMapped(volatile void* destination, const void* source, std::size_t length) {
    sim::Machine& machine = sim::TheMachine();
    const auto* from = static_cast<const std::uint8_t*>(source);
    const auto physical = machine.Views().Translate(destination);
    if (!physical) {
        std::memcpy(const_cast<void*>(destination), from, length);
        return;
    }
    const sim::MemoryRegion* region = machine.Memory().RegionAt(*physical);
    const bool ram = region != nullptr && region->kind == sim::MemoryRegion::Kind::kRam;
    if (const auto bytes = machine.Memory().Bytes(*physical, length);
        ram && bytes.size() == length) {
        machine.Clock().Advance(length * sim::VirtualClock::kMemoryAccessNs);
        std::memcpy(bytes.data(), from, length);
        return;
    }
    for (std::size_t i = 0; i < length; ++i) machine.MemoryWrite(*physical + i, 1, from[i]);
}

}  // namespace hw
