// The LPC bridge at 0:31.0 as the BIOS left it: RCBA at F0h, BIOS control
// at DCh (and, on the older bridge, at 4Eh) driving the machine's BiosRange,
// FWH decode enable at E3h on the older bridge; every other register from
// 40h on is plain read/write. Bits and settings: sim/chipset/chipset.h.
#ifndef SRVFW_SIM_CHIPSET_LPC_BRIDGE_H
#define SRVFW_SIM_CHIPSET_LPC_BRIDGE_H

#include <array>
#include <cstdint>

#include "sim/chipset/bios_range.h"
#include "sim/chipset/board.h"
#include "sim/chipset/root_complex_registers.h"
#include "sim/core/pci.h"
#include "sim/core/request_log.h"

namespace sim {

class LpcBridge {
  public:
    static constexpr int kRcba = 0xF0;
    static constexpr int kBiosControl = 0xDC;
    static constexpr int kOlderBiosControl = 0x4E;
    static constexpr int kFwhDecode = 0xE3;
    static constexpr int kFirstChipsetRegister = 0x40;
    static constexpr int kConfigBytes = 0x100;

    LpcBridge(PciBus& pci, BiosRange& biosRange, RootComplexRegisters& registers, RequestLog& log,
              const Board& board);

    // The chipset's registers from 40h on, kept in the state directory.
    std::array<std::uint8_t, kConfigBytes - kFirstChipsetRegister> Registers() const;
    void Restore(const std::array<std::uint8_t, kConfigBytes - kFirstChipsetRegister>& bytes);

  private:
    void OnWrite(int reg, unsigned width, std::uint32_t value);
    void WriteBiosControl(std::uint8_t value);
    void SetBiosControl(std::uint8_t value);
    void DecodeRcba();

    PciFunction& mFunction;
    BiosRange& mBiosRange;
    RootComplexRegisters& mRegisters;
    RequestLog& mLog;
    bool mOlderBridge;
};

}  // namespace sim

#endif
