// The firmware of the BMC and of the satellites behind it that take
// firmware updates through the firmware commands: the BMC (20h), and on
// IPMB channel 0 the front-panel controller (22h) and the hot-swap
// controllers (C0h, C2h), each a sim/bmc/fw/fw_controller.h. The management
// engine (2Ch on channel 6) takes its firmware through its staging area
// (sim/bmc/fw/me_staging.h); here it only gains GetBufferSize
// (sim/bmc/fw/fw_buffer_size.h), with fw.NAME.buffer_units of its satellite.
// A satellite that ipmb.satellites leaves out has no firmware here.
//
// The update tools reach the BMC's large-transfer path (a USB mass-storage
// channel) after loading the kernel's storage modules; the shell's modprobe
// loads usb_storage, scsi_mod, sg and sr_mod (exit 0, also when loaded
// already; "modprobe -r" unloads them) and logs each as the kernel's other
// modules are: component "host", operation "modprobe" or "rmmod", value =
// exit status, detail = the module's name.
#ifndef SRVFW_SIM_BMC_FW_CONTROLLER_FIRMWARE_H
#define SRVFW_SIM_BMC_FW_CONTROLLER_FIRMWARE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/bmc/bmc.h"
#include "sim/bmc/fw/fw_controller.h"
#include "sim/core/machine.h"

namespace sim {

class ControllerFirmware : public Device {
  public:
    ControllerFirmware(Machine& machine, Bmc& bmc);

    std::string Name() const override { return "fw"; }
    void LoadState(const std::filesystem::path& dir) override;
    void SaveState(const std::filesystem::path& dir) const override;
    void Describe(std::ostream& out) const override;

    // The firmware of the controller at that slave address; null when none.
    fw::FirmwareController* Find(std::uint8_t address);
    const std::vector<std::unique_ptr<fw::FirmwareController>>& Controllers() const {
        return mControllers;
    }

  private:
    void TakeOverStorageModules();

    Machine& mMachine;
    std::vector<std::unique_ptr<fw::FirmwareController>> mControllers;
};

}  // namespace sim

#endif
