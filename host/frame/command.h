// What a command gets from the frame, and how a library's commands are
// listed: each library has a group ("fru", later "sdr", "firmware",
// "bios") in files of its own, and the frame finds them in one table.
#ifndef SRVFW_HOST_FRAME_COMMAND_H
#define SRVFW_HOST_FRAME_COMMAND_H

#include <ostream>
#include <span>
#include <string_view>

#include "host/frame/arguments.h"
#include "host/frame/frame_options.h"
#include "host/frame/library_places.h"
#include "host/frame/progress.h"

namespace srvfw {

struct CommandContext {
    const FrameOptions& options;
    LibraryPlaces places;
    std::ostream& out;  // results: text, or one JSON document with --json
    std::ostream& err;  // progress and notes
    ProgressDisplay& progress;
};

struct Command {
    std::string_view name;
    std::string_view usage;    // the words after the command's name
    std::string_view summary;  // one line
    // Takes its arguments (and refuses leftovers) before it loads anything;
    // failures throw srvfw::Failure.
    void (*run)(CommandContext& context, Arguments& arguments);
};

struct CommandGroup {
    std::string_view name;
    std::string_view summary;
    std::span<const Command> commands;
    // Everything else "srvfw GROUP --help" says: names, value forms, notes.
    void (*help)(std::ostream& out);
};

// The groups srvfw offers, in the order --help lists them.
std::span<const CommandGroup* const> CommandGroups();

}  // namespace srvfw

#endif
