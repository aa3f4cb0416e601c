// PCI configuration space of the simulated server, per bus/device/function.
// A function that is not present reads all ones, as configuration cycles to
// an empty slot do.
#ifndef SRVFW_SIM_CORE_PCI_H
#define SRVFW_SIM_CORE_PCI_H

#include <array>
#include <cstdint>
#include <functional>
#include <map>

namespace sim {

struct PciAddress {
    int bus = 0;
    int device = 0;
    int function = 0;
    auto operator<=>(const PciAddress&) const = default;
};

class PciFunction {
  public:
    PciFunction(std::uint16_t vendor, std::uint16_t device);

    std::uint32_t Read(int reg, unsigned width) const;
    // Writes change only the bits marked writable; the hook, if any, sees
    // every write after it took effect.
    void Write(int reg, unsigned width, std::uint32_t value);

    // Sets configuration bytes as the hardware presents them (read-only
    // registers included).
    void Preset(int reg, unsigned width, std::uint32_t value);
    void MakeWritable(int reg, unsigned width, std::uint32_t mask = 0xFFFFFFFF);
    void OnWrite(std::function<void(int reg, unsigned width, std::uint32_t value)> hook) {
        mHook = std::move(hook);
    }

  private:
    std::array<std::uint8_t, 256> mConfig{};
    std::array<std::uint8_t, 256> mWritable{};
    std::function<void(int, unsigned, std::uint32_t)> mHook;
};

class PciBus {
  public:
    PciFunction& Add(PciAddress address, std::uint16_t vendor, std::uint16_t device);
    PciFunction* Find(PciAddress address);
    const std::map<PciAddress, PciFunction>& Functions() const { return mFunctions; }

    std::uint32_t Read(PciAddress address, int reg, unsigned width);
    void Write(PciAddress address, int reg, unsigned width, std::uint32_t value);

  private:
    std::map<PciAddress, PciFunction> mFunctions;
};

}  // namespace sim

#endif
