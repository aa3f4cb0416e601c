// PCI configuration cycles to the simulated server. As with libpci, getting
// a device never fails; reading an absent one gives all ones.
#include <memory>
#include <vector>

#include "hw/hw.h"
#include "sim/core/machine.h"

namespace hw {

struct PciDevice {
    sim::PciAddress address;
};

struct PciAccess {
    std::vector<std::unique_ptr<PciDevice>> devices;
};

namespace {

void Record(const char* operation, const PciDevice* device, int reg, std::uint32_t value,
            unsigned width) {
    const sim::PciAddress& a = device->address;
    sim::TheMachine().Log().Add({"pci", operation, static_cast<std::uint64_t>(reg), value, width,
                                 std::to_string(a.bus) + ":" + std::to_string(a.device) + "." +
                                     std::to_string(a.function)});
}

std::uint32_t ReadConfig(PciDevice* device, int reg, unsigned width) {
    const std::uint32_t value = sim::TheMachine().Pci().Read(device->address, reg, width);
    Record("read", device, reg, value, width);
    return value;
}

int WriteConfig(PciDevice* device, int reg, unsigned width, std::uint32_t value) {
    Record("write", device, reg, value, width);
    sim::TheMachine().Pci().Write(device->address, reg, width, value);
    return 1;  // libpci's success
}

}  // namespace

PciAccess* PciOpen() {
    return new PciAccess{};
}

void PciClose(PciAccess* access) {
    delete access;
}

PciDevice* PciGetDevice(PciAccess* access, int domain, int bus, int device, int function) {
    if (access == nullptr || domain != 0) return nullptr;
    access->devices.push_back(std::make_unique<PciDevice>(PciDevice{{bus, device, function}}));
    return access->devices.back().get();
}

std::uint8_t PciRead8(PciDevice* device, int reg) {
    return static_cast<std::uint8_t>(ReadConfig(device, reg, 1));
}
std::uint16_t PciRead16(PciDevice* device, int reg) {
    return static_cast<std::uint16_t>(ReadConfig(device, reg, 2));
}
std::uint32_t PciRead32(PciDevice* device, int reg) {
    return ReadConfig(device, reg, 4);
}
int PciWrite8(PciDevice* device, int reg, std::uint8_t value) {
    return WriteConfig(device, reg, 1, value);
}
int PciWrite16(PciDevice* device, int reg, std::uint16_t value) {
    return WriteConfig(device, reg, 2, value);
}

}  // namespace hw
