#include "sim/chipset/flash_cycle_log.h"

#include <cstdio>

namespace sim {

void LogFlashCycle(RequestLog& log, const std::string& operation, const FlashCycle& cycle,
                   std::uint64_t partOffset, const std::string& reason) {
    char offset[32];
    std::snprintf(offset, sizeof offset, "offset=0x%06llX",
                  static_cast<unsigned long long>(partOffset));
    std::string detail = offset;
    if (!reason.empty()) detail += ": " + reason;
    log.Add({kFlashLogComponent, operation, cycle.address, cycle.value, cycle.width,
             std::move(detail)});
}

void LogDroppedWrite(RequestLog& log, const FlashCycle& cycle, const std::string& reason) {
    log.Add({kFlashLogComponent, "dropped-write", cycle.address, cycle.value, cycle.width, reason});
}

}  // namespace sim
