#include "sim/core/ports.h"

#include <stdexcept>
#include <string>

namespace sim {

void PortMap::Claim(std::uint16_t first, unsigned count, PortHandler& handler) {
    for (unsigned i = 0; i < count; ++i) {
        if (first + i > 0xFFFF || mHandlers[first + i] != nullptr) {
            throw std::logic_error("port " + std::to_string(first + i) + " claimed twice");
        }
    }
    for (unsigned i = 0; i < count; ++i) mHandlers[first + i] = &handler;
}

void PortMap::Release(std::uint16_t first, unsigned count) {
    for (unsigned i = 0; i < count && first + i <= 0xFFFF; ++i) mHandlers[first + i] = nullptr;
}

std::uint8_t PortMap::In(std::uint16_t port) {
    PortHandler* handler = mHandlers[port];
    return handler == nullptr ? 0xFF : handler->PortIn(port);
}

void PortMap::Out(std::uint16_t port, std::uint8_t value) {
    if (PortHandler* handler = mHandlers[port]) handler->PortOut(port, value);
}

}  // namespace sim
