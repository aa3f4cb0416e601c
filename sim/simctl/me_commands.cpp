// The commands over the management engine: what firmware it runs, in which
// mode, and how far a staged update has come, as a person following an
// update of the engine would want to see it (optionally the running image
// itself, to compare with the file that was staged); and an engine image
// to stage, for trying the firmware update library out.
#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "sim/bmc/fw/fw_settings.h"
#include "sim/bmc/fw/me_staging.h"
#include "sim/core/setting_lists.h"
#include "sim/simctl/command.h"
#include "sim/simctl/files.h"
#include "sim/simctl/machine_state.h"

namespace simctl {

namespace {

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
    return WriteFile(call.args[1], engine->RunningImage()) ? 0 : 1;
}

// The engine writes an image one byte a request, so a default image is
// small enough to stage in a moment.
constexpr std::size_t kDefaultImageBytes = 4096;
constexpr std::size_t kLargestImageBytes = 0x4000000;

int BuildImage(const Invocation& call) {
    if (call.args.empty() || call.args.size() % 2 == 0) {
        std::fprintf(stderr, "simctl: me-image needs OUT [--size N] [--version X.YY]\n");
        return 2;
    }
    std::size_t size = kDefaultImageBytes;
    sim::me::FirmwareVersion version{3, 0x02};
    for (std::size_t at = 1; at + 1 < call.args.size(); at += 2) {
        const std::string& option = call.args[at];
        const std::string& value = call.args[at + 1];
        if (option == "--size") {
            size = sim::SettingNumber(option, value, kLargestImageBytes);
        } else if (option == "--version") {
            const sim::fw::BlockVersion parsed = sim::fw::ParseVersion(option, value);
            version = {static_cast<std::uint8_t>(parsed.major),
                       static_cast<std::uint8_t>(parsed.minor)};
        } else {
            throw std::invalid_argument("unknown option " + option);
        }
    }
    const std::vector<std::uint8_t> image = sim::me::BuildMeImage(size, version);
    if (!WriteFile(call.args[0], image)) return 1;
    std::printf("built %s: engine image of %zu bytes, version %s\n", call.args[0].c_str(),
                image.size(), version.Text().c_str());
    return 0;
}

}  // namespace

SIMCTL_COMMAND("me-image", "OUT [--size N] [--version X.YY]",
               "build a management engine image (binary, with its OpCodeInfo block)", BuildImage);
SIMCTL_COMMAND("me-show", "[--image FILE]",
               "show the management engine's firmware, mode and staging (and save its image)",
               MeShow);

}  // namespace simctl
