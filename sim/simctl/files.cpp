#include "sim/simctl/files.h"

#include <cstdio>
#include <fstream>

namespace simctl {

bool WriteFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (out) return true;
    std::fprintf(stderr, "simctl: cannot write %s\n", file.c_str());
    return false;
}

}  // namespace simctl
