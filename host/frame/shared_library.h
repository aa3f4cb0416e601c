// One library loaded with dlopen, unloaded when the object goes.
#ifndef SRVFW_HOST_FRAME_SHARED_LIBRARY_H
#define SRVFW_HOST_FRAME_SHARED_LIBRARY_H

#include <filesystem>
#include <string>

namespace srvfw {

class SharedLibrary {
  public:
    // Throws a Failure (library not loadable) naming the path and the
    // loader's reason. A library loaded for everyone supplies its names to
    // the libraries loaded after it.
    enum class Scope { kOwn, kEveryone };
    explicit SharedLibrary(const std::filesystem::path& file, Scope scope = Scope::kOwn);
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    ~SharedLibrary();

    // The exported name's address; throws when the library lacks it.
    void* Symbol(const char* name) const;
    const std::filesystem::path& File() const { return mFile; }

  private:
    std::filesystem::path mFile;
    void* mHandle;
};

}  // namespace srvfw

#endif
