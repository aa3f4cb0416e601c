// A simulated program run against a state directory in a process of its
// own, as the sim builds of our programs run: its machine is built from the
// directory and saved back there as the process exits.
#ifndef SRVFW_TESTS_SIM_PROGRAM_PROCESS_H
#define SRVFW_TESTS_SIM_PROGRAM_PROCESS_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

namespace simtest {

// The child's wait status, or -1 when no child could be started. body's
// result is the child's exit code: 0 when it succeeded, 1 otherwise.
inline int RunProgram(const std::filesystem::path& stateDir, const std::function<bool()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("SRVFW_SIM", stateDir.c_str(), 1);
        std::exit(body() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
    return status;
}

// Whether body ran to its end and succeeded in its process.
inline bool ProgramSucceeds(const std::filesystem::path& stateDir,
                            const std::function<bool()>& body) {
    const int status = RunProgram(stateDir, body);
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace simtest

#endif
