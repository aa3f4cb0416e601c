#include "host/fw/update.h"

#include <algorithm>

#include "host/frame/stop_signals_while_writing.h"

namespace srvfw {

namespace {

std::string Controller(unsigned char device) {
    return "the " + FwDeviceName(device) + " at " + FwDeviceAddress(device);
}

unsigned char TargetOf(const FwImage& image, const std::optional<unsigned char>& device) {
    const unsigned char target = image.Target();
    if (device && *device != target) {
        throw Failure(ExitCode::kDoesNotFit, "the image " + image.file.string() + " is for " +
                                                 Controller(target) + ", not for --device " +
                                                 FwDeviceAddress(*device) +
                                                 "; nothing was written");
    }
    return target;
}

bool HoldsArea(const FwImage& image, const FwAreaName& area) {
    if (image.type == FW_FILE_ME_BINARY) {
        // The engine stages its image whole, as its operational code or its
        // PIA.
        return area.updateArea == BMC_FW_AREA_OPCODE || area.updateArea == BMC_FW_AREA_PIA;
    }
    // The RMM area is written through the EFS range.
    return image.Area(area.inImage ? area : FwAreaNamed("efs")) != nullptr;
}

std::vector<const FwAreaName*> ChosenAreas(const FwImage& image,
                                           const std::vector<const FwAreaName*>& asked) {
    std::vector<const FwAreaName*> chosen;
    for (const FwAreaName& area : FwAreaNames()) {
        const bool wanted =
            asked.empty()
                ? (image.type == FW_FILE_ME_BINARY ? area.updateArea == BMC_FW_AREA_OPCODE
                                                   : area.inImage && image.Area(area) != nullptr)
                : std::find(asked.begin(), asked.end(), &area) != asked.end();
        if (!wanted) continue;
        if (!HoldsArea(image, area)) {
            throw Failure(ExitCode::kDoesNotFit, "the image " + image.file.string() + " holds no " +
                                                     std::string(area.title) + " (--area " +
                                                     std::string(area.name) +
                                                     "); nothing was written");
        }
        chosen.push_back(&area);
    }
    return chosen;
}

// The front-panel controller and the hot-swap controllers take the areas
// their part allows, whatever is selected.
std::optional<std::string> FixedAreas(const FwImage& image, std::vector<const FwAreaName*>& areas) {
    const auto only = [&image, &areas](std::initializer_list<const char*> names) {
        areas.clear();
        for (const char* name : names) {
            const FwAreaName& area = FwAreaNamed(name);
            if (image.Area(area) != nullptr) areas.push_back(&area);
        }
    };
    switch (image.device) {
        case DUVANE_DEVICE_FRONT_PANEL:
            only({"boot", "opcode"});
            return "the front-panel controller takes its boot area and then its operational "
                   "code, whatever --area says";
        case DUVANE_DEVICE_HSC0:
        case DUVANE_DEVICE_HSC1:
            // A Vitesse part (its image names it "VSC") takes new
            // operational code, another part a new boot area.
            if (std::string_view("VSC").starts_with(image.deviceName)) {
                only({"opcode", "pia"});
            } else {
                only({"boot", "pia"});
            }
            return "a hot-swap controller takes the areas its part allows, whatever --area says";
        default:
            return std::nullopt;
    }
}

FwUpdatePlan Plan(FwLibrary& library, const FwUpdateRequest& request) {
    FwUpdatePlan plan;
    plan.image = LoadImage(library, request.file, request.type);
    plan.device = TargetOf(plan.image, request.device);
    std::vector<const FwAreaName*> areas = ChosenAreas(plan.image, request.areas);
    if (plan.image.type != FW_FILE_ME_BINARY) plan.areasNote = FixedAreas(plan.image, areas);
    plan.before = RequireRunningVersions(library, plan.device);
    plan.forSystem = IsImageForSystem(library, plan.image, !request.dryRun);
    const std::vector<AreaChange> changes = AreaChanges(plan.image, plan.before);
    for (const FwAreaName* area : areas) {
        AreaChange change{area, "", std::nullopt};
        for (const AreaChange& held : changes) {
            if (held.area == area) change = held;
        }
        if (const RunningArea* now = plan.before.Area(*area)) change.running = now->version;
        plan.areas.push_back(std::move(change));
    }
    if (plan.forSystem.fits == false && !request.yes) {
        throw Failure(ExitCode::kNotForSystem,
                      "the image " + request.file.string() + " is not for this system" +
                          (plan.forSystem.note.empty() ? "" : " (" + plan.forSystem.note + ")") +
                          "; nothing was written. --yes writes it all the same");
    }
    return plan;
}

std::string Listed(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

// What the failure left: the phases that had finished and whether the
// controller is still in transfer mode.
Failure AfterFailure(FwLibrary& library, const Failure& failure, unsigned char device,
                     const std::vector<std::string>& completed) {
    std::string sentences = completed.empty()
                                ? "No area had been written whole."
                                : "Finished before the failure: " + Listed(completed) + ".";
    if (!library.Has(&_EFI_DUVANE_INTERFACE::IsDeviceInFwTransferMode)) {
        return failure.With(sentences + " This library does not say whether " + Controller(device) +
                            " left firmware transfer mode.");
    }
    bool inTransferMode = false;
    const std::uint32_t status =
        library.Try("IsDeviceInFwTransferMode", &_EFI_DUVANE_INTERFACE::IsDeviceInFwTransferMode,
                    inTransferMode);
    if (status != 0) {
        const std::string reason = library.TakeLastError();
        sentences += " Whether " + Controller(device) +
                     " left firmware transfer mode is not known: asking failed" +
                     (reason.empty() ? "." : " (" + reason + ").");
    } else if (inTransferMode) {
        sentences += " " + Controller(device) +
                     " is STILL in firmware transfer mode: it runs no firmware until an update "
                     "succeeds.";
    } else {
        sentences += " " + Controller(device) + " left firmware transfer mode.";
    }
    return failure.With(sentences);
}

}  // namespace

FwUpdateOutcome UpdateFirmware(FwLibrary& library, const FwUpdateRequest& request,
                               const ProgressDisplay& progress) {
    FwUpdateOutcome outcome;
    outcome.plan = Plan(library, request);
    outcome.dryRun = request.dryRun;
    if (request.dryRun) return outcome;

    for (const AreaChange& area : outcome.plan.areas) {
        library.Call("selecting the " + std::string(area.area->title) + " for the update",
                     &_EFI_DUVANE_INTERFACE::SelectFwAreaforUpdate, area.area->updateArea);
    }
    const unsigned char device = outcome.plan.device;
    StopSignalsHeldWhileWriting held(Controller(device) + "'s firmware");
    const std::uint32_t status = library.Try("CommitConfigurationToSystem",
                                             &_EFI_DUVANE_INTERFACE::CommitConfigurationToSystem);
    outcome.completed = progress.Completed();
    if (status != 0) {
        throw AfterFailure(
            library, library.Fail(ExitCode::kLibraryCall, "updating " + Controller(device), status),
            device, outcome.completed);
    }
    outcome.written = true;
    outcome.after = ReadRunningVersions(library, device);
    held.Finished();
    return outcome;
}

}  // namespace srvfw
