#include "sim/bmc/fru/fru_storage.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "sim/bmc/fru/fru_commands.h"
#include "sim/bmc/fru/fru_image_builder.h"

namespace sim {

namespace {

constexpr const char* kBmcName = "bmc";
constexpr std::uint8_t kHeaderVersionMask = 0x07;

std::vector<std::string> ControllerNames(Bmc& bmc) {
    std::vector<std::string> names = {kBmcName};
    for (const auto& satellite : bmc.Ipmb().Satellites()) names.push_back(satellite->Name());
    return names;
}

// What a look at the cells shows: an IPMI FRU and its areas, or not.
std::string ContentsSummary(std::span<const std::uint8_t> cells) {
    if (std::all_of(cells.begin(), cells.end(), [](std::uint8_t b) { return b == 0xFF; })) {
        return "erased";
    }
    if (cells.size() < fru::kHeaderBytes || (cells[0] & kHeaderVersionMask) != 1 ||
        std::accumulate(cells.begin(), cells.begin() + fru::kHeaderBytes, 0u) % 256 != 0) {
        return "no valid FRU common header";
    }
    static constexpr const char* kAreaNames[] = {"internal use", "chassis", "board", "product",
                                                 "multi-record"};
    std::string areas;
    for (std::size_t i = 0; i < fru::kAreas.size(); ++i) {
        if (cells[1 + i] == 0) continue;
        char area[48];
        std::snprintf(area, sizeof area, "%s%s at %Xh", areas.empty() ? "" : ", ", kAreaNames[i],
                      cells[1 + i] * 8u);
        areas += area;
    }
    return "FRU header valid; " + (areas.empty() ? std::string("no areas") : areas);
}

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02Xh", value);
    return text;
}

void DescribeDevice(std::ostream& out, const fru::FruDevice& device) {
    const fru::DeviceConfig& config = device.Config();
    out << "      " << config.name << ": " << config.controller << ", ";
    if (config.IsMemory()) {
        out << "EEPROM at bus " << Hex(config.bus) << " slave " << Hex(config.address) << ", "
            << config.size << " bytes, "
            << (config.kind == fru::DeviceKind::kCommand17 ? "command 17h and one address byte"
                                                           : "two address bytes");
        if (config.page != 0) out << ", pages of " << config.page;
    } else {
        out << "FRU device ID " << Hex(config.deviceId) << ", " << config.size << " bytes";
    }
    out << "\n        reads up to " << config.maxRead << " bytes (beyond: "
        << (config.shortReads ? std::string("short") : Hex(config.readLimitCode))
        << "), writes up to " << config.maxWrite << " (beyond: " << Hex(config.writeLimitCode)
        << ")\n";
    char line[96];
    out << "        " << config.file << ": " << ContentsSummary(device.Contents()) << "\n";
    for (const fru::ByteRange& range : config.writeProtected) {
        std::snprintf(line, sizeof line, "        write-protected: %Xh, %u bytes\n", range.offset,
                      range.length);
        out << line;
    }
    const std::pair<const char*, const CodedFault*> busy[] = {{"read", &config.readBusy},
                                                              {"write", &config.writeBusy}};
    for (const auto& [what, fault] : busy) {
        if (!fault->times.Armed()) continue;
        std::snprintf(line, sizeof line, "        fault: %ss answer %02Xh (busy), ", what,
                      static_cast<unsigned>(fault->code));
        out << line << fault->times.Describe() << "\n";
    }
    const std::pair<const char*, const std::vector<fru::OffsetFault>*> failing[] = {
        {"read", &config.readFail}, {"write", &config.writeFail}};
    for (const auto& [what, faults] : failing) {
        for (const fru::OffsetFault& fault : *faults) {
            std::snprintf(line, sizeof line, "        fault: %ss of %Xh answer %02Xh\n", what,
                          fault.offset, fault.code);
            out << line;
        }
    }
    for (const fru::ByteRange& range : config.lostWrite) {
        std::snprintf(line, sizeof line, "        fault: writes to %Xh, %u bytes, are not kept\n",
                      range.offset, range.length);
        out << line;
    }
    for (const fru::ShortWrite& fault : config.shortWrite) {
        if (fault.keep) {
            std::snprintf(line, sizeof line, "        fault: writes over %Xh keep %u bytes, ",
                          fault.offset, *fault.keep);
        } else {
            std::snprintf(line, sizeof line, "        fault: writes over %Xh stop there, ",
                          fault.offset);
        }
        out << line << fault.times.Describe() << "\n";
    }
    if (config.silentWrite) {
        std::snprintf(line, sizeof line,
                      "        fault: a write over %Xh stops the controller answering\n",
                      *config.silentWrite);
        out << line;
    }
    for (const fru::WriteSignal& fault : config.writeSignals) {
        std::snprintf(line, sizeof line, "        fault: a write over %Xh raises %s, ",
                      fault.offset, fault.name.c_str());
        out << line << fault.times.Describe() << "\n";
    }
}

}  // namespace

FruStorage::FruStorage(Machine& machine, Bmc& bmc) : mMachine(machine) {
    for (fru::DeviceConfig& config :
         fru::DeviceConfig::FromSettings(machine.Config(), ControllerNames(bmc))) {
        mDevices.push_back(std::make_unique<fru::FruDevice>(std::move(config)));
    }
    Serve(bmc.Controller(), true);
    for (const auto& satellite : bmc.Ipmb().Satellites()) Serve(*satellite, false);
}

FruStorage::~FruStorage() = default;

void FruStorage::Serve(ipmi::Controller& controller, bool isBmc) {
    auto service =
        std::make_unique<fru::ControllerFru>(controller, mMachine.Log(), mMachine.Clock());
    for (const auto& device : mDevices) {
        if (device->Config().controller == controller.Name()) service->Add(*device);
    }
    service->Serve(controller.Commands(), isBmc || service->HasLogicalDevices(),
                   isBmc || service->HasMemories());
    mServices.push_back(std::move(service));
}

fru::FruDevice* FruStorage::Find(const std::string& name) {
    for (const auto& device : mDevices) {
        if (device->Name() == name) return device.get();
    }
    return nullptr;
}

void FruStorage::LoadState(const std::filesystem::path& dir) {
    for (const auto& device : mDevices) device->Load(dir);
}

void FruStorage::SaveState(const std::filesystem::path& dir) const {
    for (const auto& device : mDevices) device->Save(dir);
}

void FruStorage::Describe(std::ostream& out) const {
    out << "    FRU devices (" << mDevices.size() << "):\n";
    for (const auto& device : mDevices) DescribeDevice(out, *device);
}

}  // namespace sim
