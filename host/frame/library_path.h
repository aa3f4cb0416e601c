// A path as the libraries take it: wide text of the current locale, which
// they convert back with the same locale.
#ifndef SRVFW_HOST_FRAME_LIBRARY_PATH_H
#define SRVFW_HOST_FRAME_LIBRARY_PATH_H

#include <filesystem>
#include <string>

namespace srvfw {

// Throws a usage error when the path is not valid text in the locale.
std::wstring LibraryPath(const std::filesystem::path& file);

}  // namespace srvfw

#endif
