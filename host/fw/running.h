// The versions a controller runs, as the library reads them from its Get
// Device ID answer (and, for the BMC, its vendor features).
#ifndef SRVFW_HOST_FW_RUNNING_H
#define SRVFW_HOST_FW_RUNNING_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/fw/areas.h"
#include "host/fw/library.h"

namespace srvfw {

struct RunningArea {
    const FwAreaName* area = nullptr;
    std::string version;
};

struct RunningVersions {
    unsigned char device = 0;
    // The library's reason when the controller did not answer.
    std::optional<std::string> failure;
    std::uint32_t status = 0;        // the library's status with it
    std::vector<RunningArea> areas;  // those the controller reports

    const RunningArea* Area(const FwAreaName& area) const;
};

// Selects the controller in the library and reads its versions; a
// controller that does not answer is reported as such, not thrown.
RunningVersions ReadRunningVersions(FwLibrary& library, unsigned char device);

// The same, throwing (a failed library call) when it does not answer.
RunningVersions RequireRunningVersions(FwLibrary& library, unsigned char device);

}  // namespace srvfw

#endif
