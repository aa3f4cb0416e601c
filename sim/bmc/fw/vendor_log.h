// What our controllers' vendor commands were asked, in the request log: the
// management engine's staging commands (component "me") and the BMC's
// vendor features with the chassis capabilities (component "fw"). One entry
// per request that reached a handler:
//   operation  the command's short name (each component lists its own)
//   address    the request's leading field: a sequence number, an area, a
//              checksum, a lock byte (0 when it has none)
//   value      a count or a result: the bytes a write carried, the length a
//              close named, the status byte answered
//   detail     "cc=00 at=1500000", then "; NOTE" when the answer is not
//              plain success or an injected fault struck ("busy", "sequence
//              3, expected 2", "fault: ..."). at is the virtual time in ns,
//              so the polls of an erase show.
#ifndef SRVFW_SIM_BMC_FW_VENDOR_LOG_H
#define SRVFW_SIM_BMC_FW_VENDOR_LOG_H

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/bmc/ipmi_controller.h"
#include "sim/core/machine.h"
#include "sim/core/request_log.h"

namespace sim::vendor {

inline constexpr const char* kMeComponent = "me";
inline constexpr const char* kBmcComponent = "fw";

struct LoggedRequest {
    LoggedRequest() = default;
    LoggedRequest(std::string operationName, std::uint64_t addressField = 0,
                  std::uint64_t valueField = 0)
        : operation(std::move(operationName)), address(addressField), value(valueField) {}

    std::string operation;
    std::uint64_t address = 0;
    std::uint64_t value = 0;
    std::uint8_t completionCode = 0;
    std::uint64_t atNs = 0;
    std::string note;
};

void LogRequest(RequestLog& log, const std::string& component, const LoggedRequest& request);

// The answer to a request, logged with it at the machine's present time.
ipmi::Response Answer(Machine& machine, const std::string& component, LoggedRequest& entry,
                      std::uint8_t completionCode, std::string note = "",
                      std::vector<std::uint8_t> data = {});

// Registers a command served on LUN 0 whose refusals by the table (C2h,
// C7h) are logged under its operation like the handler's own answers.
void ServeLogged(ipmi::CommandTable& commands, Machine& machine, const std::string& component,
                 std::uint8_t netFn, std::uint8_t cmd, ipmi::RequestLength length,
                 const std::string& operation, ipmi::CommandTable::Handler handler);

std::optional<LoggedRequest> ReadLoggedRequest(const LogEntry& entry);
// The component's requests of the operation (all when it is empty), in order.
std::vector<LoggedRequest> LoggedRequests(const RequestLog& log, const std::string& component,
                                          const std::string& operation = "");

}  // namespace sim::vendor

#endif
