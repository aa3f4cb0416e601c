// The bios commands: the BIOS's flash tables and areas, the update
// notification and the SMBIOS data through librask.so.9.
#ifndef SRVFW_HOST_BIOS_COMMANDS_H
#define SRVFW_HOST_BIOS_COMMANDS_H

#include "host/frame/command.h"

namespace srvfw {

const CommandGroup& BiosCommands();

}  // namespace srvfw

#endif
