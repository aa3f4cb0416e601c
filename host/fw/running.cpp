#include "host/fw/running.h"

#include <array>

#include "host/frame/text.h"

namespace srvfw {

const RunningArea* RunningVersions::Area(const FwAreaName& area) const {
    for (const RunningArea& running : areas) {
        if (running.area == &area) return &running;
    }
    return nullptr;
}

RunningVersions ReadRunningVersions(FwLibrary& library, unsigned char device) {
    RunningVersions running;
    running.device = device;
    library.Call("selecting the controller " + FwDeviceAddress(device),
                 &_EFI_DUVANE_INTERFACE::SelectDeviceAddress, device);
    const std::uint32_t status = library.Try("LoadConfigurationFromSystem",
                                             &_EFI_DUVANE_INTERFACE::LoadConfigurationFromSystem);
    if (status != 0) {
        const std::string reason = library.TakeLastError();
        running.failure = reason.empty() ? "it does not answer" : reason;
        running.status = status;
        return running;
    }
    for (const FwAreaName& name : FwAreaNames()) {
        library.Call("selecting the " + std::string(name.title),
                     &_EFI_DUVANE_INTERFACE::SelectDeviceArea, name.versionArea);
        // The library copies a fixed number of characters, without
        // promising an end.
        std::array<wchar_t, DUVANE_VERSION_LENGTH + 1> version{};
        // A controller reports no version for an area it does not have
        // (the library may say so with a status, or with an empty text).
        if (library.Try("reading the running version", &_EFI_DUVANE_INTERFACE::GetVersionFromSystem,
                        version.data()) != 0) {
            library.TakeLastError();
            continue;
        }
        version.back() = L'\0';
        std::string text = ToUtf8(version.data());
        if (!text.empty()) running.areas.push_back({&name, std::move(text)});
    }
    return running;
}

RunningVersions RequireRunningVersions(FwLibrary& library, unsigned char device) {
    RunningVersions running = ReadRunningVersions(library, device);
    if (running.failure) {
        throw Failure(ExitCode::kLibraryCall,
                      "reading the running versions of the " + FwDeviceName(device) + " at " +
                          FwDeviceAddress(device) + ": " + *running.failure,
                      running.status);
    }
    return running;
}

}  // namespace srvfw
