#include "sim/chipset/chipset.h"

namespace sim {

void AddChipset(Machine& machine, FlashPart& /*biosFlash*/) {
    PciBus& pci = machine.Pci();
    pci.Add({0, 0, 0}, 0x8086, 0x29C0);                      // host bridge
    PciFunction& lpc = pci.Add({0, 31, 0}, 0x8086, 0x3A18);  // LPC bridge
    lpc.Preset(0x08, 4, 0x06010000);                         // class: ISA bridge
    // The chipset's own registers (base addresses, decode ranges, BIOS
    // control) lie from 40h on and are writable.
    for (int reg = 0x40; reg < 0x100; reg += 4) lpc.MakeWritable(reg, 4);
}

}  // namespace sim
