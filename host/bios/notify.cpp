#include "host/bios/notify.h"

#include "host/frame/failure.h"

namespace srvfw {

void SetUpdateNotify(BiosLibrary& library, bool set, int platform, const std::string& doing) {
    const std::uint32_t status =
        library.Try("SetUpdateNotify", &_EFI_RASK_IF::SetUpdateNotify, set);
    // The library keeps no text for this entry's failures.
    if (status == kRaskUnsupported) {
        throw Failure(ExitCode::kLibraryCall,
                      doing + ": the BIOS of platform " + std::to_string(platform) +
                          " takes no update notification",
                      status);
    }
    if (status != 0) throw library.Fail(ExitCode::kLibraryCall, doing, status);
}

}  // namespace srvfw
