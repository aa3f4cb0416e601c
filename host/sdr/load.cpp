#include "host/sdr/load.h"

#include <array>

#include "host/frame/library_path.h"
#include "host/frame/text.h"
#include "host/sdr/records.h"

namespace srvfw {

namespace {

// What a load answers for a repository without records: an empty
// repository, which the commands show as such.
constexpr std::uint32_t kNoRecords = 0xC006002F;

// What the version lookups answer for a file whose OEM records do not
// name that version: the version is absent, which is no fault of the file.
constexpr std::uint32_t kVersionNotFound = 0xC006003C;
constexpr std::uint32_t kPackageVersionNotFound = 0xC006003D;

// An SDR file's tag line holds at most this many bytes of a tag, so a
// longer tag could match no record.
constexpr std::size_t kLongestTag = 255;

std::optional<std::string> Version(SdrLibrary& library, std::string_view what,
                                   std::uint32_t (*_EFI_SDR_INTERFACE::*entry)(_EFI_SDR_INTERFACE*,
                                                                               wchar_t*&),
                                   std::uint32_t notFound) {
    wchar_t* version = nullptr;
    const std::uint32_t status = library.Try(what, entry, version);
    if (status == notFound) {
        library.TakeLastError();
        return std::nullopt;
    }
    if (status != 0) throw library.Fail(ExitCode::kLibraryCall, what, status);
    if (version == nullptr) return std::nullopt;
    return LibraryText(version);
}

// Text of the current locale, as the library converts a tag back.
std::wstring LibraryTag(const std::string& tag) {
    const std::optional<std::wstring> wide = FromMultibyte(tag);
    if (!wide || tag.empty() || tag.size() > kLongestTag) {
        throw Failure(ExitCode::kUsage, "the tag \"" + ValidUtf8(tag) + "\" is not 1 to " +
                                            std::to_string(kLongestTag) +
                                            " bytes of text in the current locale");
    }
    return *wide;
}

void ForEachTag(SdrLibrary& library, const std::vector<std::string>& tags, std::string_view what,
                std::uint32_t (*_EFI_SDR_INTERFACE::*entry)(_EFI_SDR_INTERFACE*, wchar_t*)) {
    for (const std::string& tag : tags) {
        std::wstring wide = LibraryTag(tag);
        library.Call(std::string(what) + " \"" + tag + "\"", entry, wide.data());
    }
}

}  // namespace

bool LoadFromSystem(SdrLibrary& library) {
    const std::uint32_t status = library.Try("LoadConfigurationFromSystem",
                                             &_EFI_SDR_INTERFACE::LoadConfigurationFromSystem);
    if (status == kNoRecords) {
        library.TakeLastError();
        return false;
    }
    if (status != 0)
        throw library.Fail(ExitCode::kLibraryCall, "reading the SDR repository", status);
    return true;
}

void LoadFromFile(SdrLibrary& library, const std::filesystem::path& file) {
    const std::wstring path = LibraryPath(file);
    const std::uint32_t status =
        library.Try("LoadConfigurationFromFile", &_EFI_SDR_INTERFACE::LoadConfigurationFromFile,
                    path.c_str(), nullptr);
    if (status != 0) {
        throw library.Fail(ExitCode::kFile, "reading the SDR file " + file.string(), status);
    }
}

void SaveToFile(SdrLibrary& library, const std::filesystem::path& file) {
    const std::wstring path = LibraryPath(file);
    const std::uint32_t status =
        library.Try("SaveConfigurationToFile", &_EFI_SDR_INTERFACE::SaveConfigurationToFile,
                    path.c_str(), nullptr);
    if (status != 0) {
        throw library.Fail(ExitCode::kFile, "saving the SDR repository to " + file.string(),
                           status);
    }
}

std::vector<SdrProperty> ReadProperties(SdrLibrary& library) {
    library.Call("reading the SDR repository's information",
                 &_EFI_SDR_INTERFACE::LoadPropertiesFromSystem);
    library.Call("selecting the repository", &_EFI_SDR_INTERFACE::SelectSysData);
    unsigned count = 0;
    library.Call("counting the properties", &_EFI_SDR_INTERFACE::GetNumberOfProperties, count);
    // The library copies each text into a buffer of ours.
    const auto text = [&library](std::string_view what, std::uint32_t (*_EFI_SDR_INTERFACE::*entry)(
                                                            _EFI_SDR_INTERFACE*, wchar_t*&)) {
        std::array<wchar_t, SDR_PROPERTY_TEXT_LENGTH> buffer{};
        wchar_t* into = buffer.data();
        library.Call(what, entry, into);
        buffer.back() = L'\0';
        return LibraryText(into);
    };
    std::vector<SdrProperty> properties;
    for (unsigned index = 0; index < count; ++index) {
        library.Call("selecting a property", &_EFI_SDR_INTERFACE::SelectProperty, index);
        SdrProperty property;
        property.title = text("reading a property's title", &_EFI_SDR_INTERFACE::GetPropertyTitle);
        property.value = text("reading a property's value", &_EFI_SDR_INTERFACE::GetPropertyValue);
        properties.push_back(std::move(property));
    }
    return properties;
}

FileVersions ReadFileVersions(SdrLibrary& library) {
    FileVersions versions;
    versions.version = Version(library, "reading the file's SDR version",
                               &_EFI_SDR_INTERFACE::GetVersionFromFile, kVersionNotFound);
    versions.packageVersion =
        Version(library, "reading the file's package version",
                &_EFI_SDR_INTERFACE::GetPackageVersionFromFile, kPackageVersionNotFound);
    return versions;
}

void CheckTags(const std::vector<std::string>& tags) {
    for (const std::string& tag : tags) LibraryTag(tag);
}

void SetTags(SdrLibrary& library, const std::vector<std::string>& tags) {
    ForEachTag(library, tags, "setting the tag", &_EFI_SDR_INTERFACE::SetTag);
}

void ClearTags(SdrLibrary& library, const std::vector<std::string>& tags) {
    ForEachTag(library, tags, "clearing the tag", &_EFI_SDR_INTERFACE::ClearTag);
}

}  // namespace srvfw
