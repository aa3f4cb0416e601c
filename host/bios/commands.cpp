#include "host/bios/commands.h"

#include "host/bios/area_file.h"
#include "host/bios/area_io.h"
#include "host/bios/help.h"
#include "host/bios/library_reads.h"
#include "host/bios/notify.h"
#include "host/bios/output.h"
#include "host/bios/system_data.h"
#include "host/bios/write.h"
#include "host/frame/stop_signals_while_writing.h"

namespace srvfw {

namespace {

// A word as a shell takes it back: quoted when it holds anything but
// plain characters.
std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789-_./=:+,") == std::string::npos;
    if (plain) return word;
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The frame's options that reach the same library and flash again.
std::string SameFlashOptions(const FrameOptions& options) {
    std::string words;
    const auto path = [&words](const char* name, const std::optional<std::filesystem::path>& p) {
        if (p) words += std::string(" ") + name + " " + ShellWord(p->string());
    };
    path("--sim", options.simDir);
    path("--lib-dir", options.libDir);
    path("--res-dir", options.resDir);
    if (options.platform != 0) words += " --platform " + std::to_string(options.platform);
    return words;
}

void Tables(CommandContext& context, Arguments& arguments) {
    arguments.ExpectNoMore();
    BiosLibrary library(context.places, context.options);
    BiosTablesView view;
    view.tables = ReadBiosTables(library, true);
    view.notifyState = ReadNotifyState(library);
    view.device = ReadFlashDeviceInfo(library);
    PrintTables(context.out, context.options.json, view);
}

void Read(CommandContext& context, Arguments& arguments) {
    const std::string areaWord = arguments.TakeWord("AREA");
    const std::filesystem::path file = std::filesystem::absolute(arguments.TakeWord("FILE"));
    arguments.ExpectNoMore();
    BiosLibrary library(context.places, context.options);
    const BiosAreaTable fat = RequireAreaTable(library);
    const BiosArea& area = RequireArea(fat, areaWord);
    AreaAccess access(library, fat, area);
    const std::vector<std::uint8_t> image =
        access.ReadAll(context.progress, L"Reading area " + std::to_wstring(area.number));
    WriteNewFile(file, image);
    PrintRead(context.out, context.options.json, area, file);
}

void Write(CommandContext& context, Arguments& arguments) {
    BiosWriteRequest request;
    request.options = TakeWriteOptions(arguments);
    request.notify = arguments.TakeFlag("--notify");
    if (request.notify && request.options.dryRun) {
        throw Failure(ExitCode::kUsage,
                      "--notify has no use with --dry-run: a dry run writes nothing to tell of");
    }
    request.area = arguments.TakeWord("AREA");
    request.file = std::filesystem::absolute(arguments.TakeWord("FILE"));
    arguments.ExpectNoMore();
    request.frameOptions = SameFlashOptions(context.options);
    request.platform = context.options.platform;
    BiosLibrary library(context.places, context.options);
    PrintWrite(context.out, context.options.json,
               WriteBiosArea(library, request, context.progress));
}

void Notify(CommandContext& context, Arguments& arguments) {
    const std::string action = arguments.TakeWord().value_or("status");
    if (action != "status" && action != "set" && action != "reset") {
        throw Failure(ExitCode::kUsage, "notify takes status, set or reset, not " + action);
    }
    arguments.ExpectNoMore();
    BiosLibrary library(context.places, context.options);
    if (action != "status") {
        StopSignalsHeldWhileWriting held("the BIOS's update notification");
        SetUpdateNotify(library, action == "set", context.options.platform,
                        action == "set" ? "telling the BIOS of an update"
                                        : "withdrawing the update notification");
        held.Finished();
    }
    PrintNotify(context.out, context.options.json, action, ReadNotifyState(library));
}

void Smbios(CommandContext& context, Arguments& arguments) {
    const bool entryPoint = arguments.TakeFlag("--entry-point");
    arguments.ExpectNoMore();
    BiosLibrary library(context.places, context.options);
    if (entryPoint) {
        PrintBytes(context.out, context.options.json, "SMBIOS entry point",
                   ReadSmbiosEntryPoint(library));
    } else {
        PrintBytes(context.out, context.options.json, "SMBIOS structure table",
                   ReadSmbiosTable(library));
    }
}

void PlatformId(CommandContext& context, Arguments& arguments) {
    arguments.ExpectNoMore();
    BiosLibrary library(context.places, context.options);
    PrintPlatformId(context.out, context.options.json, ReadPlatformId(library));
}

constexpr Command kCommands[] = {
    {"tables", "",
     "show the BIOS's flash segments, areas, update notification and how the flash is reached",
     Tables},
    {"read", "AREA FILE", "save a BIOS area to a new file", Read},
    {"write", "AREA FILE [--dry-run] [--backup FILE] [--notify]",
     "write a BIOS area from an image of its size, after saving the area as it is", Write},
    {"notify", "[status|set|reset]", "show, set or withdraw the BIOS's update notification",
     Notify},
    {"smbios", "[--entry-point]", "show the SMBIOS structure table (or its entry point) in hex",
     Smbios},
    {"platform-id", "", "show the platform ID the memory device's driver gives", PlatformId},
};

}  // namespace

const CommandGroup& BiosCommands() {
    static const CommandGroup group{"bios", "the BIOS flash and its areas, through librask.so.9",
                                    kCommands, BiosHelp};
    return group;
}

}  // namespace srvfw
