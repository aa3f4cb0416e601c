// The command groups srvfw offers; a library's commands join by a line here.
#include "host/bios/commands.h"
#include "host/frame/command.h"
#include "host/fru/commands.h"
#include "host/fw/commands.h"
#include "host/sdr/commands.h"

namespace srvfw {

std::span<const CommandGroup* const> CommandGroups() {
    static const CommandGroup* const groups[] = {&FruCommands(), &SdrCommands(), &FwCommands(),
                                                 &BiosCommands()};
    return groups;
}

}  // namespace srvfw
