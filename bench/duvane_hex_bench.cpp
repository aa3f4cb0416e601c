// A 32 MiB image as hex records of 32 data bytes a line, read into the
// update buffer by the image reader and, in the same run and on the same
// file, turned into a binary image by objcopy and by srec_cat. The
// "vs_objcopy" and "vs_srec_cat" counters are the tools' wall time over the
// reader's, the "cpu_vs_" ones their processor time over the reader's:
// above 1 the reader is the faster. The reader's buffer is
// checked against objcopy's output once, so that a fast wrong answer
// cannot pass.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "bmc/debug_log.h"
#include "duvane/duvane_status.h"
#include "duvane/fw_file.h"

extern char** environ;

namespace {

using namespace DirectFwUpdate_Private;

constexpr std::size_t kImageBytes = 32u << 20;
constexpr std::size_t kBytesPerLine = 32;

void Require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "duvane_hex_bench: %s\n", what);
        std::abort();
    }
}

std::string HexLine(std::uint8_t type, std::uint16_t offset, const std::uint8_t* data,
                    std::size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string line = ":";
    unsigned sum = 0;
    const auto put = [&](unsigned byte) {
        line += kDigits[byte >> 4];
        line += kDigits[byte & 0xF];
        sum += byte;
    };
    put(static_cast<unsigned>(count));
    put(offset >> 8u);
    put(offset & 0xFFu);
    put(type);
    for (std::size_t i = 0; i < count; ++i) put(data[i]);
    put((0x100 - (sum & 0xFF)) & 0xFF);
    line += '\n';
    return line;
}

// The image, its hex file and a scratch folder for the tools' output,
// made once for every benchmark of the run.
struct HexImage {
    HexImage() {
        SetLibDebugLevel(0);
        char pattern[] = "/tmp/duvane-hex-bench-XXXXXX";
        Require(::mkdtemp(pattern) != nullptr, "no scratch folder");
        directory = pattern;
        hexPath = directory / "image.hex";
        image.resize(kImageBytes);
        std::mt19937 random(14);
        for (auto& byte : image) byte = static_cast<std::uint8_t>(random());
        std::ofstream out(hexPath, std::ios::binary);
        for (std::size_t address = 0; address < image.size(); address += kBytesPerLine) {
            if (address % 0x10000 == 0) {
                const std::uint8_t upper[] = {static_cast<std::uint8_t>(address >> 24),
                                              static_cast<std::uint8_t>(address >> 16)};
                out << HexLine(4, 0, upper, 2);
            }
            out << HexLine(0, static_cast<std::uint16_t>(address), &image[address], kBytesPerLine);
        }
        out << HexLine(1, 0, nullptr, 0);
        Require(out.good(), "cannot write the hex file");
    }
    ~HexImage() {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    std::filesystem::path directory;
    std::filesystem::path hexPath;
    std::vector<std::uint8_t> image;
};

HexImage& Image() {
    static HexImage image;
    return image;
}

// Runs a tool to its end; the bench's own processes, not a shell.
void Run(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    Require(::posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) == 0,
            "cannot start a tool");
    int status = 0;
    Require(::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0,
            "a tool failed");
}

double CpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Wall time and processor time of one step; a tool's processor time is
// that of the children the step waited for. On a shared machine the wall
// time swings with the load, the processor time much less.
struct StepTimes {
    double wall = 0;
    double cpu = 0;
};

void Time(StepTimes& total, int who, const auto& step) {
    const double cpuBefore = CpuSeconds(who);
    const auto start = std::chrono::steady_clock::now();
    step();
    total.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    total.cpu += CpuSeconds(who) - cpuBefore;
}

void ReadIntoBuffer(CfwFile& file) {
    const std::wstring path = Image().hexPath.wstring();
    Require(file.ReadHexFile(path.c_str(), nullptr) == DUVANE_SUCCESS, "the reader refused");
}

void BM_HexToBuffer32MiB(benchmark::State& state) {
    HexImage& hex = Image();
    const std::string binary = (hex.directory / "image.bin").string();
    {
        CfwFile file(FW_FILE_HEX, 0);
        ReadIntoBuffer(file);
        Run({"objcopy", "-I", "ihex", "-O", "binary", hex.hexPath.string(), binary});
        std::ifstream in(binary, std::ios::binary);
        const std::vector<char> tool{std::istreambuf_iterator<char>(in), {}};
        const std::span<const std::uint8_t> buffer = file.GetUpdateBuffer();
        Require(tool.size() == kImageBytes &&
                    std::equal(
                        tool.begin(), tool.end(), buffer.begin(),
                        [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }),
                "the reader's buffer differs from objcopy's image");
    }
    StepTimes reader;
    StepTimes objcopy;
    StepTimes srecCat;
    for (auto _ : state) {
        Time(reader, RUSAGE_SELF, [] {
            CfwFile file(FW_FILE_HEX, 0);
            ReadIntoBuffer(file);
            benchmark::DoNotOptimize(file.GetUpdateBuffer().data());
        });
        Time(objcopy, RUSAGE_CHILDREN, [&] {
            Run({"objcopy", "-I", "ihex", "-O", "binary", hex.hexPath.string(), binary});
        });
        Time(srecCat, RUSAGE_CHILDREN, [&] {
            Run({"srec_cat", hex.hexPath.string(), "-Intel", "-o", binary, "-Binary"});
        });
    }
    const double megabytes =
        static_cast<double>(kImageBytes) * static_cast<double>(state.iterations()) / (1 << 20);
    state.counters["reader_MiB_per_s"] = megabytes / reader.wall;
    state.counters["objcopy_MiB_per_s"] = megabytes / objcopy.wall;
    state.counters["srec_cat_MiB_per_s"] = megabytes / srecCat.wall;
    state.counters["vs_objcopy"] = objcopy.wall / reader.wall;
    state.counters["vs_srec_cat"] = srecCat.wall / reader.wall;
    state.counters["cpu_vs_objcopy"] = objcopy.cpu / reader.cpu;
    state.counters["cpu_vs_srec_cat"] = srecCat.cpu / reader.cpu;
}
BENCHMARK(BM_HexToBuffer32MiB)->Unit(benchmark::kMillisecond)->Iterations(3);

// The whole load a host asks for: the read, the search for the information
// blocks through the buffer and the record counts.
void BM_ProcessHexFile32MiB(benchmark::State& state) {
    const std::wstring path = Image().hexPath.wstring();
    for (auto _ : state) {
        CfwFile file(FW_FILE_HEX, 0);
        Require(file.ProcessFile(path.c_str(), nullptr) == DUVANE_SUCCESS, "the image was refused");
        benchmark::DoNotOptimize(file.GetUpdateBuffer().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(BM_ProcessHexFile32MiB)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
