#include "host/frame/scoped_directory.h"

#include <system_error>

#include "host/frame/failure.h"

namespace srvfw {

ScopedDirectory::ScopedDirectory(const std::filesystem::path& dir)
    : mPrevious(std::filesystem::current_path()) {
    std::error_code error;
    std::filesystem::current_path(dir, error);
    if (error) {
        throw Failure(ExitCode::kNotLoadable,
                      "cannot enter the resource folder " + dir.string() + ": " + error.message());
    }
}

ScopedDirectory::~ScopedDirectory() {
    // The user's directory existed a moment ago; if it has gone, the
    // absolute paths srvfw hands the libraries still work.
    std::error_code ignored;
    std::filesystem::current_path(mPrevious, ignored);
}

}  // namespace srvfw
