// Writing an image to its controller. Before anything is sent the image is
// read, the areas asked for are checked against it, the controller's
// running versions are read and the library is asked whether the image is
// for this system: an image that is not is refused unless the user says
// --yes. The library then writes and verifies the areas; after a failure
// srvfw says what had finished and whether the controller is still in
// firmware transfer mode.
#ifndef SRVFW_HOST_FW_UPDATE_H
#define SRVFW_HOST_FW_UPDATE_H

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/frame/progress.h"
#include "host/fw/check.h"

namespace srvfw {

struct FwUpdateRequest {
    std::filesystem::path file;
    FwFileType type = FW_FILE_BINARY;
    std::vector<const FwAreaName*> areas;  // none: every area the image holds
    std::optional<unsigned char> device;
    bool dryRun = false;
    bool yes = false;
};

struct FwUpdatePlan {
    FwImage image;
    unsigned char device = 0;
    RunningVersions before;
    ForSystem forSystem;
    std::vector<AreaChange> areas;  // what is written, in the order it is written
    // Set when the controller's update takes areas of its own choosing.
    std::optional<std::string> areasNote;
};

struct FwUpdateOutcome {
    FwUpdatePlan plan;
    bool dryRun = false;
    bool written = false;
    std::vector<std::string> completed;  // the library's phases, as labelled
    RunningVersions after;               // read again after the update
};

// Throws a Failure for a refused or failed update; `progress` shows the
// library's phases and tells which of them finished.
FwUpdateOutcome UpdateFirmware(FwLibrary& library, const FwUpdateRequest& request,
                               const ProgressDisplay& progress);

}  // namespace srvfw

#endif
