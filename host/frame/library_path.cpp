#include "host/frame/library_path.h"

#include "host/frame/failure.h"
#include "host/frame/text.h"

namespace srvfw {

std::wstring LibraryPath(const std::filesystem::path& file) {
    const std::optional<std::wstring> wide = FromMultibyte(file.string());
    if (!wide) {
        throw Failure(ExitCode::kUsage,
                      "the path " + file.string() + " is not valid text in the current locale");
    }
    return *wide;
}

}  // namespace srvfw
