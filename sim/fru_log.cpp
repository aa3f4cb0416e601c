#include "sim/fru_log.h"

#include <cstdio>
#include <regex>

namespace sim::fru {

void LogAccess(RequestLog& log, const AccessRecord& access, std::uint8_t completionCode,
               const std::string& note) {
    char code[16];
    std::snprintf(code, sizeof code, " cc=%02X", completionCode);
    std::string detail = "controller=" + access.controller + " target=" + access.target +
                         " device=" + (access.device.empty() ? "-" : access.device) + code;
    if (!note.empty()) detail += "; " + note;
    log.Add({kLogComponent, access.operation, access.offset, access.length, 0, detail});
}

std::optional<LoggedAccess> ReadLoggedAccess(const LogEntry& entry) {
    static const std::regex kForm(
        "controller=(\\S+) target=(.+) device=(\\S+) cc=([0-9A-F]{2})(?:; (.*))?");
    std::smatch match;
    if (entry.component != kLogComponent || !std::regex_match(entry.detail, match, kForm)) {
        return std::nullopt;
    }
    return LoggedAccess{entry.operation,
                        match[1],
                        match[2],
                        match[3],
                        static_cast<std::uint32_t>(entry.address),
                        static_cast<std::uint32_t>(entry.value),
                        static_cast<std::uint8_t>(std::stoul(match[4], nullptr, 16)),
                        match[5]};
}

std::vector<LoggedAccess> LoggedAccesses(const RequestLog& log, const std::string& device) {
    std::vector<LoggedAccess> accesses;
    for (const LogEntry& entry : log.Of(kLogComponent)) {
        auto access = ReadLoggedAccess(entry);
        if (access && (device.empty() || access->device == device)) {
            accesses.push_back(std::move(*access));
        }
    }
    return accesses;
}

}  // namespace sim::fru
