#include "sim/core/machine.h"

#include <cstdlib>
#include <fstream>

namespace sim {

namespace {

constexpr const char* kSettingsFile = "settings";
constexpr const char* kMemoryFolder = "memory";

std::filesystem::path RegionFile(const std::filesystem::path& dir, const MemoryRegion& region) {
    return dir / kMemoryFolder / (region.name + ".bin");
}

}  // namespace

Machine::Machine(Settings settings)
    : mSettings(std::move(settings)), mHost(mLog, mMemory, mClock, mViews) {}

Machine::~Machine() = default;

std::uint8_t Machine::PortIn(std::uint16_t port) {
    mClock.Advance(VirtualClock::kPortAccessNs);
    const std::uint8_t value = mPorts.In(port);
    if (mLog.RecordsPorts()) mLog.Add({"port", "in", port, value, 1, ""});
    return value;
}

void Machine::PortOut(std::uint16_t port, std::uint8_t value) {
    mClock.Advance(VirtualClock::kPortAccessNs);
    if (mLog.RecordsPorts()) mLog.Add({"port", "out", port, value, 1, ""});
    mPorts.Out(port, value);
}

std::uint32_t Machine::MemoryRead(std::uint64_t address, unsigned width) {
    mClock.Advance(VirtualClock::kMemoryAccessNs);
    return mMemory.Read(address, width);
}

void Machine::MemoryWrite(std::uint64_t address, unsigned width, std::uint32_t value) {
    mClock.Advance(VirtualClock::kMemoryAccessNs);
    mMemory.Write(address, width, value);
}

FlashPart& Machine::AddFlashPart(FlashChip chip, std::string stateName) {
    mFlashParts.push_back(std::make_unique<FlashPart>(std::move(chip), std::move(stateName)));
    return *mFlashParts.back();
}

FlashPart* Machine::FindFlashPart(const std::string& stateName) {
    for (auto& part : mFlashParts) {
        if (part->StateName() == stateName) return part.get();
    }
    return nullptr;
}

void Machine::LoadState(const std::filesystem::path& dir) {
    for (const auto& [base, region] : mMemory.Regions()) {
        if (!region.persistent) continue;
        std::ifstream in(RegionFile(dir, region), std::ios::binary);
        if (!in) continue;
        MemoryRegion& target = *mMemory.Find(region.name);
        in.read(reinterpret_cast<char*>(target.bytes.data()),
                static_cast<std::streamsize>(target.bytes.size()));
    }
    for (auto& part : mFlashParts) part->LoadState(dir);
    for (auto& device : mDevices) device->LoadState(dir);
}

bool Machine::SaveState(const std::filesystem::path& dir) const {
    std::error_code error;
    std::filesystem::create_directories(dir / kMemoryFolder, error);
    if (error || !mSettings.Save(dir / kSettingsFile)) return false;
    bool saved = true;
    for (const auto& [base, region] : mMemory.Regions()) {
        if (!region.persistent) continue;
        std::ofstream out(RegionFile(dir, region), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(region.bytes.data()),
                  static_cast<std::streamsize>(region.bytes.size()));
        saved = saved && static_cast<bool>(out);
    }
    for (const auto& part : mFlashParts) part->SaveState(dir);
    for (const auto& device : mDevices) device->SaveState(dir);
    return saved;
}

void Machine::Describe(std::ostream& out) const {
    static constexpr const char* kKinds[] = {"RAM", "ROM", "MMIO"};
    out << "Settings:\n";
    if (mSettings.All().empty()) out << "  (all defaults)\n";
    for (const auto& [key, value] : mSettings.All()) out << "  " << key << " = " << value << "\n";
    out << "Memory:\n";
    for (const auto& [base, region] : mMemory.Regions()) {
        char line[160];
        std::snprintf(line, sizeof line, "  %010llX-%010llX %-4s %s%s\n",
                      static_cast<unsigned long long>(base),
                      static_cast<unsigned long long>(base + region.size - 1),
                      kKinds[static_cast<int>(region.kind)], region.name.c_str(),
                      region.persistent ? " (persistent)" : "");
        out << line;
    }
    out << "PCI:\n";
    for (const auto& [address, function] : mPci.Functions()) {
        char line[80];
        std::snprintf(line, sizeof line, "  %02X:%02X.%X %04X:%04X\n", address.bus, address.device,
                      address.function, function.Read(0, 2), function.Read(2, 2));
        out << line;
    }
    out << "Devices:\n";
    for (const auto& device : mDevices) {
        out << "  " << device->Name() << "\n";
        device->Describe(out);
    }
}

Settings SettingsOf(const std::filesystem::path& dir) {
    Settings settings;
    settings.Load(dir / kSettingsFile);
    return settings;
}

namespace {

struct ProcessMachine {
    std::unique_ptr<Machine> machine;
    std::optional<std::filesystem::path> stateDir;
};

ProcessMachine& Current() {
    static ProcessMachine current;
    return current;
}

void SaveAtExit() {
    ProcessMachine& current = Current();
    if (current.machine && current.stateDir) current.machine->SaveState(*current.stateDir);
}

}  // namespace

Machine& TheMachine() {
    ProcessMachine& current = Current();
    if (current.machine) return *current.machine;
    // The simulator, not the deliverables, takes its state directory from
    // the environment: the sim builds run unchanged against it.
    const char* dir = std::getenv("SRVFW_SIM");
    if (dir != nullptr && *dir != '\0') {
        current.stateDir = dir;
        current.machine = std::make_unique<Machine>(SettingsOf(dir));
        BuildMachine(*current.machine);
        current.machine->LoadState(dir);
        std::atexit(SaveAtExit);
    } else {
        current.machine = std::make_unique<Machine>();
        BuildMachine(*current.machine);
    }
    return *current.machine;
}

void SaveProcessMachine() {
    SaveAtExit();
}

Machine& ResetMachine(const Settings& settings) {
    ProcessMachine& current = Current();
    current.stateDir.reset();
    current.machine = std::make_unique<Machine>(settings);
    BuildMachine(*current.machine);
    return *current.machine;
}

}  // namespace sim
