// ROM image files from anywhere against a fixed BIOS layout: the checks and
// the read (signature patch, non-critical block search) must refuse or
// accept any bytes without reading or writing outside their buffers.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tarvo/rom_image.h"

namespace {

tarvo::FlashLayout FixedLayout() {
    tarvo::FlashLayout layout;
    layout.romSize = 64 * 1024;
    layout.baseOffset = 0x100000 - layout.romSize;
    for (std::uint32_t i = 0; i < 4; ++i) {
        layout.blocks.push_back({layout.baseOffset + i * 0x4000, i == 2 ? 0x3C00u : 0x4000u});
    }
    layout.bootBlockCount = 1;
    layout.nvramAddresses = {layout.baseOffset + 0x8000};
    return layout;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static const tarvo::FlashLayout layout = FixedLayout();
    // One image file in a folder of the run's own, removed when the run
    // ends (libFuzzer leaves through exit()).
    static const std::string path = [] {
        std::string folder =
            (std::filesystem::temp_directory_path() / "rom_image_fuzz.XXXXXX").string();
        if (::mkdtemp(folder.data()) == nullptr) std::abort();
        static const std::string kept = folder;
        std::atexit([] { std::filesystem::remove_all(kept); });
        return folder + "/image.rom";
    }();

    // The first byte chooses the options; the rest is the image.
    const std::uint8_t choice = data[0];
    tarvo::Options options;
    options.inputFile = path;
    options.inputGiven = true;
    options.quiet = true;
    options.compareOnly = choice & 1;
    options.checkRomId = choice & 2;
    options.signatureValue = choice & 4 ? tarvo::kSignatureLeftInBios : 0;
    options.programBootBlock = options.programNvram = choice & 8;
    options.nonCriticalSelected = choice & 16;
    if (choice & 32) options.blockNumbers = {static_cast<std::uint8_t>(choice >> 6)};

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);

    std::FILE* devNull = std::freopen("/dev/null", "w", stdout);
    (void)devNull;
    tarvo::RomImage image(options, layout, "NALB0100");
    if (image.Check() == 0 && image.Read() == 0 && options.compareOnly) image.CompareReport();
    return 0;
}
