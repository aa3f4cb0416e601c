// The command over the management engine: what firmware it runs, in which
// mode, and how far a staged update has come, as a person following an
// update of the engine would want to see it; optionally the running image
// itself, to compare with the file that was staged.
#include <cstdio>
#include <fstream>
#include <iostream>

#include "sim/bmc/fw/me_staging.h"
#include "sim/simctl/command.h"
#include "sim/simctl/machine_state.h"

namespace simctl {

namespace {

bool WriteImage(const std::string& file, const std::vector<std::uint8_t>& image) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    if (!out) std::fprintf(stderr, "simctl: cannot write %s\n", file.c_str());
    return static_cast<bool>(out);
}

int MeShow(const Invocation& call) {
    const bool withImage = call.args.size() == 2 && call.args[0] == "--image";
    if (!call.args.empty() && !withImage) {
        std::fprintf(stderr, "simctl: me-show takes only --image FILE\n");
        return 2;
    }
    auto machine = OpenState(call);
    if (!machine) return 1;
    const sim::ManagementEngine* engine = machine->Find<sim::ManagementEngine>();
    engine->Describe(std::cout);
    if (!engine->Present()) return 1;
    if (!withImage) return 0;
    if (engine->RunningImage().empty()) {
        std::fprintf(stderr, "simctl: the engine has taken no image yet\n");
        return 1;
    }
    return WriteImage(call.args[1], engine->RunningImage()) ? 0 : 1;
}

}  // namespace

SIMCTL_COMMAND("me-show", "[--image FILE]",
               "show the management engine's firmware, mode and staging (and save its image)",
               MeShow);

}  // namespace simctl
