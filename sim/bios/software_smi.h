// The software SMI command port (APM control, B2h on this chipset): a byte
// written to it raises a system management interrupt, and the BIOS's SMI
// handler acts on the byte as a function code before the write completes.
// Each BIOS service registers the codes it serves; codes no service owns are
// logged and otherwise ignored, as the BIOS's dispatcher would. Reading the
// port gives the last byte written, as the chipset's register does.
#ifndef SRVFW_SIM_BIOS_SOFTWARE_SMI_H
#define SRVFW_SIM_BIOS_SOFTWARE_SMI_H

#include <cstdint>
#include <functional>
#include <map>

#include "sim/core/machine.h"

namespace sim {

class SoftwareSmiPort : public Device, public PortHandler {
  public:
    using Handler = std::function<void(std::uint8_t code)>;

    SoftwareSmiPort(Machine& machine, std::uint16_t port);
    // The machine's SMI port at this address, added on first use, so that
    // several BIOS services share one.
    static SoftwareSmiPort& At(Machine& machine, std::uint16_t port);

    std::string Name() const override { return "smi"; }
    std::uint16_t Port() const { return mPort; }
    // A code served twice is a fault in the machine's construction
    // (std::logic_error).
    void Serve(std::uint8_t code, Handler handler);

    std::uint8_t PortIn(std::uint16_t port) override;
    void PortOut(std::uint16_t port, std::uint8_t value) override;

  private:
    Machine& mMachine;
    std::uint16_t mPort;
    std::uint8_t mLast = 0;
    std::map<std::uint8_t, Handler> mHandlers;
};

}  // namespace sim

#endif
