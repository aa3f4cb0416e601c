// Picking entries out of the simulated machine's request log by what they
// record, for the flash layer's tests.
#ifndef SRVFW_TESTS_RASK_REQUEST_LOG_FILTERS_H
#define SRVFW_TESTS_RASK_REQUEST_LOG_FILTERS_H

#include <string>
#include <vector>

#include "sim/core/request_log.h"

namespace rask_test {

// The entries of this operation, in order.
inline std::vector<sim::LogEntry> Named(const std::vector<sim::LogEntry>& entries,
                                        const std::string& operation) {
    std::vector<sim::LogEntry> named;
    for (const auto& e : entries) {
        if (e.operation == operation) named.push_back(e);
    }
    return named;
}

}  // namespace rask_test

#endif
