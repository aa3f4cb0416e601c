#include "sim/bmc/fru/fru_log.h"

#include <cstdio>
#include <regex>

namespace sim::fru {

namespace {

void Add(RequestLog& log, const AccessRecord& access, const char* code, std::uint64_t atNs,
         const std::string& note) {
    std::string detail = "controller=" + access.controller + " target=" + access.target +
                         " device=" + (access.device.empty() ? "-" : access.device) +
                         " cc=" + code + " at=" + std::to_string(atNs);
    if (!note.empty()) detail += "; " + note;
    log.Add({kLogComponent, access.operation, access.offset, access.length, 0, detail});
}

}  // namespace

void LogAccess(RequestLog& log, const AccessRecord& access, std::uint8_t completionCode,
               std::uint64_t atNs, const std::string& note) {
    char code[8];
    std::snprintf(code, sizeof code, "%02X", completionCode);
    Add(log, access, code, atNs, note);
}

void LogUnanswered(RequestLog& log, const AccessRecord& access, std::uint64_t atNs,
                   const std::string& note) {
    Add(log, access, "--", atNs, note);
}

std::optional<LoggedAccess> ReadLoggedAccess(const LogEntry& entry) {
    static const std::regex kForm(
        "controller=(\\S+) target=(.+) device=(\\S+) cc=([0-9A-F]{2}|--) at=([0-9]+)"
        "(?:; (.*))?");
    std::smatch match;
    if (entry.component != kLogComponent || !std::regex_match(entry.detail, match, kForm)) {
        return std::nullopt;
    }
    const bool answered = match[4] != "--";
    return LoggedAccess{entry.operation,
                        match[1],
                        match[2],
                        match[3],
                        static_cast<std::uint32_t>(entry.address),
                        static_cast<std::uint32_t>(entry.value),
                        static_cast<std::uint8_t>(answered ? std::stoul(match[4], nullptr, 16) : 0),
                        answered,
                        std::stoull(match[5]),
                        match[6]};
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
