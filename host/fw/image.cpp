#include "host/fw/image.h"

#include <algorithm>

#include "host/frame/library_path.h"
#include "host/frame/text.h"

namespace srvfw {

namespace {

// A library text, or none for a null or empty one.
std::optional<std::string> Text(const wchar_t* text) {
    std::string utf8 = ToUtf8(text);
    if (utf8.empty()) return std::nullopt;
    return utf8;
}

std::optional<FwAddressRange> Range(FwLibrary& library, EFWUPDATE_DEVICE_AREA area) {
    if (!library.Has(&_EFI_DUVANE_INTERFACE::GetAreaRangeFromFile)) return std::nullopt;
    FwAddressRange range;
    const std::uint32_t status =
        library.Try("reading an area's range", &_EFI_DUVANE_INTERFACE::GetAreaRangeFromFile, area,
                    range.start, range.end);
    if (status != 0) {
        library.TakeLastError();
        return std::nullopt;
    }
    return range;
}

std::vector<FwImageArea> Areas(FwLibrary& library) {
    std::vector<FwImageArea> areas;
    for (const FwAreaName& name : FwAreaNames()) {
        if (!name.inImage) continue;
        library.Call("selecting the " + std::string(name.title),
                     &_EFI_DUVANE_INTERFACE::SelectDeviceArea, name.versionArea);
        wchar_t* version = nullptr;
        library.Call("reading the image's version", &_EFI_DUVANE_INTERFACE::GetVersionFromFile,
                     version);
        // The library gives no version for an area the image has no block
        // for.
        if (version == nullptr) continue;
        areas.push_back({&name, ToUtf8(version), Range(library, name.versionArea)});
    }
    return areas;
}

}  // namespace

FwFileType FwImageType(const std::filesystem::path& file, const std::optional<std::string>& type) {
    if (type) {
        if (*type == "hex") return FW_FILE_HEX;
        if (*type == "bin") return FW_FILE_BINARY;
        if (*type == "me") return FW_FILE_ME_BINARY;
        throw Failure(ExitCode::kUsage,
                      "--type " + ValidUtf8(*type) + " is not an image type (hex, bin or me)");
    }
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".hex" ? FW_FILE_HEX : FW_FILE_BINARY;
}

std::string FwImageTypeName(FwFileType type) {
    switch (type) {
        case FW_FILE_HEX:
            return "hex";
        case FW_FILE_ME_BINARY:
            return "me";
        default:
            return "bin";
    }
}

const FwImageArea* FwImage::Area(const FwAreaName& area) const {
    for (const FwImageArea& held : areas) {
        if (held.area == &area) return &held;
    }
    return nullptr;
}

unsigned char FwImage::Target() const {
    return type == FW_FILE_ME_BINARY ? DUVANE_DEVICE_ME : device;
}

FwImage LoadImage(FwLibrary& library, const std::filesystem::path& file, FwFileType type) {
    const std::wstring path = LibraryPath(file);
    const std::uint32_t status =
        library.Try("LoadConfigurationFromFile", &_EFI_DUVANE_INTERFACE::LoadConfigurationFromFile,
                    path.c_str(), path.c_str(), type);
    if (status != 0) {
        throw library.Fail(ExitCode::kFile,
                           "reading the " + FwImageTypeName(type) + " image " + file.string(),
                           status);
    }
    FwImage image;
    image.file = file;
    image.type = type;
    library.Call("reading the image's device address",
                 &_EFI_DUVANE_INTERFACE::GetDeviceAddressFromFile, image.device);
    wchar_t* name = nullptr;
    library.Call("reading the image's device name", &_EFI_DUVANE_INTERFACE::GetDeviceNameFromFile,
                 name);
    image.deviceName = Text(name).value_or("");
    image.areas = Areas(library);
    const FwImageArea* pia = image.Area(FwAreaNamed("pia"));
    if (pia != nullptr) {
        wchar_t* platform = nullptr;
        library.Call("reading the image's platform ID",
                     &_EFI_DUVANE_INTERFACE::GetBIOSPlatformIdFromFile, platform);
        image.platformId = Text(platform);
        unsigned piaVersion = 0;
        library.Call("reading the image's PIA type", &_EFI_DUVANE_INTERFACE::GetPiaVersion,
                     piaVersion);
        image.piaVersion = piaVersion;
    }
    return image;
}

}  // namespace srvfw
