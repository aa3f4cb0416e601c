#include "sim/core/request_log.h"

namespace sim {

std::vector<LogEntry> RequestLog::Of(const std::string& component) const {
    std::vector<LogEntry> found;
    for (const LogEntry& entry : mEntries) {
        if (entry.component == component) found.push_back(entry);
    }
    return found;
}

}  // namespace sim
