// Bringing records into the library's data sets, from the BMC's repository
// or from an SDR file, saving the repository to a file, and what else the
// library tells of a set: the repository's properties, a file's versions,
// and the tags a commit goes by.
#ifndef SRVFW_HOST_SDR_LOAD_H
#define SRVFW_HOST_SDR_LOAD_H

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/sdr/library.h"

namespace srvfw {

// Reads every record of the repository into the system set; false when
// the repository holds none (the library then loads nothing). Throws with
// the library's reason.
bool LoadFromSystem(SdrLibrary& library);
// Reads an SDR file into the file set; throws a file error.
void LoadFromFile(SdrLibrary& library, const std::filesystem::path& file);
// Saves the system set to an SDR file; throws a file error.
void SaveToFile(SdrLibrary& library, const std::filesystem::path& file);

struct SdrProperty {
    std::string title;
    std::string value;
};
// Reads the repository information alone and returns its properties.
std::vector<SdrProperty> ReadProperties(SdrLibrary& library);

// The versions the file set's OEM records name; none when the file names
// none.
struct FileVersions {
    std::optional<std::string> version;
    std::optional<std::string> packageVersion;
};
FileVersions ReadFileVersions(SdrLibrary& library);

// A usage error for a tag the library cannot take.
void CheckTags(const std::vector<std::string>& tags);
// The tags a commit writes tagged records for (see SetTag).
void SetTags(SdrLibrary& library, const std::vector<std::string>& tags);
void ClearTags(SdrLibrary& library, const std::vector<std::string>& tags);

}  // namespace srvfw

#endif
