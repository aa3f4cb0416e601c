#include "sim/bmc/fw/controller_firmware.h"

#include <algorithm>
#include <array>

#include "sim/bmc/fw/fw_buffer_size.h"
#include "sim/bmc/fw/fw_settings.h"

namespace sim {

namespace {

constexpr std::uint8_t kPrimaryIpmb = 0;
constexpr std::uint8_t kMeChannel = 6;
constexpr std::uint8_t kMeAddress = 0x2C;
constexpr std::uint8_t kSatellitesWithFirmware[] = {0x22, 0xC0, 0xC2};
constexpr std::array<const char*, 4> kStorageModules = {"usb_storage", "scsi_mod", "sg", "sr_mod"};

bool StorageModule(const std::string& name) {
    return std::find(kStorageModules.begin(), kStorageModules.end(), name) != kStorageModules.end();
}

}  // namespace

ControllerFirmware::ControllerFirmware(Machine& machine, Bmc& bmc) : mMachine(machine) {
    const Settings& settings = machine.Config();
    mControllers.push_back(std::make_unique<fw::FirmwareController>(
        bmc.Controller(), fw::FirmwareConfigFor(settings, "bmc", ipmi::kBmcAddress),
        machine.Clock(), machine.Log()));
    for (const std::uint8_t address : kSatellitesWithFirmware) {
        if (ipmb::Satellite* satellite = bmc.Ipmb().Find(kPrimaryIpmb, address)) {
            mControllers.push_back(std::make_unique<fw::FirmwareController>(
                *satellite, fw::FirmwareConfigFor(settings, satellite->Name(), address),
                machine.Clock(), machine.Log()));
        }
    }
    if (ipmb::Satellite* me = bmc.Ipmb().Find(kMeChannel, kMeAddress)) {
        fw::RegisterBufferSize(
            *me, fw::BufferUnits(settings, "fw." + me->Name() + ".buffer_units", 0x08),
            machine.Clock(), machine.Log());
    }
    TakeOverStorageModules();
}

void ControllerFirmware::TakeOverStorageModules() {
    HostOs& host = mMachine.Host();
    for (const std::string program : {"modprobe", "rmmod"}) {
        HostOs::Program before = host.ProgramOf(program);
        host.AddProgram(program, [this, program, before](const std::vector<std::string>& words) {
            bool remove = program == "rmmod";
            std::string name;
            for (std::size_t i = 1; i < words.size(); ++i) {
                if (words[i] == "-r" || words[i] == "--remove") {
                    remove = true;
                } else if (name.empty() && !words[i].empty() && words[i].front() != '-') {
                    name = words[i];
                }
            }
            if (!StorageModule(name)) return before ? before(words) : 1;
            HostOs& shell = mMachine.Host();
            int status = 0;
            if (remove) {
                status = shell.ModuleLoaded(name) ? 0 : 1;
                shell.UnloadModule(name);
            } else {
                shell.LoadModule(name);
            }
            mMachine.Log().Add({"host", remove ? "rmmod" : "modprobe", 0,
                                static_cast<std::uint64_t>(status), 0, name});
            return status;
        });
    }
}

fw::FirmwareController* ControllerFirmware::Find(std::uint8_t address) {
    for (auto& controller : mControllers) {
        if (controller->Address() == address) return controller.get();
    }
    return nullptr;
}

void ControllerFirmware::LoadState(const std::filesystem::path& dir) {
    for (auto& controller : mControllers) controller->LoadState(dir);
}

void ControllerFirmware::SaveState(const std::filesystem::path& dir) const {
    for (const auto& controller : mControllers) controller->SaveState(dir);
}

void ControllerFirmware::Describe(std::ostream& out) const {
    for (const auto& controller : mControllers) controller->Describe(out);
}

}  // namespace sim
