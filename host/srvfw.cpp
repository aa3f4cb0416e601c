#include "host/srvfw.h"

#include <algorithm>
#include <new>

#include "host/frame/command.h"
#include "host/frame/failure.h"
#include "host/frame/json_writer.h"
#include "host/frame/text.h"
#include "host/help.h"

namespace srvfw {

namespace {

template <class T>
const T* Named(std::span<const T> items, const std::string& name) {
    for (const T& item : items) {
        if (item.name == name) return &item;
    }
    return nullptr;
}

const CommandGroup* GroupNamed(const std::string& name) {
    for (const CommandGroup* group : CommandGroups()) {
        if (group->name == name) return group;
    }
    return nullptr;
}

void Report(const Failure& failure, std::ostream& out, std::ostream& err, bool json) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject().Key("error").BeginObject();
        writer.Key("message").String(failure.what());
        writer.Key("status").StringOrNull(
            failure.Status() ? std::optional(HexWord(*failure.Status())) : std::nullopt);
        writer.Key("exit_code").Number(static_cast<int>(failure.Code()));
        writer.EndObject().EndObject().Finish();
        return;
    }
    err << "srvfw: " << failure.what();
    if (failure.Status()) err << " (status " << HexWord(*failure.Status()) << ")";
    err << '\n';
    if (failure.Code() == ExitCode::kUsage) err << "(\"srvfw --help\" shows the commands)\n";
}

void RunCommand(Arguments& arguments, const FrameOptions& options, std::ostream& out,
                std::ostream& err, bool terminal) {
    const std::optional<std::string> groupName = arguments.TakeWord();
    if (!groupName) {
        if (options.help) return PrintHelp(out);
        throw Failure(ExitCode::kUsage, "missing a command");
    }
    const CommandGroup* group = GroupNamed(*groupName);
    if (group == nullptr) throw Failure(ExitCode::kUsage, "unknown command \"" + *groupName + "\"");
    const std::optional<std::string> commandName = arguments.TakeWord();
    if (options.help) return PrintGroupHelp(out, *group);
    if (!commandName) throw Failure(ExitCode::kUsage, "missing a " + *groupName + " command");
    const Command* command = Named(group->commands, *commandName);
    if (command == nullptr) {
        throw Failure(ExitCode::kUsage,
                      "unknown command \"" + *groupName + " " + *commandName + "\"");
    }
    // Only --lib-dir and --res-dir together spare srvfw looking for itself.
    const std::filesystem::path programDir =
        options.libDir && options.resDir ? std::filesystem::path() : ProgramDir();
    if (options.simDir) UseSimulatedServer(*options.simDir);
    ProgressDisplay progress(err, options.json, terminal);
    ProgressTarget target(progress);
    CommandContext context{options, PlacesFor(options, programDir), out, err, progress};
    command->run(context, arguments);
}

}  // namespace

bool AsksForJson(const std::vector<std::string>& args) {
    const auto end = std::find(args.begin(), args.end(), "--");
    return std::find(args.begin(), end, "--json") != end;
}

int Run(std::vector<std::string> args, std::ostream& out, std::ostream& err, bool terminal) {
    bool json = AsksForJson(args);
    try {
        Arguments arguments(std::move(args));
        const FrameOptions options = TakeFrameOptions(arguments);
        json = options.json;
        RunCommand(arguments, options, out, err, terminal);
        out.flush();
        return static_cast<int>(ExitCode::kSuccess);
    } catch (const Failure& failure) {
        Report(failure, out, err, json);
        return static_cast<int>(failure.Code());
    } catch (const std::filesystem::filesystem_error& error) {
        Report(Failure(ExitCode::kFile, error.what()), out, err, json);
        return static_cast<int>(ExitCode::kFile);
    } catch (const std::bad_alloc&) {
        Report(Failure(ExitCode::kLibraryCall, "out of memory"), out, err, json);
        return static_cast<int>(ExitCode::kLibraryCall);
    }
}

}  // namespace srvfw
