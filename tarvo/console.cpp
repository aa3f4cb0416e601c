#include "tarvo/console.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace tarvo {

void PrintBanner() {
    std::printf("NAL Firmware Update Utility - Version 1.40");
    std::printf(" (for linux with driver)");
    std::printf("\n");
    std::printf("Copyright (C) NAL. All rights reserved.\n\n");
}

void PrintUsage() {
    std::printf(" Usage: tarvo");
    std::printf("lnx");
    std::printf("2");
    std::printf(
        " /i<ROM filename> [/o<save ROM filename>] [/n] [/p[b][n][c]] [/s] [/k[N]] [/c[N]] [/q] "
        "[/h] [/t] [/u<ROM filename>] [/d]");
    std::printf("\n\n");
    std::printf("        /n    - Don't check ROM ID\n");
    std::printf("        /pbnc -\n");
    std::printf("                b - Program Boot Block\n");
    std::printf("                n - Program NVRAM\n");
    std::printf("                c - Destroy System CMOS\n");
    std::printf("        /k    - Program all non-critical blocks only\n");
    std::printf("        /kN   - Program N'th non-critical block only (from k0 upto k7)\n");
    std::printf("        /s    - Leave signature in BIOS\n");
    std::printf("        /q    - Silent execution\n");
    std::printf("        /h    - Print help\n");
    std::printf("        /t    - Display ROM ID string\n");
    std::printf("        /c    - Program Main BIOS and all Non-critical blocks\n");
    std::printf(
        "        /cN   - Program Main BIOS and N'th Non-critical block (from c0 upto c7)\n");
    std::printf("        /d    - Compare ROM file (skips flashing)\n");
    std::printf("        /u<ROM filename>   -Display ROM ID \n");
    std::printf("\n");
    std::fflush(stdout);
}

void ReportError(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string message(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    std::vsnprintf(message.data(), message.size() + 1, format, again);
    va_end(again);
    std::printf("\nERROR: %s\n\n", message.c_str());
    std::fflush(stdout);
}

void Progress::Show(std::uint32_t position, std::uint32_t total) {
    if (mQuiet) return;
    std::printf("%s", mLabel);
    if (position == kProgressStart) {
        mBase = total;
        std::printf("\r");
    } else if (position == kProgressDone) {
        std::printf("done              \n");
    } else {
        // In 64 bits: a 64 MB flash would overflow the product in 32.
        const std::uint32_t done = position - mBase;
        const auto percent = total == 0 ? 0 : static_cast<int>(std::uint64_t{done} * 100 / total);
        std::printf("0x%08lX (%d%%) \r", static_cast<unsigned long>(position), percent);
    }
    std::fflush(stdout);
}

}  // namespace tarvo
