// The I/O port space: 64K byte ports, each claimed by at most one handler.
// An unclaimed port reads FFh and ignores writes, as an empty ISA bus does.
#ifndef SRVFW_SIM_CORE_PORTS_H
#define SRVFW_SIM_CORE_PORTS_H

#include <array>
#include <cstdint>

namespace sim {

class PortHandler {
  public:
    virtual ~PortHandler() = default;
    virtual std::uint8_t PortIn(std::uint16_t port) = 0;
    virtual void PortOut(std::uint16_t port, std::uint8_t value) = 0;
};

class PortMap {
  public:
    // Claims [first, first + count); throws std::logic_error when a port is
    // already claimed, since that is a fault in the machine's construction.
    void Claim(std::uint16_t first, unsigned count, PortHandler& handler);
    void Release(std::uint16_t first, unsigned count);
    PortHandler* HandlerOf(std::uint16_t port) const { return mHandlers[port]; }

    std::uint8_t In(std::uint16_t port);
    void Out(std::uint16_t port, std::uint8_t value);

  private:
    std::array<PortHandler*, 0x10000> mHandlers{};
};

}  // namespace sim

#endif
