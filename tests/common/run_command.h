// Runs a command line through the shell for tests that drive programs
// through their real entry points, keeping the exit status and everything
// the program printed (standard output and standard error together).
#ifndef SRVFW_TESTS_COMMON_RUN_COMMAND_H
#define SRVFW_TESTS_COMMON_RUN_COMMAND_H

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace test_support {

struct CommandOutcome {
    int code;  // the exit status, -1 when the program did not exit
    std::string output;
    bool Shows(const std::string& text) const { return output.find(text) != std::string::npos; }
};

inline CommandOutcome RunCommand(const std::string& command) {
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {-1, "cannot start: " + command};
    std::string output;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

}  // namespace test_support

#endif
