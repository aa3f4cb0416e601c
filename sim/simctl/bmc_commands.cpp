// The commands over the BMC: one IPMI request to the simulated BMC, as a
// person trying the server out would send it with ipmitool's "raw".
#include <cstdio>
#include <vector>

#include "sim/bmc/bmc.h"
#include "sim/core/setting_lists.h"
#include "sim/simctl/command.h"
#include "sim/simctl/machine_state.h"

namespace simctl {

namespace {

int Ipmi(const Invocation& call) {
    if (call.args.size() < 2) {
        std::fprintf(stderr, "simctl: ipmi needs NETFN CMD [BYTE...]\n");
        return 2;
    }
    std::vector<std::uint8_t> bytes;
    for (const std::string& arg : call.args) {
        bytes.push_back(static_cast<std::uint8_t>(sim::SettingNumber("ipmi", arg, 0xFF)));
    }
    auto machine = OpenState(call);
    if (!machine) return 1;
    const sim::ipmi::Request request{
        bytes[0], 0, bytes[1], std::span(bytes).subspan(2), sim::ipmi::Origin::kSystemInterface, 0};
    const sim::ipmi::Response response = machine->Find<sim::Bmc>()->Process(request);
    std::printf("%s\n", sim::ipmi::FormatExchange(request, response).c_str());
    return SaveState(*machine, call) ? 0 : 1;
}

}  // namespace

SIMCTL_COMMAND("ipmi", "NETFN CMD [BYTE...]",
               "send one IPMI request to the BMC and print its response", Ipmi);

}  // namespace simctl
