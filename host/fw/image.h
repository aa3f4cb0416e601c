// A firmware image file as the library reads it, and what srvfw shows of
// it: the controller it is for, its areas with their ranges and versions,
// the platform it is built for.
#ifndef SRVFW_HOST_FW_IMAGE_H
#define SRVFW_HOST_FW_IMAGE_H

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/fw/areas.h"
#include "host/fw/library.h"

namespace srvfw {

// --type, or the file's name: ".hex" (any case) is a hex record file,
// anything else a binary image.
FwFileType FwImageType(const std::filesystem::path& file, const std::optional<std::string>& type);
std::string FwImageTypeName(FwFileType type);

struct FwAddressRange {
    unsigned start = 0;
    unsigned end = 0;  // inclusive
};

struct FwImageArea {
    const FwAreaName* area = nullptr;
    std::string version;
    // None when the library does not say.
    std::optional<FwAddressRange> range;
};

struct FwImage {
    std::filesystem::path file;
    FwFileType type = FW_FILE_BINARY;
    unsigned char device = 0;
    std::string deviceName;
    std::vector<FwImageArea> areas;  // those the image holds, in the library's order
    std::optional<std::string> platformId;
    std::optional<unsigned> piaVersion;  // the PIA block's type, 2 or 3

    const FwImageArea* Area(const FwAreaName& area) const;
    // The controller an update writes: the image's own, or for a
    // management-engine image the engine.
    unsigned char Target() const;
};

// Loads the image into the library (which keeps it as its current image)
// and reads what it holds; throws a file error with the library's reason.
FwImage LoadImage(FwLibrary& library, const std::filesystem::path& file, FwFileType type);

}  // namespace srvfw

#endif
