#include "sim/simctl/machine_state.h"

#include <cstdio>

namespace simctl {

std::unique_ptr<sim::Machine> OpenState(const Invocation& call) {
    if (!std::filesystem::exists(call.dir / "settings")) {
        std::fprintf(stderr, "simctl: %s holds no simulated server (run \"simctl %s init\")\n",
                     call.dir.c_str(), call.dir.c_str());
        return nullptr;
    }
    auto machine = std::make_unique<sim::Machine>(sim::SettingsOf(call.dir));
    sim::BuildMachine(*machine);
    machine->LoadState(call.dir);
    return machine;
}

bool SaveState(const sim::Machine& machine, const Invocation& call) {
    if (machine.SaveState(call.dir)) return true;
    std::fprintf(stderr, "simctl: cannot write the state directory %s\n", call.dir.c_str());
    return false;
}

}  // namespace simctl
