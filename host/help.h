// srvfw's usage texts.
#ifndef SRVFW_HOST_HELP_H
#define SRVFW_HOST_HELP_H

#include <ostream>

#include "host/frame/command.h"

namespace srvfw {

// "srvfw --help": the command lines of every group, the options, the exit
// codes.
void PrintHelp(std::ostream& out);
// "srvfw GROUP --help": the group's command lines and its own notes.
void PrintGroupHelp(std::ostream& out, const CommandGroup& group);

}  // namespace srvfw

#endif
