#include "tarvo/recovery_advice.h"

#include <cstdio>
#include <string_view>

namespace tarvo {

namespace {

// An argument as the shell must be given it: as it stands when it holds
// nothing the shell would read, else in single quotes.
std::string ShellWord(std::string_view word) {
    constexpr std::string_view kPlain =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+:,=@%";
    if (!word.empty() && word.find_first_not_of(kPlain) == std::string_view::npos) {
        return std::string(word);
    }
    std::string quoted = "'";
    for (const char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

bool IsOption(std::string_view argument, std::string_view option) {
    return argument.substr(0, 2) == option;
}

// The blocks as ranges of flash addresses, neighbours merged: a large ROM
// has hundreds of blocks.
std::string BlockRanges(const FlashLayout& layout, const std::vector<std::uint32_t>& touched) {
    std::string text;
    std::uint64_t start = 0;
    std::uint64_t end = 0;  // one past the range; 0: no range yet
    const auto flush = [&] {
        if (end == 0) return;
        char range[40];
        std::snprintf(range, sizeof range, " 0x%08llX-0x%08llX",
                      static_cast<unsigned long long>(start),
                      static_cast<unsigned long long>(end - 1));
        text += range;
    };
    for (const std::uint32_t address : touched) {
        std::uint32_t size = 1;
        for (const FlashBlock& block : layout.blocks) {
            if (block.address == address) size = block.size == 0 ? 1 : block.size;
        }
        if (end != 0 && address == end) {
            end += size;
            continue;
        }
        flush();
        start = address;
        end = std::uint64_t{address} + size;
    }
    flush();
    return text;
}

}  // namespace

std::string RecoveryCommand(int argc, const char* const* argv, bool addNoRomIdCheck,
                            const std::string* savedFile) {
    std::string command = ShellWord(argc > 0 ? argv[0] : "tarvo");
    bool noRomIdCheck = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (IsOption(argument, "/o")) continue;
        if (savedFile != nullptr && IsOption(argument, "/s")) continue;
        noRomIdCheck |= IsOption(argument, "/n");
        command += ' ';
        command += savedFile != nullptr && IsOption(argument, "/i") ? ShellWord("/i" + *savedFile)
                                                                    : ShellWord(argument);
    }
    if (addNoRomIdCheck && !noRomIdCheck) command += " /n";
    return command;
}

bool TouchesRomId(const FlashLayout& layout, const std::vector<std::uint32_t>& touched) {
    if (layout.romSize < kRomIdFromTop) return false;
    const std::uint64_t romId = std::uint64_t{layout.baseOffset} + layout.romSize - kRomIdFromTop;
    for (const FlashBlock& block : layout.blocks) {
        if (romId < block.address || romId >= std::uint64_t{block.address} + block.size) continue;
        for (const std::uint32_t address : touched) {
            if (address == block.address) return true;
        }
    }
    return false;
}

void PrintRecoveryAdvice(int argc, const char* const* argv, const Options& options,
                         const FlashLayout& layout, const std::vector<std::uint32_t>& touched) {
    std::printf(" The flash now holds neither the old BIOS nor all of the new one.\n");
    std::printf(" Blocks erased or rewritten (%zu):%s\n", touched.size(),
                BlockRanges(layout, touched).c_str());
    std::printf(" Do not restart or switch off the machine: it may not start from this flash.\n");
    const bool romIdGone = TouchesRomId(layout, touched);
    std::printf(" To restore it, run the same command again from this directory:\n   %s\n",
                RecoveryCommand(argc, argv, romIdGone).c_str());
    if (options.outputGiven) {
        std::printf(" or flash the file that /o saved, to go back to the BIOS as it was:\n   %s\n",
                    RecoveryCommand(argc, argv, romIdGone, &options.outputFile).c_str());
    }
    if (romIdGone && options.checkRomId) {
        std::printf(" (/n because the flash's ROM ID was erased and reads FFh.)\n");
    }
    if (options.outputGiven) {
        std::printf(" (Without /o, so that the saved file stays as it is.)\n");
    }
    std::fflush(stdout);
}

}  // namespace tarvo
