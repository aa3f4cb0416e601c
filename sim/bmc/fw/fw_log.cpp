#include "sim/bmc/fw/fw_log.h"

#include <cstdio>
#include <sstream>

namespace sim::fw {

namespace {

bool DecimalField(const std::string& key) {
    return key == "length" || key == "wait" || key == "restart_ms" || key == "at";
}

}  // namespace

std::string Hex16(std::uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

std::string LoggedCommand::Field(const std::string& key) const {
    const auto found = fields.find(key);
    return found == fields.end() ? "" : found->second;
}

std::uint64_t LoggedCommand::Number(const std::string& key) const {
    const std::string text = Field(key);
    if (text.empty()) return 0;
    return std::stoull(text, nullptr, DecimalField(key) ? 10 : 16);
}

std::vector<LoggedCommand> FirmwareLog(const RequestLog& log) {
    std::vector<LoggedCommand> commands;
    for (const LogEntry& entry : log.Of(kLogComponent)) {
        LoggedCommand command;
        command.operation = entry.operation;
        command.controller = static_cast<std::uint8_t>(entry.address);
        if (entry.value != kNoAnswer)
            command.completionCode = static_cast<std::uint8_t>(entry.value);
        std::istringstream words(entry.detail);
        std::string word;
        while (words >> word) {
            const std::size_t equals = word.find('=');
            if (equals == std::string::npos) continue;
            command.fields[word.substr(0, equals)] = word.substr(equals + 1);
        }
        command.atNs = command.Number("at");
        commands.push_back(std::move(command));
    }
    return commands;
}

}  // namespace sim::fw
