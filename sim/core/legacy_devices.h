// The PC's oldest parts, present on every server: the CMOS RAM behind ports
// 70h/71h and the POST code port 80h (which programs also write to as a
// short I/O delay).
#ifndef SRVFW_SIM_CORE_LEGACY_DEVICES_H
#define SRVFW_SIM_CORE_LEGACY_DEVICES_H

#include <array>
#include <cstdint>

#include "sim/core/machine.h"

namespace sim {

class CmosRam : public Device, public PortHandler {
  public:
    static constexpr std::uint16_t kIndexPort = 0x70;
    static constexpr std::uint16_t kDataPort = 0x71;

    explicit CmosRam(Machine& machine);
    std::string Name() const override { return "cmos"; }
    void LoadState(const std::filesystem::path& dir) override;
    void SaveState(const std::filesystem::path& dir) const override;

    std::uint8_t PortIn(std::uint16_t port) override;
    void PortOut(std::uint16_t port, std::uint8_t value) override;

    std::array<std::uint8_t, 128>& Bytes() { return mBytes; }

  private:
    Machine& mMachine;
    std::array<std::uint8_t, 128> mBytes{};
    std::uint8_t mIndex = 0;
};

class PostCodePort : public Device, public PortHandler {
  public:
    static constexpr std::uint16_t kPort = 0x80;

    explicit PostCodePort(Machine& machine);
    std::string Name() const override { return "post"; }
    std::uint8_t PortIn(std::uint16_t) override { return mLast; }
    void PortOut(std::uint16_t, std::uint8_t value) override {
        mLast = value;
        ++mWrites;
    }
    std::uint8_t Last() const { return mLast; }
    std::uint64_t Writes() const { return mWrites; }

  private:
    std::uint8_t mLast = 0;
    std::uint64_t mWrites = 0;
};

}  // namespace sim

#endif
