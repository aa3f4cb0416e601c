// The request log's "flash" entries (documented in
// sim/chipset/memory_window.h), written the same way by the window over the
// part and by the firmware hub's register space.
#ifndef SRVFW_SIM_CHIPSET_FLASH_CYCLE_LOG_H
#define SRVFW_SIM_CHIPSET_FLASH_CYCLE_LOG_H

#include <cstdint>
#include <string>

#include "sim/core/request_log.h"

namespace sim {

inline constexpr char kFlashLogComponent[] = "flash";

struct FlashCycle {
    std::uint64_t address = 0;  // the processor's
    std::uint32_t value = 0;
    unsigned width = 0;
};

// detail "offset=0xNNNNNN", or "offset=0xNNNNNN: reason".
void LogFlashCycle(RequestLog& log, const std::string& operation, const FlashCycle& cycle,
                   std::uint64_t partOffset, const std::string& reason);
// detail the reason alone: the write reached no part.
void LogDroppedWrite(RequestLog& log, const FlashCycle& cycle, const std::string& reason);

}  // namespace sim

#endif
