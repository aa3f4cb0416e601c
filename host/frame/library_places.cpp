#include "host/frame/library_places.h"

#include <cstdlib>
#include <system_error>

#include "host/frame/failure.h"

namespace srvfw {

std::filesystem::path ProgramDir() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        throw Failure(ExitCode::kNotLoadable,
                      "cannot find the srvfw program's folder (/proc/self/exe: " + error.message() +
                          "); name the folders with --lib-dir and --res-dir");
    }
    return program.parent_path();
}

LibraryPlaces PlacesFor(const FrameOptions& options, const std::filesystem::path& programDir) {
    const std::filesystem::path top = programDir.parent_path();
    LibraryPlaces places;
    places.libraries = options.libDir   ? *options.libDir
                       : options.simDir ? top / "sim" / "lib"
                                        : top / "lib";
    places.resources = options.resDir ? *options.resDir : top / "res";
    return places;
}

void UseSimulatedServer(const std::filesystem::path& dir) {
    // The simulator keeps a server's settings in the file "settings" of its
    // state folder; "simctl DIR init" makes one.
    std::error_code error;
    if (!std::filesystem::is_regular_file(dir / "settings", error)) {
        throw Failure(ExitCode::kNotLoadable, "--sim: " + dir.string() +
                                                  " holds no simulated server (make one with "
                                                  "\"simctl " +
                                                  dir.string() + " init\")");
    }
    ::setenv("SRVFW_SIM", dir.c_str(), 1);
}

}  // namespace srvfw
