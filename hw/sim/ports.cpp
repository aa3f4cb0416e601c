#include <cerrno>

#include "hw/hw.h"
#include "sim/core/machine.h"

namespace hw {

int Iopl(int level) {
    sim::Machine& machine = sim::TheMachine();
    machine.Log().Add({"host", "iopl", 0, static_cast<std::uint64_t>(level), 0, ""});
    if (const int error = machine.Host().Faults().ioplErrno; error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

std::uint8_t InByte(std::uint16_t port) {
    return sim::TheMachine().PortIn(port);
}

void OutByte(std::uint16_t port, std::uint8_t value) {
    sim::TheMachine().PortOut(port, value);
}

}  // namespace hw
