#include "sim/chipset/root_complex_registers.h"

#include <stdexcept>

namespace sim {

namespace {

constexpr const char* kRegionName = "rcba";
constexpr std::uint32_t kBild = 1u << 0;  // BIOS interface lock-down, write-once
constexpr unsigned kStrapsShift = 10;
constexpr std::uint32_t kStraps = 0x3u << kStrapsShift;
constexpr std::uint8_t kTopSwap = 1u << 0;

std::uint32_t StrapBits(BootStraps straps) {
    switch (straps) {
        case BootStraps::kSpi:
            return 0x1u << kStrapsShift;
        case BootStraps::kPci:
            return 0x2u << kStrapsShift;
        case BootStraps::kLpc:
            break;
    }
    return 0x3u << kStrapsShift;
}

}  // namespace

RootComplexRegisters::RootComplexRegisters(MemoryMap& memory, BiosRange& biosRange,
                                           SpiController& spi, BootStraps straps)
    : mMemory(memory), mBiosRange(biosRange), mSpi(spi), mGcs(StrapBits(straps)) {}

RootComplexRegisters::~RootComplexRegisters() {
    if (mMapped) mMemory.Remove(kRegionName);
}

void RootComplexRegisters::Map(std::uint32_t base, bool enabled) {
    if (mMapped) mMemory.Remove(kRegionName);
    mMapped = false;
    if (!enabled) return;
    try {
        mMemory.AddMmio(kRegionName, base, kBytes, *this);
        mMapped = true;
    } catch (const std::logic_error&) {
        // Over RAM or another device: this model decodes it nowhere rather
        // than guess which one wins.
    }
}

void RootComplexRegisters::Restore(std::uint32_t gcs, std::uint8_t buc) {
    mGcs = gcs;
    mBuc = buc;
    mBiosRange.SetTopSwap((mBuc & kTopSwap) != 0);
}

bool RootComplexRegisters::LockedDown() const {
    return (mGcs & kBild) != 0;
}

bool RootComplexRegisters::InSpiBlock(std::uint64_t offset) const {
    const SpiRegisterLayout& layout = mSpi.Layout();
    return offset >= layout.blockOffset && offset - layout.blockOffset < layout.blockBytes;
}

std::uint32_t RootComplexRegisters::MmioRead(std::uint64_t offset, unsigned width) {
    if (InSpiBlock(offset) && InSpiBlock(offset + width - 1)) {
        return mSpi.Read(static_cast<std::uint32_t>(offset - mSpi.Layout().blockOffset), width);
    }
    std::uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= std::uint32_t{ReadByte(offset + i)} << (8 * i);
    return value;
}

void RootComplexRegisters::MmioWrite(std::uint64_t offset, unsigned width, std::uint32_t value) {
    // A write inside the SPI block lands whole, so that its control word's
    // go bit sees the count written with it.
    if (InSpiBlock(offset) && InSpiBlock(offset + width - 1)) {
        mSpi.Write(static_cast<std::uint32_t>(offset - mSpi.Layout().blockOffset), width, value);
        return;
    }
    for (unsigned i = 0; i < width; ++i) {
        WriteByte(offset + i, static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::uint8_t RootComplexRegisters::ReadByte(std::uint64_t offset) {
    if (InSpiBlock(offset)) {
        return static_cast<std::uint8_t>(
            mSpi.Read(static_cast<std::uint32_t>(offset - mSpi.Layout().blockOffset), 1));
    }
    if (offset >= kGcs && offset < kGcs + 4) {
        return static_cast<std::uint8_t>(mGcs >> (8 * (offset - kGcs)));
    }
    return offset == kBuc ? mBuc : 0;
}

void RootComplexRegisters::WriteByte(std::uint64_t offset, std::uint8_t value) {
    if (InSpiBlock(offset)) {
        mSpi.Write(static_cast<std::uint32_t>(offset - mSpi.Layout().blockOffset), 1, value);
        return;
    }
    const bool locked = LockedDown();
    if (offset == kGcs) {
        mGcs |= value & kBild;
        return;
    }
    if (offset == kGcs + 1 && !locked) {
        const std::uint32_t straps = (std::uint32_t{value} << 8) & kStraps;
        mGcs = (mGcs & ~kStraps) | straps;
        return;
    }
    if (offset == kBuc && !locked) {
        mBuc = value & kTopSwap;
        mBiosRange.SetTopSwap((mBuc & kTopSwap) != 0);
    }
}

}  // namespace sim
