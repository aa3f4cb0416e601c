#include "hw/hw.h"
#include "sim/core/machine.h"

namespace hw {

int Iopl(int level) {
    return sim::TheMachine().Host().Iopl(level);
}

std::uint8_t InByte(std::uint16_t port) {
    return sim::TheMachine().PortIn(port);
}

void OutByte(std::uint16_t port, std::uint8_t value) {
    sim::TheMachine().PortOut(port, value);
}

}  // namespace hw
