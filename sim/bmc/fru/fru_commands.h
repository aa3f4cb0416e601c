// One controller's FRU devices and its answers to the commands that reach
// them (what each answers is listed in sim/bmc/fru/fru_storage.h): the FRU inventory
// commands in fru_commands.cpp, Master Write-Read in master_write_read.cpp.
#ifndef SRVFW_SIM_BMC_FRU_FRU_COMMANDS_H
#define SRVFW_SIM_BMC_FRU_FRU_COMMANDS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/bmc/fru/fru_device.h"
#include "sim/bmc/fru/fru_log.h"
#include "sim/bmc/ipmi.h"
#include "sim/bmc/ipmi_controller.h"
#include "sim/core/clock.h"

namespace sim::fru {

enum StorageCommand : std::uint8_t {
    kGetFruInventoryAreaInfo = 0x10,
    kReadFruData = 0x11,
    kWriteFruData = 0x12,
};
inline constexpr std::uint8_t kMasterWriteRead = 0x52;  // application network function
// Bus ID, slave address and read count, before the bytes to write.
inline constexpr std::size_t kMasterWriteReadHeaderBytes = 3;
inline constexpr std::uint8_t kAccessMemoryCommand = 0x17;

class ControllerFru {
  public:
    ControllerFru(ipmi::Controller& controller, RequestLog& log, const VirtualClock& clock)
        : mController(controller.Name()), mControllerState(controller), mLog(log), mClock(clock) {}

    void Add(FruDevice& device) { mDevices.push_back(&device); }
    bool HasLogicalDevices() const;
    bool HasMemories() const;

    // Registers the FRU inventory commands (inventory) and Master
    // Write-Read (memories) with the controller's table, on LUN 0 with the
    // length each takes.
    void Serve(ipmi::CommandTable& commands, bool inventory, bool memories);

    ipmi::Response InventoryAreaInfo(const ipmi::Request& request);
    ipmi::Response ReadFruData(const ipmi::Request& request);
    ipmi::Response WriteFruData(const ipmi::Request& request);
    ipmi::Response MasterWriteRead(const ipmi::Request& request);

  private:
    // Where a Master Write-Read goes in an EEPROM, and what it writes.
    struct MemoryTransfer {
        std::uint32_t address = 0;
        std::span<const std::uint8_t> payload;
    };

    ipmi::Response Answer(const AccessRecord& access, std::uint8_t completionCode,
                          const std::string& note, std::vector<std::uint8_t> data = {});
    ipmi::Response Refuse(const AccessRecord& access, const FruDevice::Answer& answer);
    // The record of a request before anything in it is looked at.
    AccessRecord Record(const char* operation) const;
    AccessRecord MasterWriteReadRecord(std::span<const std::uint8_t> data) const;
    // Logs the table's refusal of a request on another LUN or of the wrong
    // length, as the controller's other refusals are logged.
    void LogFormRefusal(const AccessRecord& access, const ipmi::Request& request,
                        std::uint8_t completionCode);
    // The refusal of a request that does not name a usable logical device;
    // sets *device otherwise.
    std::optional<ipmi::Response> FindLogical(std::uint8_t id, AccessRecord& access,
                                              FruDevice** device);
    std::optional<ipmi::Response> FindMemory(std::uint8_t bus, std::uint8_t slave,
                                             AccessRecord& access, FruDevice** device);
    // The address and data an EEPROM takes from the bytes written, or its
    // refusal of them.
    std::optional<ipmi::Response> Decode(const FruDevice& device,
                                         std::span<const std::uint8_t> written,
                                         const AccessRecord& access, MemoryTransfer* transfer);
    ipmi::Response ProgramMemory(FruDevice& device, AccessRecord& access,
                                 const MemoryTransfer& transfer);
    ipmi::Response ReadMemory(FruDevice& device, AccessRecord& access,
                              const MemoryTransfer& transfer, std::uint8_t count);

    std::string mController;
    ipmi::Controller& mControllerState;  // stopped by a silent write
    RequestLog& mLog;
    const VirtualClock& mClock;
    std::vector<FruDevice*> mDevices;
};

}  // namespace sim::fru

#endif
