// What "srvfw fw --help" says beyond the command lines: image types,
// areas, controllers, version lists, and how an update goes.
#ifndef SRVFW_HOST_FW_HELP_H
#define SRVFW_HOST_FW_HELP_H

#include <ostream>

namespace srvfw {

void FwHelp(std::ostream& out);

}  // namespace srvfw

#endif
