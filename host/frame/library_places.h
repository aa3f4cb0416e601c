// Where srvfw finds the libraries and their string files: beside its own
// program, as the build and an installation lay them out
// (<bin>/srvfw, <bin>/../lib, <bin>/../sim/lib, <bin>/../res), unless the
// command line names the folders.
#ifndef SRVFW_HOST_FRAME_LIBRARY_PLACES_H
#define SRVFW_HOST_FRAME_LIBRARY_PLACES_H

#include <filesystem>

#include "host/frame/frame_options.h"

namespace srvfw {

struct LibraryPlaces {
    std::filesystem::path libraries;
    std::filesystem::path resources;
};

// The folder of the running program.
std::filesystem::path ProgramDir();

// The real builds in <bin>/../lib, the simulated ones in <bin>/../sim/lib
// with --sim; --lib-dir and --res-dir win over both.
LibraryPlaces PlacesFor(const FrameOptions& options, const std::filesystem::path& programDir);

// Points the simulated builds at the server kept in `dir` (they read the
// folder from SRVFW_SIM when they first touch the hardware). Throws when
// the folder holds no simulated server, rather than letting the simulator
// start an empty one there.
void UseSimulatedServer(const std::filesystem::path& dir);

}  // namespace srvfw

#endif
