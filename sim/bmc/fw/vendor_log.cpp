#include "sim/bmc/fw/vendor_log.h"

#include <cstdio>

namespace sim::vendor {

void LogRequest(RequestLog& log, const std::string& component, const LoggedRequest& request) {
    char head[48];
    std::snprintf(head, sizeof head, "cc=%02X at=%llu", request.completionCode,
                  static_cast<unsigned long long>(request.atNs));
    std::string detail = head;
    if (!request.note.empty()) detail += "; " + request.note;
    log.Add({component, request.operation, request.address, request.value, 0, detail});
}

ipmi::Response Answer(Machine& machine, const std::string& component, LoggedRequest& entry,
                      std::uint8_t completionCode, std::string note,
                      std::vector<std::uint8_t> data) {
    entry.completionCode = completionCode;
    entry.atNs = machine.Clock().NowNs();
    entry.note = std::move(note);
    LogRequest(machine.Log(), component, entry);
    return {completionCode, std::move(data)};
}

void ServeLogged(ipmi::CommandTable& commands, Machine& machine, const std::string& component,
                 std::uint8_t netFn, std::uint8_t cmd, ipmi::RequestLength length,
                 const std::string& operation, ipmi::CommandTable::Handler handler) {
    commands.Register(netFn, cmd, {length, ipmi::kLunZero}, std::move(handler),
                      [&machine, component, operation](const ipmi::Request&, std::uint8_t code) {
                          LoggedRequest entry{operation};
                          Answer(machine, component, entry, code);
                      });
}

std::optional<LoggedRequest> ReadLoggedRequest(const LogEntry& entry) {
    unsigned code = 0;
    unsigned long long at = 0;
    int used = 0;
    if (std::sscanf(entry.detail.c_str(), "cc=%2x at=%llu%n", &code, &at, &used) != 2) {
        return std::nullopt;
    }
    LoggedRequest request(entry.operation, entry.address, entry.value);
    request.completionCode = static_cast<std::uint8_t>(code);
    request.atNs = at;
    const std::string rest = entry.detail.substr(static_cast<std::size_t>(used));
    if (rest.rfind("; ", 0) == 0) request.note = rest.substr(2);
    return request;
}

std::vector<LoggedRequest> LoggedRequests(const RequestLog& log, const std::string& component,
                                          const std::string& operation) {
    std::vector<LoggedRequest> requests;
    for (const LogEntry& entry : log.Of(component)) {
        auto request = ReadLoggedRequest(entry);
        if (request && (operation.empty() || request->operation == operation)) {
            requests.push_back(std::move(*request));
        }
    }
    return requests;
}

}  // namespace sim::vendor
