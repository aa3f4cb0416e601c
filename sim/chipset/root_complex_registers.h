// The chipset's root complex register block, 16 KB of MMIO at RCBA: the
// general control and status register (GCS, 3410h) with the boot BIOS
// straps, the backed-up control register (BUC, 3414h) with top swap, and
// the SPI controller's block. Registers this model has no use for read 0
// and ignore writes. Bits and settings: sim/chipset/chipset.h.
#ifndef SRVFW_SIM_CHIPSET_ROOT_COMPLEX_REGISTERS_H
#define SRVFW_SIM_CHIPSET_ROOT_COMPLEX_REGISTERS_H

#include <cstdint>

#include "sim/chipset/bios_range.h"
#include "sim/chipset/board.h"
#include "sim/chipset/spi_controller.h"
#include "sim/core/memory_map.h"

namespace sim {

class RootComplexRegisters : public MmioHandler {
  public:
    static constexpr std::uint64_t kBytes = 0x4000;
    static constexpr std::uint32_t kGcs = 0x3410;
    static constexpr std::uint32_t kBuc = 0x3414;

    RootComplexRegisters(MemoryMap& memory, BiosRange& biosRange, SpiController& spi,
                         BootStraps straps);
    ~RootComplexRegisters() override;
    RootComplexRegisters(const RootComplexRegisters&) = delete;
    RootComplexRegisters& operator=(const RootComplexRegisters&) = delete;

    // Decodes the block at this base, or (enable clear) nowhere. A base
    // whose block would overlap other memory is not decoded either.
    void Map(std::uint32_t base, bool enabled);

    std::uint32_t MmioRead(std::uint64_t offset, unsigned width) override;
    void MmioWrite(std::uint64_t offset, unsigned width, std::uint32_t value) override;

    std::uint32_t Gcs() const { return mGcs; }
    std::uint8_t Buc() const { return mBuc; }
    void Restore(std::uint32_t gcs, std::uint8_t buc);

  private:
    bool InSpiBlock(std::uint64_t offset) const;
    std::uint8_t ReadByte(std::uint64_t offset);
    void WriteByte(std::uint64_t offset, std::uint8_t value);
    bool LockedDown() const;

    MemoryMap& mMemory;
    BiosRange& mBiosRange;
    SpiController& mSpi;
    std::uint32_t mGcs = 0;
    std::uint8_t mBuc = 0;
    bool mMapped = false;
};

}  // namespace sim

#endif
