// The exit codes of srvfw, the same for every library's commands, so that a
// script can tell a typing error from a server that refused a change.
#ifndef SRVFW_HOST_FRAME_EXIT_CODES_H
#define SRVFW_HOST_FRAME_EXIT_CODES_H

namespace srvfw {

enum class ExitCode : int {
    kSuccess = 0,
    kUsage = 1,        // the command line is wrong: nothing was loaded
    kNotLoadable = 2,  // a library, its resource folder or the simulated server is missing
    kLibraryCall = 3,  // a library call failed (the library's message says why)
    kFile = 4,         // a file could not be read or written (backups included)
    // The request does not fit this FRU, SDR repository, firmware image or
    // BIOS area (no such area, an image of another size); nothing was written.
    kDoesNotFit = 5,
    // SIGINT, SIGTERM or SIGHUP arrived during a write, which was finished
    // (and read back) before srvfw stopped
    kInterrupted = 6,
    // A write failed and the device holds what it held before: the failed
    // write changed nothing, or srvfw wrote back the backup it had made.
    kFailedRestored = 7,
    // A write failed and writing the backup back failed as well: the device
    // may hold neither; the message names the backup.
    kFailedNotRestored = 8,
    // A firmware image is not meant for the server it would run on (the
    // library says so): "fw check" says it, and "fw update" writes nothing
    // without --yes.
    kNotForSystem = 9,
};

}  // namespace srvfw

#endif
