// What the chipset decides about the BIOS range below 4 GB, which every
// access path to the BIOS flash part obeys: whether memory writes reach the
// flash (the LPC bridge's BIOS write enable) and whether top swap is on
// (the backed-up control register), which makes the chipset invert address
// bit 16 for the top two 64 KB blocks so that the processor starts from the
// block below the top.
//
// The LPC bridge sets it (sim/chipset/lpc_bridge.*); the memory-mapped
// window over the flash reads it (sim/chipset/memory_window.*). It is added
// to the machine before both, and its state lives with the LPC bridge's
// registers, which keep it across processes.
#ifndef SRVFW_SIM_CHIPSET_BIOS_RANGE_H
#define SRVFW_SIM_CHIPSET_BIOS_RANGE_H

#include <cstdint>

#include "sim/core/machine.h"

namespace sim {

class BiosRange : public Device {
  public:
    explicit BiosRange(Machine& /*machine*/) {}
    std::string Name() const override { return "bios-range"; }

    bool WritesEnabled() const { return mWritesEnabled; }
    bool TopSwap() const { return mTopSwap; }
    void SetWritesEnabled(bool on) { mWritesEnabled = on; }
    void SetTopSwap(bool on) { mTopSwap = on; }

    // The address the flash sees for a processor address in the top
    // 128 KB below 4 GB.
    std::uint64_t Decode(std::uint64_t address) const {
        constexpr std::uint64_t kTop = 0x100000000;
        constexpr std::uint64_t kSwapped = 0x20000;
        constexpr std::uint64_t kBit16 = 0x10000;
        if (mTopSwap && address < kTop && address >= kTop - kSwapped) return address ^ kBit16;
        return address;
    }

  private:
    bool mWritesEnabled = false;  // BIOS_CNTL's BIOSWE starts clear
    bool mTopSwap = false;
};

}  // namespace sim

#endif
