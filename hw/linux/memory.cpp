// Mapped physical memory is read and written through volatile accesses of
// the exact width, one bus cycle each: flash parts and chipset registers
// react to the access itself.
#include "hw/hw.h"

namespace hw {

std::uint8_t Read8(const volatile void* address) {
    return *static_cast<const volatile std::uint8_t*>(address);
}

std::uint16_t Read16(const volatile void* address) {
    return *static_cast<const volatile std::uint16_t*>(address);
}

std::uint32_t Read32(const volatile void* address) {
    return *static_cast<const volatile std::uint32_t*>(address);
}

void Write8(volatile void* address, std::uint8_t value) {
    *static_cast<volatile std::uint8_t*>(address) = value;
}

void Write16(volatile void* address, std::uint16_t value) {
    *static_cast<volatile std::uint16_t*>(address) = value;
}

void Write32(volatile void* address, std::uint32_t value) {
    *static_cast<volatile std::uint32_t*>(address) = value;
}

void CopyFromMapped(void* destination, const volatile void* source, std::size_t length) {
    auto* to = static_cast<std::uint8_t*>(destination);
    const auto* from = static_cast<const volatile std::uint8_t*>(source);
    for (std::size_t i = 0; i < length; ++i) to[i] = from[i];
}

void CopyToMapped(volatile void* destination, const void* source, std::size_t length) {
    auto* to = static_cast<volatile std::uint8_t*>(destination);
    const auto* from = static_cast<const std::uint8_t*>(source);
    for (std::size_t i = 0; i < length; ++i) to[i] = from[i];
}

}  // namespace hw
