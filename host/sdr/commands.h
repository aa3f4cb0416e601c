// The sdr commands: the BMC's SDR repository and SDR files through
// libpemric.so.9.
#ifndef SRVFW_HOST_SDR_COMMANDS_H
#define SRVFW_HOST_SDR_COMMANDS_H

#include "host/frame/command.h"

namespace srvfw {

const CommandGroup& SdrCommands();

}  // namespace srvfw

#endif
