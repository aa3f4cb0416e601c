#include "host/fw/commands.h"

#include "host/frame/failure.h"
#include "host/fw/check.h"
#include "host/fw/help.h"
#include "host/fw/image.h"
#include "host/fw/library.h"
#include "host/fw/output.h"
#include "host/fw/running.h"
#include "host/fw/update.h"

namespace srvfw {

namespace {

struct ImageArguments {
    std::filesystem::path file;
    FwFileType type;
};

ImageArguments TakeImage(Arguments& arguments) {
    const std::optional<std::string> type = arguments.TakeValue("--type");
    const std::filesystem::path file = std::filesystem::absolute(arguments.TakeWord("FILE"));
    return {file, FwImageType(file, type)};
}

std::optional<unsigned char> TakeDevice(Arguments& arguments) {
    const std::optional<std::string> device = arguments.TakeValue("--device");
    if (!device) return std::nullopt;
    return ParseFwDevice(*device);
}

void Info(CommandContext& context, Arguments& arguments) {
    const ImageArguments image = TakeImage(arguments);
    arguments.ExpectNoMore();
    FwLibrary library(context.places, context.options);
    PrintImage(context.out, context.options.json, LoadImage(library, image.file, image.type));
}

void Versions(CommandContext& context, Arguments& arguments) {
    const std::optional<unsigned char> device = TakeDevice(arguments);
    arguments.ExpectNoMore();
    FwLibrary library(context.places, context.options);
    std::vector<RunningVersions> controllers;
    if (device) {
        controllers.push_back(RequireRunningVersions(library, *device));
    } else {
        for (const unsigned char address : FwDevices()) {
            controllers.push_back(ReadRunningVersions(library, address));
        }
    }
    PrintVersions(context.out, context.options.json, controllers);
}

void Check(CommandContext& context, Arguments& arguments) {
    const std::optional<std::string> supported = arguments.TakeValue("--supported");
    const ImageArguments file = TakeImage(arguments);
    arguments.ExpectNoMore();
    FwCheckResult check;
    if (supported) check.supportedList = SupportedList(*supported);
    FwLibrary library(context.places, context.options);
    check.image = LoadImage(library, file.file, file.type);
    check.running = RequireRunningVersions(library, check.image.Target());
    check.forSystem = IsImageForSystem(library, check.image, true);
    check.changes = AreaChanges(check.image, check.running);
    if (!check.supportedList.empty()) {
        check.supported = SupportedVersions(library, check.running, check.supportedList);
    }
    PrintCheck(context.out, context.options.json, check);
    if (check.forSystem.fits == false) {
        throw Failure(ExitCode::kNotForSystem,
                      "the image " + file.file.string() + " is not for this system");
    }
}

void Update(CommandContext& context, Arguments& arguments) {
    FwUpdateRequest request;
    for (const std::string& area : arguments.TakeValues("--area")) {
        request.areas.push_back(&FwAreaNamed(area));
    }
    request.device = TakeDevice(arguments);
    request.dryRun = arguments.TakeFlag("--dry-run");
    request.yes = arguments.TakeFlag("--yes");
    const ImageArguments image = TakeImage(arguments);
    request.file = image.file;
    request.type = image.type;
    arguments.ExpectNoMore();
    FwLibrary library(context.places, context.options);
    PrintUpdate(context.out, context.options.json,
                UpdateFirmware(library, request, context.progress));
}

constexpr Command kCommands[] = {
    {"info", "FILE [--type hex|bin|me]",
     "show what an image holds: its controller, areas, versions and platform", Info},
    {"versions", "[--device ADDR]", "show the versions each controller runs", Versions},
    {"check", "FILE [--type hex|bin|me] [--supported LIST]",
     "tell whether an image is for this system and which areas it would change", Check},
    {"update", "FILE [--type hex|bin|me] [--area AREA]... [--device ADDR] [--dry-run] [--yes]",
     "write an image's areas to its controller and verify them", Update},
};

}  // namespace

const CommandGroup& FwCommands() {
    static const CommandGroup group{
        "fw", "the firmware of the BMC and the controllers behind it, through libduvane.so.9",
        kCommands, FwHelp};
    return group;
}

}  // namespace srvfw
