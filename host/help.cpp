#include "host/help.h"

namespace srvfw {

namespace {

constexpr const char* kOptions = R"(
Options (anywhere on the command line):
  --sim DIR        run the simulated libraries (<bin>/../sim/lib) against the
                   simulated server kept in DIR ("simctl DIR init" makes one)
  --lib-dir DIR    load the libraries from DIR (default <bin>/../lib)
  --res-dir DIR    the folder holding the string files (default <bin>/../res)
  --platform N     the platform code handed to the libraries (default 0)
  --debug LEVEL    the libraries' debug log, 1 (failures) to 3 (every call),
                   written to DBGLOG.txt in the current directory (default 0:
                   no log)
  --locale LL-CC   the language of the libraries' texts (default en-us)
  --interface WAY  how the libraries reach the BMC: "driver" through the
                   kernel's IPMI driver (/dev/ipmi0: ipmi_si and
                   ipmi_devintf), "kcs" through the KCS ports (root; not
                   while the kernel's driver owns them), "auto" (default)
                   the driver when its device opens, else the ports, and
                   refused when ipmi_si runs without its device
  --json           results as one JSON document on standard output, progress
                   as one JSON object a line on standard error, errors as
                   {"error": ...}
  -h, --help       this text; "srvfw GROUP --help" tells more of a group
  --               every word after it is not an option

Progress and notes go to standard error, results to standard output.

Exit codes:
  0  success
  1  the command line is wrong (nothing was loaded or changed)
  2  a library, its string files or the simulated server cannot be loaded,
     or the way to the BMC (--interface) cannot be used
  3  a library call failed: the library's message and status code say why
  4  a file cannot be read or written (a backup included)
  5  the request does not fit the FRU (no such area or field, a file of
     another layout), the SDR repository (a file of which no record would
     be written), the firmware image (an area it does not hold, another
     controller) or the BIOS (no such area, an image of another size);
     nothing was written
  6  SIGINT, SIGTERM or SIGHUP arrived during a write, which was finished
     (and read back) before srvfw stopped
  7  an SDR write failed and the backup made before it was written back:
     the repository holds what it held before; or a BIOS area's write
     failed and every block still holds its old contents
  8  an SDR write failed and writing the backup back failed too: the
     message names the backup to write with "srvfw sdr write"
  9  the firmware image is not for this system: "fw check" says so, and
     "fw update" writes nothing without --yes
)";

void PrintCommands(std::ostream& out, const CommandGroup& group) {
    for (const Command& command : group.commands) {
        out << "  srvfw [OPTIONS] " << group.name << ' ' << command.name
            << (command.usage.empty() ? "" : " ") << command.usage << "\n      " << command.summary
            << '\n';
    }
}

}  // namespace

void PrintHelp(std::ostream& out) {
    out << "srvfw: the host utility of the server firmware tools. It loads their\n"
           "libraries and works through them.\n\nCommands:\n";
    for (const CommandGroup* group : CommandGroups()) PrintCommands(out, *group);
    out << kOptions;
}

void PrintGroupHelp(std::ostream& out, const CommandGroup& group) {
    out << "srvfw " << group.name << ": " << group.summary << "\n\nCommands:\n";
    PrintCommands(out, group);
    group.help(out);
    out << "\nThe options of every command: srvfw --help\n";
}

}  // namespace srvfw
