#include "host/frame/shared_library.h"

#include <dlfcn.h>

#include "host/frame/failure.h"

namespace srvfw {

namespace {

std::string LoaderError() {
    const char* error = ::dlerror();
    return error != nullptr ? error : "no reason given";
}

}  // namespace

SharedLibrary::SharedLibrary(const std::filesystem::path& file, Scope scope)
    : mFile(file),
      mHandle(::dlopen(file.c_str(),
                       RTLD_NOW | (scope == Scope::kEveryone ? RTLD_GLOBAL : RTLD_LOCAL))) {
    if (mHandle == nullptr) {
        throw Failure(ExitCode::kNotLoadable,
                      "cannot load the library " + file.string() + ": " + LoaderError());
    }
}

SharedLibrary::~SharedLibrary() {
    ::dlclose(mHandle);
}

void* SharedLibrary::Symbol(const char* name) const {
    ::dlerror();
    void* address = ::dlsym(mHandle, name);
    if (address == nullptr) {
        throw Failure(
            ExitCode::kNotLoadable,
            "the library " + mFile.string() + " does not export " + name + ": " + LoaderError());
    }
    return address;
}

}  // namespace srvfw
