// The command groups srvfw offers; a library's commands join by a line here.
#include "host/command.h"
#include "host/fru_commands.h"

namespace srvfw {

std::span<const CommandGroup* const> CommandGroups() {
    static const CommandGroup* const groups[] = {&FruCommands()};
    return groups;
}

}  // namespace srvfw
