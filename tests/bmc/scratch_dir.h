// Tests of code that works relative to the current directory ("DBGLOG.txt",
// "enus/..." string files) run in a fresh directory of their own.
#ifndef SRVFW_TESTS_BMC_SCRATCH_DIR_H
#define SRVFW_TESTS_BMC_SCRATCH_DIR_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class ScratchDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "bmc-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        mDir = pattern;
        mPrevious = std::filesystem::current_path();
        std::filesystem::current_path(mDir);
    }

    void TearDown() override {
        std::filesystem::current_path(mPrevious);
        std::filesystem::remove_all(mDir);
    }

    static void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
        if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    static std::string ReadFile(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path mDir;

  private:
    std::filesystem::path mPrevious;
};

#endif
