// strc: compiles a string source into the ".str" file a library loads.
//
//   strc <source> <output.str>
//
// Faults in the source are reported as "<source>:<line>: <message>"; on any
// failure the exit status is 1 and an existing output file is left alone.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "strings/str_image.h"
#include "strings/str_source.h"

namespace {

std::string ReadSource(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) throw std::runtime_error("cannot open " + path.string());
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) throw std::runtime_error("cannot read " + path.string());
    return text;
}

// Written beside the target and renamed over it, so that a build stopped
// half-way never leaves a truncated string file behind.
void WriteOutput(const std::filesystem::path& path, const std::vector<std::uint8_t>& image) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::filesystem::path partial = path;
    partial += ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
        out.close();
        if (!out) {
            std::filesystem::remove(partial);
            throw std::runtime_error("cannot write " + partial.string());
        }
    }
    std::filesystem::rename(partial, path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: strc <source> <output.str>\n");
        return 2;
    }
    try {
        const std::vector<std::u16string> texts =
            strc::ParseStringSource(ReadSource(argv[1]), argv[1]);
        WriteOutput(argv[2], strc::BuildStringFile(texts));
    } catch (const strc::SourceError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "strc: %s\n", error.what());
        return 1;
    }
    return 0;
}
