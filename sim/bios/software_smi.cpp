#include "sim/bios/software_smi.h"

#include <stdexcept>

namespace sim {

SoftwareSmiPort::SoftwareSmiPort(Machine& machine, std::uint16_t port)
    : mMachine(machine), mPort(port) {
    machine.Ports().Claim(port, 1, *this);
}

SoftwareSmiPort& SoftwareSmiPort::At(Machine& machine, std::uint16_t port) {
    for (const auto& device : machine.Devices()) {
        auto* smi = dynamic_cast<SoftwareSmiPort*>(device.get());
        if (smi != nullptr && smi->Port() == port) return *smi;
    }
    return machine.Add<SoftwareSmiPort>(port);
}

void SoftwareSmiPort::Serve(std::uint8_t code, Handler handler) {
    if (!mHandlers.emplace(code, std::move(handler)).second) {
        throw std::logic_error("SMI function " + std::to_string(code) + " served twice");
    }
}

std::uint8_t SoftwareSmiPort::PortIn(std::uint16_t) {
    return mLast;
}

void SoftwareSmiPort::PortOut(std::uint16_t, std::uint8_t value) {
    mLast = value;
    const auto handler = mHandlers.find(value);
    if (handler == mHandlers.end()) {
        mMachine.Log().Add({"smi", "unhandled", mPort, value, 1, ""});
        return;
    }
    handler->second(value);
}

}  // namespace sim
