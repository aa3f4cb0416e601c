// The test suite's way to run a fuzz target without libFuzzer: its entry
// gets every file named (a folder stands for the files in it), the empty
// input, and then inputs mutated from those by a generator with a fixed
// seed, so that each run tries the same ones. The findings kept under
// fuzz/findings/ thereby stay fixed, and under the sanitizer build every
// parser is shaken a little on each run of the suite.
//
//   <target>_replay [--mutations N] [FILE|FOLDER]...
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

using Input = std::vector<std::uint8_t>;

Input ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Input(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void AddSeeds(const std::filesystem::path& path, std::vector<Input>& seeds) {
    if (std::filesystem::is_directory(path)) {
        for (const auto& entry : std::filesystem::directory_iterator(path)) {
            if (entry.is_regular_file()) seeds.push_back(ReadFile(entry.path()));
        }
    } else {
        seeds.push_back(ReadFile(path));
    }
}

// One of the mutations libFuzzer starts with: bytes changed, inserted,
// erased, the input cut short or given a run of one value.
Input Mutate(Input input, std::mt19937& random) {
    const auto pick = [&random](std::size_t bound) {
        return bound == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, bound - 1)(random);
    };
    const int edits = 1 + static_cast<int>(pick(4));
    for (int edit = 0; edit < edits; ++edit) {
        const std::uint8_t value = static_cast<std::uint8_t>(pick(256));
        switch (pick(5)) {
            case 0:
                if (!input.empty()) input[pick(input.size())] = value;
                break;
            case 1:
                input.insert(input.begin() + static_cast<std::ptrdiff_t>(pick(input.size() + 1)),
                             value);
                break;
            case 2:
                if (!input.empty())
                    input.erase(input.begin() + static_cast<std::ptrdiff_t>(pick(input.size())));
                break;
            case 3:
                input.resize(pick(input.size() + 1));
                break;
            default:
                input.insert(input.begin() + static_cast<std::ptrdiff_t>(pick(input.size() + 1)),
                             1 + pick(64), value);
                break;
        }
    }
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    long mutations = 0;
    std::vector<Input> seeds{Input{}};
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--mutations" && i + 1 < argc) {
            mutations = std::strtol(argv[++i], nullptr, 10);
        } else {
            AddSeeds(argument, seeds);
        }
    }
    // After the seeds are read: a target may change the current directory.
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
    for (const Input& seed : seeds) LLVMFuzzerTestOneInput(seed.data(), seed.size());
    std::mt19937 random(20261211);
    for (long run = 0; run < mutations; ++run) {
        const Input input = Mutate(seeds[random() % seeds.size()], random);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%zu inputs and %ld mutations ran without a fault\n", seeds.size(), mutations);
    return 0;
}
