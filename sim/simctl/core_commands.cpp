// The commands over the machine as a whole: create, show, change settings.
#include <cstdio>
#include <iostream>

#include "sim/core/machine.h"
#include "sim/simctl/command.h"

namespace simctl {

namespace {

bool HasState(const std::filesystem::path& dir) {
    return std::filesystem::exists(dir / "settings");
}

// Builds the machine of the directory's settings with the given changes
// applied, loads its state and saves it back.
int Rebuild(const Invocation& call, const std::vector<std::string>& assignments, bool fresh) {
    sim::Settings settings = fresh ? sim::Settings{} : sim::SettingsOf(call.dir);
    for (const std::string& assignment : assignments) {
        if (auto error = settings.ParseAssignment(assignment)) {
            std::fprintf(stderr, "simctl: %s\n", error->c_str());
            return 2;
        }
    }
    sim::Machine machine(settings);
    sim::BuildMachine(machine);
    if (!fresh) machine.LoadState(call.dir);
    if (!machine.SaveState(call.dir)) {
        std::fprintf(stderr, "simctl: cannot write the state directory %s\n", call.dir.c_str());
        return 1;
    }
    return 0;
}

int Init(const Invocation& call) {
    if (HasState(call.dir)) {
        std::filesystem::remove_all(call.dir / "memory");
    }
    const int status = Rebuild(call, call.args, true);
    if (status == 0) std::printf("simulated server initialized in %s\n", call.dir.c_str());
    return status;
}

int Set(const Invocation& call) {
    if (!HasState(call.dir)) {
        std::fprintf(stderr, "simctl: %s holds no simulated server (run \"simctl %s init\")\n",
                     call.dir.c_str(), call.dir.c_str());
        return 1;
    }
    if (call.args.empty()) {
        std::fprintf(stderr, "simctl: set needs KEY=VALUE\n");
        return 2;
    }
    return Rebuild(call, call.args, false);
}

int Show(const Invocation& call) {
    if (!HasState(call.dir)) {
        std::fprintf(stderr, "simctl: %s holds no simulated server (run \"simctl %s init\")\n",
                     call.dir.c_str(), call.dir.c_str());
        return 1;
    }
    sim::Machine machine(sim::SettingsOf(call.dir));
    sim::BuildMachine(machine);
    machine.LoadState(call.dir);
    machine.Describe(std::cout);
    return 0;
}

}  // namespace

SIMCTL_COMMAND("init", "[KEY=VALUE...]", "create a default simulated server (replacing one there)",
               Init);
SIMCTL_COMMAND("set", "KEY=VALUE...", "change settings of the simulated server", Set);
SIMCTL_COMMAND("show", "", "describe the simulated server", Show);

}  // namespace simctl
