// What the simulated FRU devices were asked, in the request log (component
// "fru"), one entry per request that reached a controller's FRU commands or
// its Master Write-Read:
//   operation  "info"     Get FRU Inventory Area Info
//              "read"     Read FRU Data, or Master Write-Read with a read
//                         count
//              "write"    Write FRU Data, or Master Write-Read with data
//                         after the address and no read count
//              "address"  Master Write-Read that only sets the address
//   address    the offset the request named (for an EEPROM, the address it
//              set or the one its address counter held)
//   value      the length: the read count, or the bytes of data to write
//   detail     "controller=bmc target=id 00h device=baseboard cc=00 at=1500000"
//              "controller=bmc target=bus 03h slave A8h device=backplane cc=C0 at=0; busy"
//              target is what the request addressed; device is "-" when no
//              device is there; cc is "--" for a request the controller
//              never answered; at is the virtual time (ns) the request
//              arrived, so the pauses between retries show; "; NOTE" says
//              why the answer is not plain success ("busy", "read limit 4
//              bytes", "write-protected", "failing cell at 0010h", "write
//              not kept", "4 of 8 bytes", "short write: 3 of 8 bytes kept",
//              "no answer: the controller stopped", "raised SIGTERM")
// A request refused before it names a device (a short request) logs
// target "-".
#ifndef SRVFW_SIM_BMC_FRU_FRU_LOG_H
#define SRVFW_SIM_BMC_FRU_FRU_LOG_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/core/request_log.h"

namespace sim::fru {

inline constexpr const char* kLogComponent = "fru";

struct LoggedAccess {
    std::string operation;
    std::string controller;
    std::string target;
    std::string device;  // "-" when nothing is there
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    std::uint8_t completionCode = 0;
    bool answered = true;  // false: the controller never answered (cc "--")
    std::uint64_t atNs = 0;
    std::string note;
};

struct AccessRecord {
    std::string operation;
    std::string controller;
    std::string target;
    std::string device;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

void LogAccess(RequestLog& log, const AccessRecord& access, std::uint8_t completionCode,
               std::uint64_t atNs, const std::string& note);
// A request the controller took and never answered.
void LogUnanswered(RequestLog& log, const AccessRecord& access, std::uint64_t atNs,
                   const std::string& note);

// The access an entry of the log records, when it is one.
std::optional<LoggedAccess> ReadLoggedAccess(const LogEntry& entry);
// The accesses to one device (every access when device is empty), in order.
std::vector<LoggedAccess> LoggedAccesses(const RequestLog& log, const std::string& device = "");

}  // namespace sim::fru

#endif
