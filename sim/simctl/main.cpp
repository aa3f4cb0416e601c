// simctl DIR COMMAND [ARGS...]: prepares and inspects the state directory of
// a simulated server, so that a person, the demo and the tests can set up a
// machine, run the simulated builds against it and look at the result.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "sim/simctl/command.h"

namespace simctl {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

}  // namespace simctl

namespace {

void Usage(std::FILE* out) {
    std::fprintf(out, "usage: simctl DIR COMMAND [ARGS...]\n\ncommands:\n");
    for (const simctl::Command& command : simctl::Registry()) {
        const std::string words = std::string(command.name) + " " + command.usage;
        std::fprintf(out, "  %-28s %s\n", words.c_str(), command.help);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Usage(stdout);
        return 0;
    }
    if (argc < 3) {
        Usage(stderr);
        return 2;
    }
    for (const simctl::Command& command : simctl::Registry()) {
        if (command.name == std::string(argv[2])) {
            // A setting the simulated server cannot be built from is the
            // user's to fix: say which, and change nothing.
            try {
                return command.handler(simctl::Invocation{argv[1], {argv + 3, argv + argc}});
            } catch (const std::exception& error) {
                std::fprintf(stderr, "simctl: %s\n", error.what());
                return 1;
            }
        }
    }
    std::fprintf(stderr, "simctl: unknown command \"%s\"\n\n", argv[2]);
    Usage(stderr);
    return 2;
}
