// Makes a folder the current directory for the life of the object, then
// returns to the one before. The libraries open their string files at a
// path relative to the current directory, but everything the user names,
// and the libraries' DBGLOG.txt, belongs in the user's own directory.
#ifndef SRVFW_HOST_FRAME_SCOPED_DIRECTORY_H
#define SRVFW_HOST_FRAME_SCOPED_DIRECTORY_H

#include <filesystem>

namespace srvfw {

class ScopedDirectory {
  public:
    // Throws a Failure (not loadable) when the folder cannot be entered.
    explicit ScopedDirectory(const std::filesystem::path& dir);
    ScopedDirectory(const ScopedDirectory&) = delete;
    ScopedDirectory& operator=(const ScopedDirectory&) = delete;
    ~ScopedDirectory();

  private:
    std::filesystem::path mPrevious;
};

}  // namespace srvfw

#endif
