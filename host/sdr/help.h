// What "srvfw sdr --help" says beyond the command lines: record IDs and
// types, tags, and how a file is written back.
#ifndef SRVFW_HOST_SDR_HELP_H
#define SRVFW_HOST_SDR_HELP_H

#include <ostream>

namespace srvfw {

void SdrHelp(std::ostream& out);

}  // namespace srvfw

#endif
