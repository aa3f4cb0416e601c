// An IMB driver interface as a host process would supply it: open_imb,
// close_imb and SendTimedImbpRequest defined in the test program, so that
// the message layer's weak imports resolve to them. Requests go straight to
// the simulated BMC's command table, never through the KCS ports, and the
// driver answers a non-zero completion code in either of the two forms IMB
// drivers use.
#ifndef SRVFW_TESTS_BMC_IMB_HOST_DRIVER_H
#define SRVFW_TESTS_BMC_IMB_HOST_DRIVER_H

#include <cstdint>
#include <optional>
#include <vector>

#include "bmc/message.h"

namespace bmc_test {

struct ImbDriverCall {
    std::uint8_t cmdType;
    std::uint8_t rsSa;
    std::uint8_t busType;
    std::uint8_t netFn;
    std::uint8_t rsLun;
    std::vector<std::uint8_t> data;
    int capacity;
    unsigned timeoutMs;
};

struct ImbHostDriver {
    int openResult = 1;
    int closeResult = 0;
    // Return -507 for a response with a non-zero completion code (else 0).
    bool completionCodeAsResult = false;
    // Report this response length instead of the true one.
    std::optional<int> reportedLength;

    int closeCalls = 0;
    std::vector<ImbDriverCall> calls;
};

// The driver's behaviour and what it was asked; reset by each test.
ImbHostDriver& HostDriver();

}  // namespace bmc_test

#endif
