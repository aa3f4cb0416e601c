// The chipset as a program left it, for a user who wants to see why the
// BIOS flash answered as it did: BIOS control, straps and top swap, the SPI
// controller's menu and the SPI part's status.
#include <cstdio>
#include <iostream>

#include "sim/simctl/command.h"
#include "sim/simctl/machine_state.h"

namespace simctl {

namespace {

int ShowChipset(const Invocation& call) {
    if (!call.args.empty()) {
        std::fprintf(stderr, "simctl: chipset-show takes no arguments\n");
        return 2;
    }
    auto machine = OpenState(call);
    if (!machine) return 1;
    for (const auto& device : machine->Devices()) {
        if (device->Name() == "chipset") device->Describe(std::cout);
    }
    return 0;
}

}  // namespace

SIMCTL_COMMAND("chipset-show", "", "show the chipset's BIOS control, straps, top swap and SPI menu",
               ShowChipset);

}  // namespace simctl
