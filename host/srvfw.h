// srvfw from its command line to its exit code, with its output streams
// given, so that tests can run it in their own process.
#ifndef SRVFW_HOST_SRVFW_H
#define SRVFW_HOST_SRVFW_H

#include <ostream>
#include <string>
#include <vector>

namespace srvfw {

// `args` are the words after the program's name; `terminal` says whether
// `err` is a terminal (progress bars are then redrawn in place).
int Run(std::vector<std::string> args, std::ostream& out, std::ostream& err, bool terminal);

// Whether the command line asks for JSON output (--json before any "--"):
// known before the options are read, so that even a usage error is
// reported in the form the script asked for.
bool AsksForJson(const std::vector<std::string>& args);

}  // namespace srvfw

#endif
