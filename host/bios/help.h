// What "srvfw bios --help" tells beyond the list of commands.
#ifndef SRVFW_HOST_BIOS_HELP_H
#define SRVFW_HOST_BIOS_HELP_H

#include <ostream>

namespace srvfw {

void BiosHelp(std::ostream& out);

}  // namespace srvfw

#endif
