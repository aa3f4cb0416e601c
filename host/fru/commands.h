// The fru commands: show, get, set, save, load and write a FRU through
// liborvel.so.9.
#ifndef SRVFW_HOST_FRU_COMMANDS_H
#define SRVFW_HOST_FRU_COMMANDS_H

#include "host/frame/command.h"

namespace srvfw {

const CommandGroup& FruCommands();

}  // namespace srvfw

#endif
