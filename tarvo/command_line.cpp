// The command line: every argument is one option, recognised by its first
// two characters; the rest is the option's value.
#include <cstdlib>
#include <cstring>

#include "tarvo/options.h"

namespace tarvo {

namespace {

// "/k3", "/c 7": the decimal number after the option letters, as atoi reads
// it, kept as an unsigned byte.
std::uint8_t BlockNumber(const char* argument) {
    return static_cast<std::uint8_t>(std::atoi(argument + 2));
}

bool TakeFileName(const char* argument, std::string& name, bool& given) {
    const char* value = argument + 2;
    if (std::strlen(value) > kMaxFileName) return false;
    name = value;
    given = true;
    return true;
}

bool TakeProgramFlags(const char* argument, Options& options) {
    for (const char* letter = argument + 2; *letter != '\0'; ++letter) {
        switch (*letter) {
            case 'b':
            case 'B':
                options.programBootBlock = true;
                break;
            case 'n':
            case 'N':
                options.programNvram = true;
                break;
            case 'c':
            case 'C':
                options.destroyCmos = true;
                break;
            default:
                return false;
        }
    }
    return true;
}

bool TakeOption(const char* argument, Options& options, bool& kGiven, bool& cGiven) {
    if (std::strlen(argument) < 2 || argument[0] != '/') return false;
    const bool hasValue = argument[2] != '\0';
    switch (argument[1]) {
        case 'i':
            return TakeFileName(argument, options.inputFile, options.inputGiven);
        case 'o':
            return TakeFileName(argument, options.outputFile, options.outputGiven);
        case 'u':
            return TakeFileName(argument, options.showFile, options.showFileGiven);
        case 'n':
            options.checkRomId = false;
            return true;
        case 'd':
            options.compareOnly = true;
            return true;
        case 'p':
            return TakeProgramFlags(argument, options);
        case 'q':
            options.quiet = true;
            return true;
        case 'h':
            options.help = true;
            return true;
        case 's':
            options.signatureValue = kSignatureLeftInBios;
            return true;
        case 't':
            options.showRomId = true;
            return true;
        case 'k':
        case 'c':
            (argument[1] == 'k' ? kGiven : cGiven) = true;
            if (hasValue) options.blockNumbers.push_back(BlockNumber(argument));
            return true;
        default:
            return false;
    }
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, Options& options) {
    options = Options{};
    if (argc < 2) return false;
    bool kGiven = false;
    bool cGiven = false;
    for (int i = 1; i < argc; ++i) {
        if (!TakeOption(argv[i], options, kGiven, cGiven)) return false;
    }
    if (kGiven) {
        options.nonCriticalSelected = true;
        options.programMainBios = false;
        options.programBootBlock = false;
        options.programNvram = false;
    }
    if (cGiven) {
        options.mainAndNonCritical = true;
        options.programMainBios = true;
        options.nonCriticalSelected = true;
    }
    if (options.compareOnly) {
        options.programMainBios = false;
        options.programBootBlock = false;
        options.programNvram = false;
    }
    return true;
}

}  // namespace tarvo
