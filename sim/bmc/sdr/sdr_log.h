// What the SDR repository was asked, in the request log (component "sdr"),
// one entry per request that reached its commands:
//   operation  "info" "reserve" "get" "add" "clear" (Get SDR Repository
//              Info, Reserve, Get SDR, Partial Add, Clear), "open" "write"
//              "close" (the OEM area commands)
//   address    the record ID the request named (0 when it names none)
//   value      the bytes it asked for or carried (Get SDR: the count byte;
//              Partial Add and write to area: the record or image bytes;
//              close: the image length)
//   detail     "cc=00 reservation=0003 record=0002 offset=16 count=16 at=1500000"
//              then "; NOTE" when the answer is not plain success or a fault
//              struck ("reservation cancelled", "no such record", "busy",
//              "part dropped", "offset 8, expected 16", "checksum 1234h,
//              image sums to 0FA0h"...). Fields by operation:
//                get     reservation record offset count next
//                add     reservation record offset flag (hex) id (assigned)
//                clear   reservation flag (hex) progress
//                reserve reservation (the new one)
//                open    area
//                write   sequence (decimal) bytes
//                close   length checksum (hex)
//              IDs, reservations and checksums are four hex digits; at is
//              the virtual time (ns), so the polls of an erase show.
// A request the command table refused for its form logs only cc and at.
#ifndef SRVFW_SIM_BMC_SDR_SDR_LOG_H
#define SRVFW_SIM_BMC_SDR_SDR_LOG_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/core/request_log.h"

namespace sim::sdr {

inline constexpr const char* kLogComponent = "sdr";

// The fields of one request, in the order the log shows them.
struct RequestRecord {
    std::string operation;
    std::uint16_t recordId = 0;
    std::uint32_t length = 0;
    std::vector<std::pair<std::string, std::string>> fields;

    void Hex16(const char* name, std::uint16_t value);
    void Hex8(const char* name, std::uint8_t value);
    void Number(const char* name, std::uint64_t value);
};

void LogRequest(RequestLog& log, const RequestRecord& request, std::uint8_t completionCode,
                std::uint64_t atNs, const std::string& note);

struct LoggedRequest {
    std::string operation;
    std::uint16_t recordId = 0;
    std::uint32_t length = 0;
    std::map<std::string, std::string> fields;
    std::uint8_t completionCode = 0;
    std::uint64_t atNs = 0;
    std::string note;

    // The field, "" when the entry has none of that name.
    std::string Field(const std::string& name) const;
};

std::optional<LoggedRequest> ReadLoggedRequest(const LogEntry& entry);
// Every request of the operation (all when it is empty), in order.
std::vector<LoggedRequest> LoggedRequests(const RequestLog& log, const std::string& operation = "");

}  // namespace sim::sdr

#endif
