// The library's debug log ("DBGLOG.txt" in the current directory) as a test
// reads it: while alive, the process works in a fresh directory of its own,
// so that tests run side by side never read each other's lines.
#ifndef SRVFW_TESTS_RASK_DEBUG_LOG_CAPTURE_H
#define SRVFW_TESTS_RASK_DEBUG_LOG_CAPTURE_H

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace rask_test {

class DebugLogCapture {
  public:
    DebugLogCapture() : mPrevious(std::filesystem::current_path()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "rask-log-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) mDir = pattern;
        if (!mDir.empty()) std::filesystem::current_path(mDir);
    }
    ~DebugLogCapture() {
        std::filesystem::current_path(mPrevious);
        std::error_code ignored;
        if (!mDir.empty()) std::filesystem::remove_all(mDir, ignored);
    }
    DebugLogCapture(const DebugLogCapture&) = delete;
    DebugLogCapture& operator=(const DebugLogCapture&) = delete;

    // Everything written so far.
    std::string Text() const {
        std::ifstream in(mDir / "DBGLOG.txt", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool Has(const std::string& line) const { return Text().find(line) != std::string::npos; }

  private:
    std::filesystem::path mPrevious;
    std::filesystem::path mDir;
};

}  // namespace rask_test

#endif
