// The machine a state directory holds, for commands that look at or change
// what is in it rather than its settings.
#ifndef SRVFW_SIM_SIMCTL_MACHINE_STATE_H
#define SRVFW_SIM_SIMCTL_MACHINE_STATE_H

#include <memory>

#include "sim/core/machine.h"
#include "sim/simctl/command.h"

namespace simctl {

// The machine of the directory with its state loaded; null (with the
// message printed) when the directory holds no simulated server.
std::unique_ptr<sim::Machine> OpenState(const Invocation& call);
// Saves it back; false (with the message printed) when that fails.
bool SaveState(const sim::Machine& machine, const Invocation& call);

}  // namespace simctl

#endif
