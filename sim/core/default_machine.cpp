// What the simulated server is made of. Each component reads its settings
// here; a later component is added with one more line.
#include "sim/bios/bios_flash.h"
#include "sim/bios/quorzel.h"
#include "sim/bmc/bmc.h"
#include "sim/bmc/chassis_capabilities.h"
#include "sim/bmc/fru/fru_storage.h"
#include "sim/bmc/fw/controller_firmware.h"
#include "sim/bmc/fw/me_staging.h"
#include "sim/bmc/fw/vendor_features.h"
#include "sim/bmc/kcs_interface.h"
#include "sim/bmc/libipmi_endpoint.h"
#include "sim/bmc/sdr/sdr_repository.h"
#include "sim/chipset/bios_range.h"
#include "sim/chipset/board.h"
#include "sim/chipset/chipset.h"
#include "sim/chipset/memory_window.h"
#include "sim/core/host_fault_settings.h"
#include "sim/core/kernel_ipmi_device.h"
#include "sim/core/legacy_devices.h"
#include "sim/core/machine.h"
#include "sim/core/memory_pokes.h"
#include "sim/firmware/boot_firmware.h"
#include "sim/smbios/kernel_dmi_sysfs.h"
#include "sim/smbios/smbios.h"

namespace sim {

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

void AddMemory(Machine& machine) {
    const Settings& settings = machine.Config();
    MemoryMap& memory = machine.Memory();
    memory.AddRam("conventional", 0, 0xA0000);
    // The BIOS runs shadowed in RAM below 1 MB; its tables and request
    // blocks live there.
    memory.AddRam("bios-shadow", 0xE0000, 0x20000);
    const std::uint64_t megabytes = settings.GetNumber("ram.mb", 16);
    if (megabytes > 1) memory.AddRam("extended", kMiB, (megabytes - 1) * kMiB);
}

}  // namespace

void BuildMachine(Machine& machine) {
    AddMemory(machine);
    machine.Add<CmosRam>();
    machine.Add<PostCodePort>();
    BiosFlashConfig bios = BiosFlashConfig::FromSettings(machine.Config());
    FlashPart& biosFlash =
        machine.AddFlashPart(BoardFromSettings(machine.Config()).chip, kBiosFlashPart);
    machine.Add<BiosFlashService>(std::move(bios), biosFlash);
    // The same part behind the chipset: its SPI controller and the window
    // below 4 GB; then what the BIOS keeps in the flash for an updater.
    machine.Add<BiosRange>();
    AddChipset(machine, biosFlash);
    AddMemoryWindow(machine, biosFlash);
    AddBootFirmware(machine, biosFlash);
    machine.Add<QuorzelModule>();
    Bmc& bmc = machine.Add<Bmc>();
    machine.Add<FruStorage>(bmc);
    machine.Add<SdrRepository>(bmc);
    machine.Add<BmcVendorFeatures>(bmc);
    machine.Add<ChassisCapabilities>(bmc);
    machine.Add<ManagementEngine>(bmc);
    machine.Add<ControllerFirmware>(bmc);
    machine.Add<KcsInterface>(bmc);
    machine.Add<LibipmiEndpoint>(bmc);
    // The BIOS describes what it found: the BMC's interface and its own ROM.
    machine.Add<SmbiosTables>(SmbiosConfig::FromMachine(machine));
    ApplyHostFaultSettings(machine);
    // Last of the firmware's work, so that they change what the components
    // laid out.
    ApplyMemoryPokes(machine);
    // Then the kernel boots: it copies the SMBIOS tables it finds and loads
    // its modules, the IPMI driver looking for the BMC where SMBIOS says.
    machine.Add<DmiSysfs>();
    machine.Add<KernelIpmi>(bmc);
    // Building the machine (a driver registered at start, a node in place)
    // is not something a program asked of it.
    machine.Log().Clear();
}

}  // namespace sim
