// What the simulated controllers' firmware and vendor commands were asked,
// as the update tests read it.
#ifndef SRVFW_TESTS_DUVANE_FIRMWARE_LOG_H
#define SRVFW_TESTS_DUVANE_FIRMWARE_LOG_H

#include <string>
#include <vector>

#include "sim/bmc/fw/fw_log.h"
#include "sim/core/machine.h"

namespace duvane_test {

// The firmware commands of one operation ("write", "read"...), or all.
inline std::vector<sim::fw::LoggedCommand> Commands(const std::string& operation = "") {
    std::vector<sim::fw::LoggedCommand> commands;
    for (sim::fw::LoggedCommand& command : sim::fw::FirmwareLog(sim::TheMachine().Log())) {
        if (operation.empty() || command.operation == operation) commands.push_back(command);
    }
    return commands;
}

// The operations in order, a run of one shown once with its count:
// "enter segment write*4 exit".
template <typename Logged>
std::string CollapsedRuns(const std::vector<Logged>& requests) {
    std::string text;
    for (std::size_t i = 0; i < requests.size();) {
        std::size_t run = 1;
        while (i + run < requests.size() && requests[i + run].operation == requests[i].operation) {
            ++run;
        }
        text += (text.empty() ? "" : " ") + requests[i].operation;
        if (run > 1) text += "*" + std::to_string(run);
        i += run;
    }
    return text;
}

}  // namespace duvane_test

#endif
