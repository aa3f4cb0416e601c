// The simulated server: a software model of an x86 server written from the
// hardware's side. It is the test oracle behind the platform layer's sim
// backend, one per process, so a host that loads several simulated
// deliverables sees one machine.
#ifndef SRVFW_SIM_CORE_MACHINE_H
#define SRVFW_SIM_CORE_MACHINE_H

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/core/clock.h"
#include "sim/core/host_os.h"
#include "sim/core/mappings.h"
#include "sim/core/memory_map.h"
#include "sim/core/pci.h"
#include "sim/core/ports.h"
#include "sim/core/request_log.h"
#include "sim/core/settings.h"
#include "sim/flash/flash_part.h"

namespace sim {

class Machine;

// A component of the machine beyond plain memory: it claims ports, memory
// ranges, PCI functions or drivers when it is added, and keeps whatever
// state of its own must survive from one process to the next.
class Device {
  public:
    virtual ~Device() = default;
    virtual std::string Name() const = 0;
    virtual void LoadState(const std::filesystem::path& /*dir*/) {}
    virtual void SaveState(const std::filesystem::path& /*dir*/) const {}
    virtual void Describe(std::ostream& /*out*/) const {}
};

class Machine {
  public:
    explicit Machine(Settings settings = {});
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;
    ~Machine();

    const Settings& Config() const { return mSettings; }
    MemoryMap& Memory() { return mMemory; }
    PortMap& Ports() { return mPorts; }
    PciBus& Pci() { return mPci; }
    VirtualClock& Clock() { return mClock; }
    RequestLog& Log() { return mLog; }
    HostOs& Host() { return mHost; }
    Mappings& Views() { return mViews; }

    // The processor's own accesses: they cost virtual time, and port
    // accesses are recorded while the log asks for them.
    std::uint8_t PortIn(std::uint16_t port);
    void PortOut(std::uint16_t port, std::uint8_t value);
    std::uint32_t MemoryRead(std::uint64_t address, unsigned width);
    void MemoryWrite(std::uint64_t address, unsigned width, std::uint32_t value);

    template <class T, class... Args>
    T& Add(Args&&... args) {
        auto device = std::make_unique<T>(*this, std::forward<Args>(args)...);
        T& added = *device;
        mDevices.push_back(std::move(device));
        return added;
    }
    template <class T>
    T* Find() {
        for (auto& device : mDevices) {
            if (auto* found = dynamic_cast<T*>(device.get())) return found;
        }
        return nullptr;
    }
    const std::vector<std::unique_ptr<Device>>& Devices() const { return mDevices; }

    // The board's flash parts. The machine owns them and keeps their
    // contents in the state directory; devices that reach a part hold a
    // reference to it, so a part is added before them.
    FlashPart& AddFlashPart(FlashChip chip, std::string stateName);
    FlashPart* FindFlashPart(const std::string& stateName);

    // The state directory: settings, persistent memory and device state.
    void LoadState(const std::filesystem::path& dir);
    bool SaveState(const std::filesystem::path& dir) const;
    void Describe(std::ostream& out) const;

  private:
    Settings mSettings;
    RequestLog mLog;
    VirtualClock mClock;
    MemoryMap mMemory;
    PortMap mPorts;
    PciBus mPci;
    HostOs mHost;
    Mappings mViews;
    // Before the devices, which hold references to them.
    std::vector<std::unique_ptr<FlashPart>> mFlashParts;
    std::vector<std::unique_ptr<Device>> mDevices;
};

// The machine a configuration describes: every component, built from the
// settings (missing settings take their defaults).
void BuildMachine(Machine& machine);

// The process's machine. Built on first use: from the state directory named
// by the environment variable SRVFW_SIM when it is set (and saved back there
// when the process exits), otherwise a default machine kept in memory.
Machine& TheMachine();
// Saves the process's machine to its state directory now, when it has one:
// what a part keeps on its own (an EEPROM's cells) stays kept even when the
// process is killed before it exits.
void SaveProcessMachine();
// Replaces the process's machine by a fresh one of these settings, kept in
// memory only (tests).
Machine& ResetMachine(const Settings& settings = {});
// Reads the settings of a state directory, or the defaults when it has none.
Settings SettingsOf(const std::filesystem::path& dir);

}  // namespace sim

#endif
