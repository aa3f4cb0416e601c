// Files for tests: a private scratch directory that disappears with the
// test, and reading a whole file back.
#ifndef SRVFW_TESTS_COMMON_FILES_H
#define SRVFW_TESTS_COMMON_FILES_H

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace test_support {

class TempDir {
  public:
    explicit TempDir(const char* prefix = "srvfw") {
        std::string name = std::string("/tmp/") + prefix + "XXXXXX";
        mPath = ::mkdtemp(name.data());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() { std::filesystem::remove_all(mPath); }

    const std::filesystem::path& Path() const { return mPath; }
    std::string operator/(const std::string& name) const { return (mPath / name).string(); }

  private:
    std::filesystem::path mPath;
};

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace test_support

#endif
