#include "sim/core/pci.h"

namespace sim {

namespace {

// Configuration accesses outside the 256-byte header space, or running off
// its end, are not made by the deliverables; they read as absent.
bool InSpace(int reg, unsigned width) {
    return reg >= 0 && static_cast<unsigned>(reg) + width <= 256;
}

std::uint32_t AllOnes(unsigned width) {
    return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}

}  // namespace

PciFunction::PciFunction(std::uint16_t vendor, std::uint16_t device) {
    Preset(0x00, 2, vendor);
    Preset(0x02, 2, device);
}

std::uint32_t PciFunction::Read(int reg, unsigned width) const {
    if (!InSpace(reg, width)) return AllOnes(width);
    std::uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= std::uint32_t{mConfig[reg + i]} << (8 * i);
    return value;
}

void PciFunction::Write(int reg, unsigned width, std::uint32_t value) {
    if (!InSpace(reg, width)) return;
    for (unsigned i = 0; i < width; ++i) {
        const auto byte = static_cast<std::uint8_t>(value >> (8 * i));
        const std::uint8_t mask = mWritable[reg + i];
        mConfig[reg + i] = static_cast<std::uint8_t>((mConfig[reg + i] & ~mask) | (byte & mask));
    }
    if (mHook) mHook(reg, width, value);
}

void PciFunction::Preset(int reg, unsigned width, std::uint32_t value) {
    if (!InSpace(reg, width)) return;
    for (unsigned i = 0; i < width; ++i)
        mConfig[reg + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PciFunction::MakeWritable(int reg, unsigned width, std::uint32_t mask) {
    if (!InSpace(reg, width)) return;
    for (unsigned i = 0; i < width; ++i)
        mWritable[reg + i] = static_cast<std::uint8_t>(mask >> (8 * i));
}

PciFunction& PciBus::Add(PciAddress address, std::uint16_t vendor, std::uint16_t device) {
    return mFunctions.insert_or_assign(address, PciFunction(vendor, device)).first->second;
}

PciFunction* PciBus::Find(PciAddress address) {
    const auto found = mFunctions.find(address);
    return found == mFunctions.end() ? nullptr : &found->second;
}

std::uint32_t PciBus::Read(PciAddress address, int reg, unsigned width) {
    const PciFunction* function = Find(address);
    return function == nullptr ? AllOnes(width) : function->Read(reg, width);
}

void PciBus::Write(PciAddress address, int reg, unsigned width, std::uint32_t value) {
    if (PciFunction* function = Find(address)) function->Write(reg, width, value);
}

}  // namespace sim
