// simctl's commands. Each file of simctl/ registers its own with
// SIMCTL_COMMAND, so that a new part of the simulated server brings its
// commands along without touching the others.
#ifndef SRVFW_SIM_SIMCTL_COMMAND_H
#define SRVFW_SIM_SIMCTL_COMMAND_H

#include <filesystem>
#include <string>
#include <vector>

namespace simctl {

struct Invocation {
    std::filesystem::path dir;      // the state directory
    std::vector<std::string> args;  // the words after the command's name
};

// Returns the exit status; messages go to stdout/stderr.
using Handler = int (*)(const Invocation&);

struct Command {
    const char* name;
    const char* usage;  // arguments, e.g. "FILE"
    const char* help;   // one line
    Handler handler;
};

std::vector<Command>& Registry();

struct Registration {
    explicit Registration(Command command) { Registry().push_back(command); }
};

}  // namespace simctl

#define SIMCTL_CONCAT2(a, b) a##b
#define SIMCTL_CONCAT(a, b) SIMCTL_CONCAT2(a, b)
#define SIMCTL_COMMAND(name, usage, help, handler)     \
    static const ::simctl::Registration SIMCTL_CONCAT( \
        kRegistration, __LINE__)(::simctl::Command{name, usage, help, handler})

#endif
