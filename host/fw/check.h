// Whether an image fits this system: the library's own test (the BMC's
// product ID, another controller's identification in its boot block),
// which areas an update would change, and whether the running versions
// are among those a list supports.
#ifndef SRVFW_HOST_FW_CHECK_H
#define SRVFW_HOST_FW_CHECK_H

#include <optional>
#include <string>
#include <vector>

#include "host/fw/image.h"
#include "host/fw/running.h"

namespace srvfw {

struct ForSystem {
    std::optional<bool> fits;  // none when srvfw did not ask
    std::string note;          // why it did not ask, or the library's reason
};

// Asks the library whether the current image is for this system; the
// running versions must have been read (the BMC's product ID comes with
// them). Asking about a controller other than the BMC enters its transfer
// mode and leaves it again, which restarts it: `mayRestart` false answers
// without asking.
ForSystem IsImageForSystem(FwLibrary& library, const FwImage& image, bool mayRestart);

struct AreaChange {
    const FwAreaName* area = nullptr;
    std::string imageVersion;
    std::optional<std::string> running;  // none when the controller reports none
    bool Changes() const { return !running || *running != imageVersion; }
};
std::vector<AreaChange> AreaChanges(const FwImage& image, const RunningVersions& running);

struct VersionSupport {
    const FwAreaName* area = nullptr;
    std::string version;
    bool supported = false;
};
// --supported "1.00-1.09,2.00+": the entries, blanks around them dropped;
// a usage error for an empty one.
std::vector<std::string> SupportedList(const std::string& text);
// Each running version against the list; a version text or entry the
// library cannot read is a usage error with its reason.
std::vector<VersionSupport> SupportedVersions(FwLibrary& library, const RunningVersions& running,
                                              const std::vector<std::string>& list);

}  // namespace srvfw

#endif
