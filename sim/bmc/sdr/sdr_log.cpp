#include "sim/bmc/sdr/sdr_log.h"

#include <cstdio>
#include <sstream>

namespace sim::sdr {

void RequestRecord::Hex16(const char* name, std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    fields.emplace_back(name, text);
}

void RequestRecord::Hex8(const char* name, std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value);
    fields.emplace_back(name, text);
}

void RequestRecord::Number(const char* name, std::uint64_t value) {
    fields.emplace_back(name, std::to_string(value));
}

void LogRequest(RequestLog& log, const RequestRecord& request, std::uint8_t completionCode,
                std::uint64_t atNs, const std::string& note) {
    char code[8];
    std::snprintf(code, sizeof code, "%02X", completionCode);
    std::string detail = std::string("cc=") + code;
    for (const auto& [name, value] : request.fields) detail += " " + name + "=" + value;
    detail += " at=" + std::to_string(atNs);
    if (!note.empty()) detail += "; " + note;
    log.Add({kLogComponent, request.operation, request.recordId, request.length, 0, detail});
}

std::string LoggedRequest::Field(const std::string& name) const {
    const auto found = fields.find(name);
    return found == fields.end() ? "" : found->second;
}

std::optional<LoggedRequest> ReadLoggedRequest(const LogEntry& entry) {
    if (entry.component != kLogComponent) return std::nullopt;
    LoggedRequest request{entry.operation,
                          static_cast<std::uint16_t>(entry.address),
                          static_cast<std::uint32_t>(entry.value),
                          {},
                          0,
                          0,
                          ""};
    const auto noteAt = entry.detail.find("; ");
    if (noteAt != std::string::npos) request.note = entry.detail.substr(noteAt + 2);
    std::istringstream words(entry.detail.substr(0, noteAt));
    std::string word;
    while (words >> word) {
        const auto equals = word.find('=');
        if (equals == std::string::npos) return std::nullopt;
        request.fields[word.substr(0, equals)] = word.substr(equals + 1);
    }
    if (request.Field("cc").empty() || request.Field("at").empty()) return std::nullopt;
    request.completionCode =
        static_cast<std::uint8_t>(std::stoul(request.Field("cc"), nullptr, 16));
    request.atNs = std::stoull(request.Field("at"));
    return request;
}

std::vector<LoggedRequest> LoggedRequests(const RequestLog& log, const std::string& operation) {
    std::vector<LoggedRequest> requests;
    for (const LogEntry& entry : log.Of(kLogComponent)) {
        auto request = ReadLoggedRequest(entry);
        if (request && (operation.empty() || request->operation == operation)) {
            requests.push_back(std::move(*request));
        }
    }
    return requests;
}

}  // namespace sim::sdr
