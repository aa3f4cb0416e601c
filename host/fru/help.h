// What "srvfw fru --help" says beyond the command lines: field names, value
// forms, locator options, backups and the write-back of a file.
#ifndef SRVFW_HOST_FRU_HELP_H
#define SRVFW_HOST_FRU_HELP_H

#include <ostream>

namespace srvfw {

void FruHelp(std::ostream& out);

}  // namespace srvfw

#endif
