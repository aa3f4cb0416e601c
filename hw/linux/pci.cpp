// PCI configuration space through libpci.
extern "C" {
#include <pci/pci.h>
}

#include <memory>
#include <vector>

#include "hw/hw.h"

namespace hw {

struct PciDevice {
    pci_dev* lib;
};

// The access owns the devices handed out through it, so that one PciClose
// releases everything libpci allocated.
struct PciAccess {
    pci_access* lib;
    std::vector<std::unique_ptr<PciDevice>> devices;
};

PciAccess* PciOpen() {
    pci_access* lib = pci_alloc();
    if (lib == nullptr) return nullptr;
    pci_init(lib);
    pci_scan_bus(lib);
    return new PciAccess{lib, {}};
}

void PciClose(PciAccess* access) {
    if (access == nullptr) return;
    for (auto& device : access->devices) pci_free_dev(device->lib);
    pci_cleanup(access->lib);
    delete access;
}

PciDevice* PciGetDevice(PciAccess* access, int domain, int bus, int device, int function) {
    if (access == nullptr) return nullptr;
    pci_dev* lib = pci_get_dev(access->lib, domain, bus, device, function);
    if (lib == nullptr) return nullptr;
    access->devices.push_back(std::make_unique<PciDevice>(PciDevice{lib}));
    return access->devices.back().get();
}

std::uint8_t PciRead8(PciDevice* device, int reg) {
    return pci_read_byte(device->lib, reg);
}

std::uint16_t PciRead16(PciDevice* device, int reg) {
    return pci_read_word(device->lib, reg);
}

std::uint32_t PciRead32(PciDevice* device, int reg) {
    return pci_read_long(device->lib, reg);
}

int PciWrite8(PciDevice* device, int reg, std::uint8_t value) {
    return pci_write_byte(device->lib, reg, value);
}

int PciWrite16(PciDevice* device, int reg, std::uint16_t value) {
    return pci_write_word(device->lib, reg, value);
}

}  // namespace hw
