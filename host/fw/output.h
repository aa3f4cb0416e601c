// What the firmware commands print: text for people, or with --json one
// document for scripts.
#ifndef SRVFW_HOST_FW_OUTPUT_H
#define SRVFW_HOST_FW_OUTPUT_H

#include <ostream>
#include <string>
#include <vector>

#include "host/fw/check.h"
#include "host/fw/image.h"
#include "host/fw/running.h"
#include "host/fw/update.h"

namespace srvfw {

void PrintImage(std::ostream& out, bool json, const FwImage& image);
void PrintVersions(std::ostream& out, bool json, const std::vector<RunningVersions>& controllers);

struct FwCheckResult {
    FwImage image;
    RunningVersions running;
    ForSystem forSystem;
    std::vector<AreaChange> changes;
    std::vector<std::string> supportedList;
    std::vector<VersionSupport> supported;
};
void PrintCheck(std::ostream& out, bool json, const FwCheckResult& check);

void PrintUpdate(std::ostream& out, bool json, const FwUpdateOutcome& outcome);

}  // namespace srvfw

#endif
