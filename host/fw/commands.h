// The fw commands: firmware images and the controllers' firmware through
// libduvane.so.9.
#ifndef SRVFW_HOST_FW_COMMANDS_H
#define SRVFW_HOST_FW_COMMANDS_H

#include "host/frame/command.h"

namespace srvfw {

const CommandGroup& FwCommands();

}  // namespace srvfw

#endif
