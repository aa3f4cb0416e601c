// The flash functions of the BIOS's SMI handler: each checks the request
// block as the BIOS found it and carries the operation out on the flash
// part. Internal to the BIOS flash service (sim/bios/bios_flash.h says what each
// function answers).
#ifndef SRVFW_SIM_BIOS_BIOS_FLASH_FUNCTIONS_H
#define SRVFW_SIM_BIOS_BIOS_FLASH_FUNCTIONS_H

#include <cstdint>
#include <optional>
#include <string>

#include "sim/bios/bios_flash_config.h"
#include "sim/core/machine.h"
#include "sim/flash/flash_array.h"

namespace sim::bios {

struct Request {
    std::uint32_t buffer;
    std::uint32_t address;
    std::uint32_t length;
    std::uint32_t checksum;  // FLASH_READ sets it
};

struct Outcome {
    std::uint8_t status;
    std::string reason;  // empty on success
};

// Whether the range is RAM throughout: the only memory the BIOS puts its
// tables in or moves flash data through.
bool IsRam(MemoryMap& memory, std::uint64_t address, std::uint64_t length);

class FlashFunctions {
  public:
    FlashFunctions(Machine& machine, const BiosFlashConfig& config, FlashArray& flash, bool& open)
        : mMachine(machine), mConfig(config), mFlash(flash), mOpen(open) {}

    Outcome Run(std::uint8_t code, Request& request);

  private:
    Outcome Open();
    Outcome Close();
    // The checks reads and writes share; sets the image offset of the
    // kilobyte when they pass.
    std::optional<Outcome> CheckTransfer(const Request& request, std::uint64_t* offset);
    Outcome Read(Request& request);
    Outcome Erase(const Request& request);
    Outcome Write(const Request& request);

    Machine& mMachine;
    const BiosFlashConfig& mConfig;
    FlashArray& mFlash;
    bool& mOpen;
};

}  // namespace sim::bios

#endif
