// GetBufferSize (netFn 30h, command 66h), which every controller that takes
// firmware serves in any mode: no data (C7h with any, C2h on a LUN other
// than 0); 00h with bytes 0 and 1, the largest transfer it takes in units
// of 4 bytes (two limits; a host keeps to the smaller). What a controller
// really takes is its own business: the BMC's KCS interface refuses a
// longer frame (sim/bmc/kcs_interface.h, kcs.max_request) and its write
// buffer a longer WriteLowlvl (sim/bmc/fw/fw_settings.h).
// Logged as "buffer-size" (sim/bmc/fw/fw_log.h) with units=AA:BB.
#ifndef SRVFW_SIM_BMC_FW_FW_BUFFER_SIZE_H
#define SRVFW_SIM_BMC_FW_FW_BUFFER_SIZE_H

#include <array>
#include <cstdint>

#include "sim/bmc/ipmi_controller.h"
#include "sim/core/clock.h"
#include "sim/core/request_log.h"

namespace sim::fw {

void RegisterBufferSize(ipmi::Controller& controller, std::array<std::uint8_t, 2> units,
                        VirtualClock& clock, RequestLog& log);

}  // namespace sim::fw

#endif
