#include "host/fw/check.h"

#include "host/frame/text.h"

namespace srvfw {

ForSystem IsImageForSystem(FwLibrary& library, const FwImage& image, bool mayRestart) {
    if (image.type == FW_FILE_ME_BINARY) {
        // The library has no test for such an image: the engine refuses an
        // image that is not compatible when it is staged.
        return {std::nullopt,
                "the management engine checks a staged image itself (it answers \"not "
                "compatible\")"};
    }
    if (image.device != DUVANE_DEVICE_BMC && !mayRestart) {
        return {std::nullopt, "not asked: asking enters the " + FwDeviceName(image.device) +
                                  "'s transfer mode, which restarts it"};
    }
    bool fits = false;
    const std::uint32_t status = library.Try(
        "IsConfigurationFileForSystem", &_EFI_DUVANE_INTERFACE::IsConfigurationFileForSystem, fits);
    // The library's reason is the whole answer when it says no.
    const std::string reason = library.TakeLastError();
    if (status != 0) {
        throw Failure(ExitCode::kLibraryCall,
                      "asking whether the image is for this system: " +
                          (reason.empty() ? "the firmware library gave no reason" : reason),
                      status);
    }
    return {fits, fits ? "" : reason};
}

std::vector<AreaChange> AreaChanges(const FwImage& image, const RunningVersions& running) {
    std::vector<AreaChange> changes;
    for (const FwImageArea& area : image.areas) {
        AreaChange change{area.area, area.version, std::nullopt};
        if (const RunningArea* now = running.Area(*area.area)) change.running = now->version;
        changes.push_back(std::move(change));
    }
    return changes;
}

std::vector<std::string> SupportedList(const std::string& text) {
    std::vector<std::string> entries;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        std::string entry =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const std::size_t first = entry.find_first_not_of(' ');
        const std::size_t last = entry.find_last_not_of(' ');
        if (first == std::string::npos) {
            throw Failure(ExitCode::kUsage, "--supported \"" + ValidUtf8(text) +
                                                "\" has an empty entry (give versions such as "
                                                "1.05, 1.00-1.09 or 2.00+, separated by commas)");
        }
        entries.push_back(entry.substr(first, last - first + 1));
        if (comma == std::string::npos) return entries;
        start = comma + 1;
    }
}

std::vector<VersionSupport> SupportedVersions(FwLibrary& library, const RunningVersions& running,
                                              const std::vector<std::string>& list) {
    std::vector<std::wstring> wideList;
    for (const std::string& entry : list) {
        std::optional<std::wstring> wide = FromUtf8(entry);
        if (!wide) throw Failure(ExitCode::kUsage, "--supported holds text that is not UTF-8");
        wideList.push_back(std::move(*wide));
    }
    std::vector<const wchar_t*> entries;
    for (const std::wstring& entry : wideList) entries.push_back(entry.c_str());
    std::vector<VersionSupport> answers;
    for (const RunningArea& area : running.areas) {
        const std::wstring version(area.version.begin(), area.version.end());
        bool supported = false;
        const std::uint32_t status = library.Try(
            "IsVersionSupported", &_EFI_DUVANE_INTERFACE::IsVersionSupported, version.c_str(),
            entries.data(), static_cast<unsigned>(entries.size()), supported);
        if (status != 0) {
            throw library.Fail(ExitCode::kUsage,
                               "comparing the running " + std::string(area.area->title) + " " +
                                   area.version + " with --supported",
                               status);
        }
        answers.push_back({area.area, area.version, supported});
    }
    return answers;
}

}  // namespace srvfw
